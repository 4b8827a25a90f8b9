// SPDX-License-Identifier: GPL-3.0-or-later
// vamplet-render: renders a WAV file or a generated beat through a VST 3 bundle with a running
// transport and a timeline of parameter changes and notes, and writes the result as a WAV file.
// Usage and the timeline format: host/README.md.

#include "host/module.h"
#include "host/plugininstance.h"
#include "host/render/testsignal.h"
#include "host/render/timeline.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace vamplet;
using namespace vamplet::host;
using namespace vamplet::render;

namespace {

struct Options {
    std::string bundle = "~/.vst3/Vamplet.vst3";
    std::string className;
    std::string input;
    std::string output;
    std::string timeline;
    double tempo = 120.0;
    int num = 4;
    int den = 4;
    double rate = 0.0; // 0: 48000, or the input file's rate
    long block = 512;
    double bars = 8.0;
    double tail = 0.0;
    bool doublePrecision = false;
};

const char* kUsage =
    "usage: vamplet-render -o OUT.wav [options]\n"
    "  -o, --output FILE        WAV file to write (32-bit float)\n"
    "  -i, --input FILE         WAV file to process (default: a generated drum beat)\n"
    "  -b, --bundle PATH        VST 3 bundle (default ~/.vst3/Vamplet.vst3)\n"
    "      --class NAME         class to instantiate (default: the first audio module class)\n"
    "  -t, --timeline FILE      parameter changes and notes at bar/beat positions\n"
    "      --tempo BPM          transport tempo (default 120)\n"
    "      --time-sig N/D       time signature (default 4/4)\n"
    "      --rate HZ            sample rate (default 48000, or the input file's rate)\n"
    "      --block N            block size in samples (default 512)\n"
    "      --bars N             length of the generated beat in bars (default 8)\n"
    "      --tail SECONDS       silence appended after the input (default 0)\n"
    "      --double             process 64-bit samples\n"
    "  -h, --help               show this help\n";

// Thrown for a one-line error message; main prints it and exits non-zero.
struct Failure {
    std::string message;
    int exitCode = 1;
};

[[noreturn]] void fail(const std::string& message, int exitCode = 1)
{
    throw Failure {message, exitCode};
}

double numberArg(const std::string& name, const std::string& text, double min, double max)
{
    double v = 0.0;
    if (!parseDouble(text, v) || v < min || v > max)
        fail("invalid " + name + " '" + text + "'", 2);
    return v;
}

Options parseArgs(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                fail("missing value after " + a, 2);
            return argv[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == "-o" || a == "--output") {
            o.output = value();
        } else if (a == "-i" || a == "--input") {
            o.input = value();
        } else if (a == "-b" || a == "--bundle") {
            o.bundle = value();
        } else if (a == "--class") {
            o.className = value();
        } else if (a == "-t" || a == "--timeline") {
            o.timeline = value();
        } else if (a == "--tempo") {
            o.tempo = numberArg(a, value(), 1.0, 999.0);
        } else if (a == "--time-sig") {
            const std::string v = value();
            const std::size_t slash = v.find('/');
            long num = 0, den = 0;
            if (slash == std::string::npos || !parseInt(v.substr(0, slash), num) ||
                !parseInt(v.substr(slash + 1), den) || num < 1 || num > 64 ||
                (den != 1 && den != 2 && den != 4 && den != 8 && den != 16 && den != 32))
                fail("invalid --time-sig '" + v + "' (expected e.g. 4/4, 3/4, 6/8)", 2);
            o.num = static_cast<int>(num);
            o.den = static_cast<int>(den);
        } else if (a == "--rate") {
            o.rate = numberArg(a, value(), 8000.0, 768000.0);
        } else if (a == "--block") {
            o.block = static_cast<long>(numberArg(a, value(), 1.0, 65536.0));
        } else if (a == "--bars") {
            o.bars = numberArg(a, value(), 0.0, 10000.0);
        } else if (a == "--tail") {
            o.tail = numberArg(a, value(), 0.0, 3600.0);
        } else if (a == "--double") {
            o.doublePrecision = true;
        } else {
            fail("unknown option '" + a + "' (see --help)", 2);
        }
    }
    if (o.output.empty())
        fail("no output file given (-o OUT.wav; see --help)", 2);
    return o;
}

