// SPDX-License-Identifier: GPL-3.0-or-later
#include "vst3/pluginfactory.h"

#include <cstring>

namespace Steinberg {

IPluginFactory* gPluginFactory = nullptr;

CPluginFactory::CPluginFactory (const PFactoryInfo& info) : factoryInfo (info) {}

CPluginFactory::~CPluginFactory ()
{
	if (gPluginFactory == this)
		gPluginFactory = nullptr;
}

bool CPluginFactory::registerClass (const PClassInfo2& info, CreateFunction createFunc)
{
	if (!createFunc)
		return false;
	ClassEntry entry {};
	entry.info2 = info;
	// The Unicode description carries the same fields, the name and vendor widened to UTF-16.
	entry.infoW.fromAscii (info);
	entry.create = createFunc;
	classes.push_back (entry);
	return true;
}

tresult PLUGIN_API CPluginFactory::queryInterface (const TUID iid, void** obj)
{
	if (!obj)
		return kInvalidArgument;
	if (FUnknownPrivate::iidEqual (iid, IPluginFactory3::iid) ||
	    FUnknownPrivate::iidEqual (iid, IPluginFactory2::iid) ||
	    FUnknownPrivate::iidEqual (iid, IPluginFactory::iid) ||
	    FUnknownPrivate::iidEqual (iid, FUnknown::iid))
	{
		addRef ();
		*obj = static_cast<IPluginFactory3*> (this);
		return kResultOk;
	}
	*obj = nullptr;
	return kNoInterface;
}

uint32 PLUGIN_API CPluginFactory::addRef ()
{
	return FUnknownPrivate::atomicAdd (refCount, 1);
}

uint32 PLUGIN_API CPluginFactory::release ()
{
	if (FUnknownPrivate::atomicAdd (refCount, -1) == 0)
	{
		delete this;
		return 0;
	}
	return refCount;
}

tresult PLUGIN_API CPluginFactory::getFactoryInfo (PFactoryInfo* info)
{
	if (!info)
		return kInvalidArgument;
	std::memcpy (info, &factoryInfo, sizeof (PFactoryInfo));
	return kResultOk;
}

int32 PLUGIN_API CPluginFactory::countClasses ()
{
	return static_cast<int32> (classes.size ());
}

tresult PLUGIN_API CPluginFactory::getClassInfo (int32 index, PClassInfo* info)
{
	if (!info)
		return kInvalidArgument;
	if (index < 0 || index >= countClasses ())
		return kInvalidArgument;
	const PClassInfo2& src = classes[index].info2;
	std::memset (static_cast<void*> (info), 0, sizeof (PClassInfo));
	std::memcpy (info->cid, src.cid, sizeof (TUID));
	info->cardinality = src.cardinality;
	std::memcpy (info->category, src.category, sizeof (info->category));
	std::memcpy (info->name, src.name, sizeof (info->name));
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfo2 (int32 index, PClassInfo2* info)
{
	if (!info)
		return kInvalidArgument;
	if (index < 0 || index >= countClasses ())
		return kInvalidArgument;
	std::memcpy (info, &classes[index].info2, sizeof (PClassInfo2));
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfoUnicode (int32 index, PClassInfoW* info)
{
	if (!info)
		return kInvalidArgument;
	if (index < 0 || index >= countClasses ())
		return kInvalidArgument;
	std::memcpy (info, &classes[index].infoW, sizeof (PClassInfoW));
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::createInstance (FIDString cid, FIDString iid, void** obj)
{
	if (!obj)
		return kInvalidArgument;
	*obj = nullptr;
	if (!cid || !iid)
		return kInvalidArgument;
	for (const auto& entry : classes)
	{
		if (!FUnknownPrivate::iidEqual (entry.info2.cid, cid))
			continue;
		FUnknown* instance = entry.create (nullptr);
		if (!instance)
			return kOutOfMemory;
		// The creation function hands over one reference; the caller gets the asked interface
		// with a reference of its own, and ours is dropped.
		tresult result = instance->queryInterface (iid, obj);
		instance->release ();
		if (result != kResultOk)
			*obj = nullptr;
		return result == kResultOk ? kResultOk : kNoInterface;
	}
	return kNoInterface;
}

tresult PLUGIN_API CPluginFactory::setHostContext (FUnknown*)
{
	return kNotImplemented;
}

} // namespace Steinberg
