// SPDX-License-Identifier: GPL-3.0-or-later
// One plug-in instance driven as a VST 3 host drives it: created from a bundle's factory,
// initialised with a host context, processor and controller connected, set up, processed block by
// block with a running transport, parameter changes and notes, and torn down in order.
//
// Threading: the host calls everything from one thread. The per-block path (processBlock and the
// queueing calls setParameter / noteOn / noteOff) allocates nothing after setup().
#pragma once

#include "host/module.h"
#include "host/processbuffers.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vamplet::host {

// The host's transport. processBlock describes it to the plug-in in the block's ProcessContext and
// then advances it by the block length while playing. Positions are those of the next block's
// first sample.
struct Transport {
    double tempo = 120.0;              // BPM (quarter notes per minute)
    int timeSigNumerator = 4;
    int timeSigDenominator = 4;
    bool playing = true;
    bool cycleActive = false;
    double cycleStart = 0.0;           // quarter notes
    double cycleEnd = 0.0;             // quarter notes; a cycle wraps at block boundaries
    double ppqPosition = 0.0;          // project time in quarter notes
    std::int64_t samplePosition = 0;   // project time in samples
    std::int64_t continuousSamples = 0;// advances even while stopped and across cycle wraps
    bool sendContext = true;           // false: blocks carry no ProcessContext at all

    // Quarter notes per bar for the time signature.
    double barLength() const;
    // Start of the bar holding ppqPosition, in quarter notes.
    double barStart() const;
};

struct ParameterInfo {
    Steinberg::Vst::ParamID id = 0;
    std::string title;
    std::string shortTitle;
    std::string units;
    std::int32_t stepCount = 0;
    double defaultNormalized = 0.0;
    std::int32_t unitId = 0;
    std::int32_t flags = 0;   // ParameterInfo::ParameterFlags
};

struct BusInfo {
    Steinberg::Vst::MediaType media = Steinberg::Vst::kAudio;           // kAudio / kEvent
    Steinberg::Vst::BusDirection direction = Steinberg::Vst::kInput;    // kInput / kOutput
    int index = 0;                     // index within its media type and direction
    std::string name;
    int channelCount = 0;
    Steinberg::Vst::BusType busType = Steinberg::Vst::kMain;
    std::uint32_t flags = 0;           // BusInfo::BusFlags
    Steinberg::Vst::SpeakerArrangement arrangement = 0;  // audio buses only
    bool active = false;               // as set by this host
};

class HostContext;
class ComponentHandler;

class PluginInstance {
public:
    // Loads the bundle and creates its first audio-module class (or the class named className).
    // Returns nullptr with a one-line reason in *error on failure.
    static std::unique_ptr<PluginInstance> load(const std::string& bundlePath, std::string* error,
                                                const std::string& className = {});
    static std::unique_ptr<PluginInstance> create(std::shared_ptr<Module> module, const ClassInfo& cls,
                                                  std::string* error);
    ~PluginInstance();

    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    // --- set-up ------------------------------------------------------------------------------
    // Arrangements to ask for in setup() (one per audio bus); by default the plug-in's own.
    void requestArrangements(std::vector<Steinberg::Vst::SpeakerArrangement> inputs,
                             std::vector<Steinberg::Vst::SpeakerArrangement> outputs);
    // Tries setBusArrangements, activates the main and default-active buses, calls
    // setupProcessing, setActive(true) and setProcessing(true) and allocates every block buffer.
    // bufferCapacity > maxBlock lets a test send blocks longer than announced.
    bool setup(double sampleRate, int maxBlock, bool doublePrecision = false, std::string* error = nullptr,
               int bufferCapacity = 0);
    // setProcessing(false) and setActive(false); setup() may be called again afterwards.
    void shutdown();
    bool isActive() const { return active_; }
    bool busArrangementAccepted() const { return arrangementAccepted_; }
    double sampleRate() const { return sampleRate_; }
    int maxBlock() const { return maxBlock_; }

    // --- per block (no allocation) -----------------------------------------------------------
    Transport& transport() { return transport_; }

    // Queue a change for the next block (offset clamped to [0, maxBlock-1], and to the block's
    // last sample when the block is shorter). Points of one ID keep offset order. Returns false
    // when the preallocated queues are full.
    bool setParameter(Steinberg::Vst::ParamID id, double normalized, int sampleOffset = 0);
    bool noteOn(int pitch, float velocity, int sampleOffset = 0, int channel = 0);
    bool noteOff(int pitch, float velocity = 0.0f, int sampleOffset = 0, int channel = 0);

    // Channel buffers of the audio buses, valid after setup(); nullptr where a bus or channel
    // does not exist or the precision differs. Fill inputs before processBlock, read outputs after.
    float* input32(int bus, int channel) { return inputs_.channel32(bus, channel); }
    float* output32(int bus, int channel) { return outputs_.channel32(bus, channel); }
    double* input64(int bus, int channel) { return inputs_.channel64(bus, channel); }
    double* output64(int bus, int channel) { return outputs_.channel64(bus, channel); }
    int inputChannels(int bus = 0) const { return inputs_.channelCount(bus); }
    int outputChannels(int bus = 0) const { return outputs_.channelCount(bus); }

