// SPDX-License-Identifier: GPL-3.0-or-later
// The render tool's timeline: parameter changes and MIDI notes at musical positions.
//
// One event per line, '#' starts a comment, blank lines are ignored:
//     <position> <command> <arguments...>
// position  BAR.BEAT or BAR.BEAT.SIXTEENTH, all 1-based: BAR >= 1, BEAT 1..numerator of the
//           time signature, SIXTEENTH 1..4 (quarters of the beat). "3.2" is bar 3, beat 2.
// commands  param <parameter> <value>    normalised value in [0, 1]; <parameter> is a decimal
//                                        ID (e.g. 0) or an exact title; quote titles with spaces
//                                        or titles made of digits: "Dry/Wet", "7"
//           note-on <pitch> [velocity]   pitch 0..127, velocity in [0, 1] (default 1)
//           note-off <pitch> [velocity]  velocity in [0, 1] (default 0)
// Events at the same position keep their order in the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vamplet::render {

struct TimelineEvent {
    enum class Kind { Parameter, NoteOn, NoteOff };
    Kind kind = Kind::Parameter;
    int line = 0;              // 1-based line in the source, for messages
    double ppq = 0.0;          // position in quarter notes from the start
    // Parameter: by ID when byId, else by title (resolved against the plug-in before rendering).
    bool byId = false;
    std::uint32_t id = 0;
    std::string title;
    double value = 0.0;
    // Notes.
    int pitch = 0;
    float velocity = 0.0f;
};

// Parses text; positions are converted with the time signature. On failure returns false with
// "<sourceName>:<line>: <reason>" in *error. The result is sorted by position (stable).
bool parseTimeline(const std::string& text, int timeSigNumerator, int timeSigDenominator,
                   std::vector<TimelineEvent>& out, std::string* error,
                   const std::string& sourceName = "timeline");

// Position BAR.BEAT[.SIXTEENTH] in quarter notes; false when malformed or out of range.
bool parsePosition(const std::string& text, int timeSigNumerator, int timeSigDenominator, double& ppq,
                   std::string* reason);

// The first sample at or after a position, with the transport starting at ppq 0 at sample 0.
std::int64_t ppqToSample(double ppq, double tempo, double sampleRate);

// Strict number parsing: the whole text must be the number.
bool parseDouble(const std::string& text, double& value);
bool parseInt(const std::string& text, long& value);

} // namespace vamplet::render
