#include "kvbase/platform/gdi_objects.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "kvbase/platform/color_masks.h"
#include "kvbase/platform/gdi_dib.h"
#include "kvbase/platform/internal/gdi_handles.h"

using kvgdi::Bitmap;
using kvgdi::Brush;
using kvgdi::DeviceContext;
using kvgdi::Find;
using kvgdi::FindObject;
using kvgdi::Kind;
using kvgdi::Object;
using kvgdi::Palette;
using kvgdi::Pen;

namespace {

template <typename T>
std::unique_ptr<T> New() {
  return std::unique_ptr<T>(new (std::nothrow) T);
}

// Copies `value` into the caller's buffer the way GetObject does.
template <typename T>
int CopyOut(const T& value, int size, void* buffer) {
  if (buffer == nullptr) return static_cast<int>(sizeof(T));
  if (size < static_cast<int>(sizeof(T))) return 0;
  std::memcpy(buffer, &value, sizeof(T));
  return static_cast<int>(sizeof(T));
}

}  // namespace

HDC CreateCompatibleDC(HDC compatible) {
  const auto lifetimes = kvgdi::LockLifetimes();
  if (compatible != nullptr && Find<DeviceContext>(compatible) == nullptr) return nullptr;
  auto dc = New<DeviceContext>();
  if (!dc) return nullptr;
  HGDIOBJ pen = GetStockObject(BLACK_PEN), brush = GetStockObject(WHITE_BRUSH);
  HGDIOBJ palette = GetStockObject(DEFAULT_PALETTE);
  HBITMAP bitmap = kvgdi::StockBitmap();
  if (!pen || !brush || !palette || !bitmap) return nullptr;
  kvgdi::Reselect(dc->pen, static_cast<HPEN>(pen));
  kvgdi::Reselect(dc->brush, static_cast<HBRUSH>(brush));
  kvgdi::Reselect(dc->palette, static_cast<HPALETTE>(palette));
  kvgdi::Reselect(dc->bitmap, bitmap);
  return static_cast<HDC>(kvgdi::Register(std::move(dc)));
}

BOOL DeleteDC(HDC handle) {
  const auto lifetimes = kvgdi::LockLifetimes();
  DeviceContext* dc = Find<DeviceContext>(handle);
  if (dc == nullptr) return FALSE;
  HBITMAP bitmap = dc->bitmap;
  kvgdi::Reselect(dc->pen, HPEN{});
  kvgdi::Reselect(dc->brush, HBRUSH{});
  kvgdi::Reselect(dc->palette, HPALETTE{});
  kvgdi::Reselect(dc->bitmap, HBITMAP{});
  kvgdi::Unregister(handle);
  Bitmap* owned = Find<Bitmap>(bitmap);
  if (owned != nullptr && owned->owner == handle && owned->selections == 0) kvgdi::Unregister(bitmap);
  return TRUE;
}

HDC KCreateMemoryDC(int width, int height, int bitsPerPixel) {
  if (width <= 0 || height <= 0) return nullptr;
  if (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32)
    return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return nullptr;
  auto bitmap = New<Bitmap>();
  kvgdi::PixelFormat format;
  format.bitsPerPixel = bitsPerPixel;
  if (bitsPerPixel == 1) {
    format.colorCount = 2;
    format.colors[1] = 0xFFFFFF;
  } else if (bitsPerPixel == 8) {
    format.colorCount = 256;
    format.colors = kvgdi::DefaultPaletteColors();
  } else if (bitsPerPixel == 16) {
    format.SetMasks(K_COLOR_MASKS_555.red, K_COLOR_MASKS_555.green, K_COLOR_MASKS_555.blue);
  } else if (bitsPerPixel == 32) {
    format.SetMasks(0xFF0000, 0xFF00, 0xFF);
  }
  if (!bitmap || !bitmap->surface.Allocate(width, height, format, true)) {
    DeleteDC(dc);
    return nullptr;
  }
  bitmap->owner = dc;
  bitmap->devicePalette = bitsPerPixel == 8;
  HGDIOBJ handle = kvgdi::Register(std::move(bitmap));
  if (handle == nullptr || SelectObject(dc, handle) == nullptr) {
    DeleteObject(handle);
    DeleteDC(dc);
    return nullptr;
  }
  return dc;
}

