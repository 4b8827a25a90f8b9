// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/plugininstance.h"

#include "host/utf16.h"

#include "base/source/fstring.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace vamplet::host {

// The IHostApplication handed to initialize(): the SDK's host class (messages, attribute lists,
// interface support) under this host's own name.
class HostContext : public HostApplication {
public:
    tresult PLUGIN_API getName(String128 name) override
    {
        utf8ToUtf16("Vamplet Host", reinterpret_cast<char16_t*>(name), 128);
        return kResultOk;
    }
};

// Receives the controller's edits and restart requests. Edits go to the processor's next block,
// as a host routes user edits from the editor to the audio thread.
class ComponentHandler : public IComponentHandler {
public:
    explicit ComponentHandler(PluginInstance& owner) : owner_(owner) {}
    virtual ~ComponentHandler() = default;

    tresult PLUGIN_API beginEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override
    {
        ++edits;
        return owner_.changes_.addChange(id, 0, value) ? kResultOk : kResultFalse;
    }
    tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API restartComponent(int32 flags) override
    {
        restartFlags |= flags;
        return kResultOk;
    }

    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
    {
        QUERY_INTERFACE(iid, obj, FUnknown::iid, IComponentHandler)
        QUERY_INTERFACE(iid, obj, IComponentHandler::iid, IComponentHandler)
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    int edits = 0;
    int32 restartFlags = 0;

private:
    PluginInstance& owner_;
};

namespace {

void fail(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
}

template <typename T>
void releaseAndClear(T*& p)
{
    if (p)
        p->release();
    p = nullptr;
}

bool streamToVector(MemoryStream& stream, std::vector<char>& out)
{
    const TSize size = stream.getSize();
    out.assign(stream.getData(), stream.getData() + size);
    return true;
}

int channelsOf(SpeakerArrangement arrangement)
{
    int n = 0;
    for (; arrangement; arrangement &= arrangement - 1)
        ++n;
    return n;
}

} // namespace

// ---------------------------------------------------------------------------------------------
double Transport::barLength() const
{
    const int den = timeSigDenominator > 0 ? timeSigDenominator : 4;
    const int num = timeSigNumerator > 0 ? timeSigNumerator : 4;
    return num * 4.0 / den;
}

double Transport::barStart() const
{
    const double bar = barLength();
    return std::floor(ppqPosition / bar + 1e-9) * bar;
}

// ---------------------------------------------------------------------------------------------
PluginInstance::PluginInstance()
    : host_(std::make_unique<HostContext>()), handler_(std::make_unique<ComponentHandler>(*this)),
      changes_(256, 64), outputChanges_(256, 64), events_(1024), outputEvents_(1024)
{
}

std::unique_ptr<PluginInstance> PluginInstance::load(const std::string& bundlePath, std::string* error,
                                                     const std::string& className)
{
    std::shared_ptr<Module> module = Module::load(bundlePath, error);
    if (!module)
        return nullptr;
    for (const ClassInfo& cls : module->classes()) {
        const bool wanted = className.empty() ? cls.category == kVstAudioEffectClass : cls.name == className;
        if (wanted)
            return create(module, cls, error);
    }
    fail(error, "cannot load '" + module->bundlePath() + "': " +
                    (className.empty() ? std::string("no audio module class in factory")
                                       : "no class named '" + className + "'"));
    return nullptr;
}

std::unique_ptr<PluginInstance> PluginInstance::create(std::shared_ptr<Module> module, const ClassInfo& cls,
                                                       std::string* error)
{
    std::unique_ptr<PluginInstance> instance(new PluginInstance());
    instance->module_ = std::move(module);
    instance->classInfo_ = cls;
    if (!instance->init(error))
        return nullptr; // the destructor undoes whatever init did
    return instance;
}

bool PluginInstance::init(std::string* error)
{
    const std::string prefix = "cannot create '" + classInfo_.name + "': ";
    IPluginFactory* factory = module_->factory();
    if (factory->createInstance(classInfo_.cid, IComponent::iid, reinterpret_cast<void**>(&component_)) != kResultOk ||
        !component_) {
        component_ = nullptr;
        fail(error, prefix + "factory could not create the component");
        return false;
    }
    if (component_->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&processor_)) != kResultOk ||
        !processor_) {
        processor_ = nullptr;
        fail(error, prefix + "component is no audio processor");
        return false;
    }
    if (component_->initialize(host_.get()) != kResultOk) {
        fail(error, prefix + "component initialize failed");
        return false;
    }
    componentInitialized_ = true;

    // The controller: a separate class named by the component, or the component itself.
    TUID controllerCid = {};
    if (component_->getControllerClassId(controllerCid) == kResultOk && FUID::fromTUID(controllerCid).isValid()) {
        if (factory->createInstance(controllerCid, IEditController::iid, reinterpret_cast<void**>(&controller_)) !=
                kResultOk ||
            !controller_) {
            controller_ = nullptr;
            fail(error, prefix + "factory could not create the edit controller");
            return false;
        }
        if (controller_->initialize(host_.get()) != kResultOk) {
            fail(error, prefix + "edit controller initialize failed");
            return false;
        }
        controllerInitialized_ = true;
    } else if (component_->queryInterface(IEditController::iid, reinterpret_cast<void**>(&controller_)) == kResultOk &&
               controller_) {
        singleComponent_ = true;
    } else {
        controller_ = nullptr;
    }

    if (controller_) {
        controller_->setComponentHandler(handler_.get());
        if (!singleComponent_) {
            // Connect the two connection points directly to each other.
            IConnectionPoint* componentCP = nullptr;
            IConnectionPoint* controllerCP = nullptr;
            component_->queryInterface(IConnectionPoint::iid, reinterpret_cast<void**>(&componentCP));
            controller_->queryInterface(IConnectionPoint::iid, reinterpret_cast<void**>(&controllerCP));
            if (componentCP && controllerCP) {
                componentCP->connect(controllerCP);
                controllerCP->connect(componentCP);
                connected_ = true;
            }
            releaseAndClear(componentCP);
            releaseAndClear(controllerCP);
        }
        // Synchronise the controller with the component's initial state.
        std::vector<char> state;
        if (!singleComponent_ && getComponentState(state)) {
            IPtr<MemoryStream> stream = owned(new MemoryStream());
            int32 written = 0;
            if (!state.empty())
                stream->write(state.data(), static_cast<int32>(state.size()), &written);
            stream->seek(0, IBStream::kIBSeekSet, nullptr);
            controller_->setComponentState(stream);
        }
    }
    return true;
}

