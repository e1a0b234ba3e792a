// `drelvant response`: the frequency response sweep of a preset, as CSV and as an SVG drawn like the plot window.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <cairo.h>

#include "cli/commands.h"
#include "cli/files.h"
#include "cli/hosting.h"
#include "cli/options.h"
#include "cli/progress.h"

namespace cli {
namespace {

const char kResponseHelp[] =
    "Usage: drelvant response [--preset P] [-o FILE.svg|FILE.png] [--csv FILE] [options]\n"
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
    "  -o, --svg FILE   draw the plot: octave axis labelled 32 ... 16K, lines at 0.5\n"
    "                   and 1.0, the curve, and the time the sweep took. FILE.svg is\n"
    "                   an SVG drawing, FILE.png a PNG picture (720 x 400 pixels),\n"
    "                   - an SVG on standard output.\n"
    "  --csv FILE       write the table: frequency_hz (the frequency measured),\n"
    "                   amplitude, db (20 log10 of the amplitude, dB re full scale).\n"
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
constexpr double kSilenceFloor = 0.00001;  // keeps the dB of a silent point finite

// The plot as lines, labels and a curve in the window's own coordinates, drawn by either format.
struct PlotLine {
    int x1, y1, x2, y2;
};
struct PlotLabel {
    double x, y;  // centre of the text's baseline
    std::string text;
};
struct PlotDrawing {
    std::vector<PlotLine> grid;
    std::vector<PlotLabel> labels;
    std::vector<std::pair<int, int>> curve;
};

PlotDrawing layOut(const ResponseCurve& curve) {
    const int right = kPlotWidth;
    const int bottom = kPlotHeight;
    const double baseY = bottom - 20.0;
    const double scale = baseY - 10.0;
    const int y0 = static_cast<int>(baseY);
    const int yTop = static_cast<int>(baseY - scale);
    const int yHalf = static_cast<int>(baseY - scale * 0.5);

    PlotDrawing drawing;
    drawing.grid = {{kPlotLeft, y0, right, y0}, {kPlotLeft, yTop, right, yTop}, {kPlotLeft, yHalf, right, yHalf},
                    {kPlotLeft, yTop, kPlotLeft, y0}};
    double next = kFirstLabelHz;
    size_t label = 0;
    for (size_t x = 0; x < curve.frequencyHz.size(); ++x) {
        if (next > curve.frequencyHz[x] || label >= std::size(kAxisLabels)) continue;
        next *= 2;
        const int px = static_cast<int>(x) + kPlotLeft;
        drawing.grid.push_back({px, yTop, px, y0});
        drawing.labels.push_back({static_cast<double>(x) + 1 + kLabelWidth / 2.0, y0 + 3 + kFontAscent, kAxisLabels[label++]});
    }
    char text[96];
    std::snprintf(text, sizeof text, "Time To Complete Chart: %.1f sec", curve.seconds);
    drawing.labels.push_back({kPlotWidth / 2.0, 30 + kFontAscent, text});
    for (size_t x = 0; x < curve.amplitude.size(); ++x) {
        drawing.curve.emplace_back(static_cast<int>(x) + kPlotLeft, static_cast<int>(baseY - scale * curve.amplitude[x]));
    }
    return drawing;
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

std::string drawSvg(const PlotDrawing& drawing, const std::string& title) {
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
    for (const PlotLine& line : drawing.grid) {
        std::snprintf(text, sizeof text, "  <line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\"/>\n", line.x1, line.y1, line.x2,
                      line.y2);
        svg += text;
    }
    svg += "  </g>\n";
    std::snprintf(text, sizeof text,
                  "  <g fill=\"%s\" font-family=\"sans-serif\" font-size=\"%.1f\" text-anchor=\"middle\">\n", kTextColour,
                  kFontSize);
    svg += text;
    for (const PlotLabel& label : drawing.labels) {
        std::snprintf(text, sizeof text, "    <text x=\"%.1f\" y=\"%.1f\">%s</text>\n", label.x, label.y,
                      escapeXml(label.text).c_str());
        svg += text;
    }
    svg += "  </g>\n";
    std::snprintf(text, sizeof text, "  <polyline fill=\"none\" stroke=\"%s\" stroke-width=\"1\" points=\"", kCurveColour);
    svg += text;
    for (size_t i = 0; i < drawing.curve.size(); ++i) {
        std::snprintf(text, sizeof text, "%s%d,%d", i == 0 ? "" : " ", drawing.curve[i].first, drawing.curve[i].second);
        svg += text;
    }
    svg += "\"/>\n</svg>\n";
    return svg;
}

void setColour(cairo_t* cairo, const char* hex) {
    const unsigned long rgb = std::strtoul(hex + 1, nullptr, 16);
    cairo_set_source_rgb(cairo, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
}

cairo_status_t appendPng(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// The same drawing as a PNG picture at twice the window's size, as the SVG is shown.
bool drawPng(const PlotDrawing& drawing, std::string* png) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 2 * kPlotWidth, 2 * kPlotHeight);
    cairo_t* cairo = cairo_create(surface);
    cairo_scale(cairo, 2.0, 2.0);
    setColour(cairo, "#000000");
    cairo_paint(cairo);
    cairo_set_line_width(cairo, 1.0);
    setColour(cairo, kGridColour);
    for (const PlotLine& line : drawing.grid) {  // centred on pixels, as crisp edges are
        cairo_move_to(cairo, line.x1 + 0.5, line.y1 + 0.5);
        cairo_line_to(cairo, line.x2 + 0.5, line.y2 + 0.5);
    }
    cairo_stroke(cairo);
    setColour(cairo, kTextColour);
    cairo_select_font_face(cairo, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cairo, kFontSize);
    for (const PlotLabel& label : drawing.labels) {
        cairo_text_extents_t extents;
        cairo_text_extents(cairo, label.text.c_str(), &extents);
        cairo_move_to(cairo, label.x - extents.x_advance / 2.0, label.y);
        cairo_show_text(cairo, label.text.c_str());
    }
    setColour(cairo, kCurveColour);
    for (size_t i = 0; i < drawing.curve.size(); ++i) {
        const double x = drawing.curve[i].first + 0.5, y = drawing.curve[i].second + 0.5;
        if (i == 0) {
            cairo_move_to(cairo, x, y);
        } else {
            cairo_line_to(cairo, x, y);
        }
    }
    cairo_stroke(cairo);
    cairo_destroy(cairo);
    cairo_surface_flush(surface);
    png->clear();
    const bool written = cairo_surface_write_to_png_stream(surface, appendPng, png) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return written;
}

std::string formatCsv(const ResponseCurve& curve) {
    std::string csv = "frequency_hz,amplitude,db\n";
    char line[96];
    for (size_t i = 0; i < curve.frequencyHz.size(); ++i) {
        const double amplitude = curve.amplitude[i];
        std::snprintf(line, sizeof line, "%.10g,%.9f,%.2f\n", curve.frequencyHz[i], amplitude,
                      20.0 * std::log10(amplitude + kSilenceFloor));
        csv += line;
    }
    return csv;
}

enum ResponseOptionId { kImage = kFirstCommandOption, kCsv };

const std::vector<OptionSpec> kResponseOptions = {
    kPresetOption, kDirOption, kSeedOption, kQuietOption, {"svg", 'o', true, kImage}, {"csv", 0, true, kCsv},
};

// The plot in the format its name asks for; false with a message for any other name.
bool drawPlot(const std::string& path, const ResponseCurve& curve, const std::string& title, std::string* image,
              std::string* error) {
    const PlotDrawing drawing = layOut(curve);
    const std::string extension = extensionOf(path);
    if (path == "-" || extension == "svg") {
        *image = drawSvg(drawing, title);
        return true;
    }
    if (extension == "png") {
        if (drawPng(drawing, image)) return true;
        *error = "cannot draw the PNG picture";
        return false;
    }
    *error = "cannot tell the picture format from '" + path + "': use a name ending in .svg or .png";
    return false;
}

}  // namespace

int runResponseCommand(int argc, char** argv) {
    ParsedArguments arguments;
    if (!parseArguments("response", kResponseOptions, argc, argv, &arguments)) return kExitUsage;
    if (arguments.help) {
        std::fputs(kResponseHelp, stdout);
        return kExitOk;
    }
    if (!arguments.positional.empty()) return reportUnexpectedArgument("response", arguments.positional[0]);
    SharedOptions shared;
    shared.seed = 1;
    std::string imagePath, csvPath;
    for (const ParsedOption& option : arguments.options) {
        if (takeSharedOption(option, &shared) == SharedTake::kBadValue) return kExitUsage;
        if (option.id == kImage) imagePath = option.value;
        if (option.id == kCsv) csvPath = option.value;
    }
    std::string error;
    EngineSetup setup;
    setup.fixSeed = true;
    setup.seed = shared.seed;
    if (!chooseSettingsDirectory(shared.directory, &setup.settingsDirectory, &error) ||
        (!shared.preset.empty() && !choosePreset(shared.preset, setup.settingsDirectory, &setup.preset, &error))) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    if (!imagePath.empty() && imagePath != "-" && extensionOf(imagePath) != "svg" && extensionOf(imagePath) != "png") {
        printError("cannot tell the picture format from '%s': use a name ending in .svg or .png", imagePath.c_str());
        return kExitFailure;
    }
    HostedEngine* engine = startEngine(setup, &error);
    if (engine == nullptr) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    const std::string presetDescription = describeLoadedPreset(*engine);

    ResponseCurve curve;
    std::atomic<bool> cancel{false};
    std::atomic<int> pointsDone{0};
    std::atomic<bool> finished{false};
    bool complete = false;
    std::thread sweep([&] {
        complete = measureResponse(*engine, &curve, &cancel, &pointsDone);
        finished.store(true);
    });
    Progress progress;
    startProgress(progress, "measuring", responsePointCount(), 0);
    progress.enabled = progress.enabled && !shared.quiet;
    while (!finished.load()) {
        if (interrupted()) cancel.store(true);
        updateProgress(progress, pointsDone.load());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    sweep.join();
    finishProgress(progress);
    stopEngine(engine);
    if (!complete) {
        printError(interrupted() ? "interrupted" : "the sweep could not run (out of memory)");
        return failureStatus();
    }

    std::string image;
    if (!imagePath.empty() &&
        (!drawPlot(imagePath, curve, "Drelvant frequency response, " + presetDescription, &image, &error) ||
         !writeWholeFile(imagePath, image, &error))) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    const bool csvToStandardOutput = csvPath == "-" || (csvPath.empty() && imagePath.empty());
    if ((!csvPath.empty() || csvToStandardOutput) &&
        !writeWholeFile(csvToStandardOutput ? "-" : csvPath, formatCsv(curve), &error)) {
        printError("%s", error.c_str());
        return kExitFailure;
    }
    if (!shared.quiet) {
        std::fprintf(csvToStandardOutput || imagePath == "-" ? stderr : stdout, "Measured %d frequencies in %.1f s with %s\n",
                     responsePointCount(), curve.seconds, presetDescription.c_str());
    }
    return kExitOk;
}

}  // namespace cli
