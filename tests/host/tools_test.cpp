// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line tools: the render tool's timeline parsing and generated beat, and both
// executables' output and exits.
#include "host/render/testsignal.h"
#include "host/render/timeline.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>

using namespace vamplet::render;
using Kind = TimelineEvent::Kind;

TEST(Timeline, ParsesPositionsCommandsAndKeepsFileOrderAtEqualPositions)
{
    const std::string text = "# header comment\n"
                             "\n"
                             "2.1 note-on 36            # kick the loop\n"
                             "1.3 param 0 1.0\n"
                             "1.3.2 param \"Dry/Wet\" 0.25\n"
                             "2.1 param Feedback 0\n"
                             "  2.1   note-off 36 0.5\n"
                             "1.1 param \"7\" 1e-1\n";
    std::vector<TimelineEvent> events;
    std::string error;
    ASSERT_TRUE(parseTimeline(text, 4, 4, events, &error)) << error;
    ASSERT_EQ(events.size(), 6u);

    EXPECT_DOUBLE_EQ(events[0].ppq, 0.0); // 1.1, quoted digits: a title
    EXPECT_FALSE(events[0].byId);
    EXPECT_EQ(events[0].title, "7");
    EXPECT_DOUBLE_EQ(events[0].value, 0.1);

    EXPECT_DOUBLE_EQ(events[1].ppq, 2.0); // 1.3
    EXPECT_TRUE(events[1].byId);
    EXPECT_EQ(events[1].id, 0u);
    EXPECT_DOUBLE_EQ(events[1].value, 1.0);

    EXPECT_DOUBLE_EQ(events[2].ppq, 2.25); // 1.3.2: one sixteenth after beat 3
    EXPECT_EQ(events[2].title, "Dry/Wet");

    // Three events at 2.1 (ppq 4) in file order.
    EXPECT_EQ(events[3].kind, Kind::NoteOn);
    EXPECT_EQ(events[3].pitch, 36);
    EXPECT_FLOAT_EQ(events[3].velocity, 1.0f);
    EXPECT_EQ(events[3].line, 3);
    EXPECT_EQ(events[4].kind, Kind::Parameter);
    EXPECT_EQ(events[4].title, "Feedback");
    EXPECT_EQ(events[5].kind, Kind::NoteOff);
    EXPECT_FLOAT_EQ(events[5].velocity, 0.5f);
    for (int i = 3; i < 6; ++i)
        EXPECT_DOUBLE_EQ(events[static_cast<std::size_t>(i)].ppq, 4.0);
}

TEST(Timeline, PositionsFollowTheTimeSignature)
{
    struct Case {
        const char* position;
        int num, den;
        double ppq;
    };
    const Case cases[] = {{"1.1", 4, 4, 0.0},  {"3.4", 4, 4, 11.0}, {"2.1", 3, 4, 3.0},
                          {"2.4", 6, 8, 4.5},  {"1.2.3", 4, 4, 1.5}, {"1.1.4", 6, 8, 0.375},
                          {"10.1", 7, 8, 31.5}};
    for (const Case& c : cases) {
        double ppq = -1.0;
        std::string reason;
        EXPECT_TRUE(parsePosition(c.position, c.num, c.den, ppq, &reason)) << c.position << ": " << reason;
        EXPECT_DOUBLE_EQ(ppq, c.ppq) << c.position << " in " << c.num << "/" << c.den;
    }
    // 1.5 beats at 120 BPM, 48 kHz: 36000 samples; positions between samples round up.
    EXPECT_EQ(ppqToSample(1.5, 120.0, 48000.0), 36000);
    EXPECT_EQ(ppqToSample(1.0, 100.0, 44100.0), 26460);
    EXPECT_EQ(ppqToSample(0.0001, 120.0, 48000.0), 3);
}

