// kvtool tour: the typical road through the library on built-in pictures, writing every picture and file
// into a folder and printing an index of what it wrote.

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "kvbase/files/image_files.h"
#include "kvbase/render/color_histogram.h"
#include "kvbase/render/relief.h"
#include "kvbase/render/resize.h"
#include "kvbase/vectors/profile_vectors.h"
#include "picture_support.h"
#include "synthetic.h"
#include "tool_support.h"

namespace kvtool {

namespace {

struct Written {
  std::string file;
  std::string what;
};

class Tour {
 public:
  explicit Tour(std::string folder) : folder_(std::move(folder)) {}

  int Run();

 private:
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  // Records a file written by the last step; false (after reporting) when the step failed.
  bool Wrote(const std::string& name, const std::string& what, const std::string& doing) {
    if (KFailure()) {
      FailWithCurrentError(doing);
      return false;
    }
    written_.push_back({name, what});
    return true;
  }

  bool StartingPictures();
  bool TheRoad();
  bool Renderers();
  bool Plots();
  void PrintIndex() const;

  std::string folder_;
  std::vector<Written> written_;
  KImageBW8 gray_;
  KImageC24 colour_;
};

bool Tour::StartingPictures() {
  MakeGrayScene(gray_, 320, 240);
  MakeColourScene(colour_, 320, 240);
  KOk();
  gray_.Save(Path("scene-gray.bmp").c_str(), K_FILE_FORMAT_AUTO);
  if (!Wrote("scene-gray.bmp", "the built-in gray scene, 320 x 240, as an 8-bit BMP", "saving the gray scene"))
    return false;
  colour_.Save(Path("scene-colour.jpg").c_str(), K_FILE_FORMAT_AUTO);
  if (!Wrote("scene-colour.jpg", "the built-in colour scene as a JPEG (quality 50)", "saving the colour scene"))
    return false;
  colour_.Save(Path("scene-colour.bmp").c_str(), K_FILE_FORMAT_AUTO);
  return Wrote("scene-colour.bmp", "the same colour scene as a 24-bit BMP", "saving the colour scene");
}

// Load, ROI, ellipse mask, lookup-table draw, frame with handles, a drag, save as TIFF.
bool Tour::TheRoad() {
  KImageBW8 image;
  KOk();
  image.Load(Path("scene-gray.bmp").c_str());
  if (KFailure()) return FailWithCurrentError("loading scene-gray.bmp"), false;
  KROIBW8 roi(&image, 80, 50, 160, 140);
  roi.SetEllipseMask(0, 0, 0, 0);
  KBW8Vector lut;
  lut.SetupGainOffset(1.4f, -50.0f, 0.7f);

  Canvas canvas(image.GetWidth() * 2 + 8, image.GetHeight() * 2 + 8);
  HDC dc = canvas.dc();
  HPEN framePen = canvas.Pen(RGB(230, 0, 0)), maskPen = canvas.Pen(RGB(0, 190, 0));
  const auto drawFrame = [&] {
    HGDIOBJ oldPen = SelectObject(dc, framePen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    roi.DrawFrame(dc, K_FRAME_POSITION_OUTSIDE, 1, 2.0f, 0.0f, 0.0f, 0.0f);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
  };
  image.Draw(dc, &lut, 2.0f, 0.0f);
  drawFrame();
  if (!canvas.Save(Path("road-view.bmp"))) return FailWithCurrentError("writing road-view.bmp"), false;
  written_.push_back({"road-view.bmp",
                      "the scene at zoom 2 through a gain/offset/gamma table, with an ROI's frame "
                      "and its eight handles"});
  HGDIOBJ oldPen = SelectObject(dc, maskPen);
  roi.DrawMask(dc, 2.0f, 0.0f, 0.0f, 0.0f);
  SelectObject(dc, oldPen);
  drawFrame();
  if (!canvas.Save(Path("road-mask.bmp"))) return FailWithCurrentError("writing road-mask.bmp"), false;
  written_.push_back({"road-mask.bmp", "the same with the ROI's " + std::to_string(roi.GetMask().GetNumElements()) +
                                           "-run ellipse mask painted over it"});

  // A user grabs the east handle and drags it 40 device pixels to the right.
  const int eastX = (roi.GetTotalOrgX() + roi.GetWidth()) * 2, middleY = (roi.GetTotalOrgY() + roi.GetHeight() / 2) * 2;
  const K_HANDLES handle = roi.HitTest(eastX, middleY, 2.0f, 0.0f, 0.0f, 0.0f);
  roi.Drag(handle, eastX + 40, middleY, 2.0f, 0.0f, 0.0f, 0.0f);
  std::printf("dragged handle %d: the ROI is now %d x %d at (%d, %d)\n", handle, roi.GetWidth(), roi.GetHeight(),
              roi.GetOrgX(), roi.GetOrgY());

  image.SetTitle("kvbase tour");
  image.SetAuthor("kvtool");
  image.SetDate("");
  image.SetComment("the gray scene after a round trip through BMP");
  image.SetResolution(300.0f, 300.0f, &KUnit_inch);
  KOk();
  image.Save(Path("road.tif").c_str(), K_FILE_FORMAT_AUTO);
  if (!Wrote("road.tif", "the loaded image as TIFF with title, author, date, comment and 300 dpi", "saving road.tif"))
    return false;
  roi.Save(Path("road-roi.tif").c_str(), K_FILE_FORMAT_TIFF_GRAY_PACKBITS);
  return Wrote("road-roi.tif", "the dragged ROI alone, PackBits-compressed TIFF", "saving road-roi.tif");
}

bool Tour::Renderers() {
  KOk();
  KImageBW8 large(800, 600);
  KResize(&gray_, &large);
  large.Save(Path("resized.tif").c_str(), K_FILE_FORMAT_AUTO);
  if (!Wrote("resized.tif", "the gray scene resized to 800 x 600", "resizing")) return false;

  KImageBW8 relief(600, 600);
  KSetAngleUnit(K_ANGLE_UNIT_DEGREES);
  KRender3D(&gray_, &relief, 35.0f, 25.0f, 1.0f, 1.0f, 0.6f, 4);
  relief.Save(Path("relief.bmp").c_str(), K_FILE_FORMAT_AUTO);
  if (!Wrote("relief.bmp", "the gray scene as a 3D relief (tilt 35, turn 25 degrees, 2 x 2 dots)",
             "rendering the relief"))
    return false;

  KImageC24 draped(600, 600);
  KRender3D(&colour_, &gray_, &draped, 0.6f, 0.45f, 1.0f, 1.0f, 0.6f, 4);
  draped.Save(Path("relief-colour.bmp").c_str(), K_FILE_FORMAT_AUTO);
  if (!Wrote("relief-colour.bmp", "the colour scene draped over the gray relief", "rendering the colour relief"))
    return false;

  KImageC24 cube(512, 512);
  KRenderColorHistogram(&colour_, &cube, 30.0f, 35.0f, 1.2f, 1.2f, 1.2f);
  cube.Save(Path("colorhist.bmp").c_str(), K_FILE_FORMAT_AUTO);
  return Wrote("colorhist.bmp", "every colour of the colour scene in the RGB cube", "rendering the colour histogram");
}

bool Tour::Plots() {
  const int row = gray_.GetHeight() / 2;
  KBW8Vector profile(gray_.GetWidth());
  for (int x = 0; x < gray_.GetWidth(); ++x) profile.AddElement(gray_.GetPixel(x, row));
  KBW32Vector histogram(256);
  CountGrayLevels(gray_, histogram);
  KBW8Vector lut;
  lut.SetupGainOffset(1.4f, -50.0f, 0.7f);

  struct Plot {
    const char* file;
    std::string what;
    void (*draw)(HDC, void*);
    void* vector;
  } plots[] = {
      {"plot-profile.bmp", "the gray levels along row " + std::to_string(row),
       [](HDC dc, void* v) { static_cast<KBW8Vector*>(v)->Draw(dc, 720, 420, 0, 0); }, &profile},
      {"plot-histogram.bmp", "the histogram of the gray scene",
       [](HDC dc, void* v) { static_cast<KBW32Vector*>(v)->Draw(dc, 720, 420, 0, 0); }, &histogram},
      {"plot-lut.bmp", "the lookup table of the road view",
       [](HDC dc, void* v) { static_cast<KBW8Vector*>(v)->Draw(dc, 720, 420, 0, 0); }, &lut},
  };
  for (const Plot& p : plots) {
    Canvas canvas(720, 420);
    HGDIOBJ old = SelectObject(canvas.dc(), canvas.Pen(RGB(0, 0, 170)));
    p.draw(canvas.dc(), p.vector);
    SelectObject(canvas.dc(), old);
    KOk();
    canvas.Save(Path(p.file));
    if (!Wrote(p.file, p.what, std::string("writing ") + p.file)) return false;
  }
  return true;
}

void Tour::PrintIndex() const {
  std::printf("\nkvtool tour wrote %zu files into %s:\n", written_.size(), folder_.c_str());
  for (const Written& w : written_) std::printf("  %-20s %s\n", w.file.c_str(), w.what.c_str());
  std::printf(
      "\nThe road view live, with the ROI to drag: kvtool show %s --roi 80,50,160,140 --zoom 2 --mask ellipse\n",
      Path("scene-gray.bmp").c_str());
}

int Tour::Run() {
  mkdir(folder_.c_str(), 0755);
  struct stat info;
  if (stat(folder_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    KSetError(K_ERROR_FILE_OPEN);
    return FailWithCurrentError("creating the folder " + folder_);
  }
  if (!StartingPictures() || !TheRoad() || !Renderers() || !Plots()) return 1;
  PrintIndex();
  return 0;
}

}  // namespace

int RunTour(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {})) return 2;
  if (args.HelpAsked() || args.Positionals().size() != 1) {
    std::printf(
        "usage: kvtool tour OUTDIR\n"
        "  walks the typical road (load, ROI, ellipse mask, lookup-table draw, frame, drag, TIFF) and\n"
        "  every renderer and plot on built-in pictures, writing each result into OUTDIR\n");
    return args.HelpAsked() ? 0 : 2;
  }
  return Tour(args.Positionals()[0]).Run();
}

}  // namespace kvtool
