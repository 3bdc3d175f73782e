// kvtool: the command-line face of kvbase. One program with subcommands; `kvtool SUBCOMMAND --help`
// explains each.

#include <cstdio>
#include <cstring>

#include "commands.h"
#include "kvbase/foundation/errors.h"

namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* summary;
};

constexpr Command kCommands[] = {
    {"info", kvtool::RunInfo, "describe an image file"},
    {"convert", kvtool::RunConvert, "load an image and save it in another format"},
    {"raw", kvtool::RunRaw, "write the loaded pixels as tightly packed rows"},
    {"resize", kvtool::RunResize, "resize an image (nearest neighbour, exact)"},
    {"view", kvtool::RunView, "draw an image, an ROI's mask and frame into a picture"},
    {"plot", kvtool::RunPlot, "plot a row or column profile or the histogram"},
    {"relief", kvtool::RunRelief, "render a gray image as a 3D relief"},
    {"colorhist", kvtool::RunColorHist, "render the colours of an image in the colour cube"},
    {"show", kvtool::RunShow, "show an image in a window and move its ROI with the mouse"},
    {"tour", kvtool::RunTour, "the demo: walk through the library, writing every picture"},
};

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "usage: kvtool SUBCOMMAND [ARGS...]   (kvtool SUBCOMMAND --help for details)\n\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
}

}  // namespace

int main(int argc, char** argv) {
  // Errors are reported by kvtool itself, one line each; no trace boxes on standard error.
  KSetTraceMode(K_TRACE_SILENT);
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  for (const Command& c : kCommands)
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
  std::fprintf(stderr, "kvtool: unknown subcommand '%s'\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}
