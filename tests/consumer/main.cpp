// Uses the installed library through its one include, as client code written against the classic
// interface does: the strings it hands out are taken as char*, the container codes by name.

#include <cstdio>

#include "kvbase/kvbase.h"

static_assert(K_FILE_FORMAT_TIFF == 1 && K_FILE_FORMAT_BMP == 7 && K_FILE_FORMAT_JPEG == 10,
              "the containers' codes are those a load stores on recognition");

int main() {
  KImageBW8 image(64, 48);
  KROIBW8 roi(&image, 8, 8, 32, 16);
  roi.SetEllipseMask(0, 0, 0, 0);
  image.SetTitle("part");
  char* version = KGetVersion();
  char* title = image.GetTitle();
  char* unit = KUnit_mm.GetName();
  if (KFailure() || roi.GetMask().GetNumElements() != 16 || title == nullptr || unit[0] != 'm') {
    std::printf("unexpected: %s\n", KGetErrorText());
    return 1;
  }
  std::printf("kvbase %s: a %d-run ellipse mask on a %d x %d ROI of \"%s\"\n", version, roi.GetMask().GetNumElements(),
              roi.GetWidth(), roi.GetHeight(), title);
  return 0;
}
