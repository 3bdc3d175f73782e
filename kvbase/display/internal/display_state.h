#ifndef KVBASE_DISPLAY_INTERNAL_DISPLAY_STATE_H
#define KVBASE_DISPLAY_INTERNAL_DISPLAY_STATE_H

// The display's process-wide state, plain global data set up at load: the bitmap description that every
// image draw rewrites (header and a 256-entry colour table that draws update entry by entry), the gray
// and colour-cube palettes with the handles made from them, the palette handle saved by the last
// selection of one of them, the image device context's bitmap description and the current image device
// context. Used from one thread at a time, like the rest of the library.

#include "kvbase/platform/gdi.h"

namespace kvbase::internal::display {

// A BITMAPINFO with room for the whole colour table.
struct KBitmapDescription {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
  BITMAPINFO* Info() { return reinterpret_cast<BITMAPINFO*>(this); }
};

// A LOGPALETTE with room for `kEntries` entries.
template <int kEntries>
struct KPaletteDescription {
  WORD palVersion;
  WORD palNumEntries;  // 0 until the palette has been built
  PALETTEENTRY palPalEntry[kEntries];
  LOGPALETTE* Get() { return reinterpret_cast<LOGPALETTE*>(this); }
};

struct KDisplayState {
  KBitmapDescription drawDescription;
  KPaletteDescription<256> grayPalette;
  HPALETTE grayPaletteHandle;
  KPaletteDescription<216> cubePalette;
  HPALETTE cubePaletteHandle;
  HPALETTE savedPalette;
  KBitmapDescription imageDcDescription;
  HDC currentImageDc;
};

KDisplayState& KDisplay();

}  // namespace kvbase::internal::display

#endif  // KVBASE_DISPLAY_INTERNAL_DISPLAY_STATE_H
