// SPDX-License-Identifier: GPL-3.0-or-later
// The controller's side of the messages: relaying scope bytes and notes to an open editor
// (whatever the payload's size), text messages, hidden values, and the editor façade's
// senders. Also the transport values the processor hands the engine.
#include "editor/pluginwrapper.h"
#include "host/utf16.h"
#include "plugin/controller.h"
#include "plugin/editorconnection.h"
#include "processorrig.h"

#include "pluginterfaces/vst/ivstprocesscontext.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

class FakeEditor : public vamplet::EditorConnection
{
public:
	bool isWindowOpen () const override { return open; }
	void processOscilloscope (const int8_t* bytes, int size, int channel) override
	{
		scope.assign (bytes, bytes + size);
		scopeCalls++;
		EXPECT_EQ (channel, 0);
	}
	void processMidiNoteFromhost (const void* records, int size) override
	{
		notes.assign (static_cast<const char*> (records), static_cast<const char*> (records) + size);
		noteCalls++;
	}
	bool setHiddenParameter (int index, double value) override
	{
		lastHidden = {index, value};
		return open;
	}
	bool open = true;
	std::vector<int8_t> scope;
	std::vector<char> notes;
	int scopeCalls = 0, noteCalls = 0;
	std::pair<int, double> lastHidden {-1, 0};
};

class Relay : public ::testing::Test
{
protected:
	void SetUp () override
	{
		host = new HostApplication;
		controller = new VampletController;
		ASSERT_EQ (controller->initialize (host), kResultOk);
		peer = new rig::RecordingPeer;
		controller->connect (peer);
	}
	void TearDown () override
	{
		controller->disconnect (peer);
		controller->terminate ();
		controller->release ();
		peer->release ();
		delete host; // the SDK host application is not reference counted
	}
	tresult sendBinary (const char* key, const std::vector<char>& bytes)
	{
		IMessage* msg = controller->allocateMessage ();
		msg->setMessageID ("BinaryMessage");
		static const char none = 0; // an empty payload still points somewhere
		msg->getAttributes ()->setBinary (key, bytes.empty () ? &none : bytes.data (),
		                                  uint32 (bytes.size ()));
		tresult r = controller->notify (msg);
		msg->release ();
		return r;
	}

	TestHome home;
	HostApplication* host = nullptr;
	VampletController* controller = nullptr;
	rig::RecordingPeer* peer = nullptr;
	FakeEditor editor;
};

} // namespace

TEST_F (Relay, ScopeAndNotesReachOnlyAnOpenEditorWithinBounds)
{
	struct Case
	{
		const char* key;
		size_t size;
		bool attached, open;
		int scopeSize, noteSize; // -1: not relayed
	} cases[] = {
	    {"AudioData", 300, true, true, 300, -1},
	    {"AudioData", 0, true, true, 0, -1},
	    {"AudioData", 20000, true, true, 16384, -1}, // longer than one ring: cut
	    {"AudioData", 300, true, false, -1, -1},
	    {"AudioData", 300, false, false, -1, -1},
	    {"MidiNote", 48, true, true, -1, 48},
	    {"MidiNote", 40, true, true, -1, 32}, // whole records only
	    {"MidiNote", 8, true, true, -1, -1},
	    {"MidiNote", 48, false, false, -1, -1},
	};
	for (const auto& c : cases)
	{
		editor = FakeEditor {};
		editor.open = c.open;
		controller->setEditor (c.attached ? &editor : nullptr);
		std::vector<char> bytes (c.size);
		for (size_t i = 0; i < c.size; ++i)
			bytes[i] = char (i % 127);
		EXPECT_EQ (sendBinary (c.key, bytes), kResultOk) << c.key << " " << c.size;
		EXPECT_EQ (editor.scopeCalls ? int (editor.scope.size ()) : -1, c.scopeSize) << c.key << " " << c.size;
		EXPECT_EQ (editor.noteCalls ? int (editor.notes.size ()) : -1, c.noteSize) << c.key << " " << c.size;
		if (editor.scopeCalls && c.scopeSize > 0)
		{
			EXPECT_EQ (editor.scope[c.scopeSize - 1], int8_t ((c.scopeSize - 1) % 127));
		}
	}
	controller->setEditor (nullptr);
	EXPECT_EQ (sendBinary ("Other", {1, 2}), kResultFalse);
	EXPECT_EQ (controller->notify (nullptr), kInvalidArgument);
}

