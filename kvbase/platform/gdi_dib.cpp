#include "kvbase/platform/gdi_dib.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "kvbase/platform/internal/dib_transfer.h"
#include "kvbase/platform/internal/gdi_handles.h"

using kvgdi::Bitmap;
using kvgdi::DeviceContext;
using kvgdi::DibLayout;
using kvgdi::DibSource;
using kvgdi::Find;

namespace {

// The bitmap of `handle` when `dc` is a live device context too.
Bitmap* FindBitmapWithDc(HDC dc, HBITMAP handle) {
  if (Find<DeviceContext>(dc) == nullptr) return nullptr;
  return Find<Bitmap>(handle);
}

bool SameSize(const DibLayout& layout, const kvgdi::Surface& surface) {
  return layout.width == surface.Width() && layout.height == surface.Height();
}

// Fills a header with the format of `surface`, as GetDIBits does when asked for it.
void DescribeSurface(const kvgdi::Surface& surface, BITMAPINFOHEADER* header) {
  const kvgdi::PixelFormat& format = surface.Format();
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = surface.Width();
  header->biHeight = surface.Height();
  header->biPlanes = 1;
  header->biBitCount = static_cast<WORD>(format.bitsPerPixel);
  const bool defaultMasks = format.bitsPerPixel != 16 || (format.red.shift == 10 && format.red.bits == 5 &&
                                                          format.green.bits == 5 && format.blue.bits == 5);
  header->biCompression = format.bitsPerPixel == 16 && !defaultMasks ? BI_BITFIELDS : BI_RGB;
  header->biSizeImage = static_cast<DWORD>(surface.Stride() * surface.Height());
  header->biXPelsPerMeter = header->biYPelsPerMeter = 0;
  header->biClrUsed = header->biClrImportant = 0;
}

}  // namespace

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, void* section, DWORD offset) {
  if (bits != nullptr) *bits = nullptr;
  DibLayout layout;
  if (Find<DeviceContext>(dc) == nullptr || section != nullptr || offset != 0 ||
      !kvgdi::ReadDibLayout(info, usage, &layout))
    return nullptr;
  std::unique_ptr<Bitmap> bitmap(new (std::nothrow) Bitmap);
  if (!bitmap || !bitmap->surface.Allocate(layout.width, layout.height, layout.format, layout.topDown)) return nullptr;
  void* memory = bitmap->surface.Memory();
  HBITMAP handle = static_cast<HBITMAP>(kvgdi::Register(std::move(bitmap)));
  if (handle != nullptr && bits != nullptr) *bits = memory;
  return handle;
}

int SetDIBits(HDC dc, HBITMAP handle, UINT start, UINT count, const void* pixels, const BITMAPINFO* info, UINT usage) {
  Bitmap* bitmap = FindBitmapWithDc(dc, handle);
  const auto stock = kvgdi::LockIfStock(bitmap);
  DibLayout layout;
  DibSource source;
  if (bitmap == nullptr || !kvgdi::ReadDibLayout(info, usage, &layout) || !SameSize(layout, bitmap->surface) ||
      !kvgdi::BandedSource(layout, pixels, start, count, &source))
    return 0;
  kvgdi::Transfer(bitmap->surface, 0, 0, layout.width, layout.height, source, 0, 0, layout.width, layout.height);
  return source.rowHigh - source.rowLow;
}

