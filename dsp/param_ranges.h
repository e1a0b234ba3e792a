// The registered range and default of every number the engine guards, one row per settings key:
// the stages guard their values with these rows, and the engine's description
// (params/engine_model.cpp) registers each slider from its row.
#pragma once

#include "dsp/live_params.h"
#include "dsp/param_guard.h"

// One registered number. The range is in the value's own unit; a logarithmic frequency slider's
// row holds its range in Hz (the registry turns it into slider steps). The usable bounds are the
// guard kind's (param_guard.h): what the arithmetic takes as it comes from a file.
struct RegisteredParam {
    const char* key;      // settings key; "%d" stands for the band number 1 ... 10 of a family; "" = never stored
    ParamRange range;     // registered min and max, and the usable bounds
    double defaultValue;  // registered default (every band of a family)
};

// ---- main window ----
inline constexpr RegisteredParam kDensityDriveDb = {"General.DensityDrive.dB", dbRange(-12, 36), 0.0};
inline constexpr RegisteredParam kPostAmpDb = {"General.PostAmp.dB", dbRange(-24, 24), 0.0};

// ---- Advanced window: detector times ----
inline constexpr RegisteredParam kProcessorDetectMs[kBandCount] = {
    {"Processor.Detect1.msec", detectorTimeRange(1, 500), 20.0},
    {"Processor.Detect2.msec", detectorTimeRange(1, 500), 10.0},
    {"Processor.Detect3.msec", detectorTimeRange(1, 500), 8.0},
    {"Processor.Detect4.msec", detectorTimeRange(1, 500), 7.0},
    {"Processor.Detect5.msec", detectorTimeRange(1, 500), 6.0},
    {"Processor.Detect6.msec", detectorTimeRange(1, 500), 5.0},
    {"Processor.Detect7.msec", detectorTimeRange(1, 500), 4.0},
    {"Processor.Detect8.msec", detectorTimeRange(1, 500), 3.0},
    {"Processor.Detect9.msec", detectorTimeRange(1, 500), 2.0},
    {"Processor.Detect10.msec", detectorTimeRange(1, 500), 1.0},
};
inline constexpr RegisteredParam kAgcDetectLowBandMs = {"AGC.Detect.LowBand.msec", detectorTimeRange(1, 500), 250.0};
inline constexpr RegisteredParam kAgcDetectHighBandMs = {"AGC.Detect.HighBand.msec", detectorTimeRange(1, 500), 150.0};
inline constexpr RegisteredParam kFinalLimiterDetectMs = {"FinalLimiter.Detect.msec", detectorTimeRange(1, 500), 20.0};

// ---- highpass and lowpass filters ----
inline constexpr RegisteredParam kHighpassCutoffHz = {"HighpassFilter.Cutoff.Hz", designFrequencyRange(20, 320), 30.0};
inline constexpr RegisteredParam kLowpassCutoffHz = {"LowpassFilter.Cutoff.Hz", designFrequencyRange(20, 20480), 18000.0};

// ---- stereo image processor ----
inline constexpr RegisteredParam kStereoAmountPercent = {"StereoImageProc.Amount.%", scaleRange(1, 100), 50.0};
inline constexpr RegisteredParam kStereoDetect1Ms = {"StereoImageProc.Detect1.msec", detectorTimeRange(1, 500), 50.0};
inline constexpr RegisteredParam kStereoDetect2Ms = {"StereoImageProc.Detect2.msec", detectorTimeRange(1, 2000), 500.0};
inline constexpr RegisteredParam kStereoMaxEnhanceDb = {"StereoImageProc.MaxEnhance.dB", dbRange(1, 18), 6.0};

// ---- two-band AGC ----
inline constexpr RegisteredParam kAgcLevelPercent = {"AGC.Level.%", scaleRange(0, 100), 90.0};
inline constexpr RegisteredParam kAgcMaxGainDb = {"AGC.MaxGain.dB", dbRange(0, 40), 25.0};
inline constexpr RegisteredParam kAgcCrossoverHz = {"AGC.Crossover", designFrequencyRange(20, 2560), 400.0};
inline constexpr RegisteredParam kAgcBandLinkPercent = {"AGC.BandLink.%", scaleRange(0, 100), 50.0};
inline constexpr RegisteredParam kAgcAttackLowBandMs = {"AGC.Attack.LowBand.msec", smoothingTimeRange(0, 5000), 1000.0};
inline constexpr RegisteredParam kAgcReleaseLowBandMs = {"AGC.Release.LowBand.msec", smoothingTimeRange(0, 5000), 1000.0};
inline constexpr RegisteredParam kAgcGainLowBandDb = {"AGC.Gain.LowBand.dB", dbRange(-24, 24), 0.0};
inline constexpr RegisteredParam kAgcAttackHighBandMs = {"AGC.Attack.HighBand.msec", smoothingTimeRange(0, 5000), 1000.0};
inline constexpr RegisteredParam kAgcReleaseHighBandMs = {"AGC.Release.HighBand.msec", smoothingTimeRange(0, 5000), 1000.0};
inline constexpr RegisteredParam kAgcGainHighBandDb = {"AGC.Gain.HighBand.dB", dbRange(-24, 24), 0.0};

// ---- three-band equaliser ----
inline constexpr RegisteredParam kThreeBandEqBandDb[3] = {
    {"3BandEQ.Band1.dB", dbRange(-24, 24), 0.0},
    {"3BandEQ.Band2.dB", dbRange(-24, 24), 0.0},
    {"3BandEQ.Band3.dB", dbRange(-24, 24), 0.0},
};
// The top slider position is 20 x 2^8.5 = 7240.77 Hz, shown as 7241; the crossover coefficients
// take every frequency of the range, so only the range is usable.
inline constexpr RegisteredParam kThreeBandCrossoverLowMidHz = {"3BandEQ.Crossover.L-M", exactRange(20, 7241), 880.0};
inline constexpr RegisteredParam kThreeBandCrossoverMidHighHz = {"3BandEQ.Crossover.M-H", exactRange(20, 7241), 5000.0};

