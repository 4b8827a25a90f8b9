// SPDX-License-Identifier: GPL-3.0-or-later
// The host library driving a real third-party VST 3 bundle (ZamDelay from zam-plugins): loading,
// class listing, processing with a running transport, parameter changes, state and teardown.
#include "alloc_hook.h"

#include "host/module.h"
#include "host/plugininstance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace vamplet::host;
using namespace Steinberg;

namespace {

const char* kZamDelay = "/usr/lib/vst3/ZamDelay.vst3";
constexpr double kRate = 48000.0;
constexpr int kBlock = 256;

std::unique_ptr<PluginInstance> loadZamDelay()
{
    std::string error;
    auto instance = PluginInstance::load(kZamDelay, &error);
    EXPECT_NE(instance, nullptr) << error;
    return instance;
}

Vst::ParamID paramId(const PluginInstance& p, const std::string& title)
{
    Vst::ParamID id = 0;
    EXPECT_TRUE(p.findParameter(title, id)) << title;
    return id;
}

// Runs `frames` of mono input through the main buses and returns the first output channel.
std::vector<float> render(PluginInstance& p, const std::vector<float>& input)
{
    std::vector<float> out(input.size(), 0.0f);
    for (std::size_t pos = 0; pos < input.size(); pos += kBlock) {
        const int n = static_cast<int>(std::min<std::size_t>(kBlock, input.size() - pos));
        const float* in[] = {input.data() + pos};
        float* o[] = {out.data() + pos};
        EXPECT_TRUE(p.processBlock(in, 1, o, 1, n));
    }
    return out;
}

} // namespace