PluginInstance::~PluginInstance()
{
    shutdown();
    if (connected_ && component_ && controller_) {
        IConnectionPoint* componentCP = nullptr;
        IConnectionPoint* controllerCP = nullptr;
        component_->queryInterface(IConnectionPoint::iid, reinterpret_cast<void**>(&componentCP));
        controller_->queryInterface(IConnectionPoint::iid, reinterpret_cast<void**>(&controllerCP));
        if (componentCP && controllerCP) {
            componentCP->disconnect(controllerCP);
            controllerCP->disconnect(componentCP);
        }
        releaseAndClear(componentCP);
        releaseAndClear(controllerCP);
        connected_ = false;
    }
    if (controller_)
        controller_->setComponentHandler(nullptr);
    if (controllerInitialized_)
        controller_->terminate();
    if (componentInitialized_)
        component_->terminate();
    releaseAndClear(controller_);
    releaseAndClear(processor_);
    releaseAndClear(component_);
    module_.reset(); // last owner: factory release, ModuleExit, dlclose
}

// ---------------------------------------------------------------------------------------------
void PluginInstance::requestArrangements(std::vector<SpeakerArrangement> inputs, std::vector<SpeakerArrangement> outputs)
{
    requestedIn_ = std::move(inputs);
    requestedOut_ = std::move(outputs);
}

