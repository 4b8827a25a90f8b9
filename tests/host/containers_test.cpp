// SPDX-License-Identifier: GPL-3.0-or-later
// The host's per-block containers and string helpers.
#include "host/plugininstance.h"
#include "host/processbuffers.h"
#include "host/utf16.h"

#include <gtest/gtest.h>

using namespace vamplet::host;
using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(ParamValueQueue, KeepsPointsInOffsetOrderAndReplacesEqualOffsets)
{
    ParamValueQueue queue(4);
    queue.reset(7);
    int32 index = -1;
    ASSERT_EQ(queue.addPoint(200, 0.2, index), kResultOk);
    ASSERT_EQ(queue.addPoint(0, 0.0, index), kResultOk);
    EXPECT_EQ(index, 0);
    ASSERT_EQ(queue.addPoint(100, 0.1, index), kResultOk);
    EXPECT_EQ(index, 1);
    ASSERT_EQ(queue.addPoint(100, 0.15, index), kResultOk); // replaces, no new point
    EXPECT_EQ(queue.getPointCount(), 3);

    const int32 offsets[] = {0, 100, 200};
    const double values[] = {0.0, 0.15, 0.2};
    for (int32 i = 0; i < 3; ++i) {
        int32 offset = -1;
        ParamValue value = -1;
        ASSERT_EQ(queue.getPoint(i, offset, value), kResultOk);
        EXPECT_EQ(offset, offsets[i]);
        EXPECT_DOUBLE_EQ(value, values[i]);
    }
    int32 offset = 0;
    ParamValue value = 0;
    EXPECT_NE(queue.getPoint(3, offset, value), kResultOk);
    EXPECT_NE(queue.getPoint(-1, offset, value), kResultOk);
    EXPECT_EQ(queue.getParameterId(), 7u);
}

TEST(ParamValueQueue, FullQueueRefusesWithoutGrowing)
{
    ParamValueQueue queue(2);
    queue.reset(1);
    int32 index = 0;
    EXPECT_EQ(queue.addPoint(1, 0.1, index), kResultOk);
    EXPECT_EQ(queue.addPoint(2, 0.2, index), kResultOk);
    EXPECT_EQ(queue.addPoint(3, 0.3, index), kResultFalse);
    EXPECT_EQ(queue.addPoint(2, 0.25, index), kResultOk); // replacing still works when full
    EXPECT_EQ(queue.getPointCount(), 2);
}

TEST(ParameterChanges, OneQueuePerIdAndBoundedPool)
{
    ParameterChanges changes(2, 8);
    EXPECT_TRUE(changes.addChange(5, 0, 0.5));
    EXPECT_TRUE(changes.addChange(9, 10, 0.9));
    EXPECT_TRUE(changes.addChange(5, 20, 0.6)); // same queue as the first
    EXPECT_EQ(changes.getParameterCount(), 2);
    EXPECT_EQ(changes.getParameterData(0)->getParameterId(), 5u);
    EXPECT_EQ(changes.getParameterData(0)->getPointCount(), 2);
    EXPECT_EQ(changes.getParameterData(2), nullptr);

    int32 index = -1;
    EXPECT_EQ(changes.addParameterData(11, index), nullptr); // pool exhausted
    EXPECT_FALSE(changes.addChange(11, 0, 1.0));

    changes.clear();
    EXPECT_EQ(changes.getParameterCount(), 0);
    ASSERT_TRUE(changes.addChange(11, 0, 1.0));
    EXPECT_EQ(changes.getParameterData(0)->getPointCount(), 1); // a reused queue starts empty
}

