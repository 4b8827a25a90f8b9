// SPDX-License-Identifier: GPL-3.0-or-later
#include "vst3/audioeffect.h"

namespace Steinberg {
namespace Vst {

AudioEffect::AudioEffect ()
{
	processSetup.maxSamplesPerBlock = 1024;
	processSetup.processMode = kRealtime;
	processSetup.sampleRate = 44100.0;
	processSetup.symbolicSampleSize = kSample32;
}

AudioBus* AudioEffect::addAudioInput (const TChar* name, SpeakerArrangement arr, BusType busType,
                                      int32 flags)
{
	auto* bus = new AudioBus (name, busType, flags, arr);
	audioInputs.push_back (IPtr<Vst::Bus> (bus, false));
	return bus;
}

AudioBus* AudioEffect::addAudioOutput (const TChar* name, SpeakerArrangement arr, BusType busType,
                                       int32 flags)
{
	auto* bus = new AudioBus (name, busType, flags, arr);
	audioOutputs.push_back (IPtr<Vst::Bus> (bus, false));
	return bus;
}

AudioBus* AudioEffect::getAudioInput (int32 index)
{
	if (index < 0 || index >= static_cast<int32> (audioInputs.size ()))
		return nullptr;
	return FCast<AudioBus> (audioInputs.at (index).get ());
}

AudioBus* AudioEffect::getAudioOutput (int32 index)
{
	if (index < 0 || index >= static_cast<int32> (audioOutputs.size ()))
		return nullptr;
	return FCast<AudioBus> (audioOutputs.at (index).get ());
}

EventBus* AudioEffect::addEventInput (const TChar* name, int32 channels, BusType busType,
                                      int32 flags)
{
	auto* bus = new EventBus (name, busType, flags, channels);
	eventInputs.push_back (IPtr<Vst::Bus> (bus, false));
	return bus;
}

EventBus* AudioEffect::addEventOutput (const TChar* name, int32 channels, BusType busType,
                                       int32 flags)
{
	auto* bus = new EventBus (name, busType, flags, channels);
	eventOutputs.push_back (IPtr<Vst::Bus> (bus, false));
	return bus;
}

EventBus* AudioEffect::getEventInput (int32 index)
{
	if (index < 0 || index >= static_cast<int32> (eventInputs.size ()))
		return nullptr;
	return FCast<EventBus> (eventInputs.at (index).get ());
}

EventBus* AudioEffect::getEventOutput (int32 index)
{
	if (index < 0 || index >= static_cast<int32> (eventOutputs.size ()))
		return nullptr;
	return FCast<EventBus> (eventOutputs.at (index).get ());
}

// The default accepts exactly the bus counts it has and takes over each arrangement.
tresult PLUGIN_API AudioEffect::setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
                                                    SpeakerArrangement* outputs, int32 numOuts)
{
	if (numIns < 0 || numOuts < 0)
		return kInvalidArgument;
	if (numIns > static_cast<int32> (audioInputs.size ()) ||
	    numOuts > static_cast<int32> (audioOutputs.size ()))
		return kResultFalse;
	for (int32 i = 0; i < numIns; ++i)
		if (auto* bus = getAudioInput (i))
			bus->setArrangement (inputs[i]);
	for (int32 i = 0; i < numOuts; ++i)
		if (auto* bus = getAudioOutput (i))
			bus->setArrangement (outputs[i]);
	return kResultTrue;
}

tresult PLUGIN_API AudioEffect::getBusArrangement (BusDirection dir, int32 index,
                                                   SpeakerArrangement& arr)
{
	AudioBus* bus = dir == kInput ? getAudioInput (index) : getAudioOutput (index);
	if (!bus)
		return kInvalidArgument;
	arr = bus->getArrangement ();
	return kResultTrue;
}

tresult PLUGIN_API AudioEffect::canProcessSampleSize (int32 symbolicSampleSize)
{
	return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API AudioEffect::setupProcessing (ProcessSetup& setup)
{
	if (canProcessSampleSize (setup.symbolicSampleSize) != kResultTrue)
		return kResultFalse;
	processSetup = setup;
	return kResultOk;
}

} // namespace Vst
} // namespace Steinberg
