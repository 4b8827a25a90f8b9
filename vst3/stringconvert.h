// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 <-> UTF-16 conversion for the VST 3 string types (TChar, String128).
// Invalid input never reads or writes out of bounds: bad UTF-8 bytes become U+FFFD and
// unpaired surrogates become U+FFFD.
#pragma once

#include "pluginterfaces/base/ftypes.h"
#include <string>

namespace Steinberg {
namespace StringConvert {

std::u16string convert (const std::string& utf8);
std::string convert (const std::u16string& utf16);
// Reads a zero-terminated UTF-16 string of at most maxChars code units.
std::string convert (const char16* utf16, int32 maxChars);
// Writes utf8 into a fixed UTF-16 buffer of maxChars code units (terminator included);
// truncates at a code point boundary. Returns false when nothing fits.
bool convert (const std::string& utf8, char16* dest, int32 maxChars);

} // namespace StringConvert
} // namespace Steinberg
