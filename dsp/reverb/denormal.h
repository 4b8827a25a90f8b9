// SPDX-License-Identifier: GPL-3.0-or-later
//
// Flushes a float whose exponent bits are all zero (zero or denormal) to 0.
// The reverb's recursive loops decay into denormals, which are very slow on
// x86 without flush-to-zero; testing the exponent bits costs one compare.
#pragma once

#include <cstdint>
#include <cstring>

inline float reverb_flush_denormal(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits & 0x7f800000u) == 0 ? 0.0f : value;
}
