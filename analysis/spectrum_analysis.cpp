// Octave table, single-precision transform of the capture ring, and the analyser's bar heights.
#include "analysis/spectrum_analysis.h"

#include <cmath>
#include <cstring>

#include "analysis/plot_geometry.h"
#include "platform/shared_value.h"


namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kTableBaseHz = 20.0;
constexpr double kOctavesPerEntry = 0.01;
constexpr double kBarScale = 5.0;
constexpr double kBarOffset = 32.0;

// j with its low `bits` bits in reverse order.
int reverseBits(int j, int bits) {
    int r = 0;
    for (int b = 0; b < bits; ++b) {
        r = (r << 1) | (j & 1);
        j >>= 1;
    }
    return r;
}

int trailingZeroBits(int count) {
    int bits = 0;
    while (count > 1 && (count & 1) == 0) {
        count >>= 1;
        ++bits;
    }
    return bits;
}

}  // namespace

void BuildOctaveFrequencyTable(uint16_t table[kOctaveTableSize]) {
    std::memset(table, 0, kOctaveTableSize * sizeof table[0]);
    for (int i = 0; i < kOctaveTableEntries; ++i)
        table[i] = static_cast<uint16_t>(kTableBaseHz * std::pow(2.0, i * kOctavesPerEntry));
}

void SpectrumTransform(SpectrumWork& work, const CaptureRingView& ring, int count, int back) {
    std::memset(work.inputReal, 0, sizeof work.inputReal);
    std::memset(work.outputReal, 0, sizeof work.outputReal);
    std::memset(work.outputImag, 0, sizeof work.outputImag);
    if (count <= 0 || count > kSpectrumLength) return;

    // The stretch ends `back` frames before the write index; uint16_t arithmetic wraps the ring.
    uint16_t index = static_cast<uint16_t>(loadShared(*ring.writeIndex) - back - kSpectrumLength);
    for (int j = 0; j < count; ++j, ++index)
        work.inputReal[j] = static_cast<float>(loadShared(ring.samples[index]));

    float* re = work.outputReal;
    float* im = work.outputImag;
    const int bits = trailingZeroBits(count);
    for (int j = 0; j < count; ++j) {
        const int r = reverseBits(j, bits);
        re[r] = work.inputReal[j];
        im[r] = 0.0f;
    }

    // Butterflies; twiddles come from the three-term recurrence cos/sin((n+1)d) = w x prev - prev2.
    int blockEnd = 1;
    for (int blockSize = 2; blockSize <= count; blockSize <<= 1) {
        const double delta = kTwoPi / blockSize;
        const double sm2 = std::sin(-2 * delta);
        const double sm1 = std::sin(-delta);
        const double cm2 = std::cos(-2 * delta);
        const double cm1 = std::cos(-delta);
        const double w = 2 * cm1;
        for (int i = 0; i < count; i += blockSize) {
            double ar2 = cm2, ar1 = cm1;
            double ai2 = sm2, ai1 = sm1;
            for (int n = 0; n < blockEnd; ++n) {
                const int j = i + n;
                const int k = j + blockEnd;
                const double ar0 = w * ar1 - ar2;
                ar2 = ar1;
                ar1 = ar0;
                const double ai0 = w * ai1 - ai2;
                ai2 = ai1;
                ai1 = ai0;
                const double tr = ar0 * re[k] - ai0 * im[k];
                const double ti = ar0 * im[k] + ai0 * re[k];
                re[k] = static_cast<float>(re[j] - tr);
                im[k] = static_cast<float>(im[j] - ti);
                re[j] = static_cast<float>(re[j] + tr);
                im[j] = static_cast<float>(im[j] + ti);
            }
        }
        blockEnd = blockSize;
    }

    for (int k = 0; k < kSpectrumLength; ++k) work.accumulator[k] += std::fabs(work.outputReal[k]);
}


void AccumulateSpectrum(SpectrumWork& work, const CaptureRingView& ring) {
    std::memset(work.accumulator, 0, sizeof work.accumulator);
    for (int t = 0; t < kSpectrumTransforms; ++t) SpectrumTransform(work, ring, kSpectrumLength, t * kSpectrumHop);
}

void SpectrumBars(const float* accumulator, const uint16_t* table, SpectrumBar bars[kSpectrumBarCount]) {
    int lastHi = 0;
    int bar = 0;
    for (int i = 0; i < kOctaveTableEntries - 1 && bar < kSpectrumBarCount; i += kSpectrumBarStride, ++bar) {
        const int hi = table[i];
        double sum = 0.0;
        for (int pos = lastHi; pos < hi; pos += kSpectrumBinHz) sum += accumulator[pos / kSpectrumBinHz];
        double height = std::sqrt(sum) * kBarScale - kBarOffset;
        if (height < 0) height = 0;
        bars[bar].x = i / kOctaveAxisStride + kPlotLeftPx;
        bars[bar].height = height;
        lastHi = hi;
    }
}
