// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI note triggering: assigned notes hold the loop switch on while they sound, through the
// same parameter path as the loop button, so starts and stops stay on the beat grid. Every
// note is queued for the editor. The assign table is shared with a sibling product's folder.
#include "engine/userfolders.h"
#include "engine/vampletfx.h"

#include <cstdio>
#include <cstring>

namespace vamplet {

namespace {

bool isMidiNote (int pitch)
{
	return pitch >= 0 && pitch < VampletFX::kMidiNotes;
}

} // namespace

void VampletFX::setDefaultMidiAssign ()
{
	for (auto& entry : midiAssign)
		entry = -1;
	midiAssign[36] = 0;
	midiAssign[38] = 1;
	midiAssign[40] = 2;
	midiAssign[41] = 3;
}

void VampletFX::loadMidiAssign ()
{
	setDefaultMidiAssign ();
	const std::string path = midiAssignFilePath ();
	if (path.empty ())
		return;
	FILE* f = std::fopen (path.c_str (), "rb");
	if (!f)
		return;
	unsigned char bytes[kMidiAssignBytes];
	const size_t got = std::fread (bytes, 1, sizeof (bytes), f);
	std::fclose (f);
	if (got != sizeof (bytes))
		return;
	for (int n = 0; n < kMidiNotes; ++n)
	{
		int32_t value;
		std::memcpy (&value, bytes + 4 * n, 4);
		// Only real note-to-slot entries replace the defaults; -1 and junk keep them.
		if (value >= 0 && value <= 127)
			midiAssign[n] = value;
	}
}

void VampletFX::saveMidiAssign ()
{
	const std::string path = midiAssignFilePath ();
	if (path.empty ())
		return;
	// Never creates the folder: without the sibling's folder nothing is written.
	FILE* f = std::fopen (path.c_str (), "wb");
	if (!f)
		return;
	unsigned char bytes[kMidiAssignBytes];
	for (int n = 0; n < kMidiNotes; ++n)
		std::memcpy (bytes + 4 * n, &midiAssign[n], 4);
	std::fwrite (bytes, 1, sizeof (bytes), f);
	std::fclose (f);
}

void VampletFX::setSampleIdToAssign (int slotIndex)
{
	learnSlot = slotIndex;
	learnMode = true;
}

void VampletFX::clearMidiAssign (int slotIndex)
{
	for (auto& entry : midiAssign)
		if (entry == slotIndex)
			entry = -1;
}

void VampletFX::resetMidiAssign (int)
{
	setDefaultMidiAssign ();
	saveMidiAssign ();
}

void VampletFX::startProcessMIDI () {}

void VampletFX::endProcessMIDI ()
{
	pendingNotes.markPendingIfAny ();
}

void VampletFX::addNoteOn (int pitch, int velocity, int sampleOffset)
{
	pendingNotes.add (1, pitch, sampleOffset, velocity);
}

void VampletFX::addNoteOff (int pitch, int velocity, int sampleOffset)
{
	pendingNotes.add (2, pitch, sampleOffset, velocity);
}

void VampletFX::noteOn (int pitch, int velocity, int sampleOffset)
{
	addNoteOn (pitch, velocity, sampleOffset);
	if (!isMidiNote (pitch))
		return;
	if (learnMode && learnSlot == 0)
	{
		midiAssign[pitch] = 0;
		learnMode = false;
	}
	else if (midiAssign[pitch] != 0)
		return;
	setParameter (kParamLoop, 1.0);
}

void VampletFX::noteOff (int pitch, int velocity, int sampleOffset)
{
	addNoteOff (pitch, velocity, sampleOffset);
	if (isMidiNote (pitch) && midiAssign[pitch] == 0)
		setParameter (kParamLoop, 0.0);
}

} // namespace vamplet
