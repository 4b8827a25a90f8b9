// SPDX-License-Identifier: GPL-3.0-or-later
// The user's preferences file (INI, section "Plugin"): whether the saved preferences are in
// force ("active") and the editor's view size ("size"). Shared by every instance; read when a
// controller starts, written only when the user asks in the settings panel.
#pragma once

#include <string>

namespace vamplet {

class HiddenParameters;

namespace SettingsFile {

// Applies the saved view size to hidden parameter 0 when "active" is non-zero. Missing file,
// key or unparsable value: nothing is applied.
void read (HiddenParameters& hidden);
// Writes active=1.000000 and size=<viewSize>, keeping everything else in the file.
bool saveAsDefault (double viewSize);
// Writes active=0.000000; "size" keeps its old value.
bool resetDefault ();
// The file's location, or empty when there is no home directory.
std::string path ();

} // namespace SettingsFile
} // namespace vamplet
