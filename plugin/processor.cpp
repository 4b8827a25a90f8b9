// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/processor.h"

#include "engine/vampletfx.h"
#include "plugin/ids.h"
#include "vst3/streamread.h"

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <algorithm>
#include <bitset>
#include <cstdlib>
#include <cstring>

namespace Steinberg {
namespace Vst {

using vamplet::VampletFX;

namespace {

int32 channelCount (SpeakerArrangement arr)
{
	return static_cast<int32> (std::bitset<64> (arr).count ());
}

template <typename Sample>
Sample* channel (AudioBusBuffers& bus, int32 c);
template <>
float* channel<float> (AudioBusBuffers& bus, int32 c)
{
	return bus.channelBuffers32[c];
}
template <>
double* channel<double> (AudioBusBuffers& bus, int32 c)
{
	return bus.channelBuffers64[c];
}

// The block's own sample size says what its buffers hold (a host may send 64-bit blocks
// although the setup asked for 32-bit ones).
size_t sampleBytes (const ProcessData& data)
{
	return data.symbolicSampleSize == kSample64 ? sizeof (double) : sizeof (float);
}

void* rawChannel (const ProcessData& data, AudioBusBuffers& bus, int32 c)
{
	return data.symbolicSampleSize == kSample64 ? static_cast<void*> (bus.channelBuffers64[c])
	                                            : static_cast<void*> (bus.channelBuffers32[c]);
}

} // namespace

Vamplet::Vamplet () : engine (new VampletFX ()), askHostPending (true)
{
	setControllerClass (vamplet::kControllerUID);
}

Vamplet::~Vamplet ()
{
	delete engine;
}

tresult Vamplet::receiveText (const char8*)
{
	return kResultOk;
}

tresult PLUGIN_API Vamplet::initialize (FUnknown* context)
{
	tresult result = AudioEffect::initialize (context);
	if (result != kResultOk)
		return result;
	addAudioInput (STR16 ("Stereo In"), SpeakerArr::kStereo);
	addAudioOutput (STR16 ("Stereo Out"), SpeakerArr::kStereo);
	addEventInput (STR16 ("MIDI In"), 16);
	addEventOutput (STR16 ("MIDI Out Vamplet"), 16);
	return kResultOk;
}

tresult PLUGIN_API Vamplet::terminate ()
{
	return AudioEffect::terminate ();
}

tresult PLUGIN_API Vamplet::setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
                                                SpeakerArrangement* outputs, int32 numOuts)
{
	if (numIns != 1 || numOuts != 1 || !inputs || !outputs)
		return kResultFalse;
	// Before initialize there are no buses to compare with or rebuild.
	AudioBus* firstInput = getAudioInput (0);
	if (!firstInput)
		return kResultFalse;

	const SpeakerArrangement in = inputs[0];
	const SpeakerArrangement out = outputs[0];
	const int32 inChannels = channelCount (in);
	const int32 outChannels = channelCount (out);

	if (inChannels == 1 && outChannels == 1)
	{
		if (firstInput->getArrangement () != in)
		{
			removeAudioBusses ();
			addAudioInput (STR16 ("Mono In"), in);
			addAudioOutput (STR16 ("Mono Out"), in);
		}
		return kResultOk;
	}
	if (inChannels == 2 && outChannels == 2)
	{
		removeAudioBusses ();
		addAudioInput (STR16 ("Stereo In"), in);
		addAudioOutput (STR16 ("Stereo Out"), out);
		return kResultOk;
	}
	// Anything else falls back to the stereo pair and is refused.
	if (firstInput->getArrangement () != SpeakerArr::kStereo)
	{
		removeAudioBusses ();
		addAudioInput (STR16 ("Stereo In"), SpeakerArr::kStereo);
		addAudioOutput (STR16 ("Stereo Out"), SpeakerArr::kStereo);
	}
	return kResultFalse;
}

tresult PLUGIN_API Vamplet::canProcessSampleSize (int32 symbolicSampleSize)
{
	return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API Vamplet::setupProcessing (ProcessSetup& setup)
{
	return AudioEffect::setupProcessing (setup);
}

tresult PLUGIN_API Vamplet::setActive (TBool state)
{
	if (state)
	{
		const int32 maxBlock = std::max<int32> (1, processSetup.maxSamplesPerBlock);
		// Silent channels stand in for a missing input; both widths, since a host may hand
		// 64-bit buffers against the announced setup.
		if (silenceLength () != maxBlock)
		{
			silence32.assign (static_cast<size_t> (maxBlock), 0.0f);
			silence64.assign (static_cast<size_t> (maxBlock), 0.0);
		}
		engine->resume (processSetup.sampleRate, maxBlock);
		applyRestoredState ();
	}
	else
		engine->suspend ();
	return AudioEffect::setActive (state);
}

uint32 PLUGIN_API Vamplet::getProcessContextRequirements ()
{
	using R = IProcessContextRequirements;
	return R::kNeedSystemTime | R::kNeedContinousTimeSamples | R::kNeedProjectTimeMusic |
	       R::kNeedBarPositionMusic | R::kNeedCycleMusic | R::kNeedSamplesToNextClock |
	       R::kNeedTempo | R::kNeedTimeSignature | R::kNeedChord | R::kNeedFrameRate |
	       R::kNeedTransportState;
}

//------------------------------------------------------------------------
// State: the engine's chunk (version, count, the parameter values in ID order).
//------------------------------------------------------------------------

tresult PLUGIN_API Vamplet::getState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	void* chunk = nullptr;
	const int32 size = engine->getChunk (&chunk, true);
	// A restored state the audio thread has not applied yet is what the user will hear next:
	// save that one.
	double waiting[vamplet::kNumEngineParams];
	const int waitingCount = restoreMailbox.peek (waiting);
	if (chunk && size >= VampletFX::kChunkHeaderBytes + 8 * waitingCount)
		std::memcpy (static_cast<unsigned char*> (chunk) + VampletFX::kChunkHeaderBytes, waiting,
		             sizeof (double) * static_cast<size_t> (waitingCount));
	if (!chunk)
		return kResultFalse;
	int32 written = 0;
	tresult result = state->write (chunk, size, &written);
	std::free (chunk);
	if (result == kResultOk && written != size)
		result = kResultFalse;
	return result;
}

tresult PLUGIN_API Vamplet::setState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	// Read at most one whole chunk; parseChunk decides whether what arrived is complete.
	unsigned char bytes[VampletFX::kChunkBytes];
	const int32 total = readUpTo (state, bytes, VampletFX::kChunkBytes);
	double values[vamplet::kNumEngineParams];
	int count = 0;
	if (!VampletFX::parseChunk (bytes, total, values, &count))
		return kResultFalse;
	// The audio thread applies the values at the start of its next block (or activation does).
	restoreMailbox.post (values, count);
	return kResultOk;
}

