// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/controller.h"

#include "engine/vampletfx.h"
#include "plugin/editorconnection.h"
#include "plugin/parameters.h"
#include "plugin/settingsfile.h"
#include "vst3/streamread.h"
#include "vst3/stringconvert.h"

#include "base/source/fstreamer.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstmessage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace Steinberg {
namespace Vst {

using namespace vamplet;

namespace {

constexpr uint64 kControllerStateVersion = 5;
constexpr int kControllerStateBytes = 24;

std::u16string title (const ParamDesc& desc)
{
	char text[128];
	std::snprintf (text, sizeof (text), desc.title, kLoopNumber);
	return StringConvert::convert (std::string (text));
}

const TChar* tchar (const std::u16string& s)
{
	return reinterpret_cast<const TChar*> (s.c_str ());
}

} // namespace

VampletController::VampletController () = default;
VampletController::~VampletController () = default;

tresult PLUGIN_API VampletController::queryInterface (const TUID iid, void** obj)
{
	QUERY_INTERFACE (iid, obj, IMidiMapping::iid, IMidiMapping)
	QUERY_INTERFACE (iid, obj, IUnitInfo::iid, IUnitInfo)
	QUERY_INTERFACE (iid, obj, IEditController::iid, IEditController)
	QUERY_INTERFACE (iid, obj, IEditController2::iid, IEditController2)
	if (FUnknownPrivate::iidEqual (iid, IPluginBase::iid))
	{
		addRef ();
		*obj = static_cast<IPluginBase*> (static_cast<ComponentBase*> (this));
		return kResultOk;
	}
	QUERY_INTERFACE (iid, obj, IConnectionPoint::iid, IConnectionPoint)
	return FObject::queryInterface (iid, obj);
}

tresult VampletController::receiveText (const char8* text)
{
	if (text)
		std::fprintf (stderr, "[AGainController] received: %s\n", text);
	return kResultOk;
}

void VampletController::addParameters ()
{
	for (int id : kHostParamOrder)
	{
		const ParamDesc& d = kParams[id];
		const std::u16string name = title (d);
		Parameter* p = nullptr;
		switch (d.kind)
		{
			case ParamKind::StringList:
			{
				auto* list = new StringListParameter (tchar (name), d.id, nullptr, d.flags, d.unit);
				for (int i = 0; i < d.numEntries; ++i)
					list->appendString (tchar (StringConvert::convert (std::string (d.entries[i]))));
				p = list;
				break;
			}
			case ParamKind::Range:
				p = new RangeParameter (tchar (name), d.id, nullptr, d.minPlain, d.maxPlain,
				                        d.minPlain + d.defaultValue * (d.maxPlain - d.minPlain),
				                        d.steps, d.flags, d.unit);
				break;
			case ParamKind::Plain:
				p = new Parameter (tchar (name), d.id, nullptr, d.defaultValue, d.steps, d.flags,
				                   d.unit);
				break;
			case ParamKind::ProgramList:
			{
				// The SDK makes the program parameter from the list; it must not be automated.
				auto* list = new ProgramList (tchar (name), kProgramListId, kUnitRoot);
				for (int i = 0; i < d.numEntries; ++i)
					list->addProgram (tchar (StringConvert::convert (std::string (d.entries[i]))));
				addProgramList (list);
				p = list->getParameter ();
				p->getInfo ().flags = d.flags;
				break;
			}
			case ParamKind::None:
				break;
		}
		if (!p)
			continue;
		p->getInfo ().defaultNormalizedValue = d.defaultValue;
		p->setNormalized (d.startValue);
		parameters.addParameter (p);
	}
}

tresult PLUGIN_API VampletController::initialize (FUnknown* context)
{
	tresult result = EditControllerEx1::initialize (context);
	if (result != kResultOk)
		return result;
	editor = nullptr;

	addUnit (new Unit (STR16 ("Root"), kUnitRoot, kNoParentUnitId, kProgramListId));
	addUnit (new Unit (STR16 ("L1"), kUnitLoop1, kUnitRoot, kNoProgramListId));
	addParameters ();

	SettingsFile::read (hiddenParameters);
	return kResultOk;
}

tresult PLUGIN_API VampletController::terminate ()
{
	editor = nullptr;
	return EditControllerEx1::terminate ();
}

tresult PLUGIN_API VampletController::notify (IMessage* message)
{
	if (!message)
		return kInvalidArgument;
	if (FIDStringsEqual (message->getMessageID (), "BinaryMessage"))
	{
		IAttributeList* attrs = message->getAttributes ();
		const void* data = nullptr;
		uint32 size = 0;
		if (attrs && attrs->getBinary ("AudioData", data, size) == kResultOk)
		{
			if (editor && editor->isWindowOpen () && (data || size == 0))
			{
				// The relay buffer holds one ring's worth; anything longer is cut there.
				const uint32 n = std::min<uint32> (size, kScopeBufferBytes);
				if (n > 0)
					std::memcpy (scopeBuffer, data, n);
				editor->processOscilloscope (scopeBuffer, static_cast<int> (n), 0);
			}
			return kResultOk;
		}
		if (attrs && attrs->getBinary ("MidiNote", data, size) == kResultOk)
		{
			// Only whole 16-byte records are handed on.
			const uint32 whole = size - size % 16;
			if (editor && editor->isWindowOpen () && data && whole > 0)
				editor->processMidiNoteFromhost (data, static_cast<int> (whole));
			return kResultOk;
		}
	}
	return EditControllerEx1::notify (message);
}

tresult PLUGIN_API VampletController::getState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	IBStreamer s (state, kLittleEndian);
	s.writeInt64u (kControllerStateVersion);
	s.writeDouble (getParamNormalized (kParamBypass));
	s.writeDouble (hiddenParameters.getParamValue (HiddenParameters::kViewSize));
	return kResultOk;
}

