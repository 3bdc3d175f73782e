// kvtool's picture subcommands: view, plot, relief, colorhist.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "any_image.h"
#include "commands.h"
#include "kvbase/files/image_files.h"
#include "kvbase/foundation/units.h"
#include "kvbase/render/color_histogram.h"
#include "kvbase/render/relief.h"
#include "kvbase/vectors/profile_vectors.h"
#include "picture_support.h"
#include "tool_support.h"
#include "view_drawing.h"

namespace kvtool {

namespace {

constexpr float kDegreesPerRadian = 57.29577951308232f;

// The picture of `image` and, when `roi` is given, its mask and frame.
template <typename T>
bool DrawView(KImage<T>& image, const ViewOptions& o, Canvas& canvas) {
  HDC dc = canvas.dc();
  KOk();
  if (o.lut || o.threshold) {
    KBW8Vector table;
    if (o.lut)
      table.SetupGainOffset(o.gainOffsetGamma[0], o.gainOffsetGamma[1], o.gainOffsetGamma[2]);
    else
      table.SetupThreshold(static_cast<unsigned char>(o.thresholdLevel), 0, 255);
    image.Draw(dc, &table, o.zoomX, o.zoomY);
  } else {
    image.Draw(dc, o.zoomX, o.zoomY);
  }
  if (KFailure()) return false;
  if (!o.roi && o.mask == MaskShape::kNone) return true;

  KROI<T> roi(&image, 0, 0, image.GetWidth(), image.GetHeight());
  if (o.roi) roi.SetPlacement(o.roiX, o.roiY, o.roiW, o.roiH);
  if (KFailure()) return false;
  SetMaskShape(roi, o.mask, o.ringRatio);
  if (KFailure()) return false;
  OverlayPens pens;
  if (o.mask != MaskShape::kNone) pens.mask = canvas.Pen(RGB(0, 200, 0));
  if (o.frame) pens.frame = canvas.Pen(RGB(255, 0, 0));
  DrawRoiOverlay(roi, dc, pens, o.framePosition, o.zoomX, o.zoomY, 0.0f, 0.0f);
  return true;
}

// Picture size for an image at the given zoom, with room for a frame drawn outside.
int Extent(int pixels, float zoom) { return std::max(1, static_cast<int>(std::ceil(pixels * zoom))) + 8; }

}  // namespace

int RunView(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"zoom", "lut", "threshold", "roi", "mask", "frame", "kind"})) return 2;
  if (args.HelpAsked() || args.Positionals().size() != 2) {
    std::printf(
        "usage: kvtool view IN OUT.bmp [--zoom Z[,ZY]] [--lut GAIN,OFFSET,GAMMA | --threshold T]\n"
        "                  [--roi X,Y,W,H] [--mask rect|ellipse|ring:RATIO] [--frame on-border|inside|outside]\n"
        "  draws the image (BW8 through the lookup table) into a picture, then the ROI's mask in green and its\n"
        "  frame with handles in red\n");
    return args.HelpAsked() ? 0 : 2;
  }
  ViewOptions options;
  std::string problem;
  if (!ParseViewOptions(args, options, problem)) return UsageError(problem);
  const KPixelKind* kind = nullptr;
  if (auto text = args.Get("kind")) {
    kind = ParseKind(*text);
    if (kind == nullptr) return UsageError("--kind must be BW1|BW8|BW16|C15|C16|C24");
  }
  const std::string& in = args.Positionals()[0];
  const std::string& out = args.Positionals()[1];
  short format;
  auto image = LoadImageFile(in, kind, format);
  if (!image) return FailWithCurrentError("loading " + in);
  const float zoomY = options.zoomY == 0.0f ? options.zoomX : options.zoomY;
  Canvas canvas(Extent(image->Generic().GetWidth(), options.zoomX), Extent(image->Generic().GetHeight(), zoomY));
  if (!canvas.ok()) {
    KSetError(K_ERROR_ALLOCATION);
    return FailWithCurrentError("creating the picture");
  }
  if (!image->Visit([&](auto& typed) { return DrawView(typed, options, canvas); }))
    return FailWithCurrentError("drawing " + in);
  if (!canvas.Save(out)) return FailWithCurrentError("writing " + out);
  return 0;
}

