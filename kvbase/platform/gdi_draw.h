#ifndef KVBASE_PLATFORM_GDI_DRAW_H
#define KVBASE_PLATFORM_GDI_DRAW_H

// Drawing into a device context of the library's software GDI: lines with the current position,
// rectangles, polygons and single pixels. Coordinates are logical (device pixels moved by the
// viewport origin); everything is clipped to the selected bitmap.
//
// Lines use the selected pen and leave out their end point when the pen is one pixel wide, so that a
// polyline drawn with MoveToEx and successive LineTo calls paints every pixel once. Wide pens paint the
// area a square of the pen's width sweeps along the line, both ends included: a pen of width w covers
// offsets -w/2 to w - 1 - w/2 across a horizontal or vertical line. Shapes fill their
// interior with the selected brush first and then outline it with the pen; NULL_PEN and NULL_BRUSH
// skip either step.

#include "kvbase/platform/export.h"
#include "kvbase/platform/windows_types.h"

// Sets the current position; the previous one goes to `previous` when that is not null.
KVBASE_API BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
KVBASE_API BOOL GetCurrentPositionEx(HDC dc, POINT* position);

// Draws from the current position to (x, y), without (x, y) itself for a one-pixel pen, and moves the
// current position there.
KVBASE_API BOOL LineTo(HDC dc, int x, int y);

// The rectangle from (left, top) to (right, bottom), right and bottom excluded as in GDI: the outline
// runs along columns left and right - 1 and rows top and bottom - 1; the brush fills what lies within.
// With NULL_PEN the filled area is one pixel smaller in both directions (right - 2, bottom - 2), as in
// GDI. Corners in either order.
KVBASE_API BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);

// A closed polygon of `count` (at least 2) points: pixels whose centre lies inside by the alternate
// (even-odd) rule are filled with the brush, then the outline is drawn with the pen, vertices
// included. The current position does not move.
KVBASE_API BOOL Polygon(HDC dc, const POINT* points, int count);

// Sets one pixel to the colour nearest `color` that the device can show, and returns that colour;
// CLR_INVALID outside the bitmap or for a bad handle.
KVBASE_API COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);

// The colour of one pixel; CLR_INVALID outside the bitmap or for a bad handle.
KVBASE_API COLORREF GetPixel(HDC dc, int x, int y);

#endif  // KVBASE_PLATFORM_GDI_DRAW_H
