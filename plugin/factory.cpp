// SPDX-License-Identifier: GPL-3.0-or-later
// The module's exported factory: vendor information and the two classes, processor first.
#include "plugin/controller.h"
#include "plugin/ids.h"
#include "plugin/processor.h"
#include "vst3/moduleentry.h"
#include "vst3/pluginfactory.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

using namespace Steinberg;

namespace {

FUnknown* createProcessor (void*)
{
	return static_cast<Vst::IAudioProcessor*> (new Vst::Vamplet ());
}

FUnknown* createController (void*)
{
	return static_cast<Vst::IEditController*> (new Vst::VampletController ());
}

IPluginFactory* buildFactory ()
{
	PFactoryInfo info (vamplet::kVendor, vamplet::kVendorUrl, vamplet::kVendorEmail,
	                   PFactoryInfo::kUnicode);
	auto* factory = new CPluginFactory (info);

	TUID cid;
	vamplet::kProcessorUID.toTUID (cid);
	PClassInfo2 processor (cid, PClassInfo::kManyInstances, kVstAudioEffectClass,
	                       vamplet::kProcessorName, Vst::kDistributable, Vst::PlugType::kFx,
	                       nullptr, vamplet::kVersion, vamplet::kSdkVersion);
	factory->registerClass (processor, createProcessor);

	vamplet::kControllerUID.toTUID (cid);
	PClassInfo2 controller (cid, PClassInfo::kManyInstances, kVstComponentControllerClass,
	                        vamplet::kControllerName, 0, "", nullptr, vamplet::kVersion,
	                        vamplet::kSdkVersion);
	factory->registerClass (controller, createController);
	return factory;
}

} // namespace

VAMPLET_EXPORT IPluginFactory* PLUGIN_API GetPluginFactory ()
{
	if (gPluginFactory)
	{
		gPluginFactory->addRef ();
		return gPluginFactory;
	}
	gPluginFactory = buildFactory ();
	return gPluginFactory;
}
