// SPDX-License-Identifier: GPL-3.0-or-later
// Interface IDs of the editor-view interfaces, which the Debian SDK copy declares but does
// not define anywhere.
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

namespace Steinberg {
DEF_CLASS_IID (IPlugView)
DEF_CLASS_IID (IPlugFrame)
DEF_CLASS_IID (IPlugViewContentScaleSupport)
namespace Linux {
DEF_CLASS_IID (IRunLoop)
DEF_CLASS_IID (IEventHandler)
DEF_CLASS_IID (ITimerHandler)
} // namespace Linux
} // namespace Steinberg