bool PluginInstance::setup(double sampleRate, int maxBlock, bool doublePrecision, std::string* error,
                           int bufferCapacity)
{
    shutdown();
    if (!(sampleRate > 0.0) || maxBlock <= 0) {
        fail(error, "invalid sample rate or block size");
        return false;
    }
    const int32 sampleSize = doublePrecision ? kSample64 : kSample32;
    if (processor_->canProcessSampleSize(sampleSize) != kResultOk) {
        fail(error, std::string("plug-in cannot process ") + (doublePrecision ? "64" : "32") + "-bit samples");
        return false;
    }

    // Bus arrangements: ask for the requested ones, or the plug-in's own current ones.
    const int32 numIn = component_->getBusCount(kAudio, kInput);
    const int32 numOut = component_->getBusCount(kAudio, kOutput);
    std::vector<SpeakerArrangement> in(static_cast<std::size_t>(numIn), 0), out(static_cast<std::size_t>(numOut), 0);
    for (int32 i = 0; i < numIn; ++i) {
        if (static_cast<std::size_t>(i) < requestedIn_.size())
            in[static_cast<std::size_t>(i)] = requestedIn_[static_cast<std::size_t>(i)];
        else
            processor_->getBusArrangement(kInput, i, in[static_cast<std::size_t>(i)]);
    }
    for (int32 i = 0; i < numOut; ++i) {
        if (static_cast<std::size_t>(i) < requestedOut_.size())
            out[static_cast<std::size_t>(i)] = requestedOut_[static_cast<std::size_t>(i)];
        else
            processor_->getBusArrangement(kOutput, i, out[static_cast<std::size_t>(i)]);
    }
    arrangementAccepted_ = processor_->setBusArrangements(in.empty() ? nullptr : in.data(), numIn,
                                                          out.empty() ? nullptr : out.data(), numOut) == kResultOk;

    // Activate main and default-active buses (the plug-in may have rebuilt its buses above).
    auto activate = [this](MediaType media, BusDirection dir, std::vector<bool>& flags) {
        const int32 count = component_->getBusCount(media, dir);
        flags.assign(static_cast<std::size_t>(count), false);
        for (int32 i = 0; i < count; ++i) {
            Vst::BusInfo info {};
            if (component_->getBusInfo(media, dir, i, info) != kResultOk)
                continue;
            const bool on = info.busType == kMain || (info.flags & Vst::BusInfo::kDefaultActive);
            if (on && component_->activateBus(media, dir, i, true) == kResultOk)
                flags[static_cast<std::size_t>(i)] = true;
        }
    };
    activate(kAudio, kInput, activeAudioIn_);
    activate(kAudio, kOutput, activeAudioOut_);
    activate(kEvent, kInput, activeEventIn_);
    activate(kEvent, kOutput, activeEventOut_);

    ProcessSetup setup {};
    setup.processMode = kRealtime;
    setup.symbolicSampleSize = sampleSize;
    setup.maxSamplesPerBlock = maxBlock;
    setup.sampleRate = sampleRate;
    if (processor_->setupProcessing(setup) != kResultOk) {
        fail(error, "plug-in refused setupProcessing");
        return false;
    }

    // Buffers for every audio bus with the channel count it reports now.
    auto channelCounts = [this](BusDirection dir) {
        std::vector<int> counts;
        const int32 count = component_->getBusCount(kAudio, dir);
        for (int32 i = 0; i < count; ++i) {
            Vst::BusInfo info {};
            int channels = 0;
            if (component_->getBusInfo(kAudio, dir, i, info) == kResultOk)
                channels = info.channelCount;
            SpeakerArrangement arr = 0;
            if (channels <= 0 && processor_->getBusArrangement(dir, i, arr) == kResultOk)
                channels = channelsOf(arr);
            counts.push_back(std::max(0, channels));
        }
        return counts;
    };
    const int capacity = std::max(maxBlock, bufferCapacity);
    inputs_.setup(channelCounts(kInput), capacity, doublePrecision);
    outputs_.setup(channelCounts(kOutput), capacity, doublePrecision);

    sampleRate_ = sampleRate;
    maxBlock_ = maxBlock;
    doublePrecision_ = doublePrecision;

    if (component_->setActive(true) != kResultOk) {
        fail(error, "plug-in refused setActive(true)");
        return false;
    }
    active_ = true;
    // kNotImplemented is a valid answer: the plug-in needs no start signal.
    const tresult started = processor_->setProcessing(true);
    if (started != kResultOk && started != kNotImplemented) {
        fail(error, "plug-in refused setProcessing(true)");
        shutdown();
        return false;
    }
    processing_ = true;

    data_ = ProcessData();
    data_.processMode = kRealtime;
    data_.symbolicSampleSize = sampleSize;
    data_.numInputs = inputs_.busCount();
    data_.numOutputs = outputs_.busCount();
    data_.inputs = inputs_.buses();
    data_.outputs = outputs_.buses();
    changes_.clear();
    events_.clear();
    return true;
}

