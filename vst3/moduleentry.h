// SPDX-License-Identifier: GPL-3.0-or-later
// Linux module glue: ModuleEntry/ModuleExit keep a use count, store the module handle and run
// the module initialisers (ascending priority) on the first entry and the terminators on the
// last exit. Initialisers and terminators register themselves from static objects.
#pragma once

#include <functional>

#define VAMPLET_EXPORT extern "C" __attribute__ ((visibility ("default")))

VAMPLET_EXPORT bool ModuleEntry (void* sharedLibraryHandle);
VAMPLET_EXPORT bool ModuleExit ();

// The handle given to the first ModuleEntry, or null outside an entry/exit pair.
void* getPlatformModuleHandle ();

namespace Steinberg {

using ModuleInitFunction = std::function<void ()>;

// A static object of this type adds its function to the initialiser list.
struct ModuleInitializer
{
	explicit ModuleInitializer (ModuleInitFunction func, unsigned priority = 100);
};

// A static object of this type adds its function to the terminator list.
struct ModuleTerminator
{
	explicit ModuleTerminator (ModuleInitFunction func, unsigned priority = 100);
};

} // namespace Steinberg
