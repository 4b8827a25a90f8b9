// SPDX-License-Identifier: GPL-3.0-or-later
// The processor object driven directly: note velocities, the bypass and missing-bus rules,
// and the messages its timer routine sends to the connected peer.
#include "host/processbuffers.h"
#include "processorrig.h"

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

using rig::Block;
using rig::Processor;

std::vector<vamplet::NoteRecord> records (const std::vector<unsigned char>& bytes)
{
	std::vector<vamplet::NoteRecord> r (bytes.size () / 16);
	std::memcpy (r.data (), bytes.data (), r.size () * 16);
	return r;
}

} // namespace

TEST_F (Processor, NoteVelocitiesAreTruncatedAndNotesReachTheTimer)
{
	activate ();
	vamplet::host::EventList events (16);
	auto note = [&] (Event::EventTypes type, int16 pitch, float velocity, int32 offset) {
		Event e {};
		e.type = type;
		e.sampleOffset = offset;
		if (type == Event::kNoteOnEvent)
		{
			e.noteOn.pitch = pitch;
			e.noteOn.velocity = velocity;
		}
		else
		{
			e.noteOff.pitch = pitch;
			e.noteOff.velocity = velocity;
		}
		events.addEvent (e);
	};
	note (Event::kNoteOnEvent, 38, 1.0f, 3);
	note (Event::kNoteOnEvent, 40, 0.5f, 7);
	note (Event::kNoteOffEvent, 38, 0.5f, 9);
	Block block (2, 2, 64);
	block.data.inputEvents = &events;
	ASSERT_EQ (processor->process (block.data), kResultOk);

	tick ();
	// First tick: the host query, the notes, the scope bytes.
	ASSERT_EQ (peer->received.size (), 3u);
	EXPECT_EQ (peer->received[0].key, "askpresonus");
	EXPECT_EQ (peer->received[1].key, "MidiNote");
	EXPECT_EQ (peer->received[1].id, "BinaryMessage");
	EXPECT_EQ (peer->received[2].key, "AudioData");
	ASSERT_EQ (peer->received[1].bytes.size (), 48u);
	auto r = records (peer->received[1].bytes);
	EXPECT_EQ (r[0].kind, 1);
	EXPECT_EQ (r[0].pitch, 38);
	EXPECT_EQ (r[0].sampleOffset, 3);
	EXPECT_EQ (r[0].velocity, 127);
	EXPECT_EQ (r[1].kind, 1);
	EXPECT_EQ (r[1].velocity, 63);
	EXPECT_EQ (r[2].kind, 2);
	EXPECT_EQ (r[2].velocity, 63);

	// Second tick: the scope bytes only, even when there are none.
	peer->received.clear ();
	tick ();
	ASSERT_EQ (peer->received.size (), 1u);
	EXPECT_EQ (peer->received[0].key, "AudioData");
	EXPECT_TRUE (peer->received[0].bytes.empty ());
}

TEST_F (Processor, ScopeBytesThatWrapArriveInOrderInOneMessage)
{
	// Play the audio thread's part: 484 display bytes that run over the end of the ring.
	const int start = vamplet::VampletFX::kScopeSize - 384;
	engine->scopeReadIndex.store (start);
	engine->scopeWriteIndex.store (start);
	for (int i = 0; i < 484; ++i)
		engine->scopeBuffer[(start + i) % vamplet::VampletFX::kScopeSize] = int8_t (i % 100);
	engine->scopeWriteIndex.store (100);
	tick ();
	ASSERT_FALSE (peer->received.empty ());
	const auto& scope = peer->received.back ();
	ASSERT_EQ (scope.key, "AudioData");
	ASSERT_EQ (scope.bytes.size (), 484u);
	for (int i = 0; i < 484; ++i)
		ASSERT_EQ (int8_t (scope.bytes[i]), int8_t (i % 100)) << i;
}

