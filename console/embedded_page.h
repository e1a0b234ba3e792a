// The console's page and the plug-in's dialog templates (window titles, control captions), built
// into the program from console/page.html and resources/dialogs.rc.
#pragma once

#include <cstddef>

namespace console {

extern const char kConsolePage[];
extern const std::size_t kConsolePageSize;
extern const char kDialogTemplates[];
extern const std::size_t kDialogTemplatesSize;

}  // namespace console
