#ifndef KVBASE_PLATFORM_WINDOWS_TYPES_H
#define KVBASE_PLATFORM_WINDOWS_TYPES_H

// The few Windows base types that the library's interface names. On Windows these come from
// <windows.h>; here they are plain typedefs of the same widths, so that code written against the
// Windows names reads the same on Linux: integer types, handles, colours, points, sizes, rectangles.

#include <cstdint>

typedef int BOOL;
typedef unsigned char BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef unsigned int UINT;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Handles are opaque values. The structures they point to are never defined: the platform layer keeps
// its objects in a table and looks every handle up there, so that a null, deleted or wrong-kind handle
// is recognised and refused instead of being followed.
typedef struct KWindow* HWND;
typedef struct KDeviceContext* HDC;
typedef struct KPenHandle* HPEN;
typedef struct KBrushHandle* HBRUSH;
typedef struct KBitmapHandle* HBITMAP;
typedef struct KPaletteHandle* HPALETTE;
typedef struct KFontHandle* HFONT;
// Any GDI object: every handle kind above converts to it implicitly, as on Windows.
typedef void* HGDIOBJ;

// A colour as 0x00BBGGRR: red in the low byte.
typedef DWORD COLORREF;
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | ((COLORREF)((BYTE)(g)) << 8) | ((COLORREF)((BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)((c)&0xFF))
#define GetGValue(c) ((BYTE)(((c) >> 8) & 0xFF))
#define GetBValue(c) ((BYTE)(((c) >> 16) & 0xFF))
// The failure result of the colour functions.
#define CLR_INVALID ((COLORREF)0xFFFFFFFF)

struct POINT {
  LONG x;
  LONG y;
};

struct SIZE {
  LONG cx;
  LONG cy;
};

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

#endif  // KVBASE_PLATFORM_WINDOWS_TYPES_H