namespace {

// The profile or histogram of a gray image, drawn with the context's pen.
void PlotGray(HDC dc, KImageBW8& gray, bool histogram, int count, const std::function<std::pair<int, int>(int)>& at) {
  if (histogram) {
    KBW32Vector bins(256);
    CountGrayLevels(gray, bins);
    bins.Draw(dc, 720, 420, 0, 0);
    return;
  }
  KBW8Vector profile(count);
  for (int k = 0; k < count; ++k) profile.AddElement(gray.GetPixel(at(k).first, at(k).second));
  profile.Draw(dc, 720, 420, 0, 0);
}

// The profile of a colour image, or its histogram as one curve per component on a common scale.
void PlotColour(Canvas& canvas, KImageC24& colour, bool histogram, int count,
                const std::function<std::pair<int, int>(int)>& at) {
  HDC dc = canvas.dc();
  if (!histogram) {
    KC24Vector profile(count);
    for (int k = 0; k < count; ++k) profile.AddElement(colour.GetPixel(at(k).first, at(k).second));
    profile.Draw(dc, 720, 420, 0, 0, canvas.Pen(RGB(200, 0, 0)), canvas.Pen(RGB(0, 160, 0)),
                 canvas.Pen(RGB(0, 0, 200)));
    return;
  }
  KBW32Vector bins[3] = {KBW32Vector(256), KBW32Vector(256), KBW32Vector(256)};
  for (KBW32Vector& b : bins) {
    b.SetNumElements(256);
    for (int v = 0; v < 256; ++v) b[v] = 0;
  }
  unsigned int highest = 1;
  for (int y = 0; y < colour.GetHeight(); ++y)
    for (int x = 0; x < colour.GetWidth(); ++x) {
      const KC24 p = colour.GetPixel(x, y);
      highest = std::max({highest, ++bins[0][p.byte2], ++bins[1][p.byte1], ++bins[2][p.byte0]});
    }
  const COLORREF colours[3] = {RGB(200, 0, 0), RGB(0, 160, 0), RGB(0, 0, 200)};
  for (int c = 0; c < 3; ++c) {
    bins[c].SetYRange(0, highest);
    SelectObject(dc, canvas.Pen(colours[c]));
    bins[c].Draw(dc, 720, 420, 0, 0);
  }
}

}  // namespace

int RunPlot(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"row", "column"}, {"histogram"})) return 2;
  const int modes = args.Has("row") + args.Has("column") + args.Has("histogram");
  if (args.HelpAsked() || args.Positionals().size() != 2 || modes != 1) {
    std::printf(
        "usage: kvtool plot IN OUT.bmp (--row N | --column N | --histogram)\n"
        "  plots a gray or colour image's row or column profile, or its histogram\n");
    return args.HelpAsked() ? 0 : 2;
  }
  const std::string& in = args.Positionals()[0];
  const std::string& out = args.Positionals()[1];
  short format;
  auto image = LoadImageFile(in, nullptr, format);
  if (!image) return FailWithCurrentError("loading " + in);
  if (image->Kind().type != K_IMAGE_BW8 && image->Kind().type != K_IMAGE_C24) {
    image = LoadImageFile(in, &K_PIXEL_KIND_BW8, format);
    if (!image) return FailWithCurrentError("loading " + in + " as BW8");
  }
  KGenericROI& g = image->Generic();
  long long index = 0;
  const bool row = args.Has("row"), histogram = args.Has("histogram");
  if (!histogram) {
    if (!ParseInt(*args.Get(row ? "row" : "column"), index) || index < 0 ||
        index >= (row ? g.GetHeight() : g.GetWidth()))
      return UsageError(std::string(row ? "--row" : "--column") + " is outside the image");
  }
  const int count = histogram ? 256 : (row ? g.GetWidth() : g.GetHeight());
  const auto at = [&](int k) {
    return row ? std::pair<int, int>{k, static_cast<int>(index)} : std::pair<int, int>{static_cast<int>(index), k};
  };

  Canvas canvas(720, 420);
  HDC dc = canvas.dc();
  HGDIOBJ oldPen = SelectObject(dc, canvas.Pen(RGB(0, 0, 160)));
  KOk();
  if (image->Kind().type == K_IMAGE_BW8)
    PlotGray(dc, image->As<unsigned char>(), histogram, count, at);
  else
    PlotColour(canvas, image->As<KC24>(), histogram, count, at);
  SelectObject(dc, oldPen);
  if (KFailure()) return FailWithCurrentError("plotting " + in);
  if (!canvas.Save(out)) return FailWithCurrentError("writing " + out);
  return 0;
}

namespace {

struct SceneOptions {
  float tilt = 30.0f, turn = 30.0f;
  std::vector<float> scale = {1.0f, 1.0f, 1.0f};
};

bool ParseScene(const Args& args, SceneOptions& o, std::string& problem) {
  if (auto t = args.Get("tilt"); t && !ParseFloat(*t, o.tilt)) return problem = "--tilt needs degrees", false;
  if (auto t = args.Get("turn"); t && !ParseFloat(*t, o.turn)) return problem = "--turn needs degrees", false;
  if (auto s = args.Get("scale"); s && !ParseFloats(*s, 3, o.scale)) return problem = "--scale must be X,Y,Z", false;
  for (float s : o.scale)
    if (std::fabs(s) > 100.0f) return problem = "scale factors must lie within -100 to 100", false;
  return true;
}

// A destination large enough for the relief of a width x height source at scale factors up to 1.
int ReliefSide(int width, int height) { return std::min(4096, std::max(64, (width + height) * 3 / 2)); }

}  // namespace

