#include "kvbase/image/image.h"

#include <climits>
#include <cstdint>
#include <new>

#include "kvbase/foundation/internal/report.h"

namespace {

// Bits from one row start to the next for packed rows padded to 32 bits; -1 when not representable.
long long PackedBitsPerRow(int width, int bitsPerPixel) {
  const long long bits = (static_cast<long long>(width) * bitsPerPixel + 31) / 32 * 32;
  return bits > INT_MAX ? -1 : bits;
}

constexpr std::uintptr_t kBaseAlignment = 32;

}  // namespace

template <typename T>
KImage<T>::KImage() : KImage(0, 0) {}

template <typename T>
KImage<T>::KImage(int width, int height)
    : allocation_(nullptr), pixelBase_(nullptr), bitsPerPixel_(KPixelTraits<T>::kBitsPerPixel), bitsPerRow_(0) {
  SetSize(width, height);
  this->SetColorSystem();
}

template <typename T>
KImage<T>::~KImage() {
  while (this->firstSubROI_ != nullptr) static_cast<KROI<T>*>(this->firstSubROI_)->Detach();
  SetSize(0, 0);
}

template <typename T>
int KImage<T>::IsAnROI() {
  KTraceError("KImage::IsAnROI");
  return 0;
}

template <typename T>
void KImage<T>::ReleasePixels() {
  ::operator delete(allocation_);
  allocation_ = nullptr;
  pixelBase_ = nullptr;
}

template <typename T>
void KImage<T>::StoreSize(int width, int height) {
  // An image has no parent: these store the size and re-fit every descendant.
  KROI<T>::SetWidth(width);
  KROI<T>::SetHeight(height);
}

template <typename T>
void KImage<T>::SetSize(int width, int height) {
  if (width == this->width_ && height == this->height_) return;
  this->mask_.SetNumElements(0);

  if (width < 0 || height < 0) {
    // A negative size leaves the image empty, and is reported as the size setters report it.
    SetSize(0, 0);
    KReport(K_ERROR_PARAMETER_1_OUT_OF_RANGE, width < 0 ? "KROI::SetWidth" : "KROI::SetHeight");
    return;
  }

  StoreSize(width, height);
  ReleasePixels();
  const long long bitsPerRow = PackedBitsPerRow(width, bitsPerPixel_);
  bitsPerRow_ = bitsPerRow < 0 ? 0 : static_cast<int>(bitsPerRow);
  if (width == 0 || height == 0) return;

  const unsigned long long bytes =
      bitsPerRow < 0 ? ULLONG_MAX : (static_cast<unsigned long long>(bitsPerRow) * height + 7) / 8 + 31;
  void* block = bytes > static_cast<unsigned long long>(PTRDIFF_MAX) ? nullptr : ::operator new(bytes, std::nothrow);
  if (block == nullptr) {
    StoreSize(0, 0);
    KReport(K_ERROR_ALLOCATION, "KImage::SetSize");
    return;
  }
  allocation_ = block;
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(block);
  pixelBase_ = reinterpret_cast<unsigned char*>((address + kBaseAlignment - 1) & ~(kBaseAlignment - 1));
}

template <typename T>
void KImage<T>::SetSize(KGenericROI* model) {
  SetSize(model->GetWidth(), model->GetHeight());
}

template <typename T>
void KImage<T>::SetImagePtr(int width, int height, void* buffer, int bitsPerRow) {
  ReleasePixels();
  if (width < 0 || height < 0) {
    // Nothing sensible can be addressed with a negative size: the image is left empty.
    SetSize(0, 0);
    KReport(K_ERROR_PARAMETER_1_OUT_OF_RANGE, width < 0 ? "KROI::SetWidth" : "KROI::SetHeight");
    return;
  }
  StoreSize(width, height);
  SetImagePtr(buffer, bitsPerRow);
}

template <typename T>
void KImage<T>::SetImagePtr(void* buffer, int bitsPerRow) {
  ReleasePixels();
  pixelBase_ = static_cast<unsigned char*>(buffer);
  if (bitsPerRow != 0) {
    bitsPerRow_ = bitsPerRow;
    return;
  }
  const long long packed = PackedBitsPerRow(this->width_, bitsPerPixel_);
  if (packed < 0) {
    // Rows this wide cannot be addressed: refuse the buffer rather than wrap the pitch.
    pixelBase_ = nullptr;
    KReport(K_ERROR_ALLOCATION, "KImage::SetImagePtr");
    return;
  }
  bitsPerRow_ = static_cast<int>(packed);
}

template <typename T>
void* KImage<T>::GetGenericImagePtr(int x, int y) {
  if (pixelBase_ == nullptr) return nullptr;
  const long long bit = static_cast<long long>(x) * bitsPerPixel_ + static_cast<long long>(y) * bitsPerRow_;
  return pixelBase_ + (bit >> 3);
}

template <typename T>
unsigned int KImage<T>::GetBitIndex(int x, int y) {
  const long long bit = static_cast<long long>(x) * bitsPerPixel_ + static_cast<long long>(y) * bitsPerRow_;
  return static_cast<unsigned int>(bit & 7);
}

// --- Pixel dimensions ---

template <typename T>
void KImage<T>::GetPixelDimensions(float& width, float& height, KMeasurementUnit*& unit) {
  width = pixelWidth_.GetValue();
  height = pixelHeight_.GetValue();
  unit = pixelWidth_.GetUnit();
}

template <typename T>
void KImage<T>::GetResolution(float& x, float& y, KMeasurementUnit*& unit) {
  x = 1.0f / pixelWidth_.GetValue();
  y = 1.0f / pixelHeight_.GetValue();
  unit = pixelWidth_.GetUnit();
}

template <typename T>
void KImage<T>::SetPixelDimensions(float width, float height, KMeasurementUnit* unit) {
  if (width == 0.0f && height == 0.0f) return (void)KReport(K_ERROR_PIXELS_NOT_FINITE, "KImage::SetPixelDimensions");
  pixelWidth_.SetValue(width, unit);
  pixelHeight_.SetValue(height, unit);
}

template <typename T>
void KImage<T>::SetResolution(float x, float y, KMeasurementUnit* unit) {
  if (x == 0.0f || y == 0.0f) return (void)KReport(K_ERROR_PIXELS_NOT_FINITE, "KGenericImage::SetResolution");
  pixelWidth_.SetValue(1.0f / x, unit);
  pixelHeight_.SetValue(1.0f / y, unit);
}

#define KVBASE_DEFINE_IMAGE(T) template class KImage<T>;
KVBASE_FOR_EACH_PIXEL_TYPE(KVBASE_DEFINE_IMAGE)
#undef KVBASE_DEFINE_IMAGE
