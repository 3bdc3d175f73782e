#ifndef KVBASE_DISPLAY_INTERNAL_IMAGE_TRANSFER_H
#define KVBASE_DISPLAY_INTERNAL_IMAGE_TRANSFER_H

// The two steps every image draw ends with: the palette step (on palette devices, build the gray or
// colour-cube palette once and select and realize it) and the transfer of a root image's buffer to the
// device, followed by putting the saved palette back.

#include <cstdint>

#include "kvbase/display/internal/display_state.h"

namespace kvbase::internal::display {

// Does nothing on a device without RC_PALETTE. Otherwise builds the palette when its entry count is 0
// (the gray one from the current colour table of the draw description, coarse levels first), keeps the
// palette that SelectPalette replaced as the saved palette and realizes.
void KPaletteStep(HDC dc, KPaletteKind kind);

// The pixel buffer of a root image: `pixels` is pixel (0, 0), rows `rowBits` bits apart.
struct KRootBuffer {
  const void* pixels;
  std::int64_t rowBits;
  int width;
  int height;
  int bitCount;  // 1, 8, 16, 24 or 32
};

// Rewrites the header of the draw description for the buffer and draws its area at (x, y) of size
// w x h (0 meaning the whole width or height) at logical (0, 0) of `dc`: unscaled when both factors are
// exactly 1, else stretched to trunc(w x zoomX) by trunc(h x zoomY). The vertical source origin handed to
// the device is counted from the bottom row. Last, the saved palette goes back into `dc`.
// Rows whose pitch is not the device-independent bitmap's are first copied into one that is.
void KTransfer(HDC dc, const KRootBuffer& buffer, float zoomX, float zoomY, int x, int y, int w, int h);

}  // namespace kvbase::internal::display

#endif  // KVBASE_DISPLAY_INTERNAL_IMAGE_TRANSFER_H
