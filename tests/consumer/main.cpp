// Uses the installed library through its one include.

#include <cstdio>

#include "kvbase/kvbase.h"

int main() {
  KImageBW8 image(64, 48);
  KROIBW8 roi(&image, 8, 8, 32, 16);
  roi.SetEllipseMask(0, 0, 0, 0);
  if (KFailure() || roi.GetMask().GetNumElements() != 16) {
    std::printf("unexpected: %s\n", KGetErrorText());
    return 1;
  }
  std::printf("kvbase %s: a %d-run ellipse mask on a %d x %d ROI\n", KGetVersion(), roi.GetMask().GetNumElements(),
              roi.GetWidth(), roi.GetHeight());
  return 0;
}
