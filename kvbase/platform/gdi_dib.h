#ifndef KVBASE_PLATFORM_GDI_DIB_H
#define KVBASE_PLATFORM_GDI_DIB_H

// Device-independent bitmaps (DIBs) of the library's software GDI: the bitmap description structures,
// DIB sections, copying pixels into and out of a bitmap, and drawing a DIB into a device context at
// its own size or stretched.
//
// A DIB is described by a BITMAPINFOHEADER followed by its colour table: up to 256 RGBQUAD entries for
// 1 and 8 bits per pixel, or three DWORD masks (red, green, blue) for BI_BITFIELDS at 16 or 32 bits.
// A negative biHeight means top-down (the first row in memory is the top row); a positive one means
// bottom-up. Rows are padded to a multiple of 4 bytes. 16-bit BI_RGB pixels use the 5-5-5 layout,
// 24-bit pixels are blue, green, red bytes, 32-bit pixels blue, green, red and an unused byte.
//
// Vertical source origins of SetDIBitsToDevice and StretchDIBits are counted from the bottom row of
// the DIB, whichever its orientation: a source rectangle at ySrc with height h covers the rows
// height - ySrc - h to height - ySrc - 1 counted from the top.

#include <cstdint>

#include "kvbase/platform/export.h"
#include "kvbase/platform/windows_types.h"

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_BITFIELDS = 3;
// Colour usage: only DIB_RGB_COLORS (an RGBQUAD colour table) is supported.
constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;
constexpr DWORD SRCCOPY = 0x00CC0020;

// Stretch modes. Every mode samples the nearest source pixel, as COLORONCOLOR does.
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

// The header and the first colour table entry; callers allocate room for the rest behind it.
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

// The description GetObject gives for a bitmap.
struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;
};

static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is the 40-byte Windows header");
static_assert(sizeof(RGBQUAD) == 4, "RGBQUAD is 4 bytes");

// A bitmap of the format `info` describes (1, 8, 16, 24 or 32 bits per pixel; biClrUsed colour table
// entries, 0 meaning all of them), zero-filled, with the orientation of biHeight. `*bits` (when `bits`
// is not null) receives the address of the pixel memory, which lives as long as the bitmap.
// `dc` must be a live device context; `section` must be null and `offset` 0. Null on failure.
KVBASE_API HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, void* section,
                                    DWORD offset);

// Copies scan lines `start` to `start + count - 1` (counted from the bottom for a bottom-up source,
// from the top for a top-down one) from `pixels`, described by `info`, into `bitmap`, converting colours
// to the bitmap's format. The source has the bitmap's width and height. Returns the number of lines
// copied, 0 on failure.
KVBASE_API int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT count, const void* pixels, const BITMAPINFO* info,
                         UINT usage);

// Copies scan lines of `bitmap` into `pixels` in the format `info` asks for (its width must be the
// bitmap's; its height gives the orientation). When the bit count is the bitmap's own (1 or 8), the
// indexes are copied and the colour table of `info` is filled from the bitmap's; into another indexed
// format colours map to the nearest entry of the table the caller put in `info`. With null `pixels`
// the header of `info` is filled with the bitmap's format (bottom-up height, biSizeImage) and the
// bitmap's height is returned. Returns the number of lines copied, 0 on failure.
KVBASE_API int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT count, void* pixels, BITMAPINFO* info, UINT usage);

// Draws the `width` x `height` source rectangle at (`xSrc`, `ySrc`) of a DIB, unscaled, with its
// top-left corner at logical (`xDest`, `yDest`). `pixels` holds the scan lines `start` to
// `start + lines - 1` only (banding); rows outside them are not drawn. Colours map to the device's
// format; what falls outside the bitmap of the device context or the source is left alone. Returns
// the number of scan lines given, 0 on failure.
KVBASE_API int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                                 UINT start, UINT lines, const void* pixels, const BITMAPINFO* info, UINT usage);

// Draws the source rectangle (`xSrc`, `ySrc`, `wSrc` x `hSrc`) of a DIB into the destination rectangle
// (`xDest`, `yDest`, `wDest` x `hDest`) by nearest sampling: destination column i takes the source
// column whose extent holds the centre of i (ties go left). Sizes must be positive (no mirroring);
// `rop` must be SRCCOPY. Clipped to the device's bitmap; destination pixels whose sample falls outside
// the DIB are left alone. Returns the number of destination lines, 0 on failure.
KVBASE_API int StretchDIBits(HDC dc, int xDest, int yDest, int wDest, int hDest, int xSrc, int ySrc, int wSrc, int hSrc,
                             const void* pixels, const BITMAPINFO* info, UINT usage, DWORD rop);

// Sets the stretch mode (BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE) and returns the previous
// one (BLACKONWHITE in a new device context); 0 for a bad handle or mode.
KVBASE_API int SetStretchBltMode(HDC dc, int mode);
KVBASE_API int GetStretchBltMode(HDC dc);

#endif  // KVBASE_PLATFORM_GDI_DIB_H