void Vamplet::applyRestoredState ()
{
	double values[vamplet::kNumEngineParams];
	if (int count = restoreMailbox.take (values))
		engine->applyChunkValues (values, count);
}

//------------------------------------------------------------------------
// Audio thread
//------------------------------------------------------------------------

void Vamplet::processVstTimeInfo (ProcessData& data)
{
	ProcessContext* ctx = data.processContext;
	if (!ctx)
		return;
	vamplet::HostTimeInfo& t = engine->hostTime;
	const uint32 s = ctx->state;
	t.playing = (s & ProcessContext::kPlaying) != 0;
	t.timeInfoValid = true;
	t.cycleActive = (s & ProcessContext::kCycleActive) != 0;
	t.ppqPosValid = (s & ProcessContext::kProjectTimeMusicValid) != 0;
	t.barStartValid = (s & ProcessContext::kBarPositionValid) != 0;
	t.tempoValid = (s & ProcessContext::kTempoValid) != 0;
	t.tempo = t.tempoValid ? ctx->tempo : 120.0;
	t.timeSigNumerator = static_cast<double> (ctx->timeSigNumerator);
	t.timeSigDenominator = static_cast<double> (ctx->timeSigDenominator);
	t.samplePos = ctx->projectTimeSamples;
	t.continuousSamplePos = ctx->continousTimeSamples;
	t.systemTime = ctx->systemTime;
	t.barStartPos = t.barStartValid ? ctx->barPositionMusic : 0.0;
	t.ppqPos = t.ppqPosValid ? ctx->projectTimeMusic : 0.0;
	t.sampleRate = ctx->sampleRate;
	t.samplesPerBeat = t.tempo == 0.0 ? 22050.0 : t.sampleRate * 60.0 / t.tempo;
	t.cycleStartPos = ctx->cycleStartMusic;
	t.cycleEndPos = ctx->cycleEndMusic;
}

