// SPDX-License-Identifier: GPL-3.0-or-later
// The audio thread fills the scope ring and the note list while the user-interface thread's
// timer drains them. Run concurrently, the bytes and notes that arrive must be exactly those a
// strictly alternating run delivers: in order, none lost, none twice. Built with
// ThreadSanitizer in CI, where any unsynchronised access fails the test.
#include "host/processbuffers.h"
#include "processorrig.h"

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <atomic>
#include <cmath>
#include <chrono>
#include <thread>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int kBlock = 128;
constexpr int kBlocks = 6000; // about 17 seconds of audio
constexpr double kRate = 44100.0;

struct Received
{
	std::vector<unsigned char> scope;
	std::vector<unsigned char> notes;
};

class Feeder
{
public:
	explicit Feeder (Vamplet* p) : processor (p), block (2, 2, kBlock), events (8) {}

	// One block with a running transport, a ramp that sweeps the display range, and one
	// note whose offset counts the blocks.
	void run (int index)
	{
		for (int i = 0; i < kBlock; ++i)
		{
			const int n = index * kBlock + i;
			const float v = float ((n % 251) - 125) / 128.0f;
			block.in[0][i] = v;
			block.in[1][i] = v;
		}
		ProcessContext ctx {};
		ctx.state = ProcessContext::kPlaying | ProcessContext::kTempoValid |
		            ProcessContext::kProjectTimeMusicValid | ProcessContext::kBarPositionValid;
		ctx.tempo = 120.0;
		ctx.sampleRate = kRate;
		ctx.timeSigNumerator = ctx.timeSigDenominator = 4;
		ctx.projectTimeSamples = int64 (index) * kBlock;
		ctx.projectTimeMusic = double (index) * kBlock / 22050.0;
		ctx.barPositionMusic = std::floor (ctx.projectTimeMusic / 4.0) * 4.0;
		events.clear ();
		Event e {};
		e.type = Event::kNoteOnEvent;
		e.sampleOffset = index;
		e.noteOn.pitch = int16 (index % 128);
		e.noteOn.velocity = 0.5f;
		events.addEvent (e);
		block.data.processContext = &ctx;
		block.data.inputEvents = &events;
		processor->process (block.data);
		block.data.processContext = nullptr;
	}

private:
	Vamplet* processor;
	rig::Block block;
	vamplet::host::EventList events;
};

Received collect (const rig::RecordingPeer& peer)
{
	Received r;
	for (const auto& m : peer.received)
	{
		auto& dst = m.key == "AudioData" ? r.scope : r.notes;
		if (m.key != "askpresonus")
			dst.insert (dst.end (), m.bytes.begin (), m.bytes.end ());
	}
	return r;
}

using Handover = rig::Processor;

} // namespace

TEST_F (Handover, ConcurrentTimerSeesWhatAnAlternatingRunSees)
{
	// Reference: one thread, a timer tick after every block.
	activate (kBlock);
	{
		Feeder feeder (processor);
		for (int b = 0; b < kBlocks; ++b)
		{
			feeder.run (b);
			tick ();
		}
	}
	const Received reference = collect (*peer);
	ASSERT_GT (reference.scope.size (), size_t (kBlocks) * kBlock / 2);
	ASSERT_EQ (reference.notes.size (), size_t (kBlocks) * 16);

	// The same blocks from an audio thread while another thread ticks.
	rig::ProcessorRig concurrent;
	concurrent.activate (kBlock);
	std::atomic<bool> done {false};
	std::thread ui ([&] {
		while (!done.load ())
		{
			concurrent.tick ();
			std::this_thread::sleep_for (std::chrono::microseconds (300));
		}
		concurrent.tick ();
	});
	std::thread audio ([&] {
		Feeder feeder (concurrent.processor);
		for (int b = 0; b < kBlocks; ++b)
		{
			feeder.run (b);
			// Stay well inside what the ring and the note list hold between two ticks.
			if (b % 8 == 7)
				std::this_thread::sleep_for (std::chrono::microseconds (400));
		}
		done.store (true);
	});
	audio.join ();
	ui.join ();
	const Received got = collect (*concurrent.peer);

	EXPECT_EQ (got.scope.size (), reference.scope.size ());
	EXPECT_TRUE (got.scope == reference.scope) << "scope bytes differ in order or content";
	EXPECT_EQ (got.notes.size (), reference.notes.size ());
	EXPECT_TRUE (got.notes == reference.notes) << "notes differ in order or content";
}
