// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/timeline.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace vamplet::render {
namespace {

// Splits a line into words; double quotes group words with spaces. A '#' outside quotes ends the line.
bool tokenize(const std::string& line, std::vector<std::string>& words, std::vector<bool>& quoted, std::string* reason)
{
    words.clear();
    quoted.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string::npos) {
                *reason = "unterminated quote";
                return false;
            }
            words.push_back(line.substr(i + 1, close - i - 1));
            quoted.push_back(true);
            i = close + 1;
        } else {
            std::size_t end = i;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r' && line[end] != '#')
                ++end;
            words.push_back(line.substr(i, end - i));
            quoted.push_back(false);
            i = end;
        }
    }
    return true;
}

bool allDigits(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool unitValue(const std::string& text, double& value)
{
    return parseDouble(text, value) && value >= 0.0 && value <= 1.0;
}

} // namespace

bool parseDouble(const std::string& text, double& value)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool parseInt(const std::string& text, long& value)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size())
        return false;
    value = v;
    return true;
}

bool parsePosition(const std::string& text, int num, int den, double& ppq, std::string* reason)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, '.'))
        parts.push_back(part);
    if (!text.empty() && text.back() == '.')
        parts.push_back("");
    long values[3] = {1, 1, 1};
    if (parts.size() < 2 || parts.size() > 3) {
        *reason = "bad position '" + text + "' (expected BAR.BEAT or BAR.BEAT.SIXTEENTH)";
        return false;
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!allDigits(parts[i]) || !parseInt(parts[i], values[i])) {
            *reason = "bad position '" + text + "' (expected BAR.BEAT or BAR.BEAT.SIXTEENTH)";
            return false;
        }
    }
    if (values[0] < 1) {
        *reason = "bad position '" + text + "': bars count from 1";
        return false;
    }
    if (values[1] < 1 || values[1] > num) {
        *reason = "bad position '" + text + "': beat must be 1.." + std::to_string(num);
        return false;
    }
    if (values[2] < 1 || values[2] > 4) {
        *reason = "bad position '" + text + "': sixteenth must be 1..4";
        return false;
    }
    const double beat = 4.0 / den; // quarter notes per beat
    ppq = static_cast<double>(values[0] - 1) * num * beat + static_cast<double>(values[1] - 1) * beat +
          static_cast<double>(values[2] - 1) * beat / 4.0;
    return true;
}

std::int64_t ppqToSample(double ppq, double tempo, double sampleRate)
{
    return static_cast<std::int64_t>(std::ceil(ppq * 60.0 / tempo * sampleRate - 1e-6));
}

bool parseTimeline(const std::string& text, int num, int den, std::vector<TimelineEvent>& out, std::string* error,
                   const std::string& sourceName)
{
    out.clear();
    std::stringstream lines(text);
    std::string line;
    int lineNumber = 0;
    std::vector<std::string> w;
    std::vector<bool> quoted;
    auto fail = [&](const std::string& reason) {
        if (error)
            *error = sourceName + ":" + std::to_string(lineNumber) + ": " + reason;
        out.clear();
        return false;
    };
    while (std::getline(lines, line)) {
        ++lineNumber;
        std::string reason;
        if (!tokenize(line, w, quoted, &reason))
            return fail(reason);
        if (w.empty())
            continue;
        if (w.size() < 2)
            return fail("missing command after position '" + w[0] + "'");
        TimelineEvent e;
        e.line = lineNumber;
        if (!parsePosition(w[0], num, den, e.ppq, &reason))
            return fail(reason);
        const std::string& command = w[1];
        if (command == "param") {
            if (w.size() != 4)
                return fail("usage: <position> param <id|title> <value>");
            e.kind = TimelineEvent::Kind::Parameter;
            long id = 0;
            if (!quoted[2] && allDigits(w[2])) {
                if (!parseInt(w[2], id) || id > 0xFFFFFFFFL)
                    return fail("bad parameter id '" + w[2] + "'");
                e.byId = true;
                e.id = static_cast<std::uint32_t>(id);
            } else {
                if (w[2].empty())
                    return fail("empty parameter title");
                e.title = w[2];
            }
            if (!unitValue(w[3], e.value))
                return fail("bad value '" + w[3] + "' (expected a number from 0 to 1)");
        } else if (command == "note-on" || command == "note-off") {
            if (w.size() < 3 || w.size() > 4)
                return fail("usage: <position> " + command + " <pitch> [velocity]");
            e.kind = command == "note-on" ? TimelineEvent::Kind::NoteOn : TimelineEvent::Kind::NoteOff;
            long pitch = 0;
            if (!parseInt(w[2], pitch) || pitch < 0 || pitch > 127)
                return fail("bad pitch '" + w[2] + "' (expected 0..127)");
            e.pitch = static_cast<int>(pitch);
            double velocity = e.kind == TimelineEvent::Kind::NoteOn ? 1.0 : 0.0;
            if (w.size() == 4 && !unitValue(w[3], velocity))
                return fail("bad velocity '" + w[3] + "' (expected a number from 0 to 1)");
            e.velocity = static_cast<float>(velocity);
        } else {
            return fail("unknown command '" + command + "' (expected param, note-on or note-off)");
        }
        out.push_back(std::move(e));
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const TimelineEvent& a, const TimelineEvent& b) { return a.ppq < b.ppq; });
    return true;
}

} // namespace vamplet::render
