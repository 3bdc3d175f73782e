#ifndef KVBASE_PLATFORM_GDI_OBJECTS_H
#define KVBASE_PLATFORM_GDI_OBJECTS_H

// GDI objects of the library's own software GDI: memory device contexts, pens, brushes, palettes,
// stock objects, selection and the device capabilities.
//
// A device context draws into the device-independent bitmap selected into it (see gdi_dib.h). Its
// state is the usual one: pen, brush, palette, bitmap, current position, viewport origin, background
// mode and colour, text colour and alignment, stretch mode. Every function takes handles as Windows
// does and gives the failure result (0, null or CLR_INVALID) for a null, deleted or wrong-kind handle.
//
//   HDC dc = KCreateMemoryDC(64, 48, 32);      // zero-filled 32-bit bitmap already selected
//   HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 0, 0));
//   HGDIOBJ old = SelectObject(dc, pen);
//   MoveToEx(dc, 2, 2, nullptr);
//   LineTo(dc, 40, 2);
//   SelectObject(dc, old);
//   DeleteObject(pen);
//   DeleteDC(dc);                              // also deletes the bitmap KCreateMemoryDC made
//
// Objects are not shared between threads: use the GDI from one thread at a time.

#include "kvbase/platform/export.h"
#include "kvbase/platform/windows_types.h"

// Pen styles. Dashed and dotted styles are drawn solid.
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;
constexpr int PS_DOT = 2;
constexpr int PS_DASHDOT = 3;
constexpr int PS_DASHDOTDOT = 4;
constexpr int PS_NULL = 5;

// Brush styles.
constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
constexpr UINT BS_HOLLOW = BS_NULL;

// Stock objects (GetStockObject). They exist for the whole process and are never deleted.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int DEFAULT_PALETTE = 15;

// Object types (GetCurrentObject, GetObjectType).
constexpr UINT OBJ_PEN = 1;
constexpr UINT OBJ_BRUSH = 2;
constexpr UINT OBJ_DC = 3;
constexpr UINT OBJ_PAL = 5;
constexpr UINT OBJ_FONT = 6;
constexpr UINT OBJ_BITMAP = 7;
constexpr UINT OBJ_MEMDC = 10;

// Device capabilities (GetDeviceCaps).
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int SIZEPALETTE = 104;
constexpr int RC_BITBLT = 0x0001;
constexpr int RC_PALETTE = 0x0100;
constexpr int RC_DI_BITMAP = 0x0080;
constexpr int RC_DIBTODEV = 0x0200;
constexpr int RC_STRETCHDIB = 0x2000;

struct LOGPEN {
  UINT lopnStyle;
  POINT lopnWidth;  // x is the width; y is unused
  COLORREF lopnColor;
};

struct LOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  std::uintptr_t lbHatch;
};

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};

// A palette description: palVersion must be 0x300; palNumEntries entries follow, the first one in
// palPalEntry (allocate room for the rest behind the structure, as on Windows).
struct LOGPALETTE {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[1];
};

// ---- Device contexts -------------------------------------------------------------------------------

// A memory device context with the default state and a 1 x 1 monochrome stock bitmap selected.
// `compatible` may be null (compatible with the screen) or a live device context.
KVBASE_API HDC CreateCompatibleDC(HDC compatible);

// Deletes a device context made by CreateCompatibleDC or KCreateMemoryDC. The objects selected into it
// are released from it (not deleted), except the bitmap KCreateMemoryDC created, which is deleted.
KVBASE_API BOOL DeleteDC(HDC dc);

// A memory device context with a zero-filled top-down bitmap of `width` x `height` pixels and
// `bitsPerPixel` (1, 8, 16, 24 or 32) already selected; the device context owns that bitmap. With 8 bits
// per pixel it is a palette device (RC_PALETTE): colours map to the nearest entry of its palette, the
// default palette until another one is selected and realized. 16 bits use the 5-5-5 layout. Null when
// a size is not positive, the depth is not one of those five or the memory cannot be had.
KVBASE_API HDC KCreateMemoryDC(int width, int height, int bitsPerPixel);

