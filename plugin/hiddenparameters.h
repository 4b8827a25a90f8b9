// SPDX-License-Identifier: GPL-3.0-or-later
// The controller's two values that belong to the editor and the user's preferences rather
// than to the host: index 0 is the view size, index 1 has no user yet.
#pragma once

#include <cstdint>

namespace vamplet {

class HiddenParameters
{
public:
	HiddenParameters () : count (kSlots), values {0.0, 0.0} {}

	double getParamValue (int id) const { return inTable (id) ? values[id] : 0.0; }

	// Refuses IDs outside the table and values outside [0, 1] (NaN included).
	bool setParamValue (int id, double value)
	{
		if (!inTable (id) || !(value >= 0.0 && value <= 1.0))
			return false;
		values[id] = value;
		return true;
	}

	static constexpr int kViewSize = 0;

private:
	static constexpr int kSlots = 2;
	bool inTable (int id) const { return id >= 0 && id < count && id < kSlots; }

	int32_t count;
	double values[kSlots];
};

} // namespace vamplet
