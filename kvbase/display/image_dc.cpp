#include "kvbase/display/image_dc.h"

#include <algorithm>
#include <vector>

#include "kvbase/display/internal/display_state.h"
#include "kvbase/foundation/internal/report.h"
#include "kvbase/platform/gdi.h"

namespace display = kvbase::internal::display;

namespace {

constexpr const char* kOpen = "KOpenImageDC";
constexpr const char* kClose = "KCloseImageDC";

// The image-DC bitmap description for an image of `width` x `height` pixels of `bitCount` bits.
BITMAPINFO* Describe(int width, int height, int bitCount) {
  display::KBitmapDescription& description = display::ThisThreadDisplay().imageDcDescription;
  description.header = {};
  description.header.biSize = sizeof(BITMAPINFOHEADER);
  description.header.biWidth = width;
  description.header.biHeight = -height;
  description.header.biPlanes = 1;
  description.header.biBitCount = static_cast<WORD>(bitCount);
  description.header.biCompression = BI_RGB;
  if (bitCount == 8) {
    for (int i = 0; i < 256; ++i) {
      description.colors[i].rgbBlue = description.colors[i].rgbGreen = description.colors[i].rgbRed =
          static_cast<BYTE>(i);
    }
  }
  return description.Info();
}

// The rows of `image` as the device-independent bitmap expects them: the image's own buffer when its
// rows are packed at the bitmap pitch, else `packed` (filled from the image when `fill`).
template <typename T>
unsigned char* BitmapRows(KImage<T>* image, std::vector<unsigned char>& packed, bool fill) {
  auto* pixels = reinterpret_cast<unsigned char*>(image->GetImagePtr(0, 0));
  const int bits = KPixelTraits<T>::kBitsPerPixel;
  const long long stride = (static_cast<long long>(image->GetWidth()) * bits + 31) / 32 * 4;
  if (image->GetBitsPerRow() == stride * 8) return pixels;
  const long long used = static_cast<long long>(image->GetWidth()) * bits / 8;
  packed.assign(static_cast<std::size_t>(stride * image->GetHeight()), 0);
  if (fill) {
    for (int y = 0; y < image->GetHeight(); ++y)
      std::copy(pixels + static_cast<long long>(image->GetBitsPerRow() / 8) * y,
                pixels + static_cast<long long>(image->GetBitsPerRow() / 8) * y + used, packed.data() + stride * y);
  }
  return packed.data();
}

template <typename T>
void CopyBack(KImage<T>* image, const std::vector<unsigned char>& packed) {
  if (packed.empty()) return;
  auto* pixels = reinterpret_cast<unsigned char*>(image->GetImagePtr(0, 0));
  const int bits = KPixelTraits<T>::kBitsPerPixel;
  const long long stride = (static_cast<long long>(image->GetWidth()) * bits + 31) / 32 * 4;
  const long long used = static_cast<long long>(image->GetWidth()) * bits / 8;
  for (int y = 0; y < image->GetHeight(); ++y)
    std::copy(packed.data() + stride * y, packed.data() + stride * y + used,
              pixels + static_cast<long long>(image->GetBitsPerRow() / 8) * y);
}

// A failed open releases the device context and bitmap it made, so that nothing is left behind.
HDC FailOpen(HDC dc, HBITMAP bitmap) {
  DeleteDC(dc);
  if (bitmap != nullptr) DeleteObject(bitmap);
  KReport(K_ERROR_WINDOWS_ERROR, kOpen);
  return nullptr;
}

template <typename T>
HDC Open(KImage<T>* image) {
  if (image == nullptr || image->GetImagePtr(0, 0) == nullptr)
    return KReport(K_ERROR_IMAGE_MEMORY_ACCESS, kOpen), nullptr;
  const int width = image->GetWidth(), height = image->GetHeight();
  BITMAPINFO* description = Describe(width, height, KPixelTraits<T>::kBitsPerPixel);
  HDC dc = CreateCompatibleDC(nullptr);
  display::ThisThreadDisplay().currentImageDc = dc;
  if (dc == nullptr) return KReport(K_ERROR_WINDOWS_ERROR, kOpen), nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, description, DIB_RGB_COLORS, nullptr, nullptr, 0);
  if (bitmap == nullptr) return FailOpen(dc, nullptr);
  SelectObject(dc, bitmap);
  std::vector<unsigned char> packed;
  const unsigned char* rows = BitmapRows(image, packed, true);
  if (SetDIBits(dc, bitmap, 0, static_cast<UINT>(height), rows, description, DIB_RGB_COLORS) == 0)
    return FailOpen(dc, bitmap);
  return dc;
}

template <typename T>
void Close(KImage<T>* image, HDC dc) {
  if (image == nullptr || image->GetImagePtr(0, 0) == nullptr)
    return (void)KReport(K_ERROR_IMAGE_MEMORY_ACCESS, kClose);
  const int height = image->GetHeight();
  if (dc == nullptr) dc = display::ThisThreadDisplay().currentImageDc;
  HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
  BITMAPINFO* description = Describe(image->GetWidth(), height, KPixelTraits<T>::kBitsPerPixel);
  std::vector<unsigned char> packed;
  unsigned char* rows = BitmapRows(image, packed, false);
  if (GetDIBits(dc, static_cast<HBITMAP>(bitmap), 0, static_cast<UINT>(height), rows, description, DIB_RGB_COLORS) == 0)
    return (void)KReport(K_ERROR_WINDOWS_ERROR, kClose);
  CopyBack(image, packed);
  if (!DeleteDC(dc)) return (void)KReport(K_ERROR_WINDOWS_ERROR, kClose);
  if (!DeleteObject(bitmap)) KReport(K_ERROR_WINDOWS_ERROR, kClose);
}

}  // namespace

HDC KOpenImageDC(KImage<unsigned char>* image) { return Open(image); }
HDC KOpenImageDC(KImage<KC24>* image) { return Open(image); }
void KCloseImageDC(KImage<unsigned char>* image, HDC dc) { Close(image, dc); }
void KCloseImageDC(KImage<KC24>* image, HDC dc) { Close(image, dc); }

void KUpdatePalette() { display::ForgetGrayPalette(); }
