// SPDX-License-Identifier: GPL-3.0-or-later
// The module's class factory (IPluginFactory3): holds the factory information and the
// registered classes, creates instances by class ID. Reference counted; the module's global
// pointer is cleared when the last reference goes, so the next GetPluginFactory builds it anew.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"
#include <vector>

namespace Steinberg {

class CPluginFactory : public IPluginFactory3
{
public:
	using CreateFunction = FUnknown* (*) (void* context);

	explicit CPluginFactory (const PFactoryInfo& info);
	virtual ~CPluginFactory ();

	bool registerClass (const PClassInfo2& info, CreateFunction createFunc);

	//---FUnknown---
	tresult PLUGIN_API queryInterface (const TUID iid, void** obj) SMTG_OVERRIDE;
	uint32 PLUGIN_API addRef () SMTG_OVERRIDE;
	uint32 PLUGIN_API release () SMTG_OVERRIDE;

	//---IPluginFactory---
	tresult PLUGIN_API getFactoryInfo (PFactoryInfo* info) SMTG_OVERRIDE;
	int32 PLUGIN_API countClasses () SMTG_OVERRIDE;
	tresult PLUGIN_API getClassInfo (int32 index, PClassInfo* info) SMTG_OVERRIDE;
	tresult PLUGIN_API createInstance (FIDString cid, FIDString iid, void** obj) SMTG_OVERRIDE;

	//---IPluginFactory2---
	tresult PLUGIN_API getClassInfo2 (int32 index, PClassInfo2* info) SMTG_OVERRIDE;

	//---IPluginFactory3---
	tresult PLUGIN_API getClassInfoUnicode (int32 index, PClassInfoW* info) SMTG_OVERRIDE;
	tresult PLUGIN_API setHostContext (FUnknown* context) SMTG_OVERRIDE;

private:
	struct ClassEntry
	{
		PClassInfo2 info2;
		PClassInfoW infoW;
		CreateFunction create;
	};

	int32 refCount {1};
	PFactoryInfo factoryInfo;
	std::vector<ClassEntry> classes;
};

// The one factory of this module, or null. Cleared by the factory's destructor.
extern IPluginFactory* gPluginFactory;

} // namespace Steinberg
