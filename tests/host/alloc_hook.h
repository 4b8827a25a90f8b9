// SPDX-License-Identifier: GPL-3.0-or-later
// Counts global operator new calls while counting is switched on. The test executable replaces
// the global operator new, so allocations made inside a loaded plug-in module are counted too.
#pragma once

#include <cstddef>

namespace alloc_hook {
void setCounting(bool on);
std::size_t count();
void reset();
} // namespace alloc_hook
