// SPDX-License-Identifier: GPL-3.0-or-later
// The audio processor component: declares the buses, hands each block's transport, parameter
// changes and notes to the looper engine, renders or bypasses, and saves/restores the engine's
// parameter chunk. The timer routine answers the editor's tick with scope bytes and notes.
#pragma once

#include "plugin/statemailbox.h"
#include "vst3/audioeffect.h"
#include "vst3/timer.h"

#include <atomic>
#include <vector>

namespace vamplet {
class VampletFX;
}

namespace Steinberg {
namespace Vst {

class Vamplet : public AudioEffect, public ITimerCallback
{
public:
	Vamplet ();
	~Vamplet () override;

	tresult receiveText (const char8* text) SMTG_OVERRIDE;
	tresult PLUGIN_API initialize (FUnknown* context) SMTG_OVERRIDE;
	tresult PLUGIN_API terminate () SMTG_OVERRIDE;
	tresult PLUGIN_API notify (IMessage* message) SMTG_OVERRIDE;
	tresult PLUGIN_API setActive (TBool state) SMTG_OVERRIDE;
	tresult PLUGIN_API setState (IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API getState (IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
	                                       SpeakerArrangement* outputs, int32 numOuts) SMTG_OVERRIDE;
	tresult PLUGIN_API canProcessSampleSize (int32 symbolicSampleSize) SMTG_OVERRIDE;
	tresult PLUGIN_API setupProcessing (ProcessSetup& setup) SMTG_OVERRIDE;
	tresult PLUGIN_API process (ProcessData& data) SMTG_OVERRIDE;
	uint32 PLUGIN_API getProcessContextRequirements () SMTG_OVERRIDE;

	void onTimer (Timer* timer) SMTG_OVERRIDE;

	void processVstTimeInfo (ProcessData& data);

	::vamplet::VampletFX* getEngine () const { return engine; }

	static const int kScopeMessageCapacity = 16384;

private:
	void applyParameterChanges (ProcessData& data);
	void applyEvents (ProcessData& data);
	void applyRestoredState ();
	void render (ProcessData& data);
	template <typename Sample>
	void renderBlock (ProcessData& data, int32 inChannels, int32 outChannels,
	                  const std::vector<Sample>& silence);
	void renderPiece (float** in, float** out, int32 n);
	void renderPiece (double** in, double** out, int32 n);
	void bypassCopy (ProcessData& data);
	void clearOutputs (ProcessData& data);
	void sendTimerMessages ();

	::vamplet::VampletFX* engine;
	bool askHostPending;

	// Silent input channels for blocks that arrive without an input bus or with fewer input
	// channels than the output; sized in setActive, never on the audio thread.
	std::vector<float> silence32;
	std::vector<double> silence64;
	int32 silenceLength () const { return static_cast<int32> (silence32.size ()); }

	::vamplet::StateMailbox restoreMailbox;
};

} // namespace Vst
} // namespace Steinberg
