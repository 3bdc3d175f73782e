// kvtool show: an image in a window, with an ROI to move and resize with the mouse.

#include <cstdio>
#include <string>

#include "any_image.h"
#include "commands.h"
#include "show_view.h"
#include "show_window.h"
#include "tool_support.h"
#include "view_drawing.h"

namespace kvtool {

namespace {

void PrintShowUsage() {
  std::printf(
      "usage: kvtool show FILE [--roi X,Y,W,H] [--zoom Z] [--mask rect|ellipse|ring:RATIO]\n"
      "                        [--lut GAIN,OFFSET,GAMMA]\n"
      "  shows the image in a window with the ROI's frame (the middle half of the image without --roi);\n"
      "  at exit prints the ROI's final placement as 'roi X Y W H'\n"
      "  left-drag: a handle or an edge resizes the ROI, inside moves it   wheel: zoom at the cursor\n"
      "  right-drag or arrows: pan   + -: zoom   0: fit   m: mask   l: lookup table\n"
      "  s: write the view to FILE.view.bmp   q, Escape: quit\n");
}

}  // namespace

int RunShow(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"zoom", "lut", "roi", "mask"})) return 2;
  if (args.HelpAsked() || args.Positionals().size() != 1) {
    PrintShowUsage();
    return args.HelpAsked() ? 0 : 2;
  }
  ViewOptions options;
  std::string problem;
  if (!ParseViewOptions(args, options, problem)) return UsageError(problem);
  if (options.zoomY != 0.0f && options.zoomY != options.zoomX) return UsageError("show takes one zoom factor");

  const std::string& path = args.Positionals()[0];
  short format;
  auto image = LoadImageFile(path, nullptr, format);
  if (!image) return FailWithCurrentError("loading " + path);
  const int width = image->Generic().GetWidth(), height = image->Generic().GetHeight();
  if (options.roi && (options.roiW <= 0 || options.roiH <= 0 || options.roiX >= width || options.roiY >= height ||
                      options.roiX + options.roiW <= 0 || options.roiY + options.roiH <= 0))
    return UsageError("--roi lies outside the " + std::to_string(width) + " x " + std::to_string(height) + " image");
  ShowView view(std::move(image), path, options);
  ShowWindow window(view);
  if (!window.Open("kvtool show: " + path, problem)) {
    std::fprintf(stderr, "kvtool: showing %s: %s\n", path.c_str(), problem.c_str());
    return 1;
  }
  window.Run();
  std::printf("%s\n", view.RoiLine().c_str());
  std::fflush(stdout);
  return 0;
}

}  // namespace kvtool
