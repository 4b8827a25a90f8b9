// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/userfolders.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vamplet {

std::string homeDirectory ()
{
	if (const char* home = std::getenv ("HOME"))
		return home;
	if (const passwd* pw = getpwuid (getuid ()))
		if (pw->pw_dir)
			return pw->pw_dir;
	return {};
}

namespace {

std::string underHome (const char* rest)
{
	std::string home = homeDirectory ();
	return home.empty () ? std::string () : home + rest;
}

} // namespace

std::string makerFolder () { return underHome ("/.tonegrove"); }
std::string settingsFolder () { return underHome ("/.tonegrove/Vamplet"); }
std::string settingsFilePath () { return underHome ("/.tonegrove/Vamplet/Vamplet.conf"); }
std::string midiAssignFilePath () { return underHome ("/.tonegrove/Flurrix3/midiassign.tab"); }

void prepareSettingsFolder ()
{
	const std::string folder = settingsFolder ();
	if (folder.empty ())
		return;
	if (DIR* dir = opendir (folder.c_str ()))
		closedir (dir);
	else
	{
		// Both steps run: the maker's folder may exist while the product's does not.
		if (mkdir (makerFolder ().c_str (), 0775) != 0)
			std::puts ("VampletFX > Error Can't Create settings configuration folder");
		if (mkdir (folder.c_str (), 0775) != 0)
			std::puts ("VampletFX > Error Can't Create settings configuration file");
	}
	const std::string file = settingsFilePath ();
	if (FILE* f = std::fopen (file.c_str (), "rb"))
		std::fclose (f);
	else if (FILE* created = std::fopen (file.c_str (), "wb"))
		std::fclose (created);
}

} // namespace vamplet
