// SPDX-License-Identifier: GPL-3.0-or-later
// The built Vamplet.vst3 as a host meets it: module entry, factory, classes, buses and
// arrangements, bypass, parameter forwarding and the processor's state.
#include "host/module.h"
#include "host/plugininstance.h"
#include "host/utf16.h"
#include "testhome.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <dlfcn.h>
#include <limits>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
using vamplet::host::Module;
using vamplet::host::PluginInstance;

namespace {

const char* kBundle = VAMPLET_BUNDLE_PATH;

std::unique_ptr<PluginInstance> loadVamplet ()
{
	std::string error;
	auto instance = PluginInstance::load (kBundle, &error);
	EXPECT_TRUE (instance) << error;
	return instance;
}

struct Chunk
{
	int32_t version = 0;
	int32_t count = 0;
	double values[14] = {};
};

Chunk parse (const std::vector<char>& bytes)
{
	Chunk c;
	EXPECT_EQ (bytes.size (), 120u);
	if (bytes.size () >= 120)
	{
		std::memcpy (&c.version, bytes.data (), 4);
		std::memcpy (&c.count, bytes.data () + 4, 4);
		std::memcpy (c.values, bytes.data () + 8, 112);
	}
	return c;
}

std::vector<char> makeChunk (int32_t version, int32_t count, const std::vector<double>& values)
{
	std::vector<char> bytes (8 + 8 * values.size ());
	std::memcpy (bytes.data (), &version, 4);
	std::memcpy (bytes.data () + 4, &count, 4);
	if (!values.empty ())
		std::memcpy (bytes.data () + 8, values.data (), 8 * values.size ());
	return bytes;
}

class Bundle : public ::testing::Test
{
protected:
	TestHome home;
};

} // namespace

TEST_F (Bundle, FactoryDescribesVendorAndTwoClassesInOrder)
{
	std::string error;
	auto module = Module::load (kBundle, &error);
	ASSERT_TRUE (module) << error;

	auto info = module->factoryInfo ();
	EXPECT_EQ (info.vendor, "Tonegrove");
	EXPECT_FALSE (info.url.empty ());
	EXPECT_EQ (info.email.rfind ("mailto:", 0), 0u);
	EXPECT_EQ (info.flags, PFactoryInfo::kUnicode);

	auto classes = module->classes ();
	ASSERT_EQ (classes.size (), 2u);
	const auto& p = classes[0];
	const auto& c = classes[1];
	EXPECT_EQ (p.category, "Audio Module Class");
	EXPECT_EQ (p.name, "Vamplet");
	EXPECT_EQ (p.classFlags, 1u);
	EXPECT_EQ (p.subCategories, "Fx");
	EXPECT_EQ (c.category, "Component Controller Class");
	EXPECT_EQ (c.name, "VampletController");
	EXPECT_EQ (c.classFlags, 0u);
	EXPECT_EQ (c.subCategories, "");
	for (const auto* cls : {&p, &c})
	{
		EXPECT_EQ (cls->cardinality, PClassInfo::kManyInstances);
		EXPECT_EQ (cls->vendor, "");
		EXPECT_EQ (cls->version, "1.0.0.1");
		EXPECT_EQ (cls->sdkVersion, "VST 3.7.3");
		for (int i = 0; i < 16; ++i)
			EXPECT_TRUE (std::isprint (static_cast<unsigned char> (cls->cid[i]))) << cls->name;
	}
	// Same last three words, different first word.
	EXPECT_EQ (std::memcmp (p.cid + 4, c.cid + 4, 12), 0);
	EXPECT_NE (std::memcmp (p.cid, c.cid, 4), 0);
}