    // Processes numSamples frames from the input buffers into the (zeroed) output buffers with
    // the queued changes and events and the transport, then clears the queues and advances the
    // transport. Returns false when not set up, numSamples is out of range, or process fails.
    bool processBlock(int numSamples);
    // Convenience for the main buses of a 32-bit set-up: copies in (inChannels arrays; missing plug-in channels get
    // silence) and copies the main output into out (outChannels arrays; extra ones get silence).
    bool processBlock(const float* const* in, int inChannels, float* const* out, int outChannels,
                      int numSamples);
    Steinberg::tresult lastProcessResult() const { return lastResult_; }

    // Replaces the direct call of IAudioProcessor::process, so a test can bracket exactly the
    // plug-in's own process call (e.g. to count its heap allocations). nullptr restores the default.
    using ProcessFunction = Steinberg::tresult (*)(Steinberg::Vst::IAudioProcessor& processor,
                                                   Steinberg::Vst::ProcessData& data, void* user);
    void setProcessFunction(ProcessFunction function, void* user);

    // The block data of the last (or, inside the process function, the current) block.
    Steinberg::Vst::ProcessData& processData() { return data_; }
    const Steinberg::Vst::ProcessContext& processContext() const { return context_; }
    ParameterChanges& outputParameterChanges() { return outputChanges_; }
    EventList& outputEvents() { return outputEvents_; }

    // --- information -------------------------------------------------------------------------
    const ClassInfo& classInfo() const { return classInfo_; }
    std::vector<ParameterInfo> parameterInfos() const;
    std::vector<BusInfo> busInfos() const;
    // Looks a parameter up by exact title; false when absent.
    bool findParameter(const std::string& title, Steinberg::Vst::ParamID& id) const;
    // The controller's current normalised value and its display string.
    double parameterValue(Steinberg::Vst::ParamID id) const;
    std::string parameterString(Steinberg::Vst::ParamID id, double normalized) const;

    // --- state ---------------------------------------------------------------------------------
    bool getComponentState(std::vector<char>& out) const;
    // Sets the component state and, as hosts do on project load, hands it to the controller's
    // setComponentState.
    bool setComponentState(const std::vector<char>& in);
    bool getControllerState(std::vector<char>& out) const;
    bool setControllerState(const std::vector<char>& in);

    // --- raw access for tests ------------------------------------------------------------------
    Steinberg::Vst::IComponent* component() const { return component_; }
    Steinberg::Vst::IAudioProcessor* processor() const { return processor_; }
    Steinberg::Vst::IEditController* controller() const { return controller_; }
    bool singleComponent() const { return singleComponent_; }
    bool connected() const { return connected_; }
    const std::shared_ptr<Module>& module() const { return module_; }
    // Restart flags the plug-in sent through IComponentHandler::restartComponent, or-ed.
    std::int32_t restartFlags() const;
    // Edits the controller performed through IComponentHandler (they are also queued for the
    // processor's next block, as a host does).
    int performedEdits() const;

private:
    PluginInstance();
    bool init(std::string* error);
    void fillContext();
    void advanceTransport(int numSamples);
    bool queueNote(Steinberg::Vst::Event::EventTypes type, int pitch, float velocity, int sampleOffset,
                   int channel);

    std::shared_ptr<Module> module_;
    ClassInfo classInfo_;
    std::unique_ptr<HostContext> host_;
    std::unique_ptr<ComponentHandler> handler_;
    Steinberg::Vst::IComponent* component_ = nullptr;
    Steinberg::Vst::IAudioProcessor* processor_ = nullptr;
    Steinberg::Vst::IEditController* controller_ = nullptr;
    bool singleComponent_ = false;
    bool componentInitialized_ = false;
    bool controllerInitialized_ = false;
    bool connected_ = false;

    std::vector<Steinberg::Vst::SpeakerArrangement> requestedIn_, requestedOut_;
    bool arrangementAccepted_ = false;
    std::vector<bool> activeAudioIn_, activeAudioOut_, activeEventIn_, activeEventOut_;

    double sampleRate_ = 0.0;
    int maxBlock_ = 0;
    bool doublePrecision_ = false;
    bool active_ = false;
    bool processing_ = false;

    Transport transport_;
    Steinberg::Vst::ProcessContext context_ {};
    Steinberg::Vst::ProcessData data_ {};
    AudioBuffers inputs_, outputs_;
    ParameterChanges changes_;
    ParameterChanges outputChanges_;
    EventList events_;
    EventList outputEvents_;
    ProcessFunction processFunction_ = nullptr;
    void* processUser_ = nullptr;
    Steinberg::tresult lastResult_ = Steinberg::kResultOk;

    friend class ComponentHandler;
};

} // namespace vamplet::host