TEST_F (Processor, TimerRunsOnlyOnTheTickMessage)
{
	IMessage* msg = newMessage ();
	msg->setMessageID ("IntMessage");
	msg->getAttributes ()->setInt ("somethingelse", 1);
	EXPECT_EQ (processor->notify (msg), kResultFalse);
	msg->setMessageID ("BinaryMessage");
	msg->getAttributes ()->setBinary ("linuxtimer", "x", 1); // wrong type: not a tick
	processor->notify (msg);
	msg->release ();
	EXPECT_TRUE (peer->received.empty ());
	EXPECT_EQ (processor->notify (nullptr), kInvalidArgument);
}

TEST_F (Processor, BypassCopiesMonoInputToBothOutputs)
{
	activate ();
	engine->setParameter (10, 1.0);
	Block block (1, 2, 32);
	for (int i = 0; i < 32; ++i)
		block.in[0][i] = float (i + 1);
	ASSERT_EQ (processor->process (block.data), kResultOk);
	EXPECT_EQ (block.out[0], block.in[0]);
	EXPECT_EQ (block.out[1], block.in[0]);
	EXPECT_EQ (block.outBus.silenceFlags, 0u);
}

TEST_F (Processor, SixtyFourBitBlocksBypassWholeAndSilenceBeforeActivation)
{
	// Never activated: nothing to render with, so the output is silence, not stale memory.
	Block early (2, 2, 16);
	early.out[0].assign (16, 0.3f);
	ASSERT_EQ (processor->process (early.data), kResultOk);
	EXPECT_EQ (early.out[0], std::vector<float> (16, 0.0f));

	// A 64-bit block although the setup was 32-bit: bypass copies whole 8-byte samples.
	activate ();
	engine->setParameter (10, 1.0);
	std::vector<double> in (32), outL (32, 9.0), outR (32, 9.0);
	for (int i = 0; i < 32; ++i)
		in[i] = 0.001 * (i + 1);
	double* inPtr[1] = {in.data ()};
	double* outPtr[2] = {outL.data (), outR.data ()};
	AudioBusBuffers inBus {}, outBus {};
	inBus.numChannels = 1;
	inBus.channelBuffers64 = inPtr;
	outBus.numChannels = 2;
	outBus.channelBuffers64 = outPtr;
	ProcessData data {};
	data.symbolicSampleSize = kSample64;
	data.numSamples = 32;
	data.numInputs = data.numOutputs = 1;
	data.inputs = &inBus;
	data.outputs = &outBus;
	ASSERT_EQ (processor->process (data), kResultOk);
	EXPECT_EQ (outL, in);
	EXPECT_EQ (outR, in);
}

TEST_F (Processor, MissingInputIsSilenceAndNoOutputStillTakesChanges)
{
	activate ();
	// An output bus without an input bus renders silence instead of reading nothing.
	Block noInput (0, 2, 64);
	noInput.out[0].assign (64, 0.7f);
	noInput.out[1].assign (64, 0.7f);
	ASSERT_EQ (processor->process (noInput.data), kResultOk);
	for (int c = 0; c < 2; ++c)
		for (float s : noInput.out[c])
			ASSERT_EQ (s, 0.0f);

	// A block without outputs still delivers its parameter changes.
	vamplet::host::ParameterChanges changes;
	changes.addChange (7, 0, 0.25);
	ProcessData data {};
	data.inputParameterChanges = &changes;
	ASSERT_EQ (processor->process (data), kResultOk);
	EXPECT_DOUBLE_EQ (engine->getParameter (7), 0.25);
}

TEST (ProcessorLifecycle, ArrangementsBeforeInitializeAreRefused)
{
	TestHome home;
	auto* p = new Vamplet;
	SpeakerArrangement in = SpeakerArr::kMono, out = SpeakerArr::kMono;
	EXPECT_EQ (p->setBusArrangements (&in, 1, &out, 1), kResultFalse);
	EXPECT_EQ (p->getBusCount (kAudio, kInput), 0);
	p->release ();
}
