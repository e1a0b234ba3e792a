// Writing the JSON report and the list of its fields.
#include "cli/json_report.h"

#include <cmath>
#include <cstdio>

#include "cli/cli_common.h"
#include "cli/hosting.h"

namespace cli {
namespace {

struct FieldDoc {
    const char* name;
    const char* type;
    const char* meaning;
};

// Field names are stable: scripts rely on them. Add, never rename.
const FieldDoc kFields[] = {
    {"program", "string", "the program and its version, \"Drelvant v1.20\""},
    {"files", "array", "one entry per input, in the order given"},
    {"files[].input", "string", "the input as named"},
    {"files[].output", "string", "the output as named"},
    {"files[].status", "string", "\"processed\", \"processed-with-warnings\", \"failed\", \"skipped\" (--skip-existing) or \"not-started\" (a signal came first); the fields below only when processed"},
    {"files[].reason", "string", "\"failed\" only: why the file was not processed"},
    {"files[].warnings", "array", "strings: each warning about the file (cut short, samples that are not numbers, a target not reached); empty with \"processed\""},
    {"files[].input_format", "object", "the input's format"},
    {"files[].input_format.description", "string", "\"44100 Hz stereo 16-bit WAV\""},
    {"files[].input_format.rate", "integer", "sample rate, Hz"},
    {"files[].input_format.channels", "integer", "1 or 2"},
    {"files[].input_format.sample_format", "string", "\"16-bit\", \"24-bit\", \"32-bit float\", \"Vorbis\", ..."},
    {"files[].output_format", "object", "the output's format, the same fields"},
    {"files[].output_format.description", "string", ""},
    {"files[].output_format.rate", "integer", ""},
    {"files[].output_format.channels", "integer", ""},
    {"files[].output_format.sample_format", "string", ""},
    {"files[].preset", "object", "the preset processed with"},
    {"files[].preset.source", "string", "\"factory\", \"user\", \"file\", \"startup factory\" or \"startup user\""},
    {"files[].preset.number", "string|null", "\"F1\" ... \"F7\" or a user slot \"1\" ... \"99\"; null for a file"},
    {"files[].preset.name", "string", "the preset's name"},
    {"files[].preset.file", "string|null", "the preset file's path (source \"file\")"},
    {"files[].latency_frames", "integer", "the processing delay, frames at 44100 Hz"},
    {"files[].latency_ms", "number", "the same in milliseconds"},
    {"files[].latency_removed", "boolean", "false with --keep-latency"},
    {"files[].primed_seconds", "number", "seconds of the input the processor was primed on; 0: not primed"},
    {"files[].conversions", "array", "strings: what was done to the audio on its way (resampling, channels, path, sample format)"},
    {"files[].input_loudness", "object", "figures of the input as read"},
    {"files[].input_loudness.duration_seconds", "number", ""},
    {"files[].input_loudness.integrated_lufs", "number|null", "EBU R 128 integrated loudness; null for silence"},
    {"files[].input_loudness.loudness_range_lu", "number", "EBU Tech 3342 loudness range"},
    {"files[].input_loudness.true_peak_dbtp", "number|null", "true peak (4x oversampled below 96 kHz, 2x below 192 kHz); null for silence"},
    {"files[].input_loudness.sample_peak_dbfs", "number|null", "largest sample; null for silence"},
    {"files[].input_loudness.hard_clipped_samples", "integer", "samples at +/-32764 of 32768 or beyond"},
    {"files[].output_loudness", "object|null", "the output's figures, the same fields (null when not measured)"},
    {"files[].output_loudness.duration_seconds", "number", ""},
    {"files[].output_loudness.integrated_lufs", "number|null", ""},
    {"files[].output_loudness.loudness_range_lu", "number", ""},
    {"files[].output_loudness.true_peak_dbtp", "number|null", ""},
    {"files[].output_loudness.sample_peak_dbfs", "number|null", ""},
    {"files[].output_loudness.hard_clipped_samples", "integer", ""},
    {"files[].output_measured", "string", "\"from the samples written\", \"by decoding the written file\" or \"before encoding\""},
    {"files[].clipped_samples", "object", "samples clipped on the way (not by the processor)"},
    {"files[].clipped_samples.into_16_bit_path", "integer", "input beyond 16-bit full scale after conversion"},
    {"files[].clipped_samples.output_quantisation", "integer", "output beyond full scale when quantised for the file"},
    {"files[].delivery", "object|null", "--ceiling and --target; null when neither was given"},
    {"files[].delivery.ceiling_dbtp", "number", "the true-peak ceiling"},
    {"files[].delivery.target_lufs", "number|null", "--target; null without it"},
    {"files[].delivery.processed_lufs", "number|null", "--target: the output's loudness before the gain"},
    {"files[].delivery.gain_db", "number", "the gain applied before the ceiling"},
    {"files[].delivery.limiter_reduction_db", "number", "the most the limiter took off"},
    {"files[].delivery.encoder_ceiling_dbtp", "number|null", "lossy output: the ceiling the encoder was given"},
    {"files[].delivery.encodings", "integer", "lossy output: times encoded (again when the decoded peak was past the ceiling)"},
    {"files[].timings", "object", ""},
    {"files[].timings.audio_seconds", "number", "the input's duration"},
    {"files[].timings.processing_seconds", "number", "wall time from opening the input to the finished output"},
    {"files[].timings.speed", "number", "audio seconds per second of processing"},
};

std::string number(double value) {
    if (!std::isfinite(value)) return "null";
    char text[40];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string integer(unsigned long long value) { return std::to_string(value); }

std::string stringOrNull(const std::string& text) { return text.empty() ? "null" : jsonString(text); }

std::string formatObject(const AudioFormat& format) {
    return "{\"description\": " + jsonString(describeFormat(format)) + ", \"rate\": " + integer(format.rate) +
           ", \"channels\": " + integer(format.channels) + ", \"sample_format\": " +
           jsonString(isRawFormat(format) ? "16-bit" : sampleFormatName(format.format)) + "}";
}

std::string figuresObject(const LoudnessFigures& figures) {
    if (!figures.measured) return "null";
    return "{\"duration_seconds\": " + number(static_cast<double>(figures.frames) / figures.rate) +
           ", \"integrated_lufs\": " + number(figures.integratedLufs) + ", \"loudness_range_lu\": " +
           number(figures.rangeLu) + ", \"true_peak_dbtp\": " + number(figures.truePeakDbtp) +
           ", \"sample_peak_dbfs\": " + number(figures.samplePeakDbfs) +
           ", \"hard_clipped_samples\": " + integer(figures.hardClippedSamples) + "}";
}

std::string fileObject(const JsonFileEntry& entry) {
    std::string text = "    {\"input\": " + jsonString(entry.input) + ", \"output\": " + jsonString(entry.output) +
                       ", \"status\": " + jsonString(entry.status);
    if (!entry.reason.empty()) text += ", \"reason\": " + jsonString(entry.reason);
    if (entry.report == nullptr) return text + "}";
    const ProcessReport& r = *entry.report;
    const std::string indent = ",\n      ";
    text += indent + "\"warnings\": [";
    for (size_t i = 0; i < r.warnings.size(); ++i) text += (i > 0 ? ", " : "") + jsonString(r.warnings[i]);
    text += "]";
    text += indent + "\"input_format\": " + formatObject(r.inputAudio);
    text += indent + "\"output_format\": " + formatObject(r.outputAudio);
    text += indent + "\"preset\": {\"source\": " + jsonString(r.presetFacts.source) +
            ", \"number\": " + stringOrNull(r.presetFacts.number) + ", \"name\": " + jsonString(r.presetFacts.name) +
            ", \"file\": " + stringOrNull(r.presetFacts.file) + "}";
    text += indent + "\"latency_frames\": " + integer(static_cast<unsigned long long>(r.latencyFrames)) +
            ", \"latency_ms\": " + number(1000.0 * r.latencyFrames / kSampleRate) +
            ", \"latency_removed\": " + (r.latencyKept ? "false" : "true") +
            ", \"primed_seconds\": " + number(r.primingSeconds);
    text += indent + "\"conversions\": [";
    for (size_t i = 0; i < r.conversions.size(); ++i) text += (i > 0 ? ", " : "") + jsonString(r.conversions[i]);
    text += "]";
    text += indent + "\"input_loudness\": " + figuresObject(r.input);
    text += indent + "\"output_loudness\": " + figuresObject(r.output);
    text += indent + "\"output_measured\": " +
            jsonString(r.outputMeasured.empty() ? "from the samples written"
                       : r.outputMeasured.compare(0, 15, "before encoding") == 0 ? "before encoding"
                                                                                 : r.outputMeasured);
    text += indent + "\"clipped_samples\": {\"into_16_bit_path\": " + integer(r.inputClippedSamples) +
            ", \"output_quantisation\": " + integer(r.outputClippedSamples) + "}";
    if (r.delivered) {
        const bool lossy = isLossyFormat(r.outputAudio.format);
        text += indent + "\"delivery\": {\"ceiling_dbtp\": " + number(r.ceilingDbtp) +
                ", \"target_lufs\": " + (r.targetGiven ? number(r.targetLufs) : "null") +
                ", \"processed_lufs\": " + (r.targetGiven ? number(r.processedLufs) : "null") +
                ", \"gain_db\": " + number(r.gainDb) + ", \"limiter_reduction_db\": " + number(r.limiterReductionDb) +
                ", \"encoder_ceiling_dbtp\": " + (lossy ? number(r.encoderCeilingDbtp) : "null") +
                ", \"encodings\": " + integer(static_cast<unsigned long long>(r.encodings)) + "}";
    } else {
        text += indent + "\"delivery\": null";
    }
    text += indent + "\"timings\": {\"audio_seconds\": " + number(r.audioSeconds) +
            ", \"processing_seconds\": " + number(r.processingSeconds) + ", \"speed\": " +
            number(r.processingSeconds > 0.0 ? r.audioSeconds / r.processingSeconds : 0.0) + "}";
    return text + "}";
}

// Length of the well-formed UTF-8 sequence starting at text[at] (1 to 4), or 0 when none starts there
// (a stray continuation byte, a cut sequence, an overlong form, a surrogate, beyond U+10FFFF).
size_t utf8SequenceLength(const std::string& text, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    unsigned lowest = 0, highest = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, lowest = 0x80;
    else if (lead == 0xE0) length = 3, lowest = 0xA0;
    else if (lead == 0xED) length = 3, lowest = 0x80, highest = 0x9F;
    else if (lead >= 0xE1 && lead <= 0xEF) length = 3, lowest = 0x80;
    else if (lead == 0xF0) length = 4, lowest = 0x90;
    else if (lead >= 0xF1 && lead <= 0xF3) length = 4, lowest = 0x80;
    else if (lead == 0xF4) length = 4, lowest = 0x80, highest = 0x8F;
    else return 0;
    if (at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[at + i]);
        const unsigned low = i == 1 ? lowest : 0x80, high = i == 1 ? highest : 0xBF;
        if (next < low || next > high) return 0;
    }
    return length;
}

}  // namespace

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        const char c = text[at];
        const unsigned char byte = static_cast<unsigned char>(c);
        const size_t length = utf8SequenceLength(text, at);
        if (length == 0) {
            out += "\\ufffd";
            ++at;
            continue;
        }
        if (length > 1) {
            out.append(text, at, length);
            at += length;
            continue;
        }
        ++at;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string jsonReport(const std::vector<JsonFileEntry>& files) {
    std::string text = "{\n  \"program\": " + jsonString(versionText()) + ",\n  \"files\": [\n";
    for (size_t i = 0; i < files.size(); ++i) text += fileObject(files[i]) + (i + 1 < files.size() ? ",\n" : "\n");
    return text + "  ]\n}\n";
}

std::string jsonFieldsHelp() {
    std::string text =
        "JSON report (--json FILE): one document, {\"program\": ..., \"files\": [...]}, an entry\n"
        "per input (one for a single file). Numbers in dB, LUFS, LU and seconds; null\n"
        "where a figure does not exist (the loudness of silence). The names stay.\n";
    for (const FieldDoc& field : kFields) {
        char line[400];
        std::snprintf(line, sizeof line, "  %-42s %-12s %s\n", field.name, field.type, field.meaning);
        text += line;
    }
    return text;
}

}  // namespace cli
