// SPDX-License-Identifier: GPL-3.0-or-later
// A synthesised drum beat for renders without an input file: kick on beats 1 and 3, snare on 2
// and 4, closed hats on every eighth note (for other time signatures: kick on the bar's first
// beat and every other beat after it, snare between). Deterministic: same arguments, same samples.
#pragma once

#include <vector>

namespace vamplet::render {

// Returns `channels` channels (1 or 2; hats are panned slightly in stereo) of `frames` samples.
std::vector<std::vector<float>> generateBeat(double sampleRate, double tempo, int timeSigNumerator,
                                             int timeSigDenominator, long frames, int channels);

} // namespace vamplet::render
