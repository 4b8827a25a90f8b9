// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 <-> UTF-16 conversion for the strings the VST 3 interfaces pass (String128 and friends).
#pragma once

#include <cstddef>
#include <string>

namespace vamplet::host {

// Converts a NUL-terminated UTF-16 string, reading at most maxUnits code units.
// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const char16_t* text, std::size_t maxUnits = static_cast<std::size_t>(-1));

// Writes a NUL-terminated UTF-16 copy of text into out (capacity in code units, including the NUL).
// Truncates at a character boundary when the text does not fit. Invalid UTF-8 bytes become U+FFFD.
void utf8ToUtf16(const std::string& text, char16_t* out, std::size_t capacity);

std::u16string utf8ToUtf16(const std::string& text);

} // namespace vamplet::host
