#include "kvbase/platform/gdi_text.h"

#include "kvbase/platform/internal/bitmap_font.h"
#include "kvbase/platform/internal/gdi_handles.h"

using kvgdi::Find;

namespace {

constexpr UINT kHorizontalMask = TA_CENTER;  // TA_LEFT, TA_RIGHT or TA_CENTER
constexpr UINT kVerticalMask = TA_BASELINE;  // TA_TOP, TA_BOTTOM or TA_BASELINE

bool ValidAlign(UINT align) {
  return (align & ~(TA_UPDATECP | kHorizontalMask | kVerticalMask)) == 0 && (align & kHorizontalMask) != 4 &&
         (align & kVerticalMask) != 16;
}

// The text and background colours: Set keeps the low 24 bits and returns the previous colour; both
// give CLR_INVALID for a handle that is not a device context.
using ColourField = COLORREF kvgdi::DeviceContext::*;

COLORREF SwapColour(HDC dc, ColourField field, COLORREF color) {
  kvgdi::DeviceContext* context = Find<kvgdi::DeviceContext>(dc);
  if (context == nullptr) return CLR_INVALID;
  const COLORREF previous = context->*field;
  context->*field = color & 0xFFFFFF;
  return previous;
}

COLORREF ReadColour(HDC dc, ColourField field) {
  kvgdi::DeviceContext* context = Find<kvgdi::DeviceContext>(dc);
  return context == nullptr ? CLR_INVALID : context->*field;
}

}  // namespace

BOOL TextOutA(HDC dc, int x, int y, const char* text, int length) {
  kvgdi::Target target;
  if (!kvgdi::FindTarget(dc, &target) || length < 0 || (text == nullptr && length > 0)) return FALSE;
  kvgdi::DeviceContext& context = *target.dc;
  const UINT align = context.textAlign;
  if (align & TA_UPDATECP) {
    x = context.position.x;
    y = context.position.y;
  }
  const std::int64_t width = static_cast<std::int64_t>(length) * kvgdi::kCellWidth;
  std::int64_t left = target.X(x);
  if ((align & kHorizontalMask) == TA_RIGHT) left -= width;
  if ((align & kHorizontalMask) == TA_CENTER) left -= width / 2;
  std::int64_t top = target.Y(y);
  if ((align & kVerticalMask) == TA_BASELINE) top -= kvgdi::kAscent;
  if ((align & kVerticalMask) == TA_BOTTOM) top -= kvgdi::kCellHeight;

  kvgdi::Surface& surface = *target.surface;
  if (context.backgroundMode == OPAQUE)
    surface.FillRect(left, top, left + width, top + kvgdi::kCellHeight,
                     surface.Encode(kvgdi::BgrxFromColorref(context.backgroundColor)));
  if (length > 0)
    kvgdi::DrawGlyphs(surface, left, top, text, length, surface.Encode(kvgdi::BgrxFromColorref(context.textColor)));

  if (align & TA_UPDATECP) {
    // The current position moves past the text in the direction it was written from.
    const std::int64_t advance = (align & kHorizontalMask) == TA_RIGHT  ? -width
                                 : (align & kHorizontalMask) == TA_LEFT ? width
                                                                        : 0;
    context.position.x = static_cast<LONG>(context.position.x + advance);
  }
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC dc, const char* text, int length, SIZE* size) {
  if (Find<kvgdi::DeviceContext>(dc) == nullptr || size == nullptr || length < 0 || (text == nullptr && length > 0) ||
      length > 0x7FFFFFFF / kvgdi::kCellWidth)
    return FALSE;
  size->cx = length * kvgdi::kCellWidth;
  size->cy = kvgdi::kCellHeight;
  return TRUE;
}

UINT SetTextAlign(HDC dc, UINT align) {
  kvgdi::DeviceContext* context = Find<kvgdi::DeviceContext>(dc);
  if (context == nullptr || !ValidAlign(align)) return GDI_ERROR;
  const UINT previous = context->textAlign;
  context->textAlign = align;
  return previous;
}

UINT GetTextAlign(HDC dc) {
  kvgdi::DeviceContext* context = Find<kvgdi::DeviceContext>(dc);
  return context == nullptr ? GDI_ERROR : context->textAlign;
}

int SetBkMode(HDC dc, int mode) {
  kvgdi::DeviceContext* context = Find<kvgdi::DeviceContext>(dc);
  if (context == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  const int previous = context->backgroundMode;
  context->backgroundMode = mode;
  return previous;
}

int GetBkMode(HDC dc) {
  kvgdi::DeviceContext* context = Find<kvgdi::DeviceContext>(dc);
  return context == nullptr ? 0 : context->backgroundMode;
}

COLORREF SetTextColor(HDC dc, COLORREF color) { return SwapColour(dc, &kvgdi::DeviceContext::textColor, color); }

COLORREF GetTextColor(HDC dc) { return ReadColour(dc, &kvgdi::DeviceContext::textColor); }

COLORREF SetBkColor(HDC dc, COLORREF color) { return SwapColour(dc, &kvgdi::DeviceContext::backgroundColor, color); }

COLORREF GetBkColor(HDC dc) { return ReadColour(dc, &kvgdi::DeviceContext::backgroundColor); }
