// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/processbuffers.h"

#include <algorithm>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace vamplet::host {

// ---------------------------------------------------------------------------------------------
ParamValueQueue::ParamValueQueue(int capacity) : points_(static_cast<std::size_t>(std::max(1, capacity))) {}

void ParamValueQueue::reset(ParamID id)
{
    id_ = id;
    count_ = 0;
}

tresult PLUGIN_API ParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value)
{
    if (index < 0 || index >= count_)
        return kResultFalse;
    sampleOffset = points_[static_cast<std::size_t>(index)].offset;
    value = points_[static_cast<std::size_t>(index)].value;
    return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index)
{
    // Find the first point at or after sampleOffset.
    int32 pos = 0;
    while (pos < count_ && points_[static_cast<std::size_t>(pos)].offset < sampleOffset)
        ++pos;
    if (pos < count_ && points_[static_cast<std::size_t>(pos)].offset == sampleOffset) {
        points_[static_cast<std::size_t>(pos)].value = value;
        index = pos;
        return kResultOk;
    }
    if (count_ >= static_cast<int32>(points_.size()))
        return kResultFalse;
    for (int32 k = count_; k > pos; --k)
        points_[static_cast<std::size_t>(k)] = points_[static_cast<std::size_t>(k - 1)];
    points_[static_cast<std::size_t>(pos)] = {sampleOffset, value};
    ++count_;
    index = pos;
    return kResultOk;
}

void ParamValueQueue::clampOffsets(int32 maxOffset)
{
    if (maxOffset < 0)
        maxOffset = 0;
    int32 firstBeyond = count_;
    while (firstBeyond > 0 && points_[static_cast<std::size_t>(firstBeyond - 1)].offset >= maxOffset)
        --firstBeyond;
    if (firstBeyond == count_)
        return;
    // Points at or beyond maxOffset collapse into one at maxOffset carrying the last value.
    points_[static_cast<std::size_t>(firstBeyond)] = {maxOffset, points_[static_cast<std::size_t>(count_ - 1)].value};
    count_ = firstBeyond + 1;
}

tresult PLUGIN_API ParamValueQueue::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IParamValueQueue)
    QUERY_INTERFACE(iid, obj, IParamValueQueue::iid, IParamValueQueue)
    *obj = nullptr;
    return kNoInterface;
}

// ---------------------------------------------------------------------------------------------
ParameterChanges::ParameterChanges(int maxParameters, int pointsPerParameter)
    : pool_(static_cast<std::size_t>(std::max(1, maxParameters)), ParamValueQueue(pointsPerParameter))
{
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index)
{
    if (index < 0 || index >= used_)
        return nullptr;
    return &pool_[static_cast<std::size_t>(index)];
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const ParamID& id, int32& index)
{
    for (int32 i = 0; i < used_; ++i) {
        if (pool_[static_cast<std::size_t>(i)].getParameterId() == id) {
            index = i;
            return &pool_[static_cast<std::size_t>(i)];
        }
    }
    if (used_ >= static_cast<int32>(pool_.size()))
        return nullptr;
    index = used_;
    ParamValueQueue& queue = pool_[static_cast<std::size_t>(used_++)];
    queue.reset(id);
    return &queue;
}

void ParameterChanges::clampOffsets(int32 maxOffset)
{
    for (int32 i = 0; i < used_; ++i)
        pool_[static_cast<std::size_t>(i)].clampOffsets(maxOffset);
}

bool ParameterChanges::addChange(ParamID id, int sampleOffset, double value)
{
    int32 index = 0;
    IParamValueQueue* queue = addParameterData(id, index);
    if (!queue)
        return false;
    int32 pointIndex = 0;
    return queue->addPoint(sampleOffset, value, pointIndex) == kResultOk;
}

tresult PLUGIN_API ParameterChanges::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IParameterChanges)
    QUERY_INTERFACE(iid, obj, IParameterChanges::iid, IParameterChanges)
    *obj = nullptr;
    return kNoInterface;
}

// ---------------------------------------------------------------------------------------------
EventList::EventList(int capacity) : events_(static_cast<std::size_t>(std::max(1, capacity))) {}

tresult PLUGIN_API EventList::getEvent(int32 index, Event& e)
{
    if (index < 0 || index >= count_)
        return kResultFalse;
    e = events_[static_cast<std::size_t>(index)];
    return kResultOk;
}

