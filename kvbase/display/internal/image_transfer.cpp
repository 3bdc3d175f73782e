#include "kvbase/display/internal/image_transfer.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "kvbase/display/internal/display_state.h"

namespace kvbase::internal::display {
namespace {

// Copies the rows of `buffer` into `packed`, `stride` bytes apart.
void Repack(const KRootBuffer& buffer, std::int64_t stride, std::vector<unsigned char>& packed) {
  const auto* base = static_cast<const unsigned char*>(buffer.pixels);
  packed.assign(static_cast<std::size_t>(stride * buffer.height), 0);
  for (int row = 0; row < buffer.height; ++row) {
    unsigned char* target = packed.data() + stride * row;
    if (buffer.rowBits % 8 == 0) {
      std::memcpy(target, base + buffer.rowBits / 8 * row,
                  static_cast<std::size_t>((static_cast<std::int64_t>(buffer.width) * buffer.bitCount + 7) / 8));
      continue;
    }
    // Bilevel rows that start inside a byte.
    for (int x = 0; x < buffer.width; ++x) {
      const std::int64_t bit = buffer.rowBits * row + x;
      if ((base[bit >> 3] >> (7 - (bit & 7))) & 1) target[x >> 3] |= static_cast<unsigned char>(0x80 >> (x & 7));
    }
  }
}

// trunc(value), kept inside the int range (a NaN gives 0).
int TruncatedSize(float value) {
  if (!(value == value)) return 0;
  if (value >= static_cast<float>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<float>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

void KPaletteStep(HDC dc, KPaletteKind kind) {
  if (kind == KPaletteKind::kNone || (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) == 0) return;
  KThreadDisplay& state = ThisThreadDisplay();
  state.savedPalette = SelectSharedPalette(dc, kind, state.drawDescription.colors);
  RealizePalette(dc);
}

void KTransfer(HDC dc, const KRootBuffer& buffer, float zoomX, float zoomY, int x, int y, int w, int h) {
  if (zoomY == 0.0f) zoomY = zoomX;
  const int W = buffer.width, H = buffer.height;
  if (w == 0) w = W;
  if (h == 0) h = H;

  KThreadDisplay& state = ThisThreadDisplay();
  BITMAPINFOHEADER& header = state.drawDescription.header;
  header = {};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = W;
  header.biHeight = -H;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(buffer.bitCount);
  header.biCompression = buffer.bitCount == 16 ? BI_BITFIELDS : BI_RGB;

  // The device reads rows at the bitmap pitch; a buffer lent with another pitch is repacked first.
  const void* pixels = buffer.pixels;
  std::vector<unsigned char> packed;
  const std::int64_t stride = (static_cast<std::int64_t>(W) * buffer.bitCount + 31) / 32 * 4;
  if (buffer.rowBits != stride * 8 && W > 0 && H > 0) {
    Repack(buffer, stride, packed);
    pixels = packed.data();
  }

  const int ySrc = H - y - h;
  if (zoomX == 1.0f && zoomY == 1.0f) {
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(w), static_cast<DWORD>(h), x, ySrc, 0, static_cast<UINT>(H), pixels,
                      state.drawDescription.Info(), DIB_RGB_COLORS);
  } else {
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, 0, 0, TruncatedSize(static_cast<float>(w) * zoomX), TruncatedSize(static_cast<float>(h) * zoomY),
                  x, ySrc, w, h, pixels, state.drawDescription.Info(), DIB_RGB_COLORS, SRCCOPY);
  }
  SelectPalette(dc, state.savedPalette, FALSE);
}

}  // namespace kvbase::internal::display
