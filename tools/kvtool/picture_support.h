#ifndef KVTOOL_PICTURE_SUPPORT_H
#define KVTOOL_PICTURE_SUPPORT_H

// Pictures drawn by kvtool: a memory device context with its own pens, filled white, written to a BMP.

#include <string>

#include "kvbase/image/image.h"
#include "kvbase/platform/gdi.h"
#include "kvbase/vectors/profile_vectors.h"

namespace kvtool {

// A true-colour memory device context, white, with a few pens ready. Deletes everything it created.
class Canvas {
 public:
  Canvas(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
  bool ok() const { return dc_ != nullptr; }
  HPEN Pen(COLORREF colour);  // a 1-pixel pen, kept until the canvas goes
  // Writes the picture with the library's BMP writer; false with the current error set on failure.
  bool Save(const std::string& path);

 private:
  HDC dc_;
  HPEN pens_[8];
  int penCount_ = 0;
};

// Counts a gray image's levels into `bins`, which gets 256 elements.
void CountGrayLevels(KImageBW8& gray, KBW32Vector& bins);

}  // namespace kvtool

#endif  // KVTOOL_PICTURE_SUPPORT_H
