// SPDX-License-Identifier: GPL-3.0-or-later
// The SDK's timer-callback interface: an object whose onTimer is run by a timer or, in this
// plug-in, by the editor's periodic tick message.
#pragma once

namespace Steinberg {

class Timer;

class ITimerCallback
{
public:
	virtual ~ITimerCallback () = default;
	virtual void onTimer (Timer* timer) = 0;
};

} // namespace Steinberg