int GetDeviceCaps(HDC dc, int index) {
  kvgdi::Target target;
  if (!kvgdi::FindTarget(dc, &target)) return 0;
  const kvgdi::Surface& surface = *target.surface;
  const int bits = surface.Format().bitsPerPixel;
  switch (index) {
    case RASTERCAPS: return RC_BITBLT | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHDIB | (bits == 8 ? RC_PALETTE : 0);
    case HORZRES: return surface.Width();
    case VERTRES: return surface.Height();
    case BITSPIXEL: return bits;
    case PLANES: return 1;
    case NUMCOLORS: return bits <= 8 ? (1 << bits) : -1;
    case SIZEPALETTE: return bits == 8 ? 256 : 0;
    default: return 0;
  }
}

BOOL SetViewportOrgEx(HDC handle, int x, int y, POINT* previous) {
  DeviceContext* dc = Find<DeviceContext>(handle);
  if (dc == nullptr) return FALSE;
  if (previous != nullptr) *previous = dc->viewport;
  dc->viewport = {x, y};
  return TRUE;
}

BOOL GetViewportOrgEx(HDC handle, POINT* origin) {
  DeviceContext* dc = Find<DeviceContext>(handle);
  if (dc == nullptr || origin == nullptr) return FALSE;
  *origin = dc->viewport;
  return TRUE;
}

HPEN CreatePen(int style, int width, COLORREF color) {
  if (style < PS_SOLID || style > PS_NULL) return nullptr;
  auto pen = New<Pen>();
  if (!pen) return nullptr;
  pen->style = style;
  pen->width = std::max(width, 1);
  pen->color = color & 0xFFFFFF;
  return static_cast<HPEN>(kvgdi::Register(std::move(pen)));
}

HPEN CreatePenIndirect(const LOGPEN* pen) {
  if (pen == nullptr) return nullptr;
  return CreatePen(static_cast<int>(pen->lopnStyle), pen->lopnWidth.x, pen->lopnColor);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto brush = New<Brush>();
  if (!brush) return nullptr;
  brush->color = color & 0xFFFFFF;
  return static_cast<HBRUSH>(kvgdi::Register(std::move(brush)));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* description) {
  if (description == nullptr || (description->lbStyle != BS_SOLID && description->lbStyle != BS_NULL)) return nullptr;
  auto brush = New<Brush>();
  if (!brush) return nullptr;
  brush->style = description->lbStyle;
  brush->color = description->lbColor & 0xFFFFFF;
  return static_cast<HBRUSH>(kvgdi::Register(std::move(brush)));
}

HGDIOBJ GetStockObject(int index) { return kvgdi::StockObject(index); }

HGDIOBJ SelectObject(HDC handle, HGDIOBJ object) {
  const auto lifetimes = kvgdi::LockLifetimes();
  DeviceContext* dc = Find<DeviceContext>(handle);
  Object* selected = FindObject(object);
  if (dc == nullptr || selected == nullptr) return nullptr;
  switch (selected->kind) {
    case Kind::kPen: return kvgdi::Reselect(dc->pen, static_cast<HPEN>(object));
    case Kind::kBrush: return kvgdi::Reselect(dc->brush, static_cast<HBRUSH>(object));
    case Kind::kBitmap:
      // A bitmap lives in one device context at a time (the stock bitmap excepted).
      if (dc->bitmap != object && selected->selections > 0 && !selected->stock) return nullptr;
      return kvgdi::Reselect(dc->bitmap, static_cast<HBITMAP>(object));
    default: return nullptr;
  }
}

HGDIOBJ GetCurrentObject(HDC handle, UINT type) {
  DeviceContext* dc = Find<DeviceContext>(handle);
  if (dc == nullptr) return nullptr;
  switch (type) {
    case OBJ_PEN: return dc->pen;
    case OBJ_BRUSH: return dc->brush;
    case OBJ_PAL: return dc->palette;
    case OBJ_BITMAP: return dc->bitmap;
    default: return nullptr;
  }
}