void Vamplet::applyParameterChanges (ProcessData& data)
{
	IParameterChanges* changes = data.inputParameterChanges;
	if (!changes)
		return;
	const int32 queues = changes->getParameterCount ();
	for (int32 i = 0; i < queues; ++i)
	{
		IParamValueQueue* queue = changes->getParameterData (i);
		if (!queue)
			continue;
		const int32 points = queue->getPointCount ();
		if (points <= 0)
			continue;
		int32 offset = 0;
		ParamValue value = 0;
		// Only the last point counts; it applies from the start of the block.
		if (queue->getPoint (points - 1, offset, value) == kResultTrue)
			engine->setParameter (static_cast<int> (queue->getParameterId ()), value);
	}
}

void Vamplet::applyEvents (ProcessData& data)
{
	IEventList* events = data.inputEvents;
	if (!events)
		return;
	engine->startProcessMIDI ();
	const int32 count = events->getEventCount ();
	for (int32 i = 0; i < count; ++i)
	{
		Event e {};
		if (events->getEvent (i, e) != kResultOk)
			continue;
		if (e.type == Event::kNoteOnEvent)
			engine->noteOn (e.noteOn.pitch, static_cast<int> (e.noteOn.velocity * 127.0f),
			                e.sampleOffset);
		else if (e.type == Event::kNoteOffEvent)
			engine->noteOff (e.noteOff.pitch, static_cast<int> (127.0f * e.noteOff.velocity),
			                 e.sampleOffset);
	}
	engine->endProcessMIDI ();
}

// The engine's entry point for each sample width.
void Vamplet::renderPiece (float** in, float** out, int32 n)
{
	engine->process (in, out, n);
}

void Vamplet::renderPiece (double** in, double** out, int32 n)
{
	engine->processDouble (in, out, n);
}

template <typename Sample>
void Vamplet::renderBlock (ProcessData& data, int32 inChannels, int32 outChannels,
                           const std::vector<Sample>& silence)
{
	// Hosts may send blocks longer than announced: render them in pieces the engine's
	// conversion buffers can take.
	const int32 piece = std::max<int32> (1, std::min (engine->blockSize, silenceLength ()));
	for (int32 done = 0; done < data.numSamples; done += piece)
	{
		Sample* in[2];
		Sample* out[2];
		for (int32 c = 0; c < 2; ++c)
		{
			in[c] = c < inChannels ? channel<Sample> (data.inputs[0], c) + done
			                       : const_cast<Sample*> (silence.data ());
			out[c] = c < outChannels ? channel<Sample> (data.outputs[0], c) + done : nullptr;
		}
		renderPiece (in, out, std::min (piece, data.numSamples - done));
	}
}

void Vamplet::render (ProcessData& data)
{
	const bool haveInput = data.numInputs > 0 && data.inputs && data.inputs[0].numChannels > 0;
	const int32 inChannels = haveInput ? std::min (data.inputs[0].numChannels, 2) : 0;
	const int32 outChannels = std::min (data.outputs[0].numChannels, 2);

	// A block without input channels gets one silent channel; a mono input feeds both sides
	// of a stereo output (the engine reads channel 0 for both).
	engine->numInputChannels = std::max (inChannels, std::min<int32> (outChannels, 1));
	engine->numOutputChannels = outChannels;

	if (data.symbolicSampleSize == kSample64)
		renderBlock (data, inChannels, outChannels, silence64);
	else
		renderBlock (data, inChannels, outChannels, silence32);
}