TEST(Module, LoadFailuresGiveOneLineReasons)
{
    const std::string dir = ::testing::TempDir() + "host_not_a_bundle.vst3";
    std::filesystem::create_directories(dir + "/Contents/x86_64-linux");
    const std::string junk = dir + "/Contents/x86_64-linux/host_not_a_bundle.so";
    std::ofstream(junk) << "not an ELF file\n";
    const std::string empty = ::testing::TempDir() + "host_empty.vst3";
    std::filesystem::create_directories(empty);

    struct Case {
        std::string path;
        std::string reason;
    };
    const Case cases[] = {{"/nonexistent/Missing.vst3", "no such bundle"},
                          {empty, "bundle has no library Contents/x86_64-linux/host_empty.so"},
                          {dir, "host_not_a_bundle.so"}};
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(Module::load(c.path, &error), nullptr) << c.path;
        EXPECT_EQ(PluginInstance::load(c.path, &error), nullptr) << c.path;
        EXPECT_EQ(error.rfind("cannot load '" + c.path + "': ", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(Module, BundlePathsAndHome)
{
    EXPECT_EQ(bundleLibraryPath("/a/b/Thing.vst3"), "/a/b/Thing.vst3/Contents/x86_64-linux/Thing.so");
    EXPECT_EQ(bundleLibraryPath("/a/b/Thing.vst3/"), "/a/b/Thing.vst3/Contents/x86_64-linux/Thing.so");
    const char* home = std::getenv("HOME");
    const std::string saved = home ? home : "";
    setenv("HOME", "/home/tester", 1);
    EXPECT_EQ(expandHome("~/.vst3/X.vst3"), "/home/tester/.vst3/X.vst3");
    EXPECT_EQ(expandHome("/abs/~/x"), "/abs/~/x");
    if (home)
        setenv("HOME", saved.c_str(), 1);
    else
        unsetenv("HOME");
}

TEST(ZamDelay, LoadsAndListsClasses)
{
    std::string error;
    std::shared_ptr<Module> module = Module::load(kZamDelay, &error);
    ASSERT_NE(module, nullptr) << error;
    EXPECT_FALSE(module->factoryInfo().vendor.empty());

    const std::vector<ClassInfo> classes = module->classes();
    ASSERT_EQ(classes.size(), 2u);
    EXPECT_EQ(classes[0].category, kVstAudioEffectClass);
    EXPECT_EQ(classes[1].category, kVstComponentControllerClass);
    for (const ClassInfo& c : classes) {
        EXPECT_EQ(c.name, "ZamDelay");
        EXPECT_EQ(c.cidHex.size(), 32u);
        EXPECT_NE(c.subCategories.find("Fx"), std::string::npos);
        EXPECT_FALSE(c.sdkVersion.empty());
    }
    EXPECT_NE(classes[0].cidHex, classes[1].cidHex);

    auto instance = PluginInstance::create(module, classes[0], &error);
    ASSERT_NE(instance, nullptr) << error;
    EXPECT_NE(instance->controller(), nullptr);
    EXPECT_FALSE(instance->singleComponent());
    EXPECT_TRUE(instance->connected());
    paramId(*instance, "Time");
    paramId(*instance, "Sync BPM");

    const std::vector<BusInfo> buses = instance->busInfos();
    ASSERT_EQ(buses.size(), 2u);
    EXPECT_EQ(buses[0].direction, Vst::kInput);
    EXPECT_EQ(buses[1].direction, Vst::kOutput);
    EXPECT_EQ(buses[0].media, Vst::kAudio);
    EXPECT_EQ(buses[1].channelCount, 1);
}

TEST(ZamDelay, EchoFollowsTheTransportTempo)
{
    // Synced to the host tempo, the delay time is a note length: halving the tempo doubles it.
    for (double tempo : {120.0, 60.0}) {
        auto p = loadZamDelay();
        ASSERT_NE(p, nullptr);
        ASSERT_TRUE(p->setup(kRate, kBlock));
        p->transport().tempo = tempo;
        p->setParameter(paramId(*p, "Sync BPM"), 1.0);
        p->setParameter(paramId(*p, "Dry/Wet"), 1.0);
        std::vector<float> silence(kBlock * 8, 0.0f);
        render(*p, silence); // let the parameters settle

        std::vector<float> input(static_cast<std::size_t>(kRate * 3), 0.0f);
        input[0] = 1.0f;
        const std::vector<float> out = render(*p, input);
        std::size_t peakAt = 0;
        float peak = 0.0f;
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (std::fabs(out[i]) > peak) {
                peak = std::fabs(out[i]);
                peakAt = i;
            }
        }
        EXPECT_GT(peak, 0.1f);
        // Default divisor: a quarter note, i.e. one beat.
        EXPECT_NEAR(static_cast<double>(peakAt), kRate * 60.0 / tempo, 8.0) << "tempo " << tempo;
    }
}

TEST(ZamDelay, ParameterChangesApplyFromTheirBlock)
{
    // Output gain at 0 (its minimum) silences the output from the block the change is queued for.
    auto p = loadZamDelay();
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->setup(kRate, kBlock));
    const Vst::ParamID gain = paramId(*p, "Output Gain");
    const std::vector<float> tone = [] {
        std::vector<float> v(kBlock * 40);
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = 0.5f * static_cast<float>(std::sin(2.0 * M_PI * 440.0 * static_cast<double>(i) / kRate));
        return v;
    }();
    auto peakOf = [](const std::vector<float>& v, std::size_t from) {
        float peak = 0.0f;
        for (std::size_t i = from; i < v.size(); ++i)
            peak = std::max(peak, std::fabs(v[i]));
        return peak;
    };
    const float loud = peakOf(render(*p, tone), kBlock * 20);
    EXPECT_GT(loud, 0.1f);
    // Three points in one queue: the last one (gain 0) wins by the end of the block.
    ASSERT_TRUE(p->setParameter(gain, 0.8, 0));
    ASSERT_TRUE(p->setParameter(gain, 0.0, 200));
    ASSERT_TRUE(p->setParameter(gain, 0.5, 100));
    const float quiet = peakOf(render(*p, tone), kBlock * 20);
    EXPECT_LT(quiet, loud * 0.01f);
}

namespace {

// What the plug-in saw in its process calls, recorded by a process function without allocating.
struct Seen {
    static constexpr int kMax = 64;
    int calls = 0;
    Vst::ProcessContext context[kMax] {};
    bool hadContext[kMax] {};
    int numSamples[kMax] {};
    int queues[kMax] {};
    int32 offsets[kMax][4] {};
    double values[kMax][4] {};
    int points[kMax] {};
    int events[kMax] {};
    Vst::Event firstEvent[kMax] {};
    std::size_t allocationsOutside = 0;
};

tresult recordingProcess(Vst::IAudioProcessor& processor, Vst::ProcessData& data, void* user)
{
    Seen& seen = *static_cast<Seen*>(user);
    alloc_hook::setCounting(false); // the plug-in's own allocations are not the host's
    const int k = seen.calls < Seen::kMax ? seen.calls : Seen::kMax - 1;
    seen.hadContext[k] = data.processContext != nullptr;
    if (data.processContext)
        seen.context[k] = *data.processContext;
    seen.numSamples[k] = data.numSamples;
    seen.queues[k] = data.inputParameterChanges ? data.inputParameterChanges->getParameterCount() : 0;
    if (seen.queues[k] > 0) {
        Vst::IParamValueQueue* q = data.inputParameterChanges->getParameterData(0);
        seen.points[k] = q->getPointCount();
        for (int32 i = 0; i < q->getPointCount() && i < 4; ++i)
            q->getPoint(i, seen.offsets[k][i], seen.values[k][i]);
    }
    seen.events[k] = data.inputEvents ? data.inputEvents->getEventCount() : 0;
    if (seen.events[k] > 0)
        data.inputEvents->getEvent(0, seen.firstEvent[k]);
    ++seen.calls;
    const tresult result = processor.process(data);
    alloc_hook::setCounting(true);
    return result;
}

} // namespace

TEST(ZamDelay, HostBlockPathAllocatesNothingAndDeliversQueuesAndEvents)
{
    auto p = loadZamDelay();
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->setup(kRate, kBlock));
    static Seen seen;
    p->setProcessFunction(&recordingProcess, &seen);
    const Vst::ParamID gain = paramId(*p, "Output Gain");
    std::vector<float> in(kBlock, 0.25f), out(kBlock);
    const float* inPtr[] = {in.data()};
    float* outPtr[] = {out.data()};

    alloc_hook::reset();
    alloc_hook::setCounting(true);
    for (int block = 0; block < 4; ++block) {
        p->setParameter(gain, 0.9, 200);
        p->setParameter(gain, 0.7, 0);
        p->setParameter(gain, 0.8, 100);
        p->noteOn(60, 0.5f, 30);
        p->noteOff(60, 0.0f, 10);
        p->processBlock(inPtr, 1, outPtr, 1, kBlock);
    }
    alloc_hook::setCounting(false);
    EXPECT_EQ(alloc_hook::count(), 0u);

    ASSERT_EQ(seen.calls, 4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(seen.numSamples[k], kBlock);
        EXPECT_EQ(seen.queues[k], 1);
        ASSERT_EQ(seen.points[k], 3);
        EXPECT_EQ(seen.offsets[k][0], 0);
        EXPECT_EQ(seen.offsets[k][1], 100);
        EXPECT_EQ(seen.offsets[k][2], 200);
        EXPECT_DOUBLE_EQ(seen.values[k][2], 0.9);
        EXPECT_EQ(seen.events[k], 2);
        EXPECT_EQ(seen.firstEvent[k].type, Vst::Event::kNoteOffEvent); // offset 10 comes first
        EXPECT_EQ(seen.firstEvent[k].sampleOffset, 10);
    }
    // Queues and events are consumed by the block they were queued for.
    p->processBlock(inPtr, 1, outPtr, 1, kBlock);
    EXPECT_EQ(seen.queues[4], 0);
    EXPECT_EQ(seen.events[4], 0);
    // In a shorter block, offsets past its end move to its last sample.
    p->setParameter(gain, 0.3, 100);
    p->setParameter(gain, 0.4, 200);
    p->noteOn(61, 1.0f, 150);
    p->processBlock(inPtr, 1, outPtr, 1, 64);
    ASSERT_EQ(seen.points[5], 1);
    EXPECT_EQ(seen.offsets[5][0], 63);
    EXPECT_DOUBLE_EQ(seen.values[5][0], 0.4);
    EXPECT_EQ(seen.firstEvent[5].sampleOffset, 63);
    p->setProcessFunction(nullptr, nullptr);
}