TEST(Timeline, RejectsMalformedLinesWithTheirLineNumber)
{
    struct Case {
        const char* line;
        const char* reason;
    };
    const Case cases[] = {
        {"1.5 param 0 1", "beat must be 1..4"},
        {"0.1 param 0 1", "bars count from 1"},
        {"1.1.5 param 0 1", "sixteenth must be 1..4"},
        {"1 param 0 1", "bad position '1'"},
        {"1.1.1.1 param 0 1", "bad position"},
        {"1.x param 0 1", "bad position"},
        {"-1.1 param 0 1", "bad position"},
        {"1.1", "missing command"},
        {"1.1 jump 3", "unknown command 'jump'"},
        {"1.1 param 0", "usage: <position> param"},
        {"1.1 param 0 1.5", "bad value '1.5'"},
        {"1.1 param 0 nan", "bad value 'nan'"},
        {"1.1 param 0 -0.1", "bad value"},
        {"1.1 param \"\" 0.5", "empty parameter title"},
        {"1.1 param \"Dry 0.5", "unterminated quote"},
        {"1.1 param 99999999999 0.5", "bad parameter id"},
        {"1.1 note-on 128", "bad pitch '128'"},
        {"1.1 note-on -1", "bad pitch"},
        {"1.1 note-on 36 2", "bad velocity '2'"},
        {"1.1 note-off", "usage: <position> note-off"},
    };
    for (const Case& c : cases) {
        std::vector<TimelineEvent> events;
        std::string error;
        const std::string text = "# ok\n1.1 param 0 0\n" + std::string(c.line) + "\n";
        EXPECT_FALSE(parseTimeline(text, 4, 4, events, &error, "t.txt")) << c.line;
        EXPECT_TRUE(events.empty());
        EXPECT_EQ(error.rfind("t.txt:3: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.line << " -> " << error;
    }
}

TEST(TestSignal, BeatIsDeterministicBoundedAndOnTheGrid)
{
    const double rate = 48000.0;
    const long frames = 96000; // one bar at 120 BPM
    const auto a = generateBeat(rate, 120.0, 4, 4, frames, 2);
    const auto b = generateBeat(rate, 120.0, 4, 4, frames, 2);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(a[0].size(), static_cast<std::size_t>(frames));
    EXPECT_EQ(a, b);
    EXPECT_NE(a[0], a[1]); // hats panned

    auto energy = [&](long from, long to) {
        double sum = 0.0;
        for (long i = from; i < to; ++i)
            sum += static_cast<double>(a[0][static_cast<std::size_t>(i)]) * a[0][static_cast<std::size_t>(i)];
        return sum;
    };
    // Loud enough to be heard, never clipping, in either channel (several tempos and metres).
    for (const auto& signal : {a, generateBeat(44100.0, 90.0, 3, 4, 88200, 2), generateBeat(rate, 174.0, 7, 8, frames, 2)}) {
        for (const auto& channel : signal) {
            float peak = 0.0f;
            for (float v : channel)
                peak = std::max(peak, std::fabs(v));
            EXPECT_GT(peak, 0.3f);
            EXPECT_LE(peak, 0.95f);
        }
    }
    // Each beat hits: the first 50 ms after a beat are much louder than the 50 ms before it.
    for (long beat = 1; beat < 4; ++beat) {
        const long at = beat * 24000;
        EXPECT_GT(energy(at, at + 2400), 4.0 * energy(at - 2400, at)) << "beat " << beat + 1;
    }
    EXPECT_EQ(generateBeat(rate, 120.0, 4, 4, 1000, 1).size(), 1u);
}

// ---------------------------------------------------------------------------------------------
namespace {

struct RunResult {
    int exitCode = -1;
    std::string out; // stdout and stderr together
};

RunResult runTool(const char* tool, const std::string& args)
{
    RunResult r;
    const std::string command = std::string("'") + tool + "' " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return r;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        r.out += buffer;
    const int status = ::pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

RunResult runRender(const std::string& args)
{
    return runTool(VAMPLET_RENDER_PATH, args);
}

std::string writeFile(const std::string& name, const std::string& text)
{
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

const std::string kZam = "-b /usr/lib/vst3/ZamDelay.vst3 ";

} // namespace

TEST(RenderTool, ErrorsAreOneLineWithNonZeroExit)
{
    const std::string out = ::testing::TempDir() + "render_error.wav";
    const std::string unknownTitle = writeFile("tl_unknown_title.txt", "1.1 param 0 0.5\n2.1 param \"No Such\" 1\n");
    const std::string unknownId = writeFile("tl_unknown_id.txt", "1.1 param 4242 0.5\n");
    const std::string badSyntax = writeFile("tl_bad_syntax.txt", "1.1 param 0 0.5\n1.9 note-on 36\n");
    struct Case {
        std::string args;
        int exitCode;
        std::string message;
    };
    const std::vector<Case> cases = {
        {kZam + "-i /nonexistent/in.wav -o " + out, 1, "cannot read input '/nonexistent/in.wav'"},
        {kZam + "-t /nonexistent/tl.txt -o " + out, 1, "cannot read timeline '/nonexistent/tl.txt'"},
        {kZam + "-t " + unknownTitle + " -o " + out, 1, unknownTitle + ":2: unknown parameter 'No Such'"},
        {kZam + "-t " + unknownId + " -o " + out, 1, unknownId + ":1: unknown parameter id 4242"},
        {kZam + "-t " + badSyntax + " -o " + out, 1, badSyntax + ":2: bad position '1.9'"},
        {"-b /nonexistent/Gone.vst3 -o " + out, 1, "cannot load '/nonexistent/Gone.vst3': no such bundle"},
        {kZam, 2, "no output file given"},
        {kZam + "-o " + out + " --tempo fast", 2, "invalid --tempo 'fast'"},
        {kZam + "-o " + out + " --time-sig 4/5", 2, "invalid --time-sig '4/5'"},
        {kZam + "-o " + out + " --frobnicate", 2, "unknown option '--frobnicate'"},
        {kZam + "-o " + out + " --double", 1, "cannot process 64-bit samples"},
        {kZam + "-o /nonexistent/dir/out.wav --bars 1", 1, "cannot write output '/nonexistent/dir/out.wav'"},
    };
    for (const Case& c : cases) {
        const RunResult r = runRender(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out.rfind("vamplet-render: ", 0), 0u) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    }
}

TEST(RenderTool, RendersTheBeatThroughABundleWithATimeline)
{
    // Two bars at 120 BPM; the delay goes fully wet at bar 2, so the output differs from the dry
    // beat and keeps sounding into the tail.
    const std::string timeline = writeFile("tl_render.txt", "1.1 param \"Sync BPM\" 1\n"
                                                            "2.1 param 9 1.0\n"
                                                            "1.2 note-on 60 0.5\n"
                                                            "1.4 note-off 60\n");
    const std::string out = ::testing::TempDir() + "render_beat.wav";
    std::remove(out.c_str());
    const RunResult r = runRender(kZam + "-t " + timeline + " -o " + out + " --bars 2 --tail 0.5 --block 100 --rate 44100");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("peak "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("RMS "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("realtime factor "), std::string::npos) << r.out;

    SF_INFO info {};
    SNDFILE* file = sf_open(out.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.frames, 176400 + 22050);
    std::vector<float> samples(static_cast<std::size_t>(info.frames));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    float tailPeak = 0.0f;
    for (std::size_t i = 176400 + 2205; i < samples.size(); ++i)
        tailPeak = std::max(tailPeak, std::fabs(samples[i]));
    EXPECT_GT(tailPeak, 0.01f); // echoes of the last beat after the input ended
}

TEST(HostTool, InfoPrintsFactoryClassesBusesAndParameters)
{
    const RunResult r = runTool(VAMPLET_HOST_PATH, "info /usr/lib/vst3/ZamDelay.vst3");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    for (const char* expected : {"Factory: vendor \"", "Classes (2):", "Audio Module Class \"ZamDelay\"",
                                 "Component Controller Class \"ZamDelay\"", "subcategories \"Fx|Delay",
                                 "Buses (2):", "input  audio 0", "arrangement mono", "Parameters (",
                                 "\"Feedback\""}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
}

TEST(HostTool, BadBundleOrUsageFailsWithOneLine)
{
    struct Case {
        std::string args;
        int exitCode;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"info /nonexistent/Gone.vst3", 1, "vamplet-host: cannot load '/nonexistent/Gone.vst3': no such bundle"},
        {"info /usr/lib/vst3", 1, "vamplet-host: cannot load '/usr/lib/vst3': bundle has no library"},
        {"explode", 2, "usage: vamplet-host info [bundle]"},
    };
    for (const Case& c : cases) {
        const RunResult r = runTool(VAMPLET_HOST_PATH, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out.rfind(c.message, 0), 0u) << r.out;
        if (c.exitCode == 1) {
            EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
        }
    }
}
