#ifndef KVBASE_DISPLAY_INTERNAL_DISPLAY_STATE_H
#define KVBASE_DISPLAY_INTERNAL_DISPLAY_STATE_H

// The display's state. Each thread has its own bitmap descriptions (the one every image draw rewrites,
// header and a 256-entry colour table that draws update entry by entry, and the image device context's),
// its own palette saved by a draw's palette step and its own current image device context: draws in
// different threads never write into each other's. The gray and colour-cube palettes are shared by all
// threads, built on first use and guarded.

#include "kvbase/platform/gdi.h"

namespace kvbase::internal::display {

// A BITMAPINFO with room for the whole colour table.
struct KBitmapDescription {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
  BITMAPINFO* Info() { return reinterpret_cast<BITMAPINFO*>(this); }
};

struct KThreadDisplay {
  KBitmapDescription drawDescription;
  HPALETTE savedPalette;  // the palette a draw's palette step replaced, put back after the transfer
  KBitmapDescription imageDcDescription;
  HDC currentImageDc;  // the last image device context this thread opened
};

// The calling thread's display state, zero at the thread's start.
KThreadDisplay& ThisThreadDisplay();

// The palette an image draw needs: none, or one of the two shared palettes.
enum class KPaletteKind { kNone, kGray, kColourCube };

// Selects the shared palette (kGray or kColourCube) into `dc`, building it first if need be, and returns the palette
// `dc` had. The gray palette is built from `colors`, the drawing thread's colour table, in a fixed order of its
// entries; the colour cube has 6 x 6 x 6 entries.
HPALETTE SelectSharedPalette(HDC dc, KPaletteKind which, const RGBQUAD* colors);
// Deletes the gray palette, so that the next gray draw builds it anew.
void ForgetGrayPalette();
// The shared palette as it is now, null while it is not built.
HPALETTE BuiltPalette(KPaletteKind which);
// Entries of the gray palette as built (0 while it is not built).
int GrayPaletteEntries();

}  // namespace kvbase::internal::display

#endif  // KVBASE_DISPLAY_INTERNAL_DISPLAY_STATE_H
