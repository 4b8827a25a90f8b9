// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI note triggering: the assign table (defaults, the shared table file and its write-back)
// and the note list handed to the editor.
#include "engine/vampletfx.h"
#include "../plugin/testhome.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <vector>

using vamplet::VampletFX;

namespace {

const char* kTable = ".tonegrove/Flurrix3/midiassign.tab";

std::string tableBytes (const std::vector<std::pair<int, int32_t>>& entries, int32_t fill = -1)
{
	std::vector<int32_t> table (128, fill);
	for (auto [note, slot] : entries)
		table[note] = slot;
	return std::string (reinterpret_cast<const char*> (table.data ()), 512);
}

int32_t entryOf (const std::string& bytes, int note)
{
	int32_t v = 0;
	std::memcpy (&v, bytes.data () + 4 * note, 4);
	return v;
}

std::vector<vamplet::NoteRecord> drain (VampletFX& engine)
{
	engine.pendingNotes.takePendingFlag ();
	unsigned char bytes[vamplet::NoteList::kBytes];
	const int n = engine.pendingNotes.take (bytes, sizeof (bytes));
	std::vector<vamplet::NoteRecord> records (n / 16);
	std::memcpy (records.data (), bytes, n);
	return records;
}

} // namespace

TEST (MidiTriggering, DefaultTableDrivesTheLoopSwitchWithNote36)
{
	TestHome home;
	VampletFX engine;
	engine.startProcessMIDI ();
	engine.noteOn (38, 100, 0);
	EXPECT_EQ (engine.getParameter (0), 0.0) << "note 38 names slot 1, which does not exist";
	engine.noteOn (36, 0, 5);
	EXPECT_EQ (engine.getParameter (0), 1.0) << "velocity 0 switches like any other";
	engine.noteOff (36, 64, 9);
	EXPECT_EQ (engine.getParameter (0), 0.0);
	engine.noteOn (200, 100, 11); // outside the MIDI range: queued, switches nothing
	EXPECT_EQ (engine.getParameter (0), 0.0);
	engine.endProcessMIDI ();

	EXPECT_TRUE (engine.pendingNotes.isPending ());
	auto notes = drain (engine);
	EXPECT_FALSE (engine.pendingNotes.isPending ());
	ASSERT_EQ (notes.size (), 4u);
	const int expected[4][4] = {{1, 38, 0, 100}, {1, 36, 5, 0}, {2, 36, 9, 64}, {1, 200, 11, 100}};
	for (int i = 0; i < 4; ++i)
	{
		EXPECT_EQ (notes[i].kind, expected[i][0]);
		EXPECT_EQ (notes[i].pitch, expected[i][1]);
		EXPECT_EQ (notes[i].sampleOffset, expected[i][2]);
		EXPECT_EQ (notes[i].velocity, expected[i][3]);
	}
}

TEST (MidiTriggering, TableFileAddsNotesAndBadContentKeepsDefaults)
{
	struct Case
	{
		const char* what;
		std::string bytes;
		int note;
		bool drivesLoop;
	} cases[] = {
	    {"entry 60 = 0 adds note 60", tableBytes ({{60, 0}}), 60, true},
	    {"and note 36 keeps its default", tableBytes ({{60, 0}}), 36, true},
	    {"-1 does not clear a default", tableBytes ({{36, -1}}), 36, true},
	    {"an entry of 200 is ignored", tableBytes ({{60, 200}}), 60, false},
	    {"another slot leaves the note off", tableBytes ({{36, 5}}), 36, false},
	    {"a 100-byte file is ignored", tableBytes ({{60, 0}}).substr (0, 100), 60, false},
	};
	for (const auto& c : cases)
	{
		TestHome home;
		home.write (kTable, c.bytes);
		VampletFX engine;
		engine.noteOn (c.note, 100, 0);
		EXPECT_EQ (engine.getParameter (0) == 1.0, c.drivesLoop) << c.what;
	}
}

TEST (MidiTriggering, EveryEngineWritesTheTableBackButNeverMakesTheFolder)
{
	{
		TestHome home;
		{
			VampletFX engine;
		}
		struct stat st {};
		EXPECT_NE (stat (home.file (".tonegrove/Flurrix3").c_str (), &st), 0);
	}
	TestHome home;
	home.write (kTable, tableBytes ({{60, 0}}));
	{
		VampletFX first;
		VampletFX second;
		second.setSampleIdToAssign (0);
		second.noteOn (72, 100, 0); // learned by the second engine, which goes first
		EXPECT_EQ (second.getParameter (0), 1.0);
	}
	// The first engine is destroyed last and wins: its table has no note 72.
	const std::string written = home.read (kTable);
	ASSERT_EQ (written.size (), 512u);
	EXPECT_EQ (entryOf (written, 60), 0);
	EXPECT_EQ (entryOf (written, 36), 0);
	EXPECT_EQ (entryOf (written, 38), 1);
	EXPECT_EQ (entryOf (written, 72), -1);
	{
		VampletFX engine;
		engine.setSampleIdToAssign (0);
		engine.noteOn (72, 100, 0);
	}
	EXPECT_EQ (entryOf (home.read (kTable), 72), 0);
}

TEST (MidiTriggering, ClearAndResetTheTable)
{
	TestHome home;
	home.write (kTable, tableBytes ({{60, 0}}));
	VampletFX engine;
	engine.clearMidiAssign (0);
	engine.noteOn (36, 100, 0);
	engine.noteOn (60, 100, 0);
	EXPECT_EQ (engine.getParameter (0), 0.0);
	engine.resetMidiAssign (0);
	EXPECT_EQ (entryOf (home.read (kTable), 60), -1);
	EXPECT_EQ (entryOf (home.read (kTable), 36), 0);
	engine.noteOn (36, 100, 0);
	EXPECT_EQ (engine.getParameter (0), 1.0);
}

TEST (MidiTriggering, ABurstOf130NotesLeavesTheLastTwo)
{
	TestHome home;
	VampletFX engine;
	engine.startProcessMIDI ();
	for (int i = 0; i < 130; ++i)
		engine.noteOn (i % 128, 1, i);
	engine.endProcessMIDI ();
	auto notes = drain (engine);
	ASSERT_EQ (notes.size (), 2u);
	EXPECT_EQ (notes[0].sampleOffset, 128);
	EXPECT_EQ (notes[1].sampleOffset, 129);

	// Exactly 128 notes wrap the count to 0: nothing is pending and nothing is sent.
	engine.startProcessMIDI ();
	for (int i = 0; i < 128; ++i)
		engine.noteOn (50, 1, i);
	engine.endProcessMIDI ();
	EXPECT_FALSE (engine.pendingNotes.isPending ());
}
