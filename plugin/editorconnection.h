// SPDX-License-Identifier: GPL-3.0-or-later
// What the controller needs of an open editor window: where to relay the processor's scope
// bytes and notes, and who takes a new hidden-parameter value. The editor implements it and
// attaches itself to the controller while its window is open.
#pragma once

#include <cstdint>

namespace vamplet {

class EditorConnection
{
public:
	virtual ~EditorConnection () = default;
	virtual bool isWindowOpen () const = 0;
	virtual void processOscilloscope (const int8_t* bytes, int size, int channel) = 0;
	virtual void processMidiNoteFromhost (const void* records, int size) = 0;
	virtual bool setHiddenParameter (int index, double value) = 0;
};

} // namespace vamplet
