// `drelvant response`: the frequency response sweep of a preset, as CSV and as an SVG drawn like the plot window.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "analysis/response_sweep.h"
#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/progress.h"
#include "dsp/db.h"
#include "dsp/live_params.h"
#include "host/plugin.h"
#include "params/engine.h"

namespace cli {
namespace {

const char kResponseHelp[] =
    "Usage: drelvant response [--preset P] [-o FILE.svg] [--csv FILE] [options]\n"
    "\n"
    "Measures the frequency response of the processing chain with a preset, as the\n"
    "plug-in's frequency response window does: a sine of amplitude 0.5 (-6 dBFS)\n"
    "steps through 334 frequencies from 20 Hz to 20338 Hz, 100 per octave taken\n"
    "every third, through every stage the preset switches on, on a private copy of\n"
    "the engine. At each frequency the sine plays for a settling time, then the\n"
    "output is measured over a window of whole periods (at least 4096 frames) as\n"
    "sqrt(2) x its RMS: the amplitude of the output sine, 1.0 = full scale. A chain\n"
    "that leaves the level alone draws its curve on the 0.5 line. The chain's\n"
    "processing delay is taken into account. With dynamic stages on (AGC,\n"
    "compressors, limiters, clippers) the curve shows what they make of a slowly\n"
    "sweeping steady tone.\n"
    "\n"
    "Options\n"
    "  --preset P       F1 ... F7, a user slot 1 ... 99, or a preset file.\n"
    "                   Default: the startup preset.\n"
    "  -o, --svg FILE   draw the plot as an SVG image: octave axis labelled 32 ... 16K,\n"
    "                   lines at 0.5 and 1.0, the curve, and the time the sweep took.\n"
    "  --csv FILE       write the table: frequency_hz, amplitude, db (20 log10 of the\n"
    "                   amplitude, dB re full scale).\n"
    "                   Without -o and --csv the table goes to standard output.\n"
    "  --dir DIR        settings directory for user presets.\n"
    "  --seed N         seed of the dither noise (default 1; its effect is far below\n"
    "                   what the plot shows).\n"
    "  -q, --quiet      no progress bar and no summary line.\n"
    "  -h, --help       this text.\n";

// The plot window's client area; the drawing uses the window's own coordinates.
constexpr int kPlotWidth = 360;
constexpr int kPlotHeight = 200;
constexpr int kPlotLeft = 16;
constexpr int kPlotTop = 10;
constexpr int kLabelWidth = 30;
constexpr double kFirstLabelHz = 31.25;
constexpr const char* kAxisLabels[] = {"32", "64", "125", "250", "500", "1K", "2K", "4K", "8K", "16K"};
constexpr const char* kGridColour = "#660000";   // COLORREF 0x000066
constexpr const char* kTextColour = "#ff0000";   // COLORREF 0x0000FF
constexpr const char* kCurveColour = "#ff0000";  // COLORREF 0x0000FF
constexpr double kFontSize = 11.5;               // a 14-pixel GDI cell
constexpr double kFontAscent = 11.0;

std::string svgLine(int x1, int y1, int x2, int y2) {
    char text[128];
    std::snprintf(text, sizeof text, "  <line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\"/>\n", x1, y1, x2, y2);
    return text;
}

std::string escapeXml(const std::string& text) {
    std::string result;
    for (const char c : text) {
        switch (c) {
            case '&': result += "&amp;"; break;
            case '<': result += "&lt;"; break;
            case '>': result += "&gt;"; break;
            case '"': result += "&quot;"; break;
            default: result += c;
        }
    }
    return result;
}

std::string drawSvg(const SweepFrequencyTable& table, const std::string& title) {
    const int right = kPlotWidth;
    const int bottom = kPlotHeight;
    const double baseY = bottom - 20.0;
    const double scale = baseY - 10.0;
    const int y0 = static_cast<int>(baseY);
    const int yTop = static_cast<int>(baseY - scale);
    const int yHalf = static_cast<int>(baseY - scale * 0.5);

    std::string svg;
    char text[256];
    std::snprintf(text, sizeof text,
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\">\n",
                  2 * kPlotWidth, 2 * kPlotHeight, kPlotWidth, kPlotHeight);
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += text;
    svg += "  <title>" + escapeXml(title) + "</title>\n";
    std::snprintf(text, sizeof text, "  <rect width=\"%d\" height=\"%d\" fill=\"#000000\"/>\n", kPlotWidth, kPlotHeight);
    svg += text;

    svg += std::string("  <g stroke=\"") + kGridColour + "\" stroke-width=\"1\" shape-rendering=\"crispEdges\">\n";
    svg += svgLine(kPlotLeft, y0, right, y0);
    svg += svgLine(kPlotLeft, yTop, right, yTop);
    svg += svgLine(kPlotLeft, yHalf, right, yHalf);
    svg += svgLine(kPlotLeft, yTop, kPlotLeft, y0);
    std::string labels;
    double next = kFirstLabelHz;
    size_t label = 0;
    for (int i = 0; i <= kSweepTableLast; i += kSweepTableStep) {
        if (next > table.frequency[i] || label >= std::size(kAxisLabels)) continue;
        next *= 2;
        const int x = i / kSweepTableStep;
        svg += svgLine(x + kPlotLeft, yTop, x + kPlotLeft, y0);
        std::snprintf(text, sizeof text, "    <text x=\"%.1f\" y=\"%.1f\">%s</text>\n", x + 1 + kLabelWidth / 2.0,
                      y0 + 3 + kFontAscent, kAxisLabels[label++]);
        labels += text;
    }
    svg += "  </g>\n";

    std::snprintf(text, sizeof text,
                  "  <g fill=\"%s\" font-family=\"sans-serif\" font-size=\"%.1f\" text-anchor=\"middle\">\n", kTextColour,
                  kFontSize);
    svg += text;
    svg += labels;
    std::snprintf(text, sizeof text, "    <text x=\"%.1f\" y=\"%.1f\">Time To Complete Chart: %.1f sec</text>\n",
                  kPlotWidth / 2.0, 30 + kFontAscent, table.duration);
    svg += text;
    svg += "  </g>\n";

    std::snprintf(text, sizeof text, "  <polyline fill=\"none\" stroke=\"%s\" stroke-width=\"1\" points=\"", kCurveColour);
    svg += text;
    for (int i = 0; i <= kSweepTableLast; i += kSweepTableStep) {
        const int x = i / kSweepTableStep + kPlotLeft;
        const int y = static_cast<int>(baseY - scale * table.response[i]);
        std::snprintf(text, sizeof text, "%s%d,%d", i == 0 ? "" : " ", x, y);
        svg += text;
    }
    svg += "\"/>\n</svg>\n";
    return svg;
}

std::string formatCsv(const SweepFrequencyTable& table) {
    std::string csv = "frequency_hz,amplitude,db\n";
    char line[96];
    for (int i = 0; i <= kSweepTableLast; i += kSweepTableStep) {
        const double amplitude = table.response[i];
        std::snprintf(line, sizeof line, "%u,%.9f,%.2f\n", static_cast<unsigned>(table.frequency[i]), amplitude,
                      LinearToDb(amplitude + 0.00001));
        csv += line;
    }
    return csv;
}

}  // namespace

int runResponseCommand(int argc, char** argv) {
    ArgumentCursor cursor = makeCursor(argc, argv, 0);
    std::string presetText, svgPath, csvPath, directory;
    uint32_t seed = 1;
    bool quiet = false;
    while (!atEnd(cursor)) {
        const std::string argument = cursor.arguments[cursor.next++];
        if (isHelpOption(argument)) {
            std::fputs(kResponseHelp, stdout);
            return kExitOk;
        } else if (argument == "--preset") {
            if (!takeValue(cursor, argument, &presetText)) return kExitUsage;
        } else if (argument == "-o" || argument == "--svg") {
            if (!takeValue(cursor, argument, &svgPath)) return kExitUsage;
        } else if (argument == "--csv") {
            if (!takeValue(cursor, argument, &csvPath)) return kExitUsage;
        } else if (argument == "--dir") {
            if (!takeValue(cursor, argument, &directory)) return kExitUsage;
        } else if (argument == "--seed") {
            if (!takeSeed(cursor, argument, &seed)) return kExitUsage;
        } else if (argument == "-q" || argument == "--quiet") {
            quiet = true;
        } else {
            printError("unexpected argument '%s' for response (see drelvant response --help)", argument.c_str());
            return kExitUsage;
        }
    }

    std::string error;
    if (!directory.empty() && !useSettingsDirectory(directory, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    PresetChoice choice;
    if (!presetText.empty() && !parsePresetChoice(presetText, &choice, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    // Only measures: the module is started but not stopped, because stopping rewrites the settings file.
    startModule(true, seed);
    if (!applyPresetChoice(choice, &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    const std::string presetDescription = describePreset(choice);

    static SweepFrequencyTable sweepTable;
    ResetResponsePlot(sweepTable);
    const LiveParams parameters = PluginEngine().live;
    std::atomic<bool> cancel{false};
    std::atomic<int> pointsDone{0};
    std::atomic<bool> finished{false};
    bool complete = false;
    std::thread sweep([&] {
        complete = FrequencyResponseSweep(parameters, sweepTable, &cancel, &pointsDone);
        finished.store(true);
    });
    Progress progress;
    startProgress(progress, "measuring", kSweepPointCount, 0);
    progress.enabled = progress.enabled && !quiet;
    while (!finished.load()) {
        if (interrupted()) cancel.store(true);
        updateProgress(progress, pointsDone.load());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    sweep.join();
    finishProgress(progress);
    if (!complete) {
        printError(interrupted() ? "interrupted" : "the sweep could not run (out of memory)");
        return interrupted() ? kExitInterrupted : kExitFailure;
    }

    if (!svgPath.empty() && !writeFileAtomically(svgPath, drawSvg(sweepTable, "Drelvant frequency response, " +
                                                                                  presetDescription),
                                                 &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    const bool csvToStandardOutput = csvPath == "-" || (csvPath.empty() && svgPath.empty());
    if ((!csvPath.empty() || csvToStandardOutput) &&
        !writeFileAtomically(csvToStandardOutput ? "-" : csvPath, formatCsv(sweepTable), &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    if (!quiet) {
        std::fprintf(csvToStandardOutput || svgPath == "-" ? stderr : stdout,
                     "Measured %d frequencies in %.1f s with %s\n", kSweepPointCount, sweepTable.duration,
                     presetDescription.c_str());
    }
    return kExitOk;
}

}  // namespace cli
