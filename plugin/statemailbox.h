// SPDX-License-Identifier: GPL-3.0-or-later
// Hands a restored parameter set from the host's main thread to the audio thread without a
// lock. The main thread may wait for a moment (while the audio thread copies the values out);
// the audio thread never waits: if the main thread is writing, it tries again next block.
#pragma once

#include "engine/paramids.h"
#include <atomic>
#include <thread>

namespace vamplet {

class StateMailbox
{
public:
	// Main thread: replaces any values still waiting with these.
	void post (const double* values, int count)
	{
		for (;;)
		{
			int expected = kEmpty;
			if (state.compare_exchange_weak (expected, kWriting, std::memory_order_acquire))
				break;
			expected = kReady;
			if (state.compare_exchange_weak (expected, kWriting, std::memory_order_acquire))
				break;
			std::this_thread::yield (); // the audio thread is copying; it is done within a block
		}
		for (int i = 0; i < count; ++i)
			slots[i] = values[i];
		slotCount = count;
		state.store (kReady, std::memory_order_release);
	}

	// Audio thread: copies the waiting values out, if any. Returns their count, or 0.
	int take (double* values)
	{
		int expected = kReady;
		if (!state.compare_exchange_strong (expected, kReading, std::memory_order_acquire))
			return 0;
		int count = slotCount;
		for (int i = 0; i < count; ++i)
			values[i] = slots[i];
		state.store (kEmpty, std::memory_order_release);
		return count;
	}

	// Main thread: a copy of the waiting values (for a state save before the audio thread ran).
	int peek (double* values)
	{
		int count = 0;
		for (;;)
		{
			int expected = kReady;
			if (state.compare_exchange_weak (expected, kWriting, std::memory_order_acquire))
				break;
			if (expected == kEmpty)
				return 0;
			std::this_thread::yield ();
		}
		count = slotCount;
		for (int i = 0; i < count; ++i)
			values[i] = slots[i];
		state.store (kReady, std::memory_order_release);
		return count;
	}

private:
	enum { kEmpty, kReady, kReading, kWriting };
	std::atomic<int> state {kEmpty};
	double slots[kNumEngineParams] {};
	int slotCount {0};
};

} // namespace vamplet