int RunRelief(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"tilt", "turn", "scale", "dot", "colors"})) return 2;
  if (args.HelpAsked() || args.Positionals().size() != 2) {
    std::printf(
        "usage: kvtool relief IN OUT.bmp [--tilt A] [--turn B] [--scale X,Y,Z] [--dot 1|4|5|9] [--colors FILE]\n"
        "  renders the gray levels of IN as heights, seen from angles in degrees (default 30, 30);\n"
        "  with --colors, each point takes its colour from FILE (same size as IN)\n");
    return args.HelpAsked() ? 0 : 2;
  }
  SceneOptions scene;
  std::string problem;
  if (!ParseScene(args, scene, problem)) return UsageError(problem);
  long long dot = 1;
  if (auto d = args.Get("dot"); d && !ParseInt(*d, dot)) return UsageError("--dot must be 1, 4, 5 or 9");
  const std::string& in = args.Positionals()[0];
  const std::string& out = args.Positionals()[1];
  short format;
  auto heights = LoadImageFile(in, &K_PIXEL_KIND_BW8, format);
  if (!heights) return FailWithCurrentError("loading " + in + " as BW8 heights");
  KImageBW8& h = heights->As<unsigned char>();
  const int side = ReliefSide(h.GetWidth(), h.GetHeight());
  KOk();
  if (auto colorsPath = args.Get("colors")) {
    auto colours = LoadImageFile(*colorsPath, &K_PIXEL_KIND_C24, format);
    if (!colours) return FailWithCurrentError("loading " + *colorsPath + " as C24 colours");
    KImageC24 destination(side, side);
    if (KFailure()) return FailWithCurrentError("sizing the relief");
    // The colour relief takes its angles in radians.
    KRender3D(&colours->As<KC24>(), &h, &destination, scene.tilt / kDegreesPerRadian, scene.turn / kDegreesPerRadian,
              scene.scale[0], scene.scale[1], scene.scale[2], static_cast<int>(dot));
    if (KFailure()) return FailWithCurrentError("rendering the colour relief of " + in);
    KSaveImage(&destination, out.c_str(), K_FILE_FORMAT_AUTO);
  } else {
    KImageBW8 destination(side, side);
    if (KFailure()) return FailWithCurrentError("sizing the relief");
    KSetAngleUnit(K_ANGLE_UNIT_DEGREES);
    KRender3D(&h, &destination, scene.tilt, scene.turn, scene.scale[0], scene.scale[1], scene.scale[2],
              static_cast<int>(dot));
    if (KFailure()) return FailWithCurrentError("rendering the relief of " + in);
    KSaveImage(&destination, out.c_str(), K_FILE_FORMAT_AUTO);
  }
  if (KFailure()) return FailWithCurrentError("saving " + out);
  return 0;
}

int RunColorHist(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"tilt", "turn", "scale"})) return 2;
  if (args.HelpAsked() || args.Positionals().size() != 2) {
    std::printf(
        "usage: kvtool colorhist IN OUT.bmp [--tilt A] [--turn B] [--scale X,Y,Z]\n"
        "  draws every colour of IN as a point in the colour cube (red, green, blue axes), seen from\n"
        "  angles in degrees (default 30, 30)\n");
    return args.HelpAsked() ? 0 : 2;
  }
  SceneOptions scene;
  std::string problem;
  if (!ParseScene(args, scene, problem)) return UsageError(problem);
  const std::string& in = args.Positionals()[0];
  const std::string& out = args.Positionals()[1];
  short format;
  auto colours = LoadImageFile(in, &K_PIXEL_KIND_C24, format);
  if (!colours) return FailWithCurrentError("loading " + in + " as C24");
  KOk();
  KImageC24 destination(512, 512);
  KSetAngleUnit(K_ANGLE_UNIT_DEGREES);
  KRenderColorHistogram(&colours->As<KC24>(), &destination, scene.tilt, scene.turn, scene.scale[0], scene.scale[1],
                        scene.scale[2]);
  if (KFailure()) return FailWithCurrentError("rendering the colour histogram of " + in);
  KSaveImage(&destination, out.c_str(), K_FILE_FORMAT_AUTO);
  if (KFailure()) return FailWithCurrentError("saving " + out);
  return 0;
}

}  // namespace kvtool