void PluginInstance::shutdown()
{
    if (processing_ && processor_)
        processor_->setProcessing(false);
    processing_ = false;
    if (active_ && component_)
        component_->setActive(false);
    active_ = false;
}

// ---------------------------------------------------------------------------------------------
bool PluginInstance::setParameter(ParamID id, double normalized, int sampleOffset)
{
    const int offset = std::clamp(sampleOffset, 0, std::max(0, maxBlock_ - 1));
    return changes_.addChange(id, offset, normalized);
}

bool PluginInstance::noteOn(int pitch, float velocity, int sampleOffset, int channel)
{
    return queueNote(Event::kNoteOnEvent, pitch, velocity, sampleOffset, channel);
}

bool PluginInstance::noteOff(int pitch, float velocity, int sampleOffset, int channel)
{
    return queueNote(Event::kNoteOffEvent, pitch, velocity, sampleOffset, channel);
}

bool PluginInstance::queueNote(Event::EventTypes type, int pitch, float velocity, int sampleOffset, int channel)
{
    Event e {};
    e.busIndex = 0;
    e.sampleOffset = std::clamp(sampleOffset, 0, std::max(0, maxBlock_ - 1));
    e.flags = Event::kIsLive;
    e.type = type;
    if (type == Event::kNoteOnEvent) {
        e.noteOn.channel = static_cast<int16>(channel);
        e.noteOn.pitch = static_cast<int16>(pitch);
        e.noteOn.velocity = velocity;
        e.noteOn.noteId = -1;
    } else {
        e.noteOff.channel = static_cast<int16>(channel);
        e.noteOff.pitch = static_cast<int16>(pitch);
        e.noteOff.velocity = velocity;
        e.noteOff.noteId = -1;
    }
    return events_.addEvent(e) == kResultOk;
}

void PluginInstance::setProcessFunction(ProcessFunction function, void* user)
{
    processFunction_ = function;
    processUser_ = user;
}

void PluginInstance::fillContext()
{
    const Transport& t = transport_;
    ProcessContext& c = context_;
    c = ProcessContext();
    c.state = ProcessContext::kSystemTimeValid | ProcessContext::kContTimeValid |
              ProcessContext::kProjectTimeMusicValid | ProcessContext::kBarPositionValid |
              ProcessContext::kCycleValid | ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
              ProcessContext::kChordValid | ProcessContext::kSmpteValid | ProcessContext::kClockValid;
    if (t.playing)
        c.state |= ProcessContext::kPlaying;
    if (t.cycleActive)
        c.state |= ProcessContext::kCycleActive;
    c.sampleRate = sampleRate_;
    c.projectTimeSamples = t.samplePosition;
    // System time follows the audio clock, so runs are reproducible.
    c.systemTime = static_cast<int64>(static_cast<double>(t.continuousSamples) * 1e9 / sampleRate_);
    c.continousTimeSamples = t.continuousSamples;
    c.projectTimeMusic = t.ppqPosition;
    c.barPositionMusic = t.barStart();
    c.cycleStartMusic = t.cycleStart;
    c.cycleEndMusic = t.cycleEnd;
    c.tempo = t.tempo;
    c.timeSigNumerator = t.timeSigNumerator;
    c.timeSigDenominator = t.timeSigDenominator;
    c.chord.keyNote = 0;
    c.chord.rootNote = 0;
    c.chord.chordMask = 0;
    c.smpteOffsetSubframes = 0;
    c.frameRate.framesPerSecond = 30;
    c.frameRate.flags = 0;
    // MIDI clock: 24 ticks per quarter note; samples until the next tick at or after this block.
    if (t.tempo > 0.0) {
        const double samplesPerTick = sampleRate_ * 60.0 / t.tempo / 24.0;
        const double ticks = t.ppqPosition * 24.0;
        const double toNext = (std::ceil(ticks - 1e-9) - ticks) * samplesPerTick;
        c.samplesToNextClock = static_cast<int32>(std::lround(toNext));
    }
}

