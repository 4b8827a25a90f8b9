// SPDX-License-Identifier: GPL-3.0-or-later
// The looper end to end through the built bundle: a loop switched on mid-bar by a parameter
// or by a MIDI note starts on the next beat and repeats; the render tool's timeline does the
// same; and the plug-in's process allocates nothing during a long render with loop changes.
#include "../host/alloc_hook.h"
#include "host/plugininstance.h"
#include "testhome.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
using vamplet::host::PluginInstance;

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 256;
constexpr int kBeat = 22050; // 120 BPM

// Left input names its sample: a ramp of small steps, exact in single precision.
float origin (int64_t n)
{
	return float (n % 40000) / 65536.0f;
}

std::unique_ptr<PluginInstance> startVamplet ()
{
	std::string error;
	auto p = PluginInstance::load (VAMPLET_BUNDLE_PATH, &error);
	EXPECT_TRUE (p) << error;
	if (p && !p->setup (kRate, kBlock))
		ADD_FAILURE () << "setup failed";
	return p;
}

// Renders `total` samples; `before(position)` may queue changes or notes for the next block.
template <typename Before>
std::vector<float> render (PluginInstance& p, int64_t total, Before before)
{
	std::vector<float> out;
	p.transport ().tempo = 120.0;
	for (int64_t pos = 0; pos < total; pos += kBlock)
	{
		before (pos);
		for (int i = 0; i < kBlock; ++i)
		{
			p.input32 (0, 0)[i] = origin (pos + i);
			p.input32 (0, 1)[i] = -origin (pos + i);
		}
		EXPECT_TRUE (p.processBlock (kBlock));
		out.insert (out.end (), p.output32 (0, 0), p.output32 (0, 0) + kBlock);
	}
	return out;
}

// The first sample after `from` where the output stops following the input.
int64_t firstDeparture (const std::vector<float>& out, int64_t from)
{
	for (int64_t n = from; n < int64_t (out.size ()); ++n)
		if (out[n] != origin (n))
			return n;
	return -1;
}

class Looper : public ::testing::Test
{
protected:
	TestHome home;
};

} // namespace

TEST_F (Looper, ParameterAndNoteStartTheSameLoopOnTheNextBeat)
{
	// A quarter loop (not in phase with the bar: started from the last beat's worth of
	// captured audio) switched on in the middle of beat 5, at a block boundary.
	const int64_t switchAt = 385 * kBlock; // 98 560, inside beat 5 (88 200 .. 110 250)
	const int64_t nextBeat = 5 * kBeat;
	const int64_t total = 9 * kBeat;

	auto byParam = startVamplet ();
	ASSERT_TRUE (byParam);
	byParam->setParameter (1, 0.4); // a quarter of a bar
	auto paramOut = render (*byParam, total, [&] (int64_t pos) {
		if (pos == switchAt)
		{
			byParam->setParameter (0, 1.0);
		}
	});

	auto byNote = startVamplet ();
	ASSERT_TRUE (byNote);
	byNote->setParameter (1, 0.4);
	auto noteOut = render (*byNote, total, [&] (int64_t pos) {
		if (pos == switchAt)
		{
			byNote->noteOn (36, 0.8f, 0);
		}
	});

	// Live input up to the beat, then the loop fading in from the live signal (its first
	// samples still round to the input); both routes give the same audio.
	const int64_t departure = firstDeparture (paramOut, 0);
	EXPECT_GE (departure, nextBeat);
	EXPECT_LE (departure, nextBeat + 2);
	EXPECT_EQ (paramOut, noteOut);
	// Once the start fade is over the loop repeats every beat.
	for (int64_t n = nextBeat + 2000; n + kBeat < total; n += 997)
		ASSERT_FLOAT_EQ (paramOut[n], paramOut[n + kBeat]) << n;
	// And it is the audio captured just before the beat, not the live input.
	EXPECT_NE (paramOut[nextBeat + 5000], origin (nextBeat + 5000));
	EXPECT_NEAR (paramOut[nextBeat + 5000], origin (nextBeat - kBeat + 5000), 2.0 / 65536.0);
}

