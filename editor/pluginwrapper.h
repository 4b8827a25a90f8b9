// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's façade over the edit controller: host parameters, the hidden values, and the
// messages the window sends to the processor. Without a controller every call does nothing.
#pragma once

#include "pluginterfaces/base/ftypes.h"

#include <string>

namespace Steinberg {
namespace Vst {
class VampletController;
}
} // namespace Steinberg

namespace vamplet {

class PluginWrapper
{
public:
	explicit PluginWrapper (Steinberg::Vst::VampletController* controller) : controller (controller) {}

	double getParameter (int id) const;
	// Sets the controller's value and tells the host (performEdit, no edit brackets).
	bool setParameterAutomated (int id, double value);
	double getHiddenParameter (int id) const;
	// Stores the hidden value and relays it to the open editor; false when the table refuses.
	bool setHiddenParameter (int id, double value);

	// One message to the processor each: "IntMessage", "BinaryMessage", "FloatMessage" or
	// "StringMessage" names the type of the one attribute, whose name is id.
	void sendIntMessage (const std::string& id, Steinberg::int64 value);
	void sendBinaryMessage (const std::string& id, const void* data, Steinberg::uint32 size);
	void sendFloatMessage (const std::string& id, float value);
	void sendStringMessage (const std::string& id, const std::string& text);

private:
	Steinberg::Vst::VampletController* controller;
};

} // namespace vamplet