tresult PLUGIN_API VampletController::setState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	unsigned char bytes[kControllerStateBytes];
	if (readUpTo (state, bytes, kControllerStateBytes) != kControllerStateBytes)
		return kResultFalse;
	uint64 version;
	double bypass, viewSize;
	std::memcpy (&version, bytes, 8);
	std::memcpy (&bypass, bytes + 8, 8);
	std::memcpy (&viewSize, bytes + 16, 8);
	auto normalised = [] (double v) { return v >= 0.0 && v <= 1.0; };
	if (version != kControllerStateVersion || !normalised (bypass) || !normalised (viewSize))
		return kResultFalse;
	EditControllerEx1::setParamNormalized (kParamBypass, bypass);
	hiddenParameters.setParamValue (HiddenParameters::kViewSize, viewSize);
	return kResultOk;
}

tresult PLUGIN_API VampletController::setComponentState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	unsigned char bytes[VampletFX::kChunkBytes];
	const int32 total = readUpTo (state, bytes, VampletFX::kChunkBytes);
	double values[kNumEngineParams];
	int count = 0;
	if (!VampletFX::parseChunk (bytes, total, values, &count))
		return kResultFalse;
	// Show what the processor plays: every host parameter the chunk holds. The program
	// parameter is not part of the sound and keeps its selection.
	for (int id = 0; id < count; ++id)
		if (kParams[id].kind != ParamKind::None && id != kParamProgram)
			EditControllerEx1::setParamNormalized (static_cast<ParamID> (id), values[id]);
	return kResultOk;
}

tresult PLUGIN_API VampletController::getParamStringByValue (ParamID id, ParamValue v,
                                                             String128 string)
{
	std::string text;
	switch (id)
	{
		case kParamLoopSize:
		{
			const int k = static_cast<int> (v * 5);
			text = (k >= 0 && k < kNumLoopSizeDisplay) ? kLoopSizeDisplay[k] : "";
			break;
		}
		case kParamFxId:
		{
			const int k = static_cast<int> (v * 7);
			text = (k >= 0 && k < kNumEffectNames) ? kEffectNames[k] : "";
			break;
		}
		case kParamPitch:
		{
			const ParamDesc& d = kParams[kParamPitch];
			if (!getParameterObject (id))
				return kResultFalse;
			const int plain = static_cast<int> (d.minPlain + (d.maxPlain - d.minPlain) * v);
			text = std::to_string (plain);
			break;
		}
		default:
			return EditControllerEx1::getParamStringByValue (id, v, string);
	}
	StringConvert::convert (text, string, 128);
	return kResultOk;
}

tresult PLUGIN_API VampletController::setParamNormalized (ParamID id, ParamValue value)
{
	tresult result = EditControllerEx1::setParamNormalized (id, value);
	if (result == kResultOk && id == static_cast<ParamID> (kParamProgram) && componentHandler)
		componentHandler->restartComponent (kParamValuesChanged);
	return result;
}

IPlugView* PLUGIN_API VampletController::createView (FIDString)
{
	// The editor window is not part of this build yet.
	return nullptr;
}

tresult PLUGIN_API VampletController::setKnobMode (KnobMode)
{
	hostKnobMode = kLinearMode;
	return kResultTrue;
}

int32 PLUGIN_API VampletController::getProgramListCount ()
{
	return getParameterObject (kParamProgram) ? 1 : 0;
}

tresult PLUGIN_API VampletController::getProgramListInfo (int32 listIndex, ProgramListInfo& info)
{
	Parameter* param = getParameterObject (kParamProgram);
	if (!param || listIndex != 0)
		return kResultFalse;
	info.id = kProgramListId;
	StringConvert::convert (kProgramListInfoName, info.name, 128);
	info.programCount = static_cast<int32> (param->toPlain (1.0)) + 1;
	return kResultOk;
}

tresult PLUGIN_API VampletController::getProgramName (ProgramListID listId, int32 programIndex,
                                                      String128 name)
{
	Parameter* param = getParameterObject (kParamProgram);
	if (!param || listId != kProgramListId)
		return kResultFalse;
	param->toString (param->toNormalized (programIndex), name);
	return kResultOk;
}

tresult PLUGIN_API VampletController::getMidiControllerAssignment (int32, int16, CtrlNumber,
                                                                   ParamID&)
{
	return kResultFalse;
}

tresult VampletController::setHiddenParamNormalized (ParamID index, ParamValue value)
{
	if (!editor)
		return kResultFalse;
	return editor->setHiddenParameter (static_cast<int> (index), value) ? kResultOk : kResultFalse;
}

} // namespace Vst
} // namespace Steinberg