// RASTERCAPS (RC_PALETTE whenever the selected bitmap has 8 bits per pixel), HORZRES, VERTRES, BITSPIXEL, PLANES,
// NUMCOLORS and SIZEPALETTE of the selected bitmap; 0 for other indexes or a bad handle.
KVBASE_API int GetDeviceCaps(HDC dc, int index);

// Moves the logical origin: logical (0, 0) lands on device pixel `(x, y)`. Every drawing function
// adds it. The previous origin goes to `previous` when that is not null.
KVBASE_API BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* previous);
KVBASE_API BOOL GetViewportOrgEx(HDC dc, POINT* origin);

// ---- Pens, brushes, stock objects ------------------------------------------------------------------

// A pen of `style` (PS_*), `width` device pixels (0 means 1) and `color`. Wide pens are square-tipped
// and centred on the line: a pen of width w covers offsets -w/2 to w - 1 - w/2 across it.
KVBASE_API HPEN CreatePen(int style, int width, COLORREF color);
KVBASE_API HPEN CreatePenIndirect(const LOGPEN* pen);
KVBASE_API HBRUSH CreateSolidBrush(COLORREF color);
KVBASE_API HBRUSH CreateBrushIndirect(const LOGBRUSH* brush);
KVBASE_API HGDIOBJ GetStockObject(int index);

// Selects a pen, brush or bitmap into `dc` and returns the object of the same kind that was selected
// before; null on failure (bad handle, a palette — use SelectPalette —, or a bitmap that is selected
// into another device context).
KVBASE_API HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);

// The object of `type` (OBJ_PEN, OBJ_BRUSH, OBJ_PAL, OBJ_BITMAP) currently selected into `dc`.
KVBASE_API HGDIOBJ GetCurrentObject(HDC dc, UINT type);

// OBJ_PEN, OBJ_BRUSH, OBJ_PAL, OBJ_BITMAP, OBJ_MEMDC, or 0 for anything that is not a live object.
KVBASE_API DWORD GetObjectType(HGDIOBJ object);

// Deletes a pen, brush, bitmap or palette. Stock objects are never deleted (TRUE, nothing happens).
// FALSE for a bad handle and for an object that is still selected into a device context.
KVBASE_API BOOL DeleteObject(HGDIOBJ object);

// Copies the description of `object` into `buffer`: LOGPEN for a pen, LOGBRUSH for a brush, BITMAP
// for a bitmap (gdi_dib.h), the WORD entry count for a palette. With a null buffer returns the size
// needed; returns the bytes written, or 0 when `size` is too small or the handle is bad.
KVBASE_API int GetObject(HGDIOBJ object, int size, void* buffer);
KVBASE_API int GetObjectA(HGDIOBJ object, int size, void* buffer);

// ---- Palettes --------------------------------------------------------------------------------------

// A logical palette of 1 to 256 entries; null for anything else or a palVersion other than 0x300.
KVBASE_API HPALETTE CreatePalette(const LOGPALETTE* palette);

// Selects `palette` into `dc` and returns the palette that was selected before (the stock
// DEFAULT_PALETTE in a new device context). `forceBackground` is accepted and ignored.
KVBASE_API HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);

// On a palette device made by KCreateMemoryDC, loads the selected palette into the device: the
// bitmap's colour table takes the palette's entries and colours drawn from then on map to the nearest
// of them. Returns the number of entries loaded. Pixels already drawn keep their indexes. Other device
// contexts, 8-bit DIB sections included (they keep their own colour table), load nothing: 0.
KVBASE_API UINT RealizePalette(HDC dc);

// Copies `count` entries from `start` of `palette` into `entries`; returns the number copied.
KVBASE_API UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries);

#endif  // KVBASE_PLATFORM_GDI_OBJECTS_H