void PluginInstance::advanceTransport(int numSamples)
{
    Transport& t = transport_;
    t.continuousSamples += numSamples;
    if (!t.playing)
        return;
    t.samplePosition += numSamples;
    t.ppqPosition += numSamples * t.tempo / (60.0 * sampleRate_);
    if (t.cycleActive && t.cycleEnd > t.cycleStart && t.ppqPosition >= t.cycleEnd) {
        const double length = t.cycleEnd - t.cycleStart;
        while (t.ppqPosition >= t.cycleEnd)
            t.ppqPosition -= length;
        if (t.tempo > 0.0)
            t.samplePosition = static_cast<std::int64_t>(std::llround(t.ppqPosition * 60.0 / t.tempo * sampleRate_));
    }
}

bool PluginInstance::processBlock(int numSamples)
{
    if (!processing_ || numSamples < 0 || numSamples > inputs_.capacity() || numSamples > outputs_.capacity()) {
        changes_.clear();
        events_.clear();
        return false;
    }
    outputs_.clear(numSamples);
    for (int b = 0; b < data_.numInputs; ++b)
        data_.inputs[b].silenceFlags = 0;
    for (int b = 0; b < data_.numOutputs; ++b)
        data_.outputs[b].silenceFlags = 0;
    outputChanges_.clear();
    outputEvents_.clear();

    // Offsets were bounded by maxBlock when queued; a shorter block bounds them again.
    if (numSamples < maxBlock_) {
        changes_.clampOffsets(std::max(0, numSamples - 1));
        events_.clampOffsets(std::max(0, numSamples - 1));
    }
    if (transport_.sendContext)
        fillContext();
    data_.numSamples = numSamples;
    data_.inputParameterChanges = &changes_;
    data_.outputParameterChanges = &outputChanges_;
    data_.inputEvents = &events_;
    data_.outputEvents = &outputEvents_;
    data_.processContext = transport_.sendContext ? &context_ : nullptr;

    lastResult_ = processFunction_ ? processFunction_(*processor_, data_, processUser_) : processor_->process(data_);

    changes_.clear();
    events_.clear();
    advanceTransport(numSamples);
    return lastResult_ == kResultOk;
}

bool PluginInstance::processBlock(const float* const* in, int inChannels, float* const* out, int outChannels,
                                  int numSamples)
{
    if (doublePrecision_ || numSamples < 0 || numSamples > inputs_.capacity())
        return false;
    const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(numSamples);
    for (int c = 0; c < inputs_.channelCount(0); ++c) {
        float* dst = inputs_.channel32(0, c);
        if (c < inChannels && in && in[c])
            std::memcpy(dst, in[c], bytes);
        else
            std::memset(dst, 0, bytes);
    }
    const bool ok = processBlock(numSamples);
    for (int c = 0; c < outChannels; ++c) {
        if (!out || !out[c])
            continue;
        if (c < outputs_.channelCount(0))
            std::memcpy(out[c], outputs_.channel32(0, c), bytes);
        else
            std::memset(out[c], 0, bytes);
    }
    return ok;
}

// ---------------------------------------------------------------------------------------------
std::vector<ParameterInfo> PluginInstance::parameterInfos() const
{
    std::vector<ParameterInfo> out;
    if (!controller_)
        return out;
    const int32 count = controller_->getParameterCount();
    for (int32 i = 0; i < count; ++i) {
        Vst::ParameterInfo raw {};
        if (controller_->getParameterInfo(i, raw) != kResultOk)
            continue;
        ParameterInfo info;
        info.id = raw.id;
        info.title = utf16ToUtf8(reinterpret_cast<const char16_t*>(raw.title), 128);
        info.shortTitle = utf16ToUtf8(reinterpret_cast<const char16_t*>(raw.shortTitle), 128);
        info.units = utf16ToUtf8(reinterpret_cast<const char16_t*>(raw.units), 128);
        info.stepCount = raw.stepCount;
        info.defaultNormalized = raw.defaultNormalizedValue;
        info.unitId = raw.unitId;
        info.flags = raw.flags;
        out.push_back(std::move(info));
    }
    return out;
}