TEST(ZamDelay, ProcessContextDescribesARunningTransport)
{
    auto p = loadZamDelay();
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->setup(kRate, 480));
    static Seen seen;
    seen = Seen();
    p->setProcessFunction(&recordingProcess, &seen);
    Transport& t = p->transport();
    t.tempo = 150.0;          // 19200 samples per quarter note at 48 kHz: 480 samples = 1/40 beat
    t.timeSigNumerator = 3;
    t.timeSigDenominator = 4;
    t.cycleActive = true;
    t.cycleStart = 4.0;
    t.cycleEnd = 6.0;
    t.ppqPosition = 5.9;
    t.samplePosition = static_cast<std::int64_t>(5.9 * 19200);

    for (int block = 0; block < 6; ++block)
        ASSERT_TRUE(p->processBlock(480));
    t.playing = false;
    ASSERT_TRUE(p->processBlock(480));
    ASSERT_TRUE(p->processBlock(480));
    t.sendContext = false;
    ASSERT_TRUE(p->processBlock(480));

    const uint32 allValid = Vst::ProcessContext::kSystemTimeValid | Vst::ProcessContext::kContTimeValid |
                            Vst::ProcessContext::kProjectTimeMusicValid | Vst::ProcessContext::kBarPositionValid |
                            Vst::ProcessContext::kCycleValid | Vst::ProcessContext::kTempoValid |
                            Vst::ProcessContext::kTimeSigValid | Vst::ProcessContext::kClockValid;
    const Vst::ProcessContext& first = seen.context[0];
    EXPECT_EQ(first.state & allValid, allValid);
    EXPECT_TRUE(first.state & Vst::ProcessContext::kPlaying);
    EXPECT_TRUE(first.state & Vst::ProcessContext::kCycleActive);
    EXPECT_DOUBLE_EQ(first.tempo, 150.0);
    EXPECT_EQ(first.timeSigNumerator, 3);
    EXPECT_EQ(first.timeSigDenominator, 4);
    EXPECT_DOUBLE_EQ(first.sampleRate, kRate);
    EXPECT_DOUBLE_EQ(first.barPositionMusic, 3.0);
    EXPECT_DOUBLE_EQ(first.cycleStartMusic, 4.0);
    EXPECT_DOUBLE_EQ(first.cycleEndMusic, 6.0);
    EXPECT_EQ(first.continousTimeSamples, 0);

    // ppq: 5.9, 5.925, ... reaching 6.0 after four blocks wraps to 4.0 (block boundary).
    const double expectedPpq[] = {5.9, 5.925, 5.95, 5.975, 4.0, 4.025, 4.05, 4.05};
    for (int k = 0; k < 8; ++k) {
        EXPECT_NEAR(seen.context[k].projectTimeMusic, expectedPpq[k], 1e-9) << "block " << k;
        EXPECT_EQ(seen.context[k].continousTimeSamples, 480 * k) << "block " << k;
        EXPECT_EQ(seen.context[k].systemTime, 10'000'000LL * k) << "block " << k; // 10 ms per block
    }
    EXPECT_EQ(seen.context[4].projectTimeSamples, 4 * 19200);
    EXPECT_DOUBLE_EQ(seen.context[4].barPositionMusic, 3.0);
    EXPECT_EQ(seen.context[5].projectTimeSamples, 4 * 19200 + 480);
    EXPECT_FALSE(seen.context[6].state & Vst::ProcessContext::kPlaying);
    EXPECT_EQ(seen.context[7].projectTimeSamples, seen.context[6].projectTimeSamples); // stopped
    // 24 clocks per quarter: 800 samples apart; at ppq 5.925 the next clock (ppq 5.9583) is 640 away.
    EXPECT_EQ(seen.context[1].samplesToNextClock, 640);
    EXPECT_FALSE(seen.hadContext[8]);
    p->setProcessFunction(nullptr, nullptr);
}

