// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/pluginwrapper.h"

#include "plugin/controller.h"
#include "vst3/stringconvert.h"

#include "pluginterfaces/vst/ivstmessage.h"

namespace vamplet {

using namespace Steinberg;
using namespace Steinberg::Vst;

double PluginWrapper::getParameter (int id) const
{
	return controller ? controller->getParamNormalized (static_cast<ParamID> (id)) : 0.0;
}

bool PluginWrapper::setParameterAutomated (int id, double value)
{
	if (!controller)
		return false;
	const auto pid = static_cast<ParamID> (id);
	if (controller->setParamNormalized (pid, value) == kResultFalse)
		return false;
	return controller->performEdit (pid, value) != kResultFalse;
}

double PluginWrapper::getHiddenParameter (int id) const
{
	return controller ? controller->getHiddenParameters ().getParamValue (id) : 0.0;
}

bool PluginWrapper::setHiddenParameter (int id, double value)
{
	if (!controller || !controller->getHiddenParameters ().setParamValue (id, value))
		return false;
	controller->setHiddenParamNormalized (static_cast<ParamID> (id), value);
	return true;
}

namespace {

// Allocates a message from the controller, lets fill() set its one attribute, sends it to the
// processor and releases it.
template <typename Fill>
void send (VampletController* controller, const char* messageId, Fill fill)
{
	if (!controller)
		return;
	IMessage* msg = controller->allocateMessage ();
	if (!msg)
		return;
	msg->setMessageID (messageId);
	if (IAttributeList* attrs = msg->getAttributes ())
		fill (*attrs);
	controller->sendMessage (msg);
	msg->release ();
}

} // namespace

void PluginWrapper::sendIntMessage (const std::string& id, int64 value)
{
	send (controller, "IntMessage", [&] (IAttributeList& a) { a.setInt (id.c_str (), value); });
}

void PluginWrapper::sendBinaryMessage (const std::string& id, const void* data, uint32 size)
{
	send (controller, "BinaryMessage", [&] (IAttributeList& a) {
		a.setBinary (id.c_str (), data, data ? size : 0);
	});
}

void PluginWrapper::sendFloatMessage (const std::string& id, float value)
{
	send (controller, "FloatMessage",
	      [&] (IAttributeList& a) { a.setFloat (id.c_str (), static_cast<double> (value)); });
}

void PluginWrapper::sendStringMessage (const std::string& id, const std::string& text)
{
	const std::u16string wide = StringConvert::convert (text);
	send (controller, "StringMessage", [&] (IAttributeList& a) {
		a.setString (id.c_str (), reinterpret_cast<const TChar*> (wide.c_str ()));
	});
}

} // namespace vamplet