std::vector<BusInfo> PluginInstance::busInfos() const
{
    std::vector<BusInfo> out;
    const MediaType medias[] = {kAudio, kEvent};
    const BusDirection dirs[] = {kInput, kOutput};
    for (MediaType media : medias) {
        for (BusDirection dir : dirs) {
            const std::vector<bool>& active = media == kAudio ? (dir == kInput ? activeAudioIn_ : activeAudioOut_)
                                                              : (dir == kInput ? activeEventIn_ : activeEventOut_);
            const int32 count = component_->getBusCount(media, dir);
            for (int32 i = 0; i < count; ++i) {
                Vst::BusInfo raw {};
                if (component_->getBusInfo(media, dir, i, raw) != kResultOk)
                    continue;
                BusInfo info;
                info.media = media;
                info.direction = dir;
                info.index = i;
                info.name = utf16ToUtf8(reinterpret_cast<const char16_t*>(raw.name), 128);
                info.channelCount = raw.channelCount;
                info.busType = raw.busType;
                info.flags = raw.flags;
                if (media == kAudio)
                    processor_->getBusArrangement(dir, i, info.arrangement);
                info.active = static_cast<std::size_t>(i) < active.size() && active[static_cast<std::size_t>(i)];
                out.push_back(std::move(info));
            }
        }
    }
    return out;
}

bool PluginInstance::findParameter(const std::string& title, ParamID& id) const
{
    for (const ParameterInfo& info : parameterInfos()) {
        if (info.title == title) {
            id = info.id;
            return true;
        }
    }
    return false;
}

double PluginInstance::parameterValue(ParamID id) const
{
    return controller_ ? controller_->getParamNormalized(id) : 0.0;
}

std::string PluginInstance::parameterString(ParamID id, double normalized) const
{
    String128 text {};
    if (!controller_ || controller_->getParamStringByValue(id, normalized, text) != kResultOk)
        return {};
    return utf16ToUtf8(reinterpret_cast<const char16_t*>(text), 128);
}

std::int32_t PluginInstance::restartFlags() const
{
    return handler_->restartFlags;
}

int PluginInstance::performedEdits() const
{
    return handler_->edits;
}

// ---------------------------------------------------------------------------------------------
bool PluginInstance::getComponentState(std::vector<char>& out) const
{
    IPtr<MemoryStream> stream = owned(new MemoryStream());
    if (component_->getState(stream) != kResultOk)
        return false;
    return streamToVector(*stream, out);
}

bool PluginInstance::setComponentState(const std::vector<char>& in)
{
    std::vector<char> copy = in;
    IPtr<MemoryStream> stream = owned(new MemoryStream(copy.data(), static_cast<TSize>(copy.size())));
    if (component_->setState(stream) != kResultOk)
        return false;
    if (controller_ && !singleComponent_) {
        IPtr<MemoryStream> again = owned(new MemoryStream(copy.data(), static_cast<TSize>(copy.size())));
        controller_->setComponentState(again);
    }
    return true;
}

bool PluginInstance::getControllerState(std::vector<char>& out) const
{
    if (!controller_)
        return false;
    IPtr<MemoryStream> stream = owned(new MemoryStream());
    if (controller_->getState(stream) != kResultOk)
        return false;
    return streamToVector(*stream, out);
}

bool PluginInstance::setControllerState(const std::vector<char>& in)
{
    if (!controller_)
        return false;
    std::vector<char> copy = in;
    IPtr<MemoryStream> stream = owned(new MemoryStream(copy.data(), static_cast<TSize>(copy.size())));
    return controller_->setState(stream) == kResultOk;
}

} // namespace vamplet::host