TEST_F (Bundle, ProcessorNamesTheControllerClass)
{
	auto instance = loadVamplet ();
	ASSERT_TRUE (instance);
	TUID cid;
	ASSERT_EQ (instance->component ()->getControllerClassId (cid), kResultOk);
	std::string error;
	auto module = Module::load (kBundle, &error);
	EXPECT_EQ (std::memcmp (cid, module->classes ()[1].cid, 16), 0);
	EXPECT_NE (instance->controller (), nullptr);
	EXPECT_TRUE (instance->connected ());
}

TEST_F (Bundle, ModuleEntryCountsUsesAndFactoryIsShared)
{
	const std::string so = vamplet::host::bundleLibraryPath (kBundle);
	void* handle = dlopen (so.c_str (), RTLD_NOW | RTLD_LOCAL);
	ASSERT_NE (handle, nullptr) << dlerror ();
	auto entry = reinterpret_cast<bool (*) (void*)> (dlsym (handle, "ModuleEntry"));
	auto exit = reinterpret_cast<bool (*) ()> (dlsym (handle, "ModuleExit"));
	auto getFactory = reinterpret_cast<IPluginFactory* (*) ()> (dlsym (handle, "GetPluginFactory"));
	ASSERT_TRUE (entry && exit && getFactory);

	EXPECT_FALSE (exit ()) << "exit without entry";
	EXPECT_TRUE (entry (handle));
	EXPECT_TRUE (entry (handle));
	IPluginFactory* a = getFactory ();
	IPluginFactory* b = getFactory ();
	EXPECT_EQ (a, b);
	EXPECT_EQ (a->countClasses (), 2);
	a->release ();
	b->release ();
	// Rebuilt after the last release, with the same classes.
	IPluginFactory* c = getFactory ();
	EXPECT_EQ (c->countClasses (), 2);
	c->release ();
	EXPECT_TRUE (exit ());
	EXPECT_TRUE (exit ());
	EXPECT_FALSE (exit ()) << "one exit too many is refused";
	EXPECT_TRUE (entry (handle)) << "and the module can still be entered";
	EXPECT_TRUE (exit ());
	dlclose (handle);
}

TEST_F (Bundle, DeclaresStereoAndMidiBuses)
{
	auto instance = loadVamplet ();
	ASSERT_TRUE (instance);
	auto buses = instance->busInfos ();
	ASSERT_EQ (buses.size (), 4u);
	struct Expected
	{
		MediaType media;
		BusDirection dir;
		const char* name;
		int channels;
	} expected[] = {{kAudio, kInput, "Stereo In", 2},
	                {kAudio, kOutput, "Stereo Out", 2},
	                {kEvent, kInput, "MIDI In", 16},
	                {kEvent, kOutput, "MIDI Out Vamplet", 16}};
	for (const auto& e : expected)
	{
		bool found = false;
		for (const auto& b : buses)
			if (b.media == e.media && b.direction == e.dir)
			{
				found = true;
				EXPECT_EQ (b.name, e.name);
				EXPECT_EQ (b.channelCount, e.channels);
				EXPECT_EQ (b.busType, kMain);
				EXPECT_TRUE (b.flags & BusInfo::kDefaultActive);
				if (e.media == kAudio)
				{
					EXPECT_EQ (b.arrangement, SpeakerArr::kStereo);
				}
			}
		EXPECT_TRUE (found) << e.name;
	}
}

