// SPDX-License-Identifier: GPL-3.0-or-later
// The controller as a host sees it through the built bundle: the published parameter set,
// display strings, program list, restart requests and the controller's own state.
#include "host/plugininstance.h"
#include "host/utf16.h"
#include "testhome.h"

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace Steinberg;
using namespace Steinberg::Vst;
using vamplet::host::PluginInstance;

namespace {

std::string text (const String128 s)
{
	return vamplet::host::utf16ToUtf8 (reinterpret_cast<const char16_t*> (s), 128);
}

class Controller : public ::testing::Test
{
protected:
	void SetUp () override
	{
		std::string error;
		instance = PluginInstance::load (VAMPLET_BUNDLE_PATH, &error);
		ASSERT_TRUE (instance) << error;
		controller = instance->controller ();
		ASSERT_TRUE (controller);
	}

	std::string display (ParamID id, double v)
	{
		String128 s {};
		lastResult = controller->getParamStringByValue (id, v, s);
		return text (s);
	}

	TestHome home;
	std::unique_ptr<PluginInstance> instance;
	IEditController* controller = nullptr;
	tresult lastResult = kResultOk;
};

// Counts restart requests, as a host's component handler sees them.
class CountingHandler : public FObject, public IComponentHandler
{
public:
	tresult PLUGIN_API beginEdit (ParamID) override { return kResultOk; }
	tresult PLUGIN_API performEdit (ParamID, ParamValue) override { return kResultOk; }
	tresult PLUGIN_API endEdit (ParamID) override { return kResultOk; }
	tresult PLUGIN_API restartComponent (int32 flags) override
	{
		restarts.push_back (flags);
		return kResultOk;
	}
	std::vector<int32> restarts;
	OBJ_METHODS (CountingHandler, FObject)
	DEFINE_INTERFACES
		DEF_INTERFACE (IComponentHandler)
	END_DEFINE_INTERFACES (FObject)
	REFCOUNT_METHODS (FObject)
};

} // namespace

TEST_F (Controller, PublishesThirteenParametersInHostOrder)
{
	constexpr int32 A = ParameterInfo::kCanAutomate, L = ParameterInfo::kIsList;
	struct Expected
	{
		ParamID id;
		const char* title;
		int32 steps;
		int32 flags;
		UnitID unit;
		double defaultValue;
		double startValue;
	} expected[] = {
	    {0, "Loop1", 1, A | L, 1, 0.0, 0.0},
	    {1, "Loop1 value", 5, A | L, 1, 0.0, 0.0},
	    {2, "Loop1 pitch", 200, A, 1, 0.5, 0.5},
	    {3, "Loop1 reverse", 1, A | L, 1, 0.0, 0.0},
	    {4, "Loop1 FX", 1, A | L, 1, 0.0, 0.0},
	    {5, "Loop1 Fx Id", 0, A, 0, 0.0, 0.0},
	    {7, "Loop1 dry/wet", 0, A, 1, 1.0, 1.0},
	    {6, "Loop1 param", 0, A, 1, 0.5, 0.5},
	    {8, "Loop1 freepitch", 1, A | L, 1, 0.0, 1.0},
	    {11, "knob speed", 0, A, 0, 1.0, 1.0},
	    {13, "fastsync", 1, A | L, 0, 1.0, 1.0},
	    {9, "Factory Presets", 0, L | ParameterInfo::kIsProgramChange, 0, 0.0, 0.0},
	    {10, "Bypass", 1, 0x10001, 0, 0.0, 0.0},
	};
	ASSERT_EQ (controller->getParameterCount (), 13);
	for (int32 i = 0; i < 13; ++i)
	{
		const Expected& e = expected[i];
		ParameterInfo info {};
		ASSERT_EQ (controller->getParameterInfo (i, info), kResultOk);
		EXPECT_EQ (info.id, e.id) << "index " << i;
		EXPECT_EQ (text (info.title), e.title) << "index " << i;
		EXPECT_EQ (text (info.shortTitle), "") << e.title;
		EXPECT_EQ (text (info.units), "") << e.title;
		EXPECT_EQ (info.stepCount, e.steps) << e.title;
		EXPECT_EQ (info.flags, e.flags) << e.title;
		EXPECT_EQ (info.unitId, e.unit) << e.title;
		EXPECT_DOUBLE_EQ (info.defaultNormalizedValue, e.defaultValue) << e.title;
		EXPECT_DOUBLE_EQ (controller->getParamNormalized (e.id), e.startValue) << e.title;
	}
	// ID 12 lives in the engine only.
	String128 s {};
	EXPECT_EQ (controller->getParamStringByValue (12, 0.5, s), kResultFalse);
	EXPECT_EQ (controller->setParamNormalized (12, 0.5), kResultFalse);
}

