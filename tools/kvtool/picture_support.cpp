#include "picture_support.h"

#include "kvbase/display/dc_bitmap_file.h"
#include "kvbase/foundation/errors.h"

namespace kvtool {

Canvas::Canvas(int width, int height) : dc_(KCreateMemoryDC(width, height, 24)), pens_{} {
  if (dc_ == nullptr) return;
  HGDIOBJ oldPen = SelectObject(dc_, GetStockObject(NULL_PEN));
  HGDIOBJ oldBrush = SelectObject(dc_, GetStockObject(WHITE_BRUSH));
  Rectangle(dc_, 0, 0, width + 1, height + 1);
  SelectObject(dc_, oldBrush);
  SelectObject(dc_, oldPen);
}

Canvas::~Canvas() {
  if (dc_ != nullptr) DeleteDC(dc_);
  for (int i = 0; i < penCount_; ++i) DeleteObject(pens_[i]);
}

HPEN Canvas::Pen(COLORREF colour) {
  if (penCount_ == static_cast<int>(sizeof pens_ / sizeof pens_[0])) return pens_[penCount_ - 1];
  return pens_[penCount_++] = CreatePen(PS_SOLID, 1, colour);
}

bool Canvas::Save(const std::string& path) {
  KOk();
  KSaveDCBitmap(dc_, path.c_str());
  return KGetError() == K_SUCCESS;
}

void CountGrayLevels(KImageBW8& gray, KBW32Vector& bins) {
  bins.SetNumElements(256);
  for (int v = 0; v < 256; ++v) bins[v] = 0;
  for (int y = 0; y < gray.GetHeight(); ++y)
    for (int x = 0; x < gray.GetWidth(); ++x) ++bins[gray.GetPixel(x, y)];
}

}  // namespace kvtool
