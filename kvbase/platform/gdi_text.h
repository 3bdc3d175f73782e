#ifndef KVBASE_PLATFORM_GDI_TEXT_H
#define KVBASE_PLATFORM_GDI_TEXT_H

// Text in a device context of the library's software GDI, drawn with one built-in fixed-pitch bitmap
// font: every character cell is 6 x 12 pixels (ascent 9, descent 3), printable ASCII has glyphs, any
// other byte shows as a hollow box. No font file is read and no font can be selected.
//
// The reference point given to TextOutA is placed by the text alignment: horizontally at the left
// edge, centre or right edge of the string, vertically at the top of the cells, the baseline or the
// bottom. In OPAQUE background mode the cells are first filled with the background colour.

#include "kvbase/platform/export.h"
#include "kvbase/platform/windows_types.h"

// Text alignment flags: one horizontal, one vertical, and optionally TA_UPDATECP.
constexpr UINT TA_NOUPDATECP = 0;
constexpr UINT TA_UPDATECP = 1;
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;
// The result of GetTextAlign and SetTextAlign for a bad handle.
constexpr UINT GDI_ERROR = 0xFFFFFFFF;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Draws `length` characters of `text` with its reference point at logical (x, y); with TA_UPDATECP
// the current position is used instead of (x, y) and moves past the text.
KVBASE_API BOOL TextOutA(HDC dc, int x, int y, const char* text, int length);

// The width (length x 6) and height (12) of `length` characters.
KVBASE_API BOOL GetTextExtentPoint32A(HDC dc, const char* text, int length, SIZE* size);

// Each setter returns the previous value; the alignment setters GDI_ERROR, the others 0 (or
// CLR_INVALID for colours) for a bad handle or value. A new device context has TA_LEFT | TA_TOP,
// OPAQUE, black text on a white background.
KVBASE_API UINT SetTextAlign(HDC dc, UINT align);
KVBASE_API UINT GetTextAlign(HDC dc);
KVBASE_API int SetBkMode(HDC dc, int mode);
KVBASE_API int GetBkMode(HDC dc);
KVBASE_API COLORREF SetTextColor(HDC dc, COLORREF color);
KVBASE_API COLORREF GetTextColor(HDC dc);
KVBASE_API COLORREF SetBkColor(HDC dc, COLORREF color);
KVBASE_API COLORREF GetBkColor(HDC dc);

#endif  // KVBASE_PLATFORM_GDI_TEXT_H
