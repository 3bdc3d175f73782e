#ifndef KVTOOL_COMMANDS_H
#define KVTOOL_COMMANDS_H

// The subcommands of kvtool. Each takes the arguments after its name and returns the exit status.

namespace kvtool {

int RunInfo(int argc, char** argv);
int RunConvert(int argc, char** argv);
int RunRaw(int argc, char** argv);
int RunResize(int argc, char** argv);
int RunView(int argc, char** argv);
int RunPlot(int argc, char** argv);
int RunRelief(int argc, char** argv);
int RunColorHist(int argc, char** argv);
int RunShow(int argc, char** argv);
int RunTour(int argc, char** argv);

}  // namespace kvtool

#endif  // KVTOOL_COMMANDS_H
