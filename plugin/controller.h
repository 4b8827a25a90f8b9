// SPDX-License-Identifier: GPL-3.0-or-later
// The edit controller: publishes the parameter set with its units and program list, answers
// display strings, relays the processor's scope bytes and notes to an open editor, keeps the
// editor's hidden values and restores what a saved project holds.
#pragma once

#include "plugin/hiddenparameters.h"
#include "public.sdk/source/vst/vsteditcontroller.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"

namespace vamplet {
class EditorConnection;
}

namespace Steinberg {
namespace Vst {

class VampletController : public EditControllerEx1, public IMidiMapping
{
public:
	VampletController ();
	~VampletController () override;

	tresult PLUGIN_API queryInterface (const TUID iid, void** obj) SMTG_OVERRIDE;
	uint32 PLUGIN_API addRef () SMTG_OVERRIDE { return EditControllerEx1::addRef (); }
	uint32 PLUGIN_API release () SMTG_OVERRIDE { return EditControllerEx1::release (); }

	tresult receiveText (const char8* text) SMTG_OVERRIDE;
	tresult PLUGIN_API initialize (FUnknown* context) SMTG_OVERRIDE;
	tresult PLUGIN_API terminate () SMTG_OVERRIDE;
	tresult PLUGIN_API notify (IMessage* message) SMTG_OVERRIDE;
	tresult PLUGIN_API setComponentState (IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API setState (IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API getState (IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API getParamStringByValue (ParamID id, ParamValue valueNormalized,
	                                          String128 string) SMTG_OVERRIDE;
	tresult PLUGIN_API setParamNormalized (ParamID id, ParamValue value) SMTG_OVERRIDE;
	IPlugView* PLUGIN_API createView (FIDString name) SMTG_OVERRIDE;
	tresult PLUGIN_API setKnobMode (KnobMode mode) SMTG_OVERRIDE;
	int32 PLUGIN_API getProgramListCount () SMTG_OVERRIDE;
	tresult PLUGIN_API getProgramListInfo (int32 listIndex, ProgramListInfo& info) SMTG_OVERRIDE;
	tresult PLUGIN_API getProgramName (ProgramListID listId, int32 programIndex,
	                                   String128 name) SMTG_OVERRIDE;

	tresult PLUGIN_API getMidiControllerAssignment (int32 busIndex, int16 channel,
	                                                CtrlNumber midiControllerNumber,
	                                                ParamID& id) SMTG_OVERRIDE;

	tresult setHiddenParamNormalized (ParamID index, ParamValue value);

	// The editor attaches itself while its window is open and detaches when it closes.
	void setEditor (vamplet::EditorConnection* openEditor) { editor = openEditor; }
	vamplet::HiddenParameters& getHiddenParameters () { return hiddenParameters; }

	static const int kScopeBufferBytes = 16384;

private:
	void addParameters ();

	vamplet::EditorConnection* editor {nullptr};
	vamplet::HiddenParameters hiddenParameters;
	int8_t scopeBuffer[kScopeBufferBytes] {};
};

} // namespace Vst
} // namespace Steinberg