TEST_F (Bundle, BusArrangements)
{
	struct Case
	{
		const char* what;
		std::vector<SpeakerArrangement> ins, outs;
		tresult result;
		const char* inName;
		SpeakerArrangement arrangement;
	} cases[] = {
	    {"mono", {SpeakerArr::kMono}, {SpeakerArr::kMono}, kResultOk, "Mono In", SpeakerArr::kMono},
	    {"stereo", {SpeakerArr::kStereo}, {SpeakerArr::kStereo}, kResultOk, "Stereo In", SpeakerArr::kStereo},
	    {"5.1", {SpeakerArr::k51}, {SpeakerArr::k51}, kResultFalse, "Stereo In", SpeakerArr::kStereo},
	    {"mono to stereo", {SpeakerArr::kMono}, {SpeakerArr::kStereo}, kResultFalse, "Stereo In", SpeakerArr::kStereo},
	    {"two inputs", {SpeakerArr::kMono, SpeakerArr::kMono}, {SpeakerArr::kMono}, kResultFalse, "Stereo In", SpeakerArr::kStereo},
	};
	for (auto& c : cases)
	{
		auto instance = loadVamplet ();
		ASSERT_TRUE (instance);
		EXPECT_EQ (instance->processor ()->setBusArrangements (c.ins.data (), int32 (c.ins.size ()),
		                                                       c.outs.data (), int32 (c.outs.size ())),
		           c.result)
		    << c.what;
		BusInfo info {};
		ASSERT_EQ (instance->component ()->getBusInfo (kAudio, kInput, 0, info), kResultOk);
		EXPECT_EQ (vamplet::host::utf16ToUtf8 (reinterpret_cast<const char16_t*> (info.name), 128), c.inName) << c.what;
		SpeakerArrangement arr = 0;
		instance->processor ()->getBusArrangement (kOutput, 0, arr);
		EXPECT_EQ (arr, c.arrangement) << c.what;
		EXPECT_EQ (instance->component ()->getBusCount (kEvent, kInput), 1) << c.what;
	}
}

TEST_F (Bundle, SampleSizesAndContextRequirements)
{
	auto instance = loadVamplet ();
	ASSERT_TRUE (instance);
	EXPECT_EQ (instance->processor ()->canProcessSampleSize (kSample32), kResultTrue);
	EXPECT_EQ (instance->processor ()->canProcessSampleSize (kSample64), kResultFalse);
	IProcessContextRequirements* req = nullptr;
	ASSERT_EQ (instance->processor ()->queryInterface (IProcessContextRequirements::iid,
	                                                   reinterpret_cast<void**> (&req)),
	           kResultOk);
	EXPECT_EQ (req->getProcessContextRequirements (), 0x7FFu);
	req->release ();
	EXPECT_EQ (instance->processor ()->getLatencySamples (), 0u);
	EXPECT_EQ (instance->processor ()->getTailSamples (), 0u);
}

TEST_F (Bundle, StoppedTransportAndBypassPassInputThrough)
{
	// Bypass at exactly 0.5 copies; just below lets the engine render, which with the
	// transport stopped also passes the input through. Blocks longer than announced are
	// rendered whole.
	for (double bypass : {0.5, 1.0, 0.4999})
	{
		auto instance = loadVamplet ();
		ASSERT_TRUE (instance);
		ASSERT_TRUE (instance->setup (44100, 64, false, nullptr, 256));
		instance->transport ().playing = false;
		instance->setParameter (10, bypass);
		for (int c = 0; c < 2; ++c)
			for (int i = 0; i < 256; ++i)
				instance->input32 (0, c)[i] = 0.001f * float (i + 1) * (c ? -1.0f : 1.0f);
		ASSERT_TRUE (instance->processBlock (256));
		for (int c = 0; c < 2; ++c)
			for (int i = 0; i < 256; ++i)
				ASSERT_EQ (instance->output32 (0, c)[i], instance->input32 (0, c)[i])
				    << "bypass " << bypass << " channel " << c << " sample " << i;
	}
}

TEST_F (Bundle, OnlyTheLastPointOfAQueueReachesTheEngine)
{
	auto instance = loadVamplet ();
	ASSERT_TRUE (instance);
	ASSERT_TRUE (instance->setup (44100, 256));
	instance->setParameter (6, 0.125, 0);
	instance->setParameter (6, 0.25, 100);
	instance->setParameter (6, 0.375, 200);
	instance->setParameter (42, 0.7, 0); // unknown IDs are passed on and ignored
	ASSERT_TRUE (instance->processBlock (256));
	std::vector<char> state;
	ASSERT_TRUE (instance->getComponentState (state));
	EXPECT_DOUBLE_EQ (parse (state).values[6], 0.375);
}