TEST(ZamDelay, StateRoundTripsThroughAFreshInstance)
{
    std::vector<char> componentState, controllerState;
    const double time = 0.4;
    {
        auto p = loadZamDelay();
        ASSERT_NE(p, nullptr);
        ASSERT_TRUE(p->setup(kRate, kBlock));
        p->setParameter(paramId(*p, "Time"), time);
        p->setParameter(paramId(*p, "Feedback"), 0.3);
        ASSERT_TRUE(p->processBlock(kBlock));
        ASSERT_TRUE(p->getComponentState(componentState));
        EXPECT_FALSE(componentState.empty());
        // This controller keeps no state of its own: its getState does not succeed.
        EXPECT_FALSE(p->getControllerState(controllerState));
    }
    auto q = loadZamDelay();
    ASSERT_NE(q, nullptr);
    std::vector<char> fresh;
    ASSERT_TRUE(q->getComponentState(fresh));
    EXPECT_NE(fresh, componentState);

    ASSERT_TRUE(q->setComponentState(componentState));
    std::vector<char> again;
    ASSERT_TRUE(q->getComponentState(again));
    EXPECT_EQ(again, componentState);
    // The controller learnt the values through setComponentState.
    EXPECT_NEAR(q->parameterValue(paramId(*q, "Time")), time, 1e-6);
    ASSERT_TRUE(q->setup(kRate, kBlock));
    EXPECT_TRUE(q->processBlock(kBlock));
}

