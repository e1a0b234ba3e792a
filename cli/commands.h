// The commands of the drelvant program; each takes the arguments after its name and returns the exit status.
#pragma once

namespace cli {

int runProcessCommand(int argc, char** argv);
int runPresetsCommand(int argc, char** argv);
int runResponseCommand(int argc, char** argv);
int runDemoCommand(int argc, char** argv);
int runBenchCommand(int argc, char** argv);
int runManualCommand(int argc, char** argv);
int runParamsCommand(int argc, char** argv);

}  // namespace cli