TEST_F (Relay, TextMessagesGoToStandardError)
{
	IMessage* msg = controller->allocateMessage ();
	msg->setMessageID ("TextMessage");
	String128 text {};
	vamplet::host::utf8ToUtf16 ("hello", reinterpret_cast<char16_t*> (text), 128);
	msg->getAttributes ()->setString ("Text", text);
	testing::internal::CaptureStderr ();
	EXPECT_EQ (controller->notify (msg), kResultOk);
	EXPECT_EQ (testing::internal::GetCapturedStderr (), "[AGainController] received: hello\n");
	msg->setMessageID ("IntMessage");
	msg->getAttributes ()->setInt ("askpresonus", 1);
	EXPECT_EQ (controller->notify (msg), kResultFalse);
	msg->release ();
}

TEST_F (Relay, HiddenValuesAndTheFacade)
{
	EXPECT_EQ (controller->setHiddenParamNormalized (0, 0.5), kResultFalse) << "no editor";

	vamplet::PluginWrapper wrapper (controller);
	EXPECT_TRUE (wrapper.setHiddenParameter (0, 0.25));
	EXPECT_DOUBLE_EQ (wrapper.getHiddenParameter (0), 0.25);
	EXPECT_FALSE (wrapper.setHiddenParameter (11, 0.5));
	EXPECT_FALSE (wrapper.setHiddenParameter (0, 2.0));

	controller->setEditor (&editor);
	EXPECT_TRUE (wrapper.setHiddenParameter (0, 0.75));
	EXPECT_EQ (editor.lastHidden, std::make_pair (0, 0.75));
	editor.open = false;
	EXPECT_EQ (controller->setHiddenParamNormalized (0, 0.5), kResultFalse);
	controller->setEditor (nullptr);

	// Without a host to tell, the value is stored but the edit is reported as not delivered.
	EXPECT_FALSE (wrapper.setParameterAutomated (3, 1.0));
	EXPECT_DOUBLE_EQ (wrapper.getParameter (3), 1.0);
	EXPECT_FALSE (wrapper.setParameterAutomated (12, 1.0));

	vamplet::PluginWrapper none (nullptr);
	EXPECT_FALSE (none.setParameterAutomated (3, 1.0));
	EXPECT_DOUBLE_EQ (none.getParameter (7), 0.0);
	none.sendIntMessage ("linuxtimer", 1); // nothing to send through, nothing happens
}

TEST_F (Relay, FacadeSendsOneTypedMessageEach)
{
	vamplet::PluginWrapper wrapper (controller);
	wrapper.sendIntMessage ("linuxtimer", 1);
	const char payload[3] = {7, 8, 9};
	wrapper.sendBinaryMessage ("AudioData", payload, 3);
	wrapper.sendFloatMessage ("gain", 0.5f);
	wrapper.sendStringMessage ("name", "Vamplet");
	ASSERT_EQ (peer->received.size (), 4u);
	EXPECT_EQ (peer->received[0].id, "IntMessage");
	EXPECT_EQ (peer->received[1].id, "BinaryMessage");
	EXPECT_EQ (peer->received[1].bytes, std::vector<unsigned char> ({7, 8, 9}));
	EXPECT_EQ (peer->received[2].id, "FloatMessage");
	EXPECT_EQ (peer->received[3].id, "StringMessage");
}

TEST_F (Relay, ProcessorHandsTheEngineTheHostTransport)
{
	rig::ProcessorRig p;
	p.activate (64);
	struct Case
	{
		uint32 flags;
		double tempo;
		double expectTempo, expectSamplesPerBeat;
	} cases[] = {
	    {ProcessContext::kTempoValid, 0.0, 0.0, 22050.0},
	    {0, 90.0, 120.0, 24000.0},
	    {ProcessContext::kTempoValid, 96.0, 96.0, 30000.0},
	};
	for (const auto& c : cases)
	{
		ProcessContext ctx {};
		ctx.state = c.flags | ProcessContext::kPlaying | ProcessContext::kCycleActive;
		ctx.tempo = c.tempo;
		ctx.sampleRate = 48000.0;
		ctx.timeSigNumerator = 3;
		ctx.timeSigDenominator = 8;
		ctx.projectTimeMusic = 5.5; // not flagged valid: reads as 0
		ctx.cycleStartMusic = 4.0;
		ctx.cycleEndMusic = 8.0;
		ProcessData data {};
		data.processContext = &ctx;
		p.processor->processVstTimeInfo (data);
		const auto& t = p.engine->hostTime;
		EXPECT_DOUBLE_EQ (t.tempo, c.expectTempo);
		EXPECT_DOUBLE_EQ (t.samplesPerBeat, c.expectSamplesPerBeat);
		EXPECT_TRUE (t.playing && t.cycleActive && t.timeInfoValid);
		EXPECT_FALSE (t.ppqPosValid);
		EXPECT_DOUBLE_EQ (t.ppqPos, 0.0);
		EXPECT_DOUBLE_EQ (t.timeSigNumerator, 3.0);
		EXPECT_DOUBLE_EQ (t.cycleEndPos, 8.0);
	}
}
