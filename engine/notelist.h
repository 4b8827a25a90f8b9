// SPDX-License-Identifier: GPL-3.0-or-later
// The notes the engine saw, handed from the audio thread to the user-interface thread.
// Single producer (audio thread: add), single consumer (the processor's timer: take).
// The list keeps the latest notes since the last take modulo its 128 slots: after 128 more
// notes the count starts again from 0, so a burst of 130 notes leaves the last 2.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

namespace vamplet {

// One note event: 16 bytes, four little-endian 32-bit integers.
struct NoteRecord
{
	int32_t kind;         // 1 note on, 2 note off
	int32_t pitch;        // MIDI note number
	int32_t sampleOffset; // position of the event in its block
	int32_t velocity;     // 0..127
};
static_assert (sizeof (NoteRecord) == 16, "note records travel as 16 bytes");

class NoteList
{
public:
	static constexpr uint32_t kSlots = 128;
	static constexpr int kBytes = kSlots * sizeof (NoteRecord);

	// Audio thread.
	void add (int32_t kind, int32_t pitch, int32_t sampleOffset, int32_t velocity)
	{
		const uint32_t w = written.load (std::memory_order_relaxed);
		records[w % kSlots] = NoteRecord {kind, pitch, sampleOffset, velocity};
		written.store (w + 1, std::memory_order_release);
	}

	// Notes added since the last take, counted modulo the slots.
	uint32_t count () const
	{
		return (written.load (std::memory_order_acquire) - taken.load (std::memory_order_acquire)) %
		       kSlots;
	}

	// Audio thread, at the end of a block with events.
	void markPendingIfAny ()
	{
		if (count () != 0)
			pending.store (true, std::memory_order_release);
	}

	// Timer routine: clears the flag first so notes added meanwhile raise it again.
	bool takePendingFlag () { return pending.exchange (false, std::memory_order_acq_rel); }
	bool isPending () const { return pending.load (std::memory_order_acquire); }

	// Timer routine: copies the pending records, oldest first, into dst (capacity bytes) and
	// marks them taken. Returns the number of bytes copied.
	int take (void* dst, int capacity)
	{
		const uint32_t w = written.load (std::memory_order_acquire);
		const uint32_t t = taken.load (std::memory_order_relaxed);
		uint32_t k = (w - t) % kSlots;
		const uint32_t fit = capacity > 0 ? static_cast<uint32_t> (capacity) / sizeof (NoteRecord) : 0;
		if (k > fit)
			k = fit;
		auto* out = static_cast<unsigned char*> (dst);
		for (uint32_t i = 0; i < k; ++i)
			std::memcpy (out + i * sizeof (NoteRecord), &records[(w - k + i) % kSlots],
			             sizeof (NoteRecord));
		taken.store (w, std::memory_order_release);
		return static_cast<int> (k * sizeof (NoteRecord));
	}

private:
	NoteRecord records[kSlots] {};
	std::atomic<uint32_t> written {0};
	std::atomic<uint32_t> taken {0};
	std::atomic<bool> pending {false};
};

} // namespace vamplet
