// The console's HTTP API as the help texts describe it.
#pragma once

namespace console {

extern const char kConsoleApiHelp[];

}  // namespace console
