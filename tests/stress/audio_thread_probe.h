// Watches one thread for locks, waits, allocations and blocking while it runs audio blocks.
#pragma once

#include <cstdint>

// What the marked thread did inside its marked sections (every ModifySamples call).
struct AudioThreadEvidence {
    uint64_t locks;           // mutex, read-write, spin lock and semaphore acquisitions, tries included
    uint64_t waits;           // condition waits, sleeps, joins, barrier waits
    uint64_t allocations;     // malloc / operator new (and frees)
    uint64_t blockedSections; // sections in which the thread gave up the processor voluntarily
    bool lockProbeActive;     // false where the lock functions cannot be watched (not under ThreadSanitizer)
};

// Brackets one audio block on the calling thread.
void beginAudioSection();
void endAudioSection();

AudioThreadEvidence audioThreadEvidence();