TEST_F (Looper, ProcessAllocatesNothingDuringALongRenderWithLoopChanges)
{
	auto p = startVamplet ();
	ASSERT_TRUE (p);
	p->setProcessFunction (
	    [] (IAudioProcessor& processor, ProcessData& data, void*) {
		    alloc_hook::setCounting (true);
		    tresult r = processor.process (data);
		    alloc_hook::setCounting (false);
		    return r;
	    },
	    nullptr);
	alloc_hook::reset ();
	int step = 0;
	render (*p, int64_t (kRate) * 60, [&] (int64_t pos) {
		if (pos % (kBeat / 2) >= kBlock)
			return;
		// Every half beat something changes: loop on/off, size, reverse, pitch, effects.
		switch (step++ % 8)
		{
			case 0: p->setParameter (0, 1.0); break;
			case 1: p->setParameter (1, (step % 6) / 5.0); break;
			case 2: p->setParameter (3, step % 2); break;
			case 3: p->setParameter (2, (step % 5) / 4.0); p->setParameter (8, step % 2); break;
			case 4: p->setParameter (4, 1.0); p->setParameter (5, (step % 8) / 7.0); break;
			case 5: p->noteOn (36, 1.0f, 17); break;
			case 6: p->noteOff (36, 0.0f, 3); p->setParameter (6, (step % 10) / 9.0); break;
			case 7: p->setParameter (0, 0.0); p->setParameter (4, 0.0); break;
		}
	});
	p->setProcessFunction (nullptr, nullptr);
	EXPECT_EQ (alloc_hook::count (), 0u);
}

TEST_F (Looper, RenderToolTimelinePlaysTheLoopWhereItSays)
{
	// Input: the origin ramp as a WAV; timeline: a quarter loop from bar 2, beat 2.5.
	const std::string dir = home.path ();
	const std::string in = dir + "/in.wav", out = dir + "/out.wav", timeline = dir + "/t.txt";
	const int64_t total = 6 * 4 * kBeat;
	{
		SF_INFO info {};
		info.samplerate = int (kRate);
		info.channels = 2;
		info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
		SNDFILE* f = sf_open (in.c_str (), SFM_WRITE, &info);
		ASSERT_NE (f, nullptr);
		std::vector<float> frames (size_t (total) * 2);
		for (int64_t n = 0; n < total; ++n)
		{
			frames[2 * n] = origin (n);
			frames[2 * n + 1] = -origin (n);
		}
		sf_writef_float (f, frames.data (), total);
		sf_close (f);
	}
	std::ofstream (timeline) << "1.1 param \"Loop1 value\" 0.4\n"
	                         << "2.2.3 param 0 1\n"
	                         << "5.1 param Loop1 0\n";
	const std::string cmd = std::string (VAMPLET_RENDER_TOOL) + " --bundle " VAMPLET_BUNDLE_PATH +
	                        " -i " + in + " -o " + out + " -t " + timeline +
	                        " --tempo 120 --block 300 > /dev/null";
	ASSERT_EQ (std::system (cmd.c_str ()), 0) << cmd;

	SF_INFO info {};
	SNDFILE* f = sf_open (out.c_str (), SFM_READ, &info);
	ASSERT_NE (f, nullptr);
	std::vector<float> frames (size_t (info.frames) * info.channels);
	sf_readf_float (f, frames.data (), info.frames);
	sf_close (f);
	std::vector<float> left (size_t (info.frames));
	for (sf_count_t n = 0; n < info.frames; ++n)
		left[n] = frames[n * info.channels];

	// Switched at bar 2, beat 2 and a half: the loop starts at beat 3 of bar 2.
	const int64_t start = 4 * kBeat + 2 * kBeat;
	EXPECT_GE (firstDeparture (left, 0), start);
	EXPECT_LE (firstDeparture (left, 0), start + 2);
	for (int64_t n = start + 3000; n + kBeat < 16 * kBeat; n += 1009)
		ASSERT_FLOAT_EQ (left[n], left[n + kBeat]) << n;
	// Off at bar 5: live again after the next beat and its fade.
	EXPECT_FLOAT_EQ (left[17 * kBeat + 3000], origin (17 * kBeat + 3000));
}
