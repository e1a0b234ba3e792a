// The frequency response sweep and the table the response plot draws.
#pragma once

#include <atomic>
#include <cstdint>

struct Engine;

constexpr int kSweepTableSize = 1024;  // entries at multiples of 3 up to 999 are used
constexpr int kSweepTableStep = 3;
constexpr int kSweepTableLast = 999;
constexpr int kSweepPointCount = kSweepTableLast / kSweepTableStep + 1;  // 334 frequencies

struct SweepFrequencyTable {
    uint16_t frequency[kSweepTableSize];
    double response[kSweepTableSize];  // linear amplitude, 1.0 = full scale
    double duration;                   // seconds the last sweep took
};

// Builds the frequency column and clears responses and duration.
void ResetResponsePlot(SweepFrequencyTable& table);

// Level of the sweep's test sine: 0.5 of full scale (-6 dBFS), so a chain that leaves the level
// alone draws its curve on the plot's 0.5 line.
constexpr double kSweepAmplitude = 0.5;

// Measures the chain's response at each of the table's 334 frequencies. A phase-continuous sine
// of amplitude kSweepAmplitude (both channels alike) steps through the frequencies and runs
// through the enabled stages of `engine`, a private engine with the settings to measure
// (createEngineCopy of the live one), with its dither switched off; the live engine and the
// host's audio are never touched. Each frequency plays for a settling stretch, a measuring window
// of whole sine periods (at least 4,096 frames) and a short guard, and the first has half a second
// more so that the dynamic stages start settled. The output is read `latencyFrames` later;
// response[i] receives √2 × the Hann-weighted RMS of both output channels over the window (the
// peak of an undistorted sine), written as soon as it is known so that a plot redrawn meanwhile
// shows the curve growing. Responses are cleared first; `duration` receives the wall-clock seconds
// of the whole sweep at the end. `pointsDone`, when given, counts the frequencies measured so far.
//
// Runs as both threads of `engine`: nothing else may use it meanwhile. Returns false when `cancel`
// became true (the responses measured so far stay). The dither is switched off for the sweep, so
// the response excludes it.
bool FrequencyResponseSweep(Engine& engine, SweepFrequencyTable& table, const std::atomic<bool>* cancel,
                            std::atomic<int>* pointsDone = nullptr);
