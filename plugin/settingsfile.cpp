// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/settingsfile.h"

#include "engine/userfolders.h"
#include "plugin/hiddenparameters.h"

#include <SimpleIni.h>
#include <cstdio>
#include <cstdlib>

namespace vamplet {
namespace SettingsFile {

namespace {

constexpr const char* kSection = "Plugin";
constexpr const char* kActiveKey = "active";
constexpr const char* kSizeKey = "size";

// Key names are compared with case, as written.
struct Ini
{
	CSimpleIniCaseA ini;
	Ini () { ini.SetSpaces (false); }
	void load (const std::string& file) { ini.LoadFile (file.c_str ()); }
	std::string get (const char* key) const
	{
		const char* v = ini.GetValue (kSection, key, nullptr);
		return v ? v : "";
	}
	void set (const char* key, double value)
	{
		char text[64];
		std::snprintf (text, sizeof (text), "%f", value);
		ini.SetValue (kSection, key, text);
	}
	bool save (const std::string& file) { return ini.SaveFile (file.c_str (), false) == SI_OK; }
};

// Reads the file (empty when missing), applies change and writes it all back, so other
// sections, keys and comments stay.
template <typename Change>
bool update (Change change)
{
	const std::string file = settingsFilePath ();
	if (file.empty ())
		return false;
	Ini ini;
	ini.load (file);
	change (ini);
	return ini.save (file);
}

} // namespace

std::string path ()
{
	return settingsFilePath ();
}

void read (HiddenParameters& hidden)
{
	const std::string file = path ();
	if (file.empty ())
		return;
	Ini ini;
	ini.load (file);
	const std::string active = ini.get (kActiveKey);
	if (active.empty () || std::strtod (active.c_str (), nullptr) == 0.0)
		return;
	const std::string size = ini.get (kSizeKey);
	if (!size.empty ())
		hidden.setParamValue (HiddenParameters::kViewSize, std::strtod (size.c_str (), nullptr));
}

bool saveAsDefault (double viewSize)
{
	return update ([viewSize] (Ini& ini) {
		ini.set (kActiveKey, 1.0);
		ini.set (kSizeKey, viewSize);
	});
}

bool resetDefault ()
{
	return update ([] (Ini& ini) { ini.set (kActiveKey, 0.0); });
}

} // namespace SettingsFile
} // namespace vamplet