// ---- ten-band dynamic equaliser ----
inline constexpr RegisteredParam kDynamicEqSpeedMs = {"DynamicEQ.Speed.msec", smoothingTimeRange(200, 8000), 2000.0};
// Inside 0 ... 100 % every applied gain stays positive, so the normalising sum cannot reach zero;
// beyond it a sum of 0 would make the normalisation infinite.
inline constexpr RegisteredParam kDynamicEqAmountPercent = {"DynamicEQ.Amount.%", exactRange(0, 100), 50.0};
inline constexpr RegisteredParam kDynamicEqMaxEnhanceDb = {"DynamicEQ.MaxEnhance.dB", dbRange(0, 24), 9.0};

// ---- ten-band compressor ----
inline constexpr RegisteredParam kCompressorGainDb = {"Compressor.Gain%d.dB", dbRange(-24, 24), 0.0};
inline constexpr RegisteredParam kCompressorRatio = {"Compressor.Ratio%d", bandRatioRange(1, 10), 5.0};
inline constexpr RegisteredParam kCompressorThresholdDb = {"Compressor.Threshold%d.dB", dbRange(-24, 24), -6.0};
inline constexpr RegisteredParam kCompressorLookaheadMs = {"Compressor.Lookahead%d.msec", exactRange(0, 90), 5.0};
inline constexpr RegisteredParam kCompressorAttackMs = {"Compressor.Attack%d.msec", smoothingTimeRange(0, 1000), 10.0};
inline constexpr RegisteredParam kCompressorReleaseMs = {"Compressor.Release%d.msec", smoothingTimeRange(0, 5000), 500.0};

// ---- ten-band expander ----
inline constexpr RegisteredParam kExpanderRatio = {"Expander.Ratio%d", bandRatioRange(1, 10), 5.0};
inline constexpr RegisteredParam kExpanderThresholdDb = {"Expander.Threshold%d.dB", dbRange(-40, 6), -6.0};
inline constexpr RegisteredParam kExpanderAttackMs = {"Expander.Attack%d.msec", smoothingTimeRange(0, 1000), 10.0};
inline constexpr RegisteredParam kExpanderReleaseMs = {"Expander.Release%d.msec", smoothingTimeRange(0, 1000), 500.0};

// ---- ten-band limiter ----
inline constexpr RegisteredParam kLimiterGainDb = {"Limiter.Gain%d.dB", dbRange(-24, 24), 0.0};
inline constexpr RegisteredParam kLimiterThresholdDb = {"Limiter.Threshold%d.dB", dbRange(-24, 24), 0.0};
inline constexpr RegisteredParam kLimiterLookaheadMs = {"Limiter.Lookahead%d.msec", exactRange(0, 90), 5.0};
inline constexpr RegisteredParam kLimiterAttackMs = {"Limiter.Attack%d.msec", smoothingTimeRange(0, 1000), 10.0};
inline constexpr RegisteredParam kLimiterReleaseMs = {"Limiter.Release%d.msec", smoothingTimeRange(0, 5000), 500.0};

// ---- ten-band saturator ----
inline constexpr RegisteredParam kSaturatorLevelPercent = {"Saturator.Level%d.%%", scaleRange(0, 100), 15.0};
inline constexpr RegisteredParam kSaturatorGainDb = {"Saturator.Gain%d.dB", dbRange(-24, 24), 0.0};
// Keeps the clip level finite and positive: the clip meter divides by it.
inline constexpr RegisteredParam kSaturatorClipDb = {"Saturator.Clip%d.dB", dbRange(-24, 24), 0.0};

// ---- ten-band equaliser ----
inline constexpr RegisteredParam kTenBandEqPreampDb = {"10BandEQ.Preamp.dB", dbRange(-24, 24), 0.0};
inline constexpr RegisteredParam kTenBandEqBandDb = {"10BandEQ.Band%d.dB", dbRange(-24, 24), 0.0};

// ---- final limiter ----
inline constexpr RegisteredParam kFinalLimiterDriveDb = {"FinalLimiter.Drive.dB", dbRange(-24, 24), 0.0};
inline constexpr RegisteredParam kFinalLimiterThresholdDb = {"FinalLimiter.Threshold.dB", dbRange(-24, 24), 0.0};
inline constexpr RegisteredParam kFinalLimiterLookaheadMs = {"FinalLimiter.Lookahead.msec", exactRange(0, 90), 5.0};
inline constexpr RegisteredParam kFinalLimiterAttackMs = {"FinalLimiter.Attack.msec", smoothingTimeRange(0, 1000), 10.0};
inline constexpr RegisteredParam kFinalLimiterReleaseMs = {"FinalLimiter.Release.msec", smoothingTimeRange(0, 5000), 500.0};

// ---- final clipper ----
inline constexpr RegisteredParam kFinalClipperDriveDb = {"FinalClipper.Drive.dB", dbRange(-24, 24), 0.0};
inline constexpr RegisteredParam kFinalClipperThresholdDb = {"FinalClipper.Threshold.dB", dbRange(-12, 12), -0.1};

// ---- test tone generator: working controls, never stored ----
// Both start at other values (written at start-up); nothing applies the registered default of 0.
inline constexpr RegisteredParam kTestToneLevelDb = {"", dbRange(-60, 12), 0.0};
inline constexpr RegisteredParam kTestToneFrequencyHz = {"", exactRange(20, 20480), 0.0};
