// SPDX-License-Identifier: GPL-3.0-or-later
// Where the per-user files live: the maker's settings folder in the home directory.
#pragma once

#include <string>

namespace vamplet {

// HOME, or the home directory of the current user's account entry; empty when neither
// gives one (all per-user file work is then skipped).
std::string homeDirectory ();

// home + "/.tonegrove"
std::string makerFolder ();
// home + "/.tonegrove/Vamplet"
std::string settingsFolder ();
// home + "/.tonegrove/Vamplet/Vamplet.conf"
std::string settingsFilePath ();
// home + "/.tonegrove/Flurrix3/midiassign.tab" (the table is shared with a sibling product)
std::string midiAssignFilePath ();

// Makes sure the settings folders and an (empty) settings file exist. Prints one line on
// standard output for each folder that cannot be created.
void prepareSettingsFolder ();

} // namespace vamplet