tresult PLUGIN_API EventList::addEvent(Event& e)
{
    if (count_ >= static_cast<int32>(events_.size()))
        return kResultFalse;
    // Insert after every event at the same or an earlier offset.
    int32 pos = count_;
    while (pos > 0 && events_[static_cast<std::size_t>(pos - 1)].sampleOffset > e.sampleOffset) {
        events_[static_cast<std::size_t>(pos)] = events_[static_cast<std::size_t>(pos - 1)];
        --pos;
    }
    events_[static_cast<std::size_t>(pos)] = e;
    ++count_;
    return kResultOk;
}

void EventList::clampOffsets(int32 maxOffset)
{
    for (int32 i = 0; i < count_; ++i) {
        Event& e = events_[static_cast<std::size_t>(i)];
        e.sampleOffset = std::clamp(e.sampleOffset, 0, std::max<int32>(0, maxOffset));
    }
}

tresult PLUGIN_API EventList::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IEventList)
    QUERY_INTERFACE(iid, obj, IEventList::iid, IEventList)
    *obj = nullptr;
    return kNoInterface;
}

// ---------------------------------------------------------------------------------------------
void AudioBuffers::setup(const std::vector<int>& channelsPerBus, int capacityFrames, bool doublePrecision)
{
    capacity_ = std::max(1, capacityFrames);
    double_ = doublePrecision;
    storage32_.clear();
    storage64_.clear();
    firstChannel_.clear();
    int total = 0;
    for (int channels : channelsPerBus) {
        firstChannel_.push_back(total);
        total += std::max(0, channels);
    }
    if (double_)
        storage64_.assign(static_cast<std::size_t>(total), std::vector<double>(static_cast<std::size_t>(capacity_), 0.0));
    else
        storage32_.assign(static_cast<std::size_t>(total), std::vector<float>(static_cast<std::size_t>(capacity_), 0.0f));
    pointers32_.assign(static_cast<std::size_t>(total), nullptr);
    pointers64_.assign(static_cast<std::size_t>(total), nullptr);
    for (int c = 0; c < total; ++c) {
        if (double_)
            pointers64_[static_cast<std::size_t>(c)] = storage64_[static_cast<std::size_t>(c)].data();
        else
            pointers32_[static_cast<std::size_t>(c)] = storage32_[static_cast<std::size_t>(c)].data();
    }
    buses_.assign(channelsPerBus.size(), AudioBusBuffers());
    for (std::size_t b = 0; b < channelsPerBus.size(); ++b) {
        AudioBusBuffers& bus = buses_[b];
        bus.numChannels = std::max(0, channelsPerBus[b]);
        bus.silenceFlags = 0;
        const std::size_t first = static_cast<std::size_t>(firstChannel_[b]);
        if (bus.numChannels == 0)
            bus.channelBuffers32 = nullptr;
        else if (double_)
            bus.channelBuffers64 = pointers64_.data() + first;
        else
            bus.channelBuffers32 = pointers32_.data() + first;
    }
}

int AudioBuffers::channelCount(int bus) const
{
    if (bus < 0 || bus >= busCount())
        return 0;
    return buses_[static_cast<std::size_t>(bus)].numChannels;
}

float* AudioBuffers::channel32(int bus, int channel)
{
    if (double_ || channel < 0 || channel >= channelCount(bus))
        return nullptr;
    return pointers32_[static_cast<std::size_t>(firstChannel_[static_cast<std::size_t>(bus)] + channel)];
}

double* AudioBuffers::channel64(int bus, int channel)
{
    if (!double_ || channel < 0 || channel >= channelCount(bus))
        return nullptr;
    return pointers64_[static_cast<std::size_t>(firstChannel_[static_cast<std::size_t>(bus)] + channel)];
}

void AudioBuffers::clear(int frames)
{
    const std::size_t n = static_cast<std::size_t>(std::clamp(frames, 0, capacity_));
    for (auto& channel : storage32_)
        std::fill(channel.begin(), channel.begin() + static_cast<std::ptrdiff_t>(n), 0.0f);
    for (auto& channel : storage64_)
        std::fill(channel.begin(), channel.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
}

} // namespace vamplet::host
