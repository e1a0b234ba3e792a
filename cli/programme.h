// A made-up programme of music-like tones, drums, noise and silence for the demo and the benchmark.
#pragma once

#include <cstdint>
#include <vector>

namespace cli {

// Length of one pass of the programme; longer requests repeat it with fresh random detail.
constexpr double kProgrammeSeconds = 20.0;

// Interleaved 44,100 Hz 16-bit stereo: 0-4 s a quiet melody over a soft pad (peaks near
// -30 dBFS); 4-10 s a loud passage of kick, snare, hi-hat, bass and chords (peaks near -2 dBFS);
// 10-13 s noise swelling from -40 to -12 dBFS; 13-16 s digital silence; 16-20 s a medium
// passage (peaks near -18 dBFS) with a loud crash at 18 s. The same seed gives the same audio.
std::vector<short> makeProgramme(double seconds, uint32_t seed);

}  // namespace cli
