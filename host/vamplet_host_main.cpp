// SPDX-License-Identifier: GPL-3.0-or-later
// vamplet-host: inspects a VST 3 bundle through the host library.
//   vamplet-host info [bundle]     factory, classes, buses and parameters (default ~/.vst3/Vamplet.vst3)

#include "host/module.h"
#include "host/plugininstance.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace vamplet::host;
using namespace Steinberg;

namespace {

const char* kDefaultBundle = "~/.vst3/Vamplet.vst3";

void usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: vamplet-host info [bundle]\n"
                 "  info   print factory info, classes, buses and parameters of a VST 3 bundle\n"
                 "         (default bundle: %s)\n",
                 kDefaultBundle);
}

std::string flagList(std::uint32_t flags, const std::pair<std::uint32_t, const char*>* names, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (flags & names[i].first) {
            if (!out.empty())
                out += ",";
            out += names[i].second;
            flags &= ~names[i].first;
        }
    }
    if (flags) {
        char rest[32];
        std::snprintf(rest, sizeof rest, "%s0x%X", out.empty() ? "" : ",", flags);
        out += rest;
    }
    return out.empty() ? "-" : out;
}

std::string arrangementName(Vst::SpeakerArrangement arr)
{
    switch (arr) {
    case Vst::SpeakerArr::kEmpty: return "empty";
    case Vst::SpeakerArr::kMono: return "mono";
    case Vst::SpeakerArr::kStereo: return "stereo";
    case Vst::SpeakerArr::k51: return "5.1";
    default: break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(arr));
    return text;
}

int info(const std::string& bundle)
{
    std::string error;
    std::shared_ptr<Module> module = Module::load(bundle, &error);
    if (!module) {
        std::fprintf(stderr, "vamplet-host: %s\n", error.c_str());
        return 1;
    }
    static const std::pair<std::uint32_t, const char*> factoryFlags[] = {
        {PFactoryInfo::kClassesDiscardable, "classes-discardable"},
        {PFactoryInfo::kLicenseCheck, "license-check"},
        {PFactoryInfo::kComponentNonDiscardable, "component-non-discardable"},
        {PFactoryInfo::kUnicode, "unicode"}};
    const FactoryInfo factory = module->factoryInfo();
    std::printf("Bundle:  %s\n", module->bundlePath().c_str());
    std::printf("Factory: vendor \"%s\", url \"%s\", email \"%s\", flags 0x%X (%s)\n", factory.vendor.c_str(),
                factory.url.c_str(), factory.email.c_str(), static_cast<unsigned>(factory.flags),
                flagList(static_cast<std::uint32_t>(factory.flags), factoryFlags, 4).c_str());

    const std::vector<ClassInfo> classes = module->classes();
    std::printf("\nClasses (%zu):\n", classes.size());
    for (const ClassInfo& c : classes) {
        std::printf("  %s \"%s\"\n", c.category.c_str(), c.name.c_str());
        std::printf("    cid %s, cardinality %d\n", c.cidHex.c_str(), c.cardinality);
        std::printf("    subcategories \"%s\", vendor \"%s\", version \"%s\", sdk \"%s\", flags 0x%X\n",
                    c.subCategories.c_str(), c.vendor.c_str(), c.version.c_str(), c.sdkVersion.c_str(),
                    c.classFlags);
    }

    std::unique_ptr<PluginInstance> instance;
    for (const ClassInfo& c : classes) {
        if (c.category == kVstAudioEffectClass) {
            instance = PluginInstance::create(module, c, &error);
            break;
        }
    }
    if (!instance) {
        std::fprintf(stderr, "vamplet-host: %s\n",
                     error.empty() ? "no audio module class in factory" : error.c_str());
        return 1;
    }
    module.reset();

    std::printf("\nInstance of \"%s\": %s controller%s\n", instance->classInfo().name.c_str(),
                instance->controller() ? (instance->singleComponent() ? "single-component" : "separate")
                                       : "no",
                instance->connected() ? ", connection points connected" : "");

    static const std::pair<std::uint32_t, const char*> busFlags[] = {
        {Vst::BusInfo::kDefaultActive, "default-active"}, {Vst::BusInfo::kIsControlVoltage, "control-voltage"}};
    const std::vector<BusInfo> buses = instance->busInfos();
    std::printf("\nBuses (%zu):\n", buses.size());
    for (const BusInfo& b : buses) {
        std::printf("  %-6s %-5s %d \"%s\": %d channel%s", b.direction == Vst::kInput ? "input" : "output",
                    b.media == Vst::kAudio ? "audio" : "event", b.index, b.name.c_str(), b.channelCount,
                    b.channelCount == 1 ? "" : "s");
        if (b.media == Vst::kAudio)
            std::printf(", arrangement %s", arrangementName(b.arrangement).c_str());
        std::printf(", %s, flags %s\n", b.busType == Vst::kMain ? "main" : "aux",
                    flagList(b.flags, busFlags, 2).c_str());
    }

    static const std::pair<std::uint32_t, const char*> paramFlags[] = {
        {Vst::ParameterInfo::kCanAutomate, "automate"},     {Vst::ParameterInfo::kIsReadOnly, "read-only"},
        {Vst::ParameterInfo::kIsWrapAround, "wrap-around"}, {Vst::ParameterInfo::kIsList, "list"},
        {Vst::ParameterInfo::kIsHidden, "hidden"},          {Vst::ParameterInfo::kIsProgramChange, "program-change"},
        {Vst::ParameterInfo::kIsBypass, "bypass"}};
    const std::vector<ParameterInfo> params = instance->parameterInfos();
    std::printf("\nParameters (%zu):\n", params.size());
    for (const ParameterInfo& p : params) {
        const std::string display = instance->parameterString(p.id, p.defaultNormalized);
        std::printf("  id %u \"%s\" (short \"%s\"), units \"%s\", steps %d, default %g (\"%s\"), unit %d, flags %s\n",
                    p.id, p.title.c_str(), p.shortTitle.c_str(), p.units.c_str(), p.stepCount, p.defaultNormalized,
                    display.c_str(), p.unitId, flagList(static_cast<std::uint32_t>(p.flags), paramFlags, 7).c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        usage(stdout);
        return 0;
    }
    if (argc < 2 || std::strcmp(argv[1], "info") != 0 || argc > 3) {
        usage(stderr);
        return 2;
    }
    return info(argc == 3 ? argv[2] : kDefaultBundle);
}
