// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a host stream: a stream may hand out fewer bytes per read than asked for.
#pragma once

#include "pluginterfaces/base/ibstream.h"

namespace Steinberg {

// Reads until `size` bytes arrived, the stream ends or a read fails; returns the bytes read.
inline int32 readUpTo (IBStream* stream, void* dst, int32 size)
{
	int32 total = 0;
	while (stream && total < size)
	{
		int32 got = 0;
		if (stream->read (static_cast<char*> (dst) + total, size - total, &got) != kResultOk ||
		    got <= 0)
			break;
		total += got;
	}
	return total;
}

} // namespace Steinberg