std::string readTextFile(const std::string& path, const std::string& what)
{
    std::ifstream file(path);
    if (!file)
        fail("cannot read " + what + " '" + path + "': " + std::strerror(errno));
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct Audio {
    double rate = 0.0;
    std::vector<std::vector<float>> channels;
    long frames() const { return channels.empty() ? 0 : static_cast<long>(channels[0].size()); }
};

Audio readWav(const std::string& path)
{
    SF_INFO info {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        fail("cannot read input '" + path + "': " + sf_strerror(nullptr));
    Audio audio;
    audio.rate = info.samplerate;
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    audio.channels.assign(static_cast<std::size_t>(info.channels), std::vector<float>(static_cast<std::size_t>(got)));
    for (sf_count_t i = 0; i < got; ++i)
        for (int c = 0; c < info.channels; ++c)
            audio.channels[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] =
                interleaved[static_cast<std::size_t>(i) * static_cast<std::size_t>(info.channels) + static_cast<std::size_t>(c)];
    return audio;
}

void writeWav(const std::string& path, const Audio& audio)
{
    SF_INFO info {};
    info.samplerate = static_cast<int>(std::lround(audio.rate));
    info.channels = static_cast<int>(audio.channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        fail("cannot write output '" + path + "': " + sf_strerror(nullptr));
    const long frames = audio.frames();
    std::vector<float> interleaved(static_cast<std::size_t>(frames) * audio.channels.size());
    for (long i = 0; i < frames; ++i)
        for (std::size_t c = 0; c < audio.channels.size(); ++c)
            interleaved[static_cast<std::size_t>(i) * audio.channels.size() + c] = audio.channels[c][static_cast<std::size_t>(i)];
    const sf_count_t written = sf_writef_float(file, interleaved.data(), frames);
    const int closed = sf_close(file);
    if (written != frames || closed != 0)
        fail("cannot write output '" + path + "': write failed");
}

// Resolves every parameter reference of the timeline against the plug-in's parameter list.
void resolveParameters(const PluginInstance& plugin, std::vector<TimelineEvent>& events, const std::string& source)
{
    const std::vector<ParameterInfo> params = plugin.parameterInfos();
    for (TimelineEvent& e : events) {
        if (e.kind != TimelineEvent::Kind::Parameter)
            continue;
        const std::string where = source + ":" + std::to_string(e.line) + ": ";
        if (e.byId) {
            const bool known = std::any_of(params.begin(), params.end(), [&](const ParameterInfo& p) { return p.id == e.id; });
            if (!known)
                fail(where + "unknown parameter id " + std::to_string(e.id));
        } else {
            auto it = std::find_if(params.begin(), params.end(), [&](const ParameterInfo& p) { return p.title == e.title; });
            if (it == params.end())
                fail(where + "unknown parameter '" + e.title + "'");
            e.id = it->id;
            e.byId = true;
        }
    }
}

double toDb(double v)
{
    return v > 0.0 ? 20.0 * std::log10(v) : -INFINITY;
}

int run(int argc, char** argv)
{
    const Options o = parseArgs(argc, argv);

    // Timeline first: its syntax errors need no plug-in.
    std::vector<TimelineEvent> events;
    if (!o.timeline.empty()) {
        std::string error;
        if (!parseTimeline(readTextFile(o.timeline, "timeline"), o.num, o.den, events, &error, o.timeline))
            fail(error);
    }

    Audio input;
    if (!o.input.empty()) {
        input = readWav(o.input);
        if (o.rate > 0.0 && std::fabs(o.rate - input.rate) > 0.5)
            fail("input '" + o.input + "' is " + std::to_string(static_cast<long>(input.rate)) + " Hz but --rate is " +
                 std::to_string(static_cast<long>(o.rate)) + " Hz (no resampling)");
    }
    const double rate = !o.input.empty() ? input.rate : (o.rate > 0.0 ? o.rate : 48000.0);

    std::string error;
    std::unique_ptr<PluginInstance> plugin = PluginInstance::load(o.bundle, &error, o.className);
    if (!plugin)
        fail(error);
    resolveParameters(*plugin, events, o.timeline);
    if (!plugin->setup(rate, static_cast<int>(o.block), o.doublePrecision, &error))
        fail("cannot set up '" + plugin->classInfo().name + "': " + error);
    const int inChannels = plugin->inputChannels(0);
    const int outChannels = plugin->outputChannels(0);
    if (outChannels <= 0)
        fail("'" + plugin->classInfo().name + "' has no audio output");

    if (o.input.empty()) {
        const double quarterNotes = o.bars * o.num * 4.0 / o.den;
        const long frames = static_cast<long>(std::llround(quarterNotes * 60.0 / o.tempo * rate));
        input.rate = rate;
        input.channels = generateBeat(rate, o.tempo, o.num, o.den, frames, std::max(1, std::min(2, inChannels)));
    }
    const long total = input.frames() + static_cast<long>(std::llround(o.tail * rate));

    Transport& transport = plugin->transport();
    transport.tempo = o.tempo;
    transport.timeSigNumerator = o.num;
    transport.timeSigDenominator = o.den;
    transport.playing = true;

    Audio output;
    output.rate = rate;
    output.channels.assign(static_cast<std::size_t>(outChannels), std::vector<float>(static_cast<std::size_t>(total), 0.0f));

    std::size_t next = 0;
    long dropped = 0;
    const auto started = std::chrono::steady_clock::now();
    for (long pos = 0; pos < total; pos += o.block) {
        const int n = static_cast<int>(std::min(o.block, total - pos));
        // Timeline events inside this block, at their sample offsets.
        while (next < events.size() && ppqToSample(events[next].ppq, o.tempo, rate) < pos + n) {
            const TimelineEvent& e = events[next++];
            const int offset = static_cast<int>(std::max<std::int64_t>(0, ppqToSample(e.ppq, o.tempo, rate) - pos));
            bool queued = false;
            switch (e.kind) {
            case TimelineEvent::Kind::Parameter: queued = plugin->setParameter(e.id, e.value, offset); break;
            case TimelineEvent::Kind::NoteOn: queued = plugin->noteOn(e.pitch, e.velocity, offset); break;
            case TimelineEvent::Kind::NoteOff: queued = plugin->noteOff(e.pitch, e.velocity, offset); break;
            }
            if (!queued)
                ++dropped;
        }
        // Input channel c takes file channel c (a mono file feeds every channel); past the end, silence.
        for (int c = 0; c < inChannels; ++c) {
            const std::vector<float>* src = input.channels.empty()
                ? nullptr
                : &input.channels[static_cast<std::size_t>(std::min<int>(c, static_cast<int>(input.channels.size()) - 1))];
            for (int i = 0; i < n; ++i) {
                const long k = pos + i;
                const float v = src && k < static_cast<long>(src->size()) ? (*src)[static_cast<std::size_t>(k)] : 0.0f;
                if (o.doublePrecision)
                    plugin->input64(0, c)[i] = v;
                else
                    plugin->input32(0, c)[i] = v;
            }
        }
        if (!plugin->processBlock(n))
            fail("'" + plugin->classInfo().name + "' failed to process the block at sample " + std::to_string(pos));
        for (int c = 0; c < outChannels; ++c) {
            float* dst = output.channels[static_cast<std::size_t>(c)].data() + pos;
            for (int i = 0; i < n; ++i)
                dst[i] = o.doublePrecision ? static_cast<float>(plugin->output64(0, c)[i]) : plugin->output32(0, c)[i];
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::size_t late = events.size() - next;
    const std::string name = plugin->classInfo().name;
    plugin.reset();

    writeWav(o.output, output);

    double peak = 0.0, sumSquares = 0.0;
    for (const auto& channel : output.channels) {
        for (float v : channel) {
            peak = std::max(peak, static_cast<double>(std::fabs(v)));
            sumSquares += static_cast<double>(v) * v;
        }
    }
    const double count = static_cast<double>(total) * outChannels;
    const double rms = count > 0 ? std::sqrt(sumSquares / count) : 0.0;
    const double duration = static_cast<double>(total) / rate;
    std::printf("rendered %.3f s (%ld frames, %d channel%s) through '%s' at %g BPM %d/%d, %g Hz, block %ld -> %s\n",
                duration, total, outChannels, outChannels == 1 ? "" : "s", name.c_str(), o.tempo, o.num, o.den, rate,
                o.block, o.output.c_str());
    std::printf("peak %.6f (%.2f dBFS), RMS %.6f (%.2f dBFS)\n", peak, toDb(peak), rms, toDb(rms));
    if (seconds > 0.0)
        std::printf("realtime factor %.1fx (%.3f s of processing)\n", duration / seconds, seconds);
    if (late > 0)
        std::fprintf(stderr, "vamplet-render: warning: %zu timeline event%s after the end of the render ignored\n", late,
                     late == 1 ? "" : "s");
    if (dropped > 0)
        std::fprintf(stderr, "vamplet-render: warning: %ld timeline events did not fit their block and were dropped\n",
                     dropped);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const Failure& f) {
        std::fprintf(stderr, "vamplet-render: %s\n", f.message.c_str());
        return f.exitCode;
    }
}
