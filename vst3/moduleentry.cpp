// SPDX-License-Identifier: GPL-3.0-or-later
#include "vst3/moduleentry.h"

#include <algorithm>
#include <vector>

namespace Steinberg {
namespace {

struct FunctionEntry
{
	unsigned priority;
	ModuleInitFunction func;
};

// Function-local statics: the registering static objects may run before this file's globals.
std::vector<FunctionEntry>& initializers ()
{
	static std::vector<FunctionEntry> list;
	return list;
}

std::vector<FunctionEntry>& terminators ()
{
	static std::vector<FunctionEntry> list;
	return list;
}

void runInOrder (std::vector<FunctionEntry>& list)
{
	std::stable_sort (list.begin (), list.end (),
	                  [] (const FunctionEntry& a, const FunctionEntry& b) {
		                  return a.priority < b.priority;
	                  });
	for (auto& entry : list)
		if (entry.func)
			entry.func ();
}

int useCount = 0;
void* moduleHandle = nullptr;

} // namespace

ModuleInitializer::ModuleInitializer (ModuleInitFunction func, unsigned priority)
{
	initializers ().push_back ({priority, std::move (func)});
}

ModuleTerminator::ModuleTerminator (ModuleInitFunction func, unsigned priority)
{
	terminators ().push_back ({priority, std::move (func)});
}

void* getModuleHandle ()
{
	return moduleHandle;
}

} // namespace Steinberg

void* getPlatformModuleHandle ()
{
	return Steinberg::getModuleHandle ();
}

bool ModuleEntry (void* sharedLibraryHandle)
{
	if (++Steinberg::useCount == 1)
	{
		Steinberg::moduleHandle = sharedLibraryHandle;
		Steinberg::runInOrder (Steinberg::initializers ());
	}
	return true;
}

bool ModuleExit ()
{
	// An exit without a matching entry is refused and leaves the count at 0: a negative count
	// would make the next ModuleEntry skip the initialisers.
	if (Steinberg::useCount <= 0)
		return false;
	if (--Steinberg::useCount == 0)
	{
		Steinberg::moduleHandle = nullptr;
		Steinberg::runInOrder (Steinberg::terminators ());
	}
	return true;
}
