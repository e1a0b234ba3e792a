// Hands redesigned filter coefficients and equaliser gains to the audio thread whole.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/filters/biquad.h"
#include "dsp/live_params.h"
#include "dsp/triple_buffer.h"

// Groups of designs that change together; each has its own generation number.
enum DesignGroup : int {
    kDesignHighpass,
    kDesignAgcCrossover,
    kDesignThreeBandCrossover,
    kDesignBank,
    kDesignLowpass,
    kDesignGroupCount
};

// Everything UpdateDerivedParameters computes, as one snapshot.
struct DerivedDesign {
    uint32_t generation[kDesignGroupCount];
    BiquadCoefficients highpass;
    BiquadCoefficients agcLow, agcHigh;
    double threeBandF1, threeBandF2, threeBandFs, threeBandC1, threeBandC2;
    double threeBandGain[3];
    BiquadCoefficients bank[kBandCount];
    uint8_t bankCascaded, bankNarrow;
    BiquadCoefficients lowpass;
    double eqPreamp;
    double eqGain[kBandCount];
};

// A triple buffer of snapshots: the designer publishes, the audio thread takes at block start.
struct DesignExchange {
    DerivedDesign slots[3];
    TripleBufferSlots indices;
    uint32_t applied[kDesignGroupCount];  // generations the audio thread has put in place
    DerivedDesign designer; // the designer's current full design
};

void initDesignExchange(DesignExchange& exchange);
// Designer side: publishes `designer` as the newest snapshot.
void publishDesign(DesignExchange& exchange);
// Audio side: returns the newest unseen snapshot, or nullptr when nothing new was published.
const DerivedDesign* takeDesign(DesignExchange& exchange);
