// SPDX-License-Identifier: GPL-3.0-or-later
//
// Three one-pole high-pass sections in series, used by the delay for its tone
// control and to keep DC out of its feedback path.
//
// Each section subtracts a one-pole low-pass of its input from that input:
//   s <- s + a (x - s),   y = x - s
// so a = 0 passes the input unchanged and a = 0.001 puts each corner near
// 7 Hz at 44.1 kHz (a / (2 pi) of the sample rate). The output is limited to
// [-1, 1]. Everything runs in extended precision (long double) so the slow
// integrators keep their accuracy at very small coefficients.
#pragma once

struct tbiquad
{
    long double s0 = 0.0L;
    long double s1 = 0.0L;
    long double s2 = 0.0L;
};

inline void IIR_resetIIR(tbiquad& state)
{
    state.s0 = state.s1 = state.s2 = 0.0L;
}

inline long double IIR_doIIRhigh(tbiquad& state, long double coefficient, long double input)
{
    state.s0 += coefficient * (input - state.s0);
    const long double y1 = input - state.s0;
    state.s1 += coefficient * (y1 - state.s1);
    const long double y2 = y1 - state.s1;
    state.s2 += coefficient * (y2 - state.s2);
    const long double y3 = y2 - state.s2;
    if (y3 < -1.0L)
        return -1.0L;
    if (y3 > 1.0L)
        return 1.0L;
    return y3;
}