DWORD GetObjectType(HGDIOBJ object) {
  Object* found = FindObject(object);
  if (found == nullptr) return 0;
  switch (found->kind) {
    case Kind::kPen: return OBJ_PEN;
    case Kind::kBrush: return OBJ_BRUSH;
    case Kind::kPalette: return OBJ_PAL;
    case Kind::kBitmap: return OBJ_BITMAP;
    case Kind::kDeviceContext: return OBJ_MEMDC;
  }
  return 0;
}

BOOL DeleteObject(HGDIOBJ object) {
  const auto lifetimes = kvgdi::LockLifetimes();
  Object* found = FindObject(object);
  if (found == nullptr || found->kind == Kind::kDeviceContext) return FALSE;
  if (found->stock) return TRUE;
  if (found->selections > 0) return FALSE;
  kvgdi::Unregister(object);
  return TRUE;
}

int GetObject(HGDIOBJ object, int size, void* buffer) {
  Object* found = FindObject(object);
  if (found == nullptr) return 0;
  switch (found->kind) {
    case Kind::kPen: {
      const Pen& pen = static_cast<const Pen&>(*found);
      return CopyOut(LOGPEN{static_cast<UINT>(pen.style), {pen.width, 0}, pen.color}, size, buffer);
    }
    case Kind::kBrush: {
      const Brush& brush = static_cast<const Brush&>(*found);
      return CopyOut(LOGBRUSH{brush.style, brush.color, 0}, size, buffer);
    }
    case Kind::kPalette:
      return CopyOut(static_cast<WORD>(static_cast<const Palette&>(*found).entries.size()), size, buffer);
    case Kind::kBitmap: {
      const kvgdi::Surface& surface = static_cast<const Bitmap&>(*found).surface;
      BITMAP description{0,
                         surface.Width(),
                         surface.Height(),
                         static_cast<LONG>(surface.Stride()),
                         1,
                         static_cast<WORD>(surface.Format().bitsPerPixel),
                         surface.Memory()};
      return CopyOut(description, size, buffer);
    }
    default: return 0;
  }
}

int GetObjectA(HGDIOBJ object, int size, void* buffer) { return GetObject(object, size, buffer); }

HPALETTE CreatePalette(const LOGPALETTE* description) {
  if (description == nullptr || description->palVersion != 0x300) return nullptr;
  if (description->palNumEntries < 1 || description->palNumEntries > 256) return nullptr;
  auto palette = New<Palette>();
  if (!palette) return nullptr;
  palette->entries.assign(description->palPalEntry, description->palPalEntry + description->palNumEntries);
  return static_cast<HPALETTE>(kvgdi::Register(std::move(palette)));
}

HPALETTE SelectPalette(HDC handle, HPALETTE palette, BOOL) {
  const auto lifetimes = kvgdi::LockLifetimes();
  DeviceContext* dc = Find<DeviceContext>(handle);
  if (dc == nullptr || Find<Palette>(palette) == nullptr) return nullptr;
  return kvgdi::Reselect(dc->palette, palette);
}

UINT RealizePalette(HDC dc) {
  DeviceContext* context = Find<DeviceContext>(dc);
  Bitmap* bitmap = context != nullptr ? Find<Bitmap>(context->bitmap) : nullptr;
  const Palette* palette = context != nullptr ? Find<Palette>(context->palette) : nullptr;
  if (bitmap == nullptr || !bitmap->devicePalette || palette == nullptr) return 0;
  kvgdi::Bgrx colors[256];
  const int count = static_cast<int>(std::min<std::size_t>(palette->entries.size(), 256));
  for (int i = 0; i < count; ++i) {
    const PALETTEENTRY& e = palette->entries[i];
    colors[i] = kvgdi::MakeBgrx(e.peRed, e.peGreen, e.peBlue);
  }
  bitmap->surface.LoadPalette(colors, count);
  return static_cast<UINT>(count);
}

UINT GetPaletteEntries(HPALETTE handle, UINT start, UINT count, PALETTEENTRY* entries) {
  const Palette* palette = Find<Palette>(handle);
  if (palette == nullptr || entries == nullptr || start >= palette->entries.size()) return 0;
  const UINT n = std::min<UINT>(count, static_cast<UINT>(palette->entries.size()) - start);
  std::copy(palette->entries.begin() + start, palette->entries.begin() + start + n, entries);
  return n;
}
