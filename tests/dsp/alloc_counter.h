// SPDX-License-Identifier: GPL-3.0-or-later
//
// Counts heap allocations made through the global operator new (replaced in
// alloc_counter.cpp for the whole test executable), so a test can prove that a
// per-sample call allocates nothing.
#pragma once

#include <cstddef>

namespace alloc_counter
{
std::size_t count();
}
