// SPDX-License-Identifier: GPL-3.0-or-later
// Host-side implementations of the per-block VST 3 containers: parameter-change queues and lists,
// event lists and the audio bus buffers. Every container is sized once (reserve / setup) and never
// allocates afterwards, so a host can fill and clear them between blocks on the audio thread.
#pragma once

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <cstdint>
#include <vector>

namespace vamplet::host {

// One parameter's automation points within a block, kept sorted by sample offset.
// A point added at an offset that already holds one replaces its value.
class ParamValueQueue : public Steinberg::Vst::IParamValueQueue {
public:
    explicit ParamValueQueue(int capacity = 64);
    virtual ~ParamValueQueue() = default;

    void reset(Steinberg::Vst::ParamID id);
    int capacity() const { return static_cast<int>(points_.size()); }
    // Moves points beyond maxOffset to maxOffset; of the points that then share it, the last wins.
    void clampOffsets(Steinberg::int32 maxOffset);

    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return id_; }
    Steinberg::int32 PLUGIN_API getPointCount() override { return count_; }
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                           Steinberg::Vst::ParamValue& value) override;
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value,
                                           Steinberg::int32& index) override;

    // Host-owned object: reference counting is a no-op.
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

private:
    struct Point {
        Steinberg::int32 offset;
        Steinberg::Vst::ParamValue value;
    };
    Steinberg::Vst::ParamID id_ = 0;
    Steinberg::int32 count_ = 0;
    std::vector<Point> points_;
};

// The list of queues for one block. Queues come from a fixed pool; when the pool or a queue is
// full, addParameterData / addPoint fail with kResultFalse instead of allocating.
class ParameterChanges : public Steinberg::Vst::IParameterChanges {
public:
    explicit ParameterChanges(int maxParameters = 256, int pointsPerParameter = 64);
    virtual ~ParameterChanges() = default;

    void clear() { used_ = 0; }
    void clampOffsets(Steinberg::int32 maxOffset);

    // Convenience for the host: adds one point to the queue of id (creating the queue).
    bool addChange(Steinberg::Vst::ParamID id, int sampleOffset, double value);

    Steinberg::int32 PLUGIN_API getParameterCount() override { return used_; }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                  Steinberg::int32& index) override;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

private:
    std::vector<ParamValueQueue> pool_;
    Steinberg::int32 used_ = 0;
};

// Events of one block in sample-offset order (events at the same offset keep their insertion
// order). Fixed capacity; addEvent fails with kResultFalse when full.
class EventList : public Steinberg::Vst::IEventList {
public:
    explicit EventList(int capacity = 1024);
    virtual ~EventList() = default;

    void clear() { count_ = 0; }
    int capacity() const { return static_cast<int>(events_.size()); }
    // Moves events beyond maxOffset to maxOffset (their order is kept).
    void clampOffsets(Steinberg::int32 maxOffset);

    Steinberg::int32 PLUGIN_API getEventCount() override { return count_; }
    Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index, Steinberg::Vst::Event& e) override;
    Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& e) override;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

private:
    std::vector<Steinberg::Vst::Event> events_;
    Steinberg::int32 count_ = 0;
};

// Audio buffers for a set of buses, in 32-bit or 64-bit samples. setup() allocates; the
// AudioBusBuffers array it exposes stays valid until the next setup().
class AudioBuffers {
public:
    // channelsPerBus: channel count of every bus in bus order.
    void setup(const std::vector<int>& channelsPerBus, int capacityFrames, bool doublePrecision);

    int busCount() const { return static_cast<int>(buses_.size()); }
    int channelCount(int bus) const;
    int capacity() const { return capacity_; }
    bool doublePrecision() const { return double_; }

    // Channel storage, or nullptr for a bus/channel that does not exist or the wrong precision.
    float* channel32(int bus, int channel);
    double* channel64(int bus, int channel);

    // Zeroes the first frames of every channel.
    void clear(int frames);

    Steinberg::Vst::AudioBusBuffers* buses() { return buses_.empty() ? nullptr : buses_.data(); }

private:
    int capacity_ = 0;
    bool double_ = false;
    std::vector<std::vector<float>> storage32_;
    std::vector<std::vector<double>> storage64_;
    std::vector<int> firstChannel_;        // index into the storage and pointer arrays per bus
    std::vector<float*> pointers32_;
    std::vector<double*> pointers64_;
    std::vector<Steinberg::Vst::AudioBusBuffers> buses_;
};

} // namespace vamplet::host
