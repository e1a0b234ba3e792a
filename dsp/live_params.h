// The live parameter block: every value a window or preset sets and the engine reads.
#pragma once

#include <cstdint>

constexpr int kBandCount = 10;

// Switches are one byte (0 = off, anything else = on); numbers are doubles in the unit of their
// settings key. The registry binds each field to its control and key; the engine reads them
// directly. Fields are grouped by the stage that reads them, not by the window that shows them.
struct GeneralParams {
    uint8_t mainBypass;
    uint8_t highpassActive;
    uint8_t stereoImageActive;
    uint8_t agcActive;
    uint8_t threeBandEqActive;
    uint8_t processorActive;
    uint8_t dynamicEqActive;
    uint8_t compressorActive;
    uint8_t expanderActive;
    uint8_t limiterActive;
    uint8_t saturatorActive;
    uint8_t tenBandEqActive;
    uint8_t finalLimiterActive;
    uint8_t finalClipperActive;
    uint8_t lowpassActive;
    uint8_t ditherActive;
    double densityDriveDb;
    double postAmpDb;
};

struct PassFilterParams {
    double highpassCutoffHz;  // "HighpassFilter.Cutoff.Hz"
    double lowpassCutoffHz;   // "LowpassFilter.Cutoff.Hz"
};

struct StereoImageParams {
    uint8_t mono;
    double amountPercent;
    double detect1Ms;
    double detect2Ms;
    double maxEnhanceDb;
};

struct AgcParams {
    double levelPercent;
    double maxGainDb;
    double crossoverHz;
    double bandLinkPercent;
    double attackLowMs;
    double releaseLowMs;
    double gainLowDb;
    double attackHighMs;
    double releaseHighMs;
    double gainHighDb;
    uint8_t singleBand;
    double detectLowMs;   // shown in the Advanced window
    double detectHighMs;  // shown in the Advanced window
};

struct ThreeBandEqParams {
    double bandDb[3];
    uint8_t bandMute[3];
    double crossoverLowMidHz;   // "3BandEQ.Crossover.L-M"
    double crossoverMidHighHz;  // "3BandEQ.Crossover.M-H"
};

struct ProcessorParams {
    uint8_t cascadedFilters;
    uint8_t narrowBandwidth;
    double detectMs[kBandCount];  // "Processor.DetectN.msec", shown in the Advanced window
};

struct DynamicEqParams {
    double speedMs;
    double amountPercent;
    double maxEnhanceDb;
};

struct CompressorParams {
    double gainDb[kBandCount];
    double ratio[kBandCount];
    double thresholdDb[kBandCount];
    double lookaheadMs[kBandCount];
    double attackMs[kBandCount];
    double releaseMs[kBandCount];
    uint8_t peakDetect;
};

struct ExpanderParams {
    double ratio[kBandCount];
    double thresholdDb[kBandCount];
    double attackMs[kBandCount];
    double releaseMs[kBandCount];
};

struct LimiterParams {
    double gainDb[kBandCount];
    double thresholdDb[kBandCount];
    double lookaheadMs[kBandCount];
    double attackMs[kBandCount];
    double releaseMs[kBandCount];
    uint8_t peakDetect;
};

struct SaturatorParams {
    double levelPercent[kBandCount];
    double gainDb[kBandCount];
    double clipDb[kBandCount];
    uint8_t clipEnable[kBandCount];
    uint8_t refilter;
};

struct TenBandEqParams {
    double preampDb;
    double bandDb[kBandCount];
    uint8_t bandMute[kBandCount];
};

struct FinalLimiterParams {
    double driveDb;
    double thresholdDb;
    double lookaheadMs;
    double attackMs;
    double releaseMs;
    uint8_t peakDetect;
    double detectMs;  // shown in the Advanced window
};

struct FinalClipperParams {
    uint8_t complex;
    double driveDb;
    double thresholdDb;
};

struct LiveParams {
    GeneralParams general;
    PassFilterParams passFilters;
    StereoImageParams stereoImage;
    AgcParams agc;
    ThreeBandEqParams threeBandEq;
    ProcessorParams processor;
    DynamicEqParams dynamicEq;
    CompressorParams compressor;
    ExpanderParams expander;
    LimiterParams limiter;
    SaturatorParams saturator;
    TenBandEqParams tenBandEq;
    FinalLimiterParams finalLimiter;
    FinalClipperParams finalClipper;
    char presetName[32];  // "General.Name" of the current setting
};
