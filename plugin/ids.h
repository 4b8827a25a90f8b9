// SPDX-License-Identifier: GPL-3.0-or-later
// Class IDs and version strings of the module's two classes.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include <cstdint>

namespace vamplet {

// A 32-bit class-ID word from four printable ASCII letters, most significant byte first.
constexpr uint32_t fourCC (const char (&s)[5])
{
	return (uint32_t (uint8_t (s[0])) << 24) | (uint32_t (uint8_t (s[1])) << 16) |
	       (uint32_t (uint8_t (s[2])) << 8) | uint32_t (uint8_t (s[3]));
}

// The processor and the controller share words 2 to 4 and differ in the first.
constexpr uint32_t kSharedWord2 = fourCC ("Tngv");
constexpr uint32_t kSharedWord3 = fourCC ("Vmpl");
constexpr uint32_t kSharedWord4 = fourCC ("tFx1");

static const Steinberg::FUID kProcessorUID (fourCC ("VprP"), kSharedWord2, kSharedWord3, kSharedWord4);
static const Steinberg::FUID kControllerUID (fourCC ("VprC"), kSharedWord2, kSharedWord3, kSharedWord4);

constexpr const char* kVendor = "Tonegrove";
constexpr const char* kVendorUrl = "https://www.tonegrove.net";
constexpr const char* kVendorEmail = "mailto:support@tonegrove.net";
constexpr const char* kProcessorName = "Vamplet";
constexpr const char* kControllerName = "VampletController";
constexpr const char* kVersion = "1.0.0.1";
// The SDK version the classes declare.
constexpr const char* kSdkVersion = "VST 3.7.3";

} // namespace vamplet
