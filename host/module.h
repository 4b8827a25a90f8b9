// SPDX-License-Identifier: GPL-3.0-or-later
// A loaded VST 3 module: the shared library inside a bundle, its entry point and its factory.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vamplet::host {

struct FactoryInfo {
    std::string vendor;
    std::string url;
    std::string email;
    std::int32_t flags = 0;  // PFactoryInfo::FactoryFlags
};

struct ClassInfo {
    Steinberg::TUID cid = {};
    std::string cidHex;        // 32 upper-case hex digits in TUID byte order
    std::string category;      // e.g. "Audio Module Class", "Component Controller Class"
    std::string name;
    std::int32_t cardinality = 0;
    // Filled from PClassInfo2 / PClassInfoW when the factory offers them, else empty / 0.
    std::string subCategories; // '|'-separated, e.g. "Fx|Delay"
    std::string vendor;
    std::string version;
    std::string sdkVersion;
    std::uint32_t classFlags = 0;
};

// Path of the shared library in a bundle: <bundle>/Contents/x86_64-linux/<bundle name without .vst3>.so
std::string bundleLibraryPath(const std::string& bundlePath);

// Expands a leading "~/" with $HOME.
std::string expandHome(const std::string& path);

class Module {
public:
    // Loads the bundle's library with dlopen(RTLD_LAZY | RTLD_LOCAL), calls ModuleEntry and
    // GetPluginFactory. While a Module of the same library is alive, returns that one.
    // On failure returns nullptr and, when error is given, a one-line reason.
    static std::shared_ptr<Module> load(const std::string& bundlePath, std::string* error);

    ~Module(); // releases the factory, calls ModuleExit, dlclose

    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const std::string& bundlePath() const { return bundlePath_; }
    Steinberg::IPluginFactory* factory() const { return factory_; }
    FactoryInfo factoryInfo() const;
    std::vector<ClassInfo> classes() const;

private:
    Module() = default;

    std::string bundlePath_;
    void* handle_ = nullptr;
    Steinberg::IPluginFactory* factory_ = nullptr;
    bool entered_ = false;
};

} // namespace vamplet::host
