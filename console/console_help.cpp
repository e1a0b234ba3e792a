// The console's HTTP API, for `drelvant live --help` (the README says the same).
#include "console/console_help.h"

namespace console {

const char kConsoleApiHelp[] =
    "Console\n"
    "  A page and an HTTP API (JSON bodies) to watch the meters and change any value\n"
    "  while audio runs; a change reaches the audio whole at the next block.\n"
    "  GET  /                     the console page (every window, presets, meters)\n"
    "  GET  /api/engine           version, preset number and name, host and engine\n"
    "                             rates, latency in frames and ms, frames processed,\n"
    "                             uptime\n"
    "  GET  /api/params[?window=NAME]  windows (name, title) and every parameter: key,\n"
    "                             window, kind (slider, frequency, switch), unit,\n"
    "                             caption, min, max, default, decimals, tick, line,\n"
    "                             page, value\n"
    "  PUT  /api/params           {\"KEY\": value, ...} applied together, through the\n"
    "                             guards of a preset file; answers the values as\n"
    "                             applied. An unknown key: 400 naming it, nothing applied\n"
    "  GET  /api/presets          factory presets, named user slots, startup preset\n"
    "  POST /api/preset           {\"preset\": \"F3\" | 12 | \"name\"}: loads it (Load)\n"
    "  PUT  /api/presets/SLOT     {\"name\": \"...\"[, \"overwrite\": true]}: saves the\n"
    "                             current values (Save; its refusals answer 409)\n"
    "  DELETE /api/presets/SLOT   deletes a user preset (Delete)\n"
    "  POST /api/startup          {\"preset\": ...}: the startup preset (Default)\n"
    "  GET  /api/meters           every meter by name\n"
    "  GET  /api/meters/stream    the same as Server-Sent Events every 50 ms\n"
    "  GET  /api/response         frequency response of the current values (takes\n"
    "                             seconds)\n"
    "  GET  /api/spectrum         the spectrum analyser's bars (hz, height)\n"
    "  GET  /api/scope[?frames=N] the last N output samples (mono, 44100 Hz)\n"
    "  GET  /metrics              Prometheus text: meters, band reductions, clipped\n"
    "                             ticks, frames processed, latency, uptime\n"
    "  Safety: loopback only unless another address is given; any other address\n"
    "  needs the token (--console-token FILE, else one is generated and printed),\n"
    "  sent as \"Authorization: Bearer TOKEN\" or by logging in at /login (a cookie).\n"
    "  A Host or Origin that is not the console's own: 403. Bodies over 64 KB: 413.\n"
    "  Presets are named by number or name, never by a path. 50 requests a second\n"
    "  per client (429 beyond), 8 meter streams at once.\n";

}  // namespace console