TEST(EventList, SortsByOffsetStablyAndRefusesWhenFull)
{
    EventList list(4);
    auto note = [](int pitch, int offset) {
        Event e {};
        e.type = Event::kNoteOnEvent;
        e.sampleOffset = offset;
        e.noteOn.pitch = static_cast<int16>(pitch);
        return e;
    };
    Event a = note(1, 50), b = note(2, 10), c = note(3, 50), d = note(4, 0), e = note(5, 0);
    EXPECT_EQ(list.addEvent(a), kResultOk);
    EXPECT_EQ(list.addEvent(b), kResultOk);
    EXPECT_EQ(list.addEvent(c), kResultOk);
    EXPECT_EQ(list.addEvent(d), kResultOk);
    EXPECT_EQ(list.addEvent(e), kResultFalse);
    ASSERT_EQ(list.getEventCount(), 4);
    const int expected[] = {4, 2, 1, 3};
    for (int32 i = 0; i < 4; ++i) {
        Event out {};
        ASSERT_EQ(list.getEvent(i, out), kResultOk);
        EXPECT_EQ(out.noteOn.pitch, expected[i]) << "event " << i;
    }
    Event out {};
    EXPECT_EQ(list.getEvent(4, out), kResultFalse);
}

TEST(AudioBuffers, LaysOutBusesAndPrecision)
{
    AudioBuffers buffers;
    buffers.setup({2, 0, 1}, 64, false);
    ASSERT_EQ(buffers.busCount(), 3);
    EXPECT_EQ(buffers.buses()[0].numChannels, 2);
    EXPECT_EQ(buffers.buses()[1].numChannels, 0);
    EXPECT_EQ(buffers.buses()[2].channelBuffers32[0], buffers.channel32(2, 0));
    EXPECT_NE(buffers.channel32(0, 0), buffers.channel32(0, 1));
    EXPECT_EQ(buffers.channel32(0, 2), nullptr);
    EXPECT_EQ(buffers.channel64(0, 0), nullptr);

    buffers.setup({1}, 8, true);
    ASSERT_NE(buffers.channel64(0, 0), nullptr);
    buffers.channel64(0, 0)[3] = 1.0;
    buffers.clear(8);
    EXPECT_EQ(buffers.channel64(0, 0)[3], 0.0);
}

TEST(Utf16, RoundTripsAndTruncatesOnCharacterBoundaries)
{
    const std::string text = "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x8E\xB5"; // "Grüße 🎵"
    const std::u16string wide = utf8ToUtf16(text);
    EXPECT_EQ(wide.size(), 8u); // 6 BMP units and one surrogate pair
    EXPECT_EQ(utf16ToUtf8(wide.c_str()), text);

    char16_t small[8];
    utf8ToUtf16(text, small, 8); // 7 units fit, but the 7th would split the pair
    EXPECT_EQ(utf16ToUtf8(small), "Gr\xC3\xBC\xC3\x9F" "e ");

    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(utf16ToUtf8(utf8ToUtf16("a\xFF" "b").c_str()), "a\xEF\xBF\xBD" "b");
}

TEST(Transport, BarStartFollowsTheTimeSignature)
{
    struct Case {
        int num, den;
        double ppq, barStart;
    };
    const Case cases[] = {{4, 4, 0.0, 0.0}, {4, 4, 7.99, 4.0}, {4, 4, 8.0, 8.0}, {3, 4, 7.0, 6.0},
                          {6, 8, 3.2, 3.0}, {7, 8, 3.4, 0.0}, {5, 4, 12.0, 10.0}};
    for (const Case& c : cases) {
        Transport t;
        t.timeSigNumerator = c.num;
        t.timeSigDenominator = c.den;
        t.ppqPosition = c.ppq;
        EXPECT_DOUBLE_EQ(t.barStart(), c.barStart) << c.num << "/" << c.den << " at " << c.ppq;
    }
}

TEST(ParamValueQueue, ClampingOffsetsKeepsOrderAndTheLastValue)
{
    ParamValueQueue queue(8);
    queue.reset(1);
    int32 index = 0;
    for (auto [offset, value] : {std::pair<int32, double>{10, 0.1}, {50, 0.5}, {70, 0.7}, {90, 0.9}})
        queue.addPoint(offset, value, index);
    queue.clampOffsets(60);
    ASSERT_EQ(queue.getPointCount(), 3);
    int32 offset = 0;
    ParamValue value = 0;
    queue.getPoint(1, offset, value);
    EXPECT_EQ(offset, 50);
    queue.getPoint(2, offset, value);
    EXPECT_EQ(offset, 60);
    EXPECT_DOUBLE_EQ(value, 0.9);
    queue.clampOffsets(100); // nothing beyond: unchanged
    EXPECT_EQ(queue.getPointCount(), 3);
}