TEST_F (Bundle, StateIsTheEngineChunkAndRestores)
{
	auto instance = loadVamplet ();
	ASSERT_TRUE (instance);
	std::vector<char> state;
	ASSERT_TRUE (instance->getComponentState (state));
	Chunk c = parse (state);
	EXPECT_EQ (c.version, 1);
	EXPECT_EQ (c.count, 14);
	const double defaults[14] = {0.0, 0.0, 0.5, 0.0, 0.0, 0.0, 0.5, 1.0, 1.0, 0.0, 0.0, 1.0, 0.0, 1.0};
	for (int i = 0; i < 14; ++i)
		EXPECT_DOUBLE_EQ (c.values[i], defaults[i]) << "ID " << i;

	// Save a changed set, restore it into a fresh instance, and save again: same bytes.
	ASSERT_TRUE (instance->setup (44100, 128));
	const std::pair<int, double> changes[] = {{1, 0.4}, {2, 0.75}, {3, 1.0}, {6, 0.25}, {7, 0.6}, {13, 0.0}};
	for (auto [id, v] : changes)
		instance->setParameter (id, v);
	ASSERT_TRUE (instance->processBlock (128));
	std::vector<char> saved;
	ASSERT_TRUE (instance->getComponentState (saved));

	auto restored = loadVamplet ();
	ASSERT_TRUE (restored);
	ASSERT_TRUE (restored->setComponentState (saved));
	std::vector<char> again;
	ASSERT_TRUE (restored->getComponentState (again));
	EXPECT_EQ (again, saved);
	// The controller shows the restored values too.
	EXPECT_DOUBLE_EQ (restored->parameterValue (2), 0.75);
	EXPECT_DOUBLE_EQ (restored->parameterValue (13), 0.0);
}

TEST_F (Bundle, MalformedStateIsRefusedAndChangesNothing)
{
	const double nan = std::numeric_limits<double>::quiet_NaN ();
	const std::vector<double> ok (14, 0.25);
	std::vector<double> withNan = ok;
	withNan[5] = nan;
	std::vector<char> truncated = makeChunk (1, 14, ok);
	truncated.resize (60);
	struct Case
	{
		const char* what;
		std::vector<char> bytes;
	} cases[] = {
	    {"empty", {}},
	    {"short header", {1, 0, 0}},
	    {"truncated values", truncated},
	    {"version 2", makeChunk (2, 14, ok)},
	    {"count 0", makeChunk (1, 0, ok)},
	    {"count 15", makeChunk (1, 15, std::vector<double> (15, 0.25))},
	    {"not a number", makeChunk (1, 14, withNan)},
	    {"infinite", makeChunk (1, 14, std::vector<double> (14, std::numeric_limits<double>::infinity ()))},
	};
	auto instance = loadVamplet ();
	ASSERT_TRUE (instance);
	std::vector<char> before;
	ASSERT_TRUE (instance->getComponentState (before));
	for (auto& c : cases)
	{
		EXPECT_FALSE (instance->setComponentState (c.bytes)) << c.what;
		std::vector<char> after;
		ASSERT_TRUE (instance->getComponentState (after));
		EXPECT_EQ (after, before) << c.what;
	}
	// A shorter, well-formed chunk restores just the values it holds.
	ASSERT_TRUE (instance->setComponentState (makeChunk (1, 3, {1.0, 0.6, 0.25})));
	std::vector<char> after;
	ASSERT_TRUE (instance->getComponentState (after));
	Chunk c = parse (after);
	EXPECT_DOUBLE_EQ (c.values[0], 1.0);
	EXPECT_DOUBLE_EQ (c.values[1], 0.6);
	EXPECT_DOUBLE_EQ (c.values[2], 0.25);
	EXPECT_DOUBLE_EQ (c.values[6], 0.5);
}