TEST_F (Controller, DisplayStrings)
{
	struct Case
	{
		ParamID id;
		double v;
		const char* shown;
	} cases[] = {
	    {1, 0.0, "1 BAR "},    {1, 0.2, "1/2 BAR"},  {1, 0.4, "1/4 BAR"}, {1, 0.6, "1/8 BAR"},
	    {1, 0.8, "1/16 BAR"},  {1, 1.0, "1/32 BAR"}, {1, 1.5, ""},
	    {5, 0.0, "Gate"},      {5, 1.0 / 7, "Bit Reducer"}, {5, 0.99, "Reverb"}, {5, 1.0, "Delay"},
	    {5, -0.5, ""},
	    {0, 0.5, "ON"},        {0, 0.49, "OFF"},     {3, 1.0, "ON"},  {13, 0.0, "OFF"},
	    {2, 0.5, "0"},         {2, 0.0, "-100"},     {2, 1.0, "100"}, {2, 0.25, "-50"},
	    {6, 0.5, "0.5000"},    {7, 1.0, "1.0000"},   {11, 0.25, "0.2500"},
	    {9, 0.0, "Default"},
	    {10, 0.5, "Off"},      {10, 0.51, "On"},
	};
	for (const auto& c : cases)
	{
		EXPECT_EQ (display (c.id, c.v), c.shown) << "ID " << c.id << " at " << c.v;
		EXPECT_EQ (lastResult, kResultOk) << "ID " << c.id << " at " << c.v;
	}
	// A list accepts exactly its entries, trailing space included.
	ParamValue v = -1;
	String128 entry {};
	vamplet::host::utf8ToUtf16 ("1/2 ", reinterpret_cast<char16_t*> (entry), 128);
	EXPECT_EQ (controller->getParamValueByString (1, entry, v), kResultOk);
	EXPECT_DOUBLE_EQ (v, 0.2);
}

TEST_F (Controller, UnitsAndProgramList)
{
	FUnknownPtr<IUnitInfo> units (controller);
	ASSERT_TRUE (units);
	ASSERT_EQ (units->getUnitCount (), 2);
	UnitInfo root {}, loop {};
	units->getUnitInfo (0, root);
	units->getUnitInfo (1, loop);
	EXPECT_EQ (text (root.name), "Root");
	EXPECT_EQ (root.parentUnitId, kNoParentUnitId);
	EXPECT_EQ (root.programListId, 9);
	EXPECT_EQ (text (loop.name), "L1");
	EXPECT_EQ (loop.parentUnitId, 0);
	EXPECT_EQ (loop.programListId, kNoProgramListId);

	EXPECT_EQ (units->getProgramListCount (), 1);
	ProgramListInfo list {};
	ASSERT_EQ (units->getProgramListInfo (0, list), kResultOk);
	EXPECT_EQ (list.id, 9);
	EXPECT_EQ (text (list.name), "Presets");
	EXPECT_EQ (list.programCount, 1);
	EXPECT_EQ (units->getProgramListInfo (1, list), kResultFalse);

	String128 name {};
	EXPECT_EQ (units->getProgramName (9, 5, name), kResultOk);
	EXPECT_EQ (text (name), "Default");
	EXPECT_EQ (units->getProgramName (8, 0, name), kResultFalse);
}