void Vamplet::clearOutputs (ProcessData& data)
{
	AudioBusBuffers& out = data.outputs[0];
	const size_t bytes = static_cast<size_t> (data.numSamples) * sampleBytes (data);
	for (int32 c = 0; c < out.numChannels; ++c)
		if (void* dst = rawChannel (data, out, c))
			std::memset (dst, 0, bytes);
}

void Vamplet::bypassCopy (ProcessData& data)
{
	AudioBusBuffers& out = data.outputs[0];
	const int32 inChannels = (data.numInputs > 0 && data.inputs) ? data.inputs[0].numChannels : 0;
	if (inChannels <= 0)
		return;
	const size_t bytes = static_cast<size_t> (data.numSamples) * sampleBytes (data);
	for (int32 c = 0; c < out.numChannels; ++c)
	{
		const int32 source = out.numChannels <= inChannels ? c : 0;
		void* dst = rawChannel (data, out, c);
		const void* src = rawChannel (data, data.inputs[0], source);
		if (dst && src && dst != src)
			std::memmove (dst, src, bytes);
	}
}

tresult PLUGIN_API Vamplet::process (ProcessData& data)
{
	// 1. Transport, a restored state, parameter changes and notes reach the engine first.
	processVstTimeInfo (data);
	applyRestoredState ();
	applyParameterChanges (data);
	applyEvents (data);

	// 2. Audio.
	if (data.numOutputs <= 0 || !data.outputs)
		return kResultOk;
	AudioBusBuffers& out = data.outputs[0];
	out.silenceFlags = 0;
	if (data.numSamples <= 0 || out.numChannels <= 0)
		return kResultOk;
	const double bypass = engine->getParameter (vamplet::kParamBypass);
	if (!(bypass < 0.5)) // at 0.5 and above, or not a number
		bypassCopy (data);
	else if (silenceLength () > 0)
		render (data);
	else
		clearOutputs (data); // never activated: nothing to render with
	return kResultOk;
}

//------------------------------------------------------------------------
// Messages and the timer routine (user-interface thread)
//------------------------------------------------------------------------

tresult PLUGIN_API Vamplet::notify (IMessage* message)
{
	if (!message)
		return kInvalidArgument;
	if (FIDStringsEqual (message->getMessageID (), "IntMessage"))
	{
		int64 tick = 0;
		if (IAttributeList* attrs = message->getAttributes ())
			if (attrs->getInt ("linuxtimer", tick) == kResultOk)
				onTimer (nullptr);
	}
	return AudioEffect::notify (message);
}

void Vamplet::onTimer (Timer*)
{
	// 1. The one-time host query.
	if (askHostPending)
	{
		IMessage* msg = allocateMessage ();
		tresult sent = kResultFalse;
		if (msg)
		{
			msg->setMessageID ("IntMessage");
			msg->getAttributes ()->setInt ("askpresonus", 1);
			sent = sendMessage (msg);
			msg->release ();
		}
		if (!msg || sent != kResultOk)
			askHostPending = false;
	}

	// 2. Notes the engine saw since the last tick. Without a message the notes stay listed
	// and go out with later ones.
	if (engine->pendingNotes.takePendingFlag ())
	{
		if (IMessage* msg = allocateMessage ())
		{
			unsigned char notes[vamplet::NoteList::kBytes];
			const int bytes = engine->pendingNotes.take (notes, sizeof (notes));
			msg->setMessageID ("BinaryMessage");
			msg->getAttributes ()->setBinary ("MidiNote", notes, static_cast<uint32> (bytes));
			sendMessage (msg);
			msg->release ();
		}
	}

	// 3. Oscilloscope bytes written since the last tick; sent even when there are none.
	int8_t scope[kScopeMessageCapacity];
	const int n = engine->readScope (scope, kScopeMessageCapacity - 1);
	if (IMessage* msg = allocateMessage ())
	{
		msg->setMessageID ("BinaryMessage");
		msg->getAttributes ()->setBinary ("AudioData", scope, static_cast<uint32> (n));
		sendMessage (msg);
		msg->release ();
	}
}

} // namespace Vst
} // namespace Steinberg
