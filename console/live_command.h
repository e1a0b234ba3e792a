// `drelvant live`: the processor as a JACK client with its console.
#pragma once

namespace console {

int runLiveCommand(int argc, char** argv);

}  // namespace console