TEST(ZamDelay, SetupCanBeRepeatedAndRefusesOversizedBlocks)
{
    auto p = loadZamDelay();
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(p->processBlock(64)); // not set up
    ASSERT_TRUE(p->setup(44100.0, 128));
    EXPECT_TRUE(p->isActive());
    EXPECT_TRUE(p->processBlock(128));
    EXPECT_FALSE(p->processBlock(129));
    EXPECT_TRUE(p->processBlock(0));
    ASSERT_TRUE(p->setup(96000.0, 1024, false, nullptr, 4096)); // room for longer-than-announced blocks
    EXPECT_TRUE(p->processBlock(1024));
    EXPECT_FALSE(p->processBlock(4097)); // beyond the buffers: refused before the plug-in sees it
    p->shutdown();
    EXPECT_FALSE(p->isActive());
    EXPECT_FALSE(p->processBlock(64));
}

TEST(ZamDelay, AllocationCounterSeesAllocationsInsideTheModule)
{
    // The test executable's operator new must also catch what the dlopen-ed module allocates,
    // or a zero count inside process would prove nothing.
    std::string error;
    std::shared_ptr<Module> module = Module::load(kZamDelay, &error);
    ASSERT_NE(module, nullptr) << error;
    const ClassInfo cls = module->classes().at(0);
    Vst::IComponent* component = nullptr;
    alloc_hook::reset();
    alloc_hook::setCounting(true);
    const tresult created = module->factory()->createInstance(cls.cid, Vst::IComponent::iid,
                                                              reinterpret_cast<void**>(&component));
    alloc_hook::setCounting(false);
    ASSERT_EQ(created, kResultOk);
    EXPECT_GT(alloc_hook::count(), 0u);
    component->release();
}

TEST(ZamDelay, RefusedBusArrangementFallsBackToThePluginsOwn)
{
    struct Case {
        Vst::SpeakerArrangement request;
        bool accepted;
    };
    const Case cases[] = {{Vst::SpeakerArr::kMono, true}, {Vst::SpeakerArr::kStereo, false}};
    for (const Case& c : cases) {
        auto p = loadZamDelay();
        ASSERT_NE(p, nullptr);
        p->requestArrangements({c.request}, {c.request});
        ASSERT_TRUE(p->setup(kRate, kBlock));
        EXPECT_EQ(p->busArrangementAccepted(), c.accepted) << c.request;
        // Buffers follow what the plug-in reports after the attempt: one channel each way.
        EXPECT_EQ(p->inputChannels(), 1);
        EXPECT_EQ(p->outputChannels(), 1);
        EXPECT_EQ(p->output32(0, 1), nullptr);
        for (const BusInfo& bus : p->busInfos())
            EXPECT_TRUE(bus.active) << bus.name;
        EXPECT_TRUE(p->processBlock(kBlock));
    }
}

TEST(ZamDelay, InstancesShareOneModuleAndOutliveEachOther)
{
    auto a = loadZamDelay();
    std::string error;
    auto b = PluginInstance::load(std::string(kZamDelay) + "/", &error); // same bundle, other spelling
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr) << error;
    EXPECT_EQ(a->module(), b->module());
    ASSERT_TRUE(a->setup(kRate, kBlock));
    ASSERT_TRUE(b->setup(kRate, kBlock));
    a.reset(); // the module stays loaded for b
    std::vector<float> in(kBlock, 0.5f), out(kBlock, 0.0f);
    const float* i[] = {in.data()};
    float* o[] = {out.data()};
    EXPECT_TRUE(b->processBlock(i, 1, o, 1, kBlock));
    EXPECT_NE(out[kBlock - 1], 0.0f);
}
