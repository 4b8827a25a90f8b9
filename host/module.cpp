// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/module.h"

#include "host/utf16.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <climits>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

using namespace Steinberg;

namespace vamplet::host {
namespace {

using ModuleEntryFunc = bool (*)(void*);
using ModuleExitFunc = bool (*)();
using GetFactoryFunc = IPluginFactory* (*)();

bool isDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string cidToHex(const TUID cid)
{
    std::string out;
    char digits[3];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(cid[i]));
        out += digits;
    }
    return out;
}

std::string fixedString(const char* text, std::size_t capacity)
{
    std::size_t n = 0;
    while (n < capacity && text[n] != 0)
        ++n;
    return std::string(text, n);
}

void fail(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
}

} // namespace

std::string expandHome(const std::string& path)
{
    if (path == "~" || path.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        if (home && *home)
            return std::string(home) + path.substr(1);
    }
    return path;
}

std::string bundleLibraryPath(const std::string& bundlePath)
{
    std::string bundle = bundlePath;
    while (bundle.size() > 1 && bundle.back() == '/')
        bundle.pop_back();
    std::string name = bundle.substr(bundle.find_last_of('/') + 1);
    const std::string suffix = ".vst3";
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        name.resize(name.size() - suffix.size());
    return bundle + "/Contents/x86_64-linux/" + name + ".so";
}

std::shared_ptr<Module> Module::load(const std::string& bundlePathIn, std::string* error)
{
    const std::string bundlePath = expandHome(bundlePathIn);
    const std::string prefix = "cannot load '" + bundlePath + "': ";
    std::string library;
    if (isDirectory(bundlePath)) {
        library = bundleLibraryPath(bundlePath);
        if (!isFile(library)) {
            fail(error, prefix + "bundle has no library " + library.substr(bundlePath.size() + 1));
            return nullptr;
        }
    } else if (isFile(bundlePath)) {
        library = bundlePath; // a bare .so is accepted too
    } else {
        fail(error, prefix + "no such bundle");
        return nullptr;
    }

    // One Module per library, as hosts keep it: a second load while the first is alive shares
    // it, so ModuleEntry and ModuleExit run once per dlopen/dlclose pair.
    static std::mutex cacheMutex;
    static std::map<std::string, std::weak_ptr<Module>> cache;
    std::lock_guard<std::mutex> lock(cacheMutex);
    char resolved[PATH_MAX];
    const std::string key = ::realpath(library.c_str(), resolved) ? std::string(resolved) : library;
    if (std::shared_ptr<Module> existing = cache[key].lock())
        return existing;

    std::shared_ptr<Module> module(new Module());
    module->bundlePath_ = bundlePath;
    module->handle_ = ::dlopen(library.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!module->handle_) {
        const char* reason = ::dlerror();
        fail(error, prefix + (reason ? reason : "dlopen failed"));
        return nullptr;
    }
    auto entry = reinterpret_cast<ModuleEntryFunc>(::dlsym(module->handle_, "ModuleEntry"));
    auto getFactory = reinterpret_cast<GetFactoryFunc>(::dlsym(module->handle_, "GetPluginFactory"));
    if (!getFactory) {
        fail(error, prefix + "library exports no GetPluginFactory");
        return nullptr;
    }
    if (!entry) {
        fail(error, prefix + "library exports no ModuleEntry");
        return nullptr;
    }
    if (!entry(module->handle_)) {
        fail(error, prefix + "ModuleEntry failed");
        return nullptr;
    }
    module->entered_ = true;
    module->factory_ = getFactory();
    if (!module->factory_) {
        fail(error, prefix + "GetPluginFactory returned no factory");
        return nullptr;
    }
    cache[key] = module;
    return module;
}

Module::~Module()
{
    if (factory_)
        factory_->release();
    factory_ = nullptr;
    if (handle_) {
        if (entered_) {
            if (auto exitFunc = reinterpret_cast<ModuleExitFunc>(::dlsym(handle_, "ModuleExit")))
                exitFunc();
        }
        ::dlclose(handle_);
    }
}

FactoryInfo Module::factoryInfo() const
{
    FactoryInfo info;
    PFactoryInfo raw {};
    if (factory_ && factory_->getFactoryInfo(&raw) == kResultOk) {
        info.vendor = fixedString(raw.vendor, PFactoryInfo::kNameSize);
        info.url = fixedString(raw.url, PFactoryInfo::kURLSize);
        info.email = fixedString(raw.email, PFactoryInfo::kEmailSize);
        info.flags = raw.flags;
    }
    return info;
}

std::vector<ClassInfo> Module::classes() const
{
    std::vector<ClassInfo> out;
    if (!factory_)
        return out;
    IPluginFactory2* factory2 = nullptr;
    IPluginFactory3* factory3 = nullptr;
    factory_->queryInterface(IPluginFactory2::iid, reinterpret_cast<void**>(&factory2));
    factory_->queryInterface(IPluginFactory3::iid, reinterpret_cast<void**>(&factory3));

    const int32 count = factory_->countClasses();
    for (int32 i = 0; i < count; ++i) {
        PClassInfo raw {};
        if (factory_->getClassInfo(i, &raw) != kResultOk)
            continue;
        ClassInfo info;
        std::memcpy(info.cid, raw.cid, sizeof(TUID));
        info.cidHex = cidToHex(raw.cid);
        info.category = fixedString(raw.category, PClassInfo::kCategorySize);
        info.name = fixedString(raw.name, PClassInfo::kNameSize);
        info.cardinality = raw.cardinality;

        PClassInfoW wide {};
        PClassInfo2 info2 {};
        if (factory3 && factory3->getClassInfoUnicode(i, &wide) == kResultOk) {
            info.name = utf16ToUtf8(wide.name, PClassInfo::kNameSize);
            info.subCategories = fixedString(wide.subCategories, PClassInfoW::kSubCategoriesSize);
            info.vendor = utf16ToUtf8(wide.vendor, PClassInfoW::kVendorSize);
            info.version = utf16ToUtf8(wide.version, PClassInfoW::kVersionSize);
            info.sdkVersion = utf16ToUtf8(wide.sdkVersion, PClassInfoW::kVersionSize);
            info.classFlags = wide.classFlags;
        } else if (factory2 && factory2->getClassInfo2(i, &info2) == kResultOk) {
            info.subCategories = fixedString(info2.subCategories, PClassInfo2::kSubCategoriesSize);
            info.vendor = fixedString(info2.vendor, PClassInfo2::kVendorSize);
            info.version = fixedString(info2.version, PClassInfo2::kVersionSize);
            info.sdkVersion = fixedString(info2.sdkVersion, PClassInfo2::kVersionSize);
            info.classFlags = info2.classFlags;
        }
        out.push_back(std::move(info));
    }
    if (factory2)
        factory2->release();
    if (factory3)
        factory3->release();
    return out;
}

} // namespace vamplet::host
