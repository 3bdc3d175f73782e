#include "kvbase/display/image_drawing.h"

#include <cstring>

#include "kvbase/display/internal/display_state.h"
#include "kvbase/display/internal/image_transfer.h"
#include "kvbase/foundation/internal/report.h"

namespace display = kvbase::internal::display;
using display::KPaletteKind;
using display::KRootBuffer;

namespace {

// --- Colour tables of the draw description ---

void WriteBilevelTable() {
  RGBQUAD* table = display::ThisThreadDisplay().drawDescription.colors;
  table[0].rgbBlue = table[0].rgbGreen = table[0].rgbRed = 0;
  table[1].rgbBlue = table[1].rgbGreen = table[1].rgbRed = 255;
}

void WriteGrayTable() {
  RGBQUAD* table = display::ThisThreadDisplay().drawDescription.colors;
  for (int i = 0; i < 256; ++i) table[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
}

void WriteTable(KBW8Vector& lut) {
  RGBQUAD* table = display::ThisThreadDisplay().drawDescription.colors;
  const unsigned char* levels = lut.GetDataPtr();
  for (int i = 0; i < 256; ++i) table[i] = {levels[i], levels[i], levels[i], 0};
}

void WriteTable(KC24Vector& lut) {
  RGBQUAD* table = display::ThisThreadDisplay().drawDescription.colors;
  const KC24* colours = lut.GetDataPtr();
  for (int i = 0; i < 256; ++i) table[i] = {colours[i].byte0, colours[i].byte1, colours[i].byte2, 0};
}

void WriteMasks(DWORD red, DWORD green, DWORD blue) {
  const DWORD masks[3] = {red, green, blue};
  std::memcpy(display::ThisThreadDisplay().drawDescription.colors, masks, sizeof masks);
}

// A lookup table must be there and have exactly 256 elements.
template <typename Lut>
bool CheckLut(Lut* lut, const char* traceName) {
  if (lut == nullptr) return KReport(K_ERROR_VECTOR_MEMORY_ACCESS, traceName), false;
  if (lut->GetNumElements() != 256) return KReport(K_ERROR_INVALID_NUMBER_OF_VECTOR_ELEMENTS, traceName), false;
  return true;
}

template <typename T>
KRootBuffer RootBuffer(KImage<T>* image) {
  return {image->GetImagePtr(0, 0), image->GetBitsPerRow(), image->GetWidth(), image->GetHeight(),
          KPixelTraits<T>::kBitsPerPixel};
}

// The image recipe: the whole image at (0, 0). `writeTable` writes the colour table and may refuse.
template <typename T, typename WriteTable>
void DrawImage(KImage<T>* image, HDC dc, float zoomX, float zoomY, KPaletteKind palette, const char* traceName,
               WriteTable writeTable) {
  KOk();
  if (image == nullptr || image->GetImagePtr(0, 0) == nullptr)
    return (void)KReport(K_ERROR_IMAGE_MEMORY_ACCESS, traceName);
  if (!writeTable()) return;
  display::KPaletteStep(dc, palette);
  display::KTransfer(dc, RootBuffer(image), zoomX, zoomY, 0, 0, image->GetWidth(), image->GetHeight());
}

// The ROI recipe: the ROI's area of its root image's buffer, at (0, 0).
template <typename T, typename WriteTable>
void DrawROI(KROI<T>* roi, HDC dc, float zoomX, float zoomY, KPaletteKind palette, const char* traceName,
             WriteTable writeTable) {
  if (zoomY == 0.0f) zoomY = zoomX;
  KOk();
  if (roi == nullptr) return (void)KReport(K_ERROR_IMAGE_MEMORY_ACCESS, traceName);
  KGenericROI* top = roi->GetTopParent();
  if (top == nullptr) return (void)KReport(K_ERROR_ROI_HAS_NO_PARENT, traceName);
  // Only an image answers GetTopParent with a node, and a tree holds one pixel type.
  auto* image = static_cast<KImage<T>*>(top);
  if (image->GetImagePtr(0, 0) == nullptr) return (void)KReport(K_ERROR_IMAGE_MEMORY_ACCESS, traceName);
  if (!writeTable()) return;
  display::KPaletteStep(dc, palette);
  display::KTransfer(dc, RootBuffer(image), zoomX, zoomY, roi->GetTotalOrgX(), roi->GetTotalOrgY(), roi->GetWidth(),
                     roi->GetHeight());
}

auto Always(void (*write)()) {
  return [write] {
    write();
    return true;
  };
}

template <typename Lut>
auto FromLut(Lut* lut, const char* traceName) {
  return [lut, traceName] {
    if (!CheckLut(lut, traceName)) return false;
    WriteTable(*lut);
    return true;
  };
}

auto Masks(const KColorMasks& masks) {
  return [=] {
    WriteMasks(masks.red, masks.green, masks.blue);
    return true;
  };
}

constexpr const char* kBW1Image = "KDrawImageInWindow (BW1 Image)";
constexpr const char* kBW1ROI = "KDrawImageInWindow (BW1 ROI)";
constexpr const char* kBW8Image = "KDrawImageInWindow (BW8 Image)";
constexpr const char* kBW8ROI = "KDrawImageInWindow (BW8 ROI)";
constexpr const char* kBW16Image = "KDrawImageInWindow (BW16 Image)";

}  // namespace

void KDrawImageInWindow(KImage<int>* image, HDC dc, float zoomX, float zoomY) {
  DrawImage(image, dc, zoomX, zoomY, KPaletteKind::kNone, kBW1Image, Always(WriteBilevelTable));
}

void KDrawImageInWindow(KROI<int>* roi, HDC dc, float zoomX, float zoomY) {
  DrawROI(roi, dc, zoomX, zoomY, KPaletteKind::kNone, kBW1ROI, Always(WriteBilevelTable));
}

short KDrawImageInWindow(KImage<unsigned char>* image, HDC dc, float zoomX, float zoomY) {
  DrawImage(image, dc, zoomX, zoomY, KPaletteKind::kGray, kBW8Image, Always(WriteGrayTable));
  if (KGetError() != K_SUCCESS) return static_cast<short>(KGetError());
  KOk();
  return 0;
}

void KDrawImageInWindow(KImage<unsigned char>* image, HDC dc, KBW8Vector* lut, float zoomX, float zoomY) {
  DrawImage(image, dc, zoomX, zoomY, KPaletteKind::kGray, kBW8Image, FromLut(lut, kBW8Image));
}

void KDrawImageInWindow(KImage<unsigned char>* image, HDC dc, KC24Vector* lut, float zoomX, float zoomY) {
  DrawImage(image, dc, zoomX, zoomY, KPaletteKind::kGray, kBW8Image, FromLut(lut, kBW8Image));
}

void KDrawImageInWindow(KROI<unsigned char>* roi, HDC dc, float zoomX, float zoomY) {
  DrawROI(roi, dc, zoomX, zoomY, KPaletteKind::kGray, kBW8ROI, Always(WriteGrayTable));
}

void KDrawImageInWindow(KROI<unsigned char>* roi, HDC dc, KBW8Vector* lut, float zoomX, float zoomY) {
  DrawROI(roi, dc, zoomX, zoomY, KPaletteKind::kGray, kBW8ROI, FromLut(lut, kBW8ROI));
}

void KDrawImageInWindow(KROI<unsigned char>* roi, HDC dc, KC24Vector* lut, float zoomX, float zoomY) {
  DrawROI(roi, dc, zoomX, zoomY, KPaletteKind::kGray, kBW8ROI, FromLut(lut, kBW8ROI));
}

void KDrawImageInWindow(KROI<unsigned short>* roi, HDC dc, float zoomX, float zoomY) {
  // The most significant byte of every pixel, in a temporary gray image drawn by the BW8 recipe.
  KOk();
  KImage<unsigned char> gray;
  KOk();
  if (roi == nullptr) {
    KReport(K_ERROR_IMAGE_MEMORY_ACCESS, kBW16Image);
    return;
  }
  roi->NotVoid();
  if (KGetError() != K_SUCCESS) {
    KTraceError(kBW16Image);
    return;
  }
  const int width = roi->GetWidth(), height = roi->GetHeight();
  gray.SetSize(width, height);
  if (gray.GetImagePtr(0, 0) != nullptr) {
    const auto* source = reinterpret_cast<const unsigned char*>(roi->GetImagePtr(0, 0));
    unsigned char* target = gray.GetImagePtr(0, 0);
    const int sourceSkip = roi->GetSkip(), targetSkip = gray.GetSkip();
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x, source += 2) {
        unsigned short pixel;
        std::memcpy(&pixel, source, 2);
        *target++ = static_cast<unsigned char>(pixel >> 8);
      }
      source += sourceSkip;
      target += targetSkip;
    }
  }
  KOk();
  KDrawImageInWindow(&gray, dc, zoomX, zoomY);
  if (KGetError() != K_SUCCESS) KTraceError(kBW16Image);
}

void KDrawImageInWindow(KROI<KC15>* roi, HDC dc, float zoomX, float zoomY) {
  DrawROI(roi, dc, zoomX, zoomY, KPaletteKind::kColourCube, "KDrawImageInWindow (C15 ROI)",
          Masks(K_PIXEL_KIND_C15.masks));
}

void KDrawImageInWindow(KROI<KC16>* roi, HDC dc, float zoomX, float zoomY) {
  DrawROI(roi, dc, zoomX, zoomY, KPaletteKind::kColourCube, "KDrawImageInWindow (C16 ROI)",
          Masks(K_PIXEL_KIND_C16.masks));
}

void KDrawImageInWindow(KROI<KC24>* roi, HDC dc, float zoomX, float zoomY) {
  DrawROI(roi, dc, zoomX, zoomY, KPaletteKind::kColourCube, "KDrawImageInWindow (C24 ROI)", [] { return true; });
}

void KDrawImageInWindow(KROI<KC24A>* roi, HDC dc, float zoomX, float zoomY) {
  DrawROI(roi, dc, zoomX, zoomY, KPaletteKind::kColourCube, "KDrawImageInWindow (C24A ROI)", [] { return true; });
}