int GetDIBits(HDC dc, HBITMAP handle, UINT start, UINT count, void* pixels, BITMAPINFO* info, UINT usage) {
  Bitmap* bitmap = FindBitmapWithDc(dc, handle);
  const auto stock = kvgdi::LockIfStock(bitmap);
  if (bitmap == nullptr || info == nullptr || usage != DIB_RGB_COLORS) return 0;
  kvgdi::Surface& surface = bitmap->surface;
  if (pixels == nullptr) {
    if (info->bmiHeader.biBitCount == 0) {
      DescribeSurface(surface, &info->bmiHeader);
    } else {
      const std::int64_t stride = kvgdi::DibStride(info->bmiHeader.biWidth, info->bmiHeader.biBitCount);
      info->bmiHeader.biSizeImage = static_cast<DWORD>(std::max<std::int64_t>(stride, 0) * surface.Height());
    }
    return surface.Height();
  }
  DibLayout layout;
  if (!kvgdi::ReadDibLayout(info, usage, &layout) || !SameSize(layout, surface) ||
      start >= static_cast<UINT>(layout.height) || count == 0)
    return 0;
  // The caller's memory, seen as a surface holding only the requested scan lines.
  DibSource band;
  kvgdi::BandedSource(layout, pixels, start, count, &band);
  const int lines = band.rowHigh - band.rowLow;
  kvgdi::Surface destination;
  destination.View(layout.width, lines, layout.format,
                   static_cast<std::uint8_t*>(pixels) + (band.firstRowOffset + band.rowLow * band.pitch), band.pitch);

  const kvgdi::PixelFormat& own = surface.Format();
  if (layout.format.Indexed() && layout.format.bitsPerPixel == own.bitsPerPixel) {
    // The same indexed format: the indexes as they are, and the bitmap's colour table.
    for (int y = 0; y < lines; ++y)
      std::memcpy(destination.Row(y), surface.Row(band.rowLow + y), static_cast<std::size_t>(layout.stride));
    const int entries = layout.format.colorCount;
    for (int i = 0; i < entries; ++i) {
      const kvgdi::Bgrx c = own.colors[i];
      info->bmiColors[i] = RGBQUAD{static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c >> 16), 0};
    }
    return lines;
  }
  kvgdi::Transfer(destination, 0, -band.rowLow, layout.width, layout.height, kvgdi::SurfaceSource(surface), 0, 0,
                  layout.width, layout.height);
  return lines;
}

int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc, UINT start,
                      UINT lines, const void* pixels, const BITMAPINFO* info, UINT usage) {
  kvgdi::Target target;
  DibLayout layout;
  DibSource source;
  if (!kvgdi::FindTarget(dc, &target) || !kvgdi::ReadDibLayout(info, usage, &layout) ||
      !kvgdi::BandedSource(layout, pixels, start, lines, &source))
    return 0;
  const std::int64_t w = width, h = height;
  if (w > 0 && h > 0) {
    // The source origin is counted from the bottom row of the DIB.
    const std::int64_t top = layout.height - static_cast<std::int64_t>(ySrc) - h;
    kvgdi::Transfer(*target.surface, target.X(xDest), target.Y(yDest), w, h, source, xSrc, top, w, h);
  }
  return source.rowHigh - source.rowLow;
}

int StretchDIBits(HDC dc, int xDest, int yDest, int wDest, int hDest, int xSrc, int ySrc, int wSrc, int hSrc,
                  const void* pixels, const BITMAPINFO* info, UINT usage, DWORD rop) {
  kvgdi::Target target;
  DibLayout layout;
  DibSource source;
  if (!kvgdi::FindTarget(dc, &target) || rop != SRCCOPY || wDest <= 0 || hDest <= 0 || wSrc <= 0 || hSrc <= 0 ||
      !kvgdi::ReadDibLayout(info, usage, &layout) || !kvgdi::BandedSource(layout, pixels, 0, layout.height, &source))
    return 0;
  const std::int64_t top = layout.height - static_cast<std::int64_t>(ySrc) - hSrc;
  kvgdi::Transfer(*target.surface, target.X(xDest), target.Y(yDest), wDest, hDest, source, xSrc, top, wSrc, hSrc);
  return hDest;
}

int SetStretchBltMode(HDC handle, int mode) {
  DeviceContext* dc = Find<DeviceContext>(handle);
  if (dc == nullptr || mode < BLACKONWHITE || mode > HALFTONE) return 0;
  const int previous = dc->stretchMode;
  dc->stretchMode = mode;
  return previous;
}

int GetStretchBltMode(HDC handle) {
  DeviceContext* dc = Find<DeviceContext>(handle);
  return dc == nullptr ? 0 : dc->stretchMode;
}
