// SPDX-License-Identifier: GPL-3.0-or-later
// A processor object with a host context and a recording peer in place of the controller,
// plus plain block buffers: enough to drive the processor directly from a test.
#pragma once

#include "engine/vampletfx.h"
#include "plugin/processor.h"
#include "testhome.h"

#include "base/source/fobject.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "pluginterfaces/vst/ivstmessage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace rig {

using namespace Steinberg;
using namespace Steinberg::Vst;

// Stands in for the controller side of the connection: keeps every message it receives.
class RecordingPeer : public FObject, public IConnectionPoint
{
public:
	struct Received
	{
		std::string id;
		std::string key;
		std::vector<unsigned char> bytes;
		int64 value = 0;
	};

	tresult PLUGIN_API connect (IConnectionPoint*) override { return kResultOk; }
	tresult PLUGIN_API disconnect (IConnectionPoint*) override { return kResultOk; }
	tresult PLUGIN_API notify (IMessage* message) override
	{
		Received r;
		r.id = message->getMessageID ();
		IAttributeList* a = message->getAttributes ();
		const void* data = nullptr;
		uint32 size = 0;
		for (const char* key : {"AudioData", "MidiNote"})
			if (a->getBinary (key, data, size) == kResultOk)
			{
				r.key = key;
				r.bytes.assign (static_cast<const unsigned char*> (data),
				                static_cast<const unsigned char*> (data) + size);
			}
		if (a->getInt ("askpresonus", r.value) == kResultOk)
			r.key = "askpresonus";
		received.push_back (r);
		// Like the real controller, the host query is not handled.
		return r.key == "askpresonus" ? kResultFalse : kResultOk;
	}
	std::vector<Received> received;

	OBJ_METHODS (RecordingPeer, FObject)
	DEFINE_INTERFACES
		DEF_INTERFACE (IConnectionPoint)
	END_DEFINE_INTERFACES (FObject)
	REFCOUNT_METHODS (FObject)
};

class ProcessorRig
{
public:
	ProcessorRig ()
	{
		host = new HostApplication;
		processor = new Vamplet;
		EXPECT_EQ (processor->initialize (host), kResultOk);
		peer = new RecordingPeer;
		processor->connect (peer);
		engine = processor->getEngine ();
	}
	~ProcessorRig ()
	{
		processor->disconnect (peer);
		processor->terminate ();
		processor->release ();
		peer->release ();
		delete host; // the SDK host application is not reference counted
	}

	void activate (int maxBlock = 256)
	{
		ProcessSetup setup {kRealtime, kSample32, maxBlock, 44100.0};
		ASSERT_EQ (processor->setupProcessing (setup), kResultOk);
		ASSERT_EQ (processor->setActive (true), kResultOk);
	}

	IMessage* newMessage ()
	{
		TUID iid;
		IMessage::iid.toTUID (iid);
		IMessage* msg = nullptr;
		host->createInstance (iid, iid, reinterpret_cast<void**> (&msg));
		return msg;
	}

	void tick ()
	{
		IMessage* msg = newMessage ();
		msg->setMessageID ("IntMessage");
		msg->getAttributes ()->setInt ("linuxtimer", 1);
		processor->notify (msg);
		msg->release ();
	}

	HostApplication* host = nullptr;
	Vamplet* processor = nullptr;
	RecordingPeer* peer = nullptr;
	vamplet::VampletFX* engine = nullptr;
};

// Test fixture: a fresh HOME (made before the processor's engine looks at it) and a rig.
class Processor : public ::testing::Test
{
protected:
	TestHome home;
	ProcessorRig rig;
	Vamplet*& processor = rig.processor;
	RecordingPeer*& peer = rig.peer;
	vamplet::VampletFX*& engine = rig.engine;
	HostApplication*& host = rig.host;
	void activate (int maxBlock = 256) { rig.activate (maxBlock); }
	void tick () { rig.tick (); }
	IMessage* newMessage () { return rig.newMessage (); }
};

// One block of plain buffers for a ProcessData.
struct Block
{
	Block (int inChannels, int outChannels, int frames)
	    : in (inChannels, std::vector<float> (frames)), out (outChannels, std::vector<float> (frames))
	{
		for (auto& c : in)
			inPtr.push_back (c.data ());
		for (auto& c : out)
			outPtr.push_back (c.data ());
		inBus.numChannels = inChannels;
		inBus.channelBuffers32 = inPtr.data ();
		outBus.numChannels = outChannels;
		outBus.channelBuffers32 = outPtr.data ();
		data.numSamples = frames;
		data.symbolicSampleSize = kSample32;
		data.numInputs = inChannels > 0 ? 1 : 0;
		data.inputs = inChannels > 0 ? &inBus : nullptr;
		data.numOutputs = 1;
		data.outputs = &outBus;
	}
	std::vector<std::vector<float>> in, out;
	std::vector<float*> inPtr, outPtr;
	AudioBusBuffers inBus {}, outBus {};
	ProcessData data {};
};


} // namespace rig
