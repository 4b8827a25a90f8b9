// SPDX-License-Identifier: GPL-3.0-or-later
//
// The per-sample calls of every block run on the audio thread and must not
// allocate. The global operator new is replaced in this executable to count.
#include "alloc_counter.h"
#include "dsp/biquad.h"
#include "dsp/crossfader2.h"
#include "dsp/delay.h"
#include "dsp/highlifefilter.h"
#include "dsp/paramsmooth.h"
#include "dsp/reverb/revmodel.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{

TEST(Realtime, PerSampleCallsAllocateNothing)
{
    {
        // The counter must see ordinary allocations, or the check below proves nothing.
        const std::size_t start = alloc_counter::count();
        auto probe = std::make_unique<std::vector<int>>(16);
        EXPECT_GT(alloc_counter::count(), start);
    }

    Crossfader2 xf;
    CHighLifeFilter flt;
    tbiquad hp;
    CParamSmooth smooth(8.0f, 44100.0f);
    auto reverb = std::make_unique<revmodel>();
    auto delay = std::make_unique<Delay>(0);
    float bufL[441] = {}, bufR[441] = {};
    float* src[2] = {bufL, bufR};

    const std::size_t before = alloc_counter::count();
    float acc = 0.0f;
    for (int n = 0; n < 4096; ++n)
    {
        const float in = static_cast<float>(n % 100) / 100.0f;
        if (n % 500 == 0)
        {
            xf.setFadeOutBuffer(in, -in);
            xf.start();
        }
        if (n % 1300 == 0)
        {
            xf.setFadeOutBuffer(src, 300, true);
            xf.resetContinuePhase();
            xf.start(src);
        }
        float l = in, r = -in;
        double dl = in, dr = -in;
        xf.fillBuffer(l, r);
        xf.process(l, r);
        xf.process(dl, dr);
        xf.process(l, r, in, in);
        acc += flt.work(l, smooth.process(0.5f), 0.3f, 1 + n % 4);
        acc += static_cast<float>(IIR_doIIRhigh(hp, 0.001L, r));
        float rl = l, rr = r;
        reverb->setroomsize(static_cast<float>(n % 7) / 7.0f); // owners call it per sample
        reverb->process(rl, rr);
        acc += rl + rr;
        // The owner's per-sample delay calls, with time changes, tempo changes and
        // switching off and on (which clear the lines) in between.
        if (n % 1000 == 0)
            delay->setActive(n % 2000 != 0);
        if (n % 700 == 0)
            delay->setSamplePerBeat(90.0 + n % 60, 44100.0);
        delay->setTimeF(static_cast<double>(n % 11) / 10.0);
        double el = l, er = r;
        delay->process3(el, er);
        acc += static_cast<float>(el + er);
        acc += l + r + static_cast<float>(dl + dr);
    }
    EXPECT_EQ(alloc_counter::count(), before);
    EXPECT_TRUE(acc == acc);
}

} // namespace
