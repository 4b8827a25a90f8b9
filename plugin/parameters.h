// SPDX-License-Identifier: GPL-3.0-or-later
// The one parameter table: everything the host, the controller and the editor learn about a
// parameter (title, kind, steps, flags, unit, default, start value, list entries) and the
// display strings. The IDs themselves live in engine/paramids.h.
#pragma once

#include "engine/paramids.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace vamplet {

using Steinberg::Vst::ParameterInfo;

enum class ParamKind
{
	StringList,  // list of named entries; steps = entries - 1
	Range,       // plain range with steps
	Plain,       // plain normalised value
	ProgramList, // the parameter the program list makes
	None         // not published to the host
};

// Units the controller registers.
enum UnitId : int
{
	kUnitRoot = 0,
	kUnitLoop1 = 1
};
constexpr const char* kUnitRootName = "Root";
constexpr const char* kUnitLoop1Name = "L1";
constexpr int kLoopNumber = 1; // the single loop slot that the titles name

constexpr int kProgramListId = kParamProgram;
constexpr const char* kProgramListTitle = "Factory Presets";
constexpr const char* kProgramListInfoName = "Presets";
constexpr const char* kDefaultProgramName = "Default";

constexpr int32_t kAutomate = ParameterInfo::kCanAutomate;
constexpr int32_t kList = ParameterInfo::kIsList;

struct ParamDesc
{
	int id;
	const char* title;   // may hold one "%d" for the loop number
	ParamKind kind;
	int32_t steps;
	int32_t flags;
	int unit;
	double defaultValue; // normalised value the host reads as default
	double startValue;   // normalised value right after the controller starts
	const char* const* entries;
	int numEntries;
	double minPlain;     // plain range of Range parameters
	double maxPlain;
};

constexpr const char* kOffOnEntries[] = {"OFF", "ON"};
// Entries of the loop-size list: the fractions end in one space, "1 bar" has none.
constexpr const char* kLoopSizeEntries[] = {"1 bar", "1/2 ", "1/4 ", "1/8 ", "1/16 ", "1/32 "};
constexpr const char* kProgramEntries[] = {kDefaultProgramName};

// Display strings of the loop size (index int(v * 5)) and of the effect number (int(v * 7)).
constexpr const char* kLoopSizeDisplay[] = {"1 BAR ", "1/2 BAR", "1/4 BAR", "1/8 BAR", "1/16 BAR", "1/32 BAR"};
constexpr const char* kEffectNames[] = {"Gate",       "Bit Reducer", "Autopan", "Hipass",
                                        "Phaser",     "TimeExpand",  "Reverb",  "Delay"};
constexpr int kNumLoopSizeDisplay = 6;
constexpr int kNumEffectNames = 8;

// Indexed by parameter ID.
constexpr ParamDesc kParams[kNumEngineParams] = {
    {kParamLoop, "Loop%d", ParamKind::StringList, 1, kAutomate | kList, kUnitLoop1, 0.0, 0.0, kOffOnEntries, 2, 0, 1},
    {kParamLoopSize, "Loop%d value", ParamKind::StringList, 5, kAutomate | kList, kUnitLoop1, 0.0, 0.0, kLoopSizeEntries, 6, 0, 5},
    {kParamPitch, "Loop%d pitch", ParamKind::Range, 200, kAutomate, kUnitLoop1, 0.5, 0.5, nullptr, 0, -100, 100},
    {kParamReverse, "Loop%d reverse", ParamKind::StringList, 1, kAutomate | kList, kUnitLoop1, 0.0, 0.0, kOffOnEntries, 2, 0, 1},
    {kParamFxOn, "Loop%d FX", ParamKind::StringList, 1, kAutomate | kList, kUnitLoop1, 0.0, 0.0, kOffOnEntries, 2, 0, 1},
    {kParamFxId, "Loop%d Fx Id", ParamKind::Plain, 0, kAutomate, kUnitRoot, 0.0, 0.0, nullptr, 0, 0, 1},
    {kParamFxParam, "Loop%d param", ParamKind::Plain, 0, kAutomate, kUnitLoop1, 0.5, 0.5, nullptr, 0, 0, 1},
    {kParamDryWet, "Loop%d dry/wet", ParamKind::Plain, 0, kAutomate, kUnitLoop1, 1.0, 1.0, nullptr, 0, 0, 1},
    // Free pitch starts on while the host's default stays off.
    {kParamFreePitch, "Loop%d freepitch", ParamKind::StringList, 1, kAutomate | kList, kUnitLoop1, 0.0, 1.0, kOffOnEntries, 2, 0, 1},
    // The program list parameter: list and program change, not automatable.
    {kParamProgram, kProgramListTitle, ParamKind::ProgramList, 0, kList | ParameterInfo::kIsProgramChange, kUnitRoot, 0.0, 0.0, kProgramEntries, 1, 0, 0},
    {kParamBypass, "Bypass", ParamKind::Plain, 1, kAutomate | ParameterInfo::kIsBypass, kUnitRoot, 0.0, 0.0, nullptr, 0, 0, 1},
    {kParamKnobSpeed, "knob speed", ParamKind::Plain, 0, kAutomate, kUnitRoot, 1.0, 1.0, nullptr, 0, 0, 1},
    {kParamTriplet, "", ParamKind::None, 0, 0, kUnitRoot, 0.0, 0.0, nullptr, 0, 0, 1},
    {kParamFastSync, "fastsync", ParamKind::StringList, 1, kAutomate | kList, kUnitRoot, 1.0, 1.0, kOffOnEntries, 2, 0, 1},
};

// The order in which the controller adds the parameters, which is the index order the host
// sees: dry/wet before param, the program parameter and the bypass last.
constexpr int kHostParamOrder[] = {0, 1, 2, 3, 4, 5, 7, 6, 8, 11, 13, 9, 10};

} // namespace vamplet