TEST_F (Controller, ProgramChangeAsksHostToRereadValues)
{
	auto* handler = new CountingHandler;
	controller->setComponentHandler (handler);
	EXPECT_EQ (controller->setParamNormalized (3, 1.0), kResultOk);
	EXPECT_TRUE (handler->restarts.empty ());
	EXPECT_EQ (controller->setParamNormalized (9, 0.0), kResultOk);
	ASSERT_EQ (handler->restarts.size (), 1u);
	EXPECT_EQ (handler->restarts[0], kParamValuesChanged);
	controller->setComponentHandler (nullptr);
	handler->release ();
}

TEST_F (Controller, HostQueriesAnsweredAsFixed)
{
	EXPECT_EQ (controller->createView ("editor2"), nullptr);
	EXPECT_EQ (controller->createView ("Editor"), nullptr);
	EXPECT_EQ (controller->createView (nullptr), nullptr);

	FUnknownPtr<IEditController2> c2 (controller);
	ASSERT_TRUE (c2);
	EXPECT_EQ (c2->setKnobMode (kCircularMode), kResultTrue);

	FUnknownPtr<IMidiMapping> midi (controller);
	ASSERT_TRUE (midi);
	for (int16 channel : {0, 15})
		for (CtrlNumber cc : {CtrlNumber (1), CtrlNumber (64), CtrlNumber (kPitchBend)})
		{
			ParamID id = 0;
			EXPECT_EQ (midi->getMidiControllerAssignment (0, channel, cc, id), kResultFalse);
		}
}

TEST_F (Controller, OwnStateRoundTripAndRefusals)
{
	std::vector<char> state;
	ASSERT_TRUE (instance->getControllerState (state));
	ASSERT_EQ (state.size (), 24u);
	uint64 version = 0;
	std::memcpy (&version, state.data (), 8);
	EXPECT_EQ (version, 5u);

	// Bypass on and a view size restored into a new controller.
	auto make = [] (uint64 v, double bypass, double size) {
		std::vector<char> b (24);
		std::memcpy (b.data (), &v, 8);
		std::memcpy (b.data () + 8, &bypass, 8);
		std::memcpy (b.data () + 16, &size, 8);
		return b;
	};
	ASSERT_TRUE (instance->setControllerState (make (5, 1.0, 0.5)));
	EXPECT_DOUBLE_EQ (controller->getParamNormalized (10), 1.0);
	std::vector<char> again;
	ASSERT_TRUE (instance->getControllerState (again));
	EXPECT_EQ (again, make (5, 1.0, 0.5));

	const double nan = std::numeric_limits<double>::quiet_NaN ();
	std::vector<char> shortStream = make (5, 0.0, 0.0);
	shortStream.resize (20);
	for (const auto& bad : {make (4, 0.0, 0.25), make (5, nan, 0.25), make (5, 0.0, 1.5), shortStream})
	{
		EXPECT_FALSE (instance->setControllerState (bad));
		std::vector<char> after;
		ASSERT_TRUE (instance->getControllerState (after));
		EXPECT_EQ (after, make (5, 1.0, 0.5));
	}
}

TEST_F (Controller, SavedViewSizeIsReadAtStart)
{
	// A controller created while the settings file is active starts with its view size.
	home.write (".tonegrove/Vamplet/Vamplet.conf", "[Plugin]\nactive=1.000000\nsize=0.500000\n");
	std::string error;
	auto fresh = PluginInstance::load (VAMPLET_BUNDLE_PATH, &error);
	ASSERT_TRUE (fresh) << error;
	std::vector<char> state;
	ASSERT_TRUE (fresh->getControllerState (state));
	double size = 0;
	std::memcpy (&size, state.data () + 16, 8);
	EXPECT_DOUBLE_EQ (size, 0.5);
}
