#ifndef KVBASE_IMAGE_IMAGE_H
#define KVBASE_IMAGE_IMAGE_H

// KImage<T>: the root of an ROI tree, owning (or borrowing) the pixel buffer.
//
// Row y starts at the pixel base + y * bits per row / 8; pixel x of a row at bit x * bits per pixel.
// Owned buffers have rows padded to 32 bits and a base aligned to 32 bytes. SetImagePtr lends a caller's
// buffer with any row pitch; the library never frees it. The image also carries the physical size of its
// pixels (pixel dimensions / resolution), which every ROI of its tree shares.
//
//   KImageC24 image(640, 480);             // owned, uninitialised pixels
//   image.SetImagePtr(320, 200, buf, 0);   // now borrowing `buf`, packed 32-bit-aligned rows

#include "kvbase/foundation/units.h"
#include "kvbase/image/roi.h"
#include "kvbase/platform/export.h"

template <typename T>
class KVBASE_API KImage : public KROI<T> {
 public:
  KImage();
  KImage(int width, int height);
  // Detaches every child (they survive), then frees an owned buffer.
  ~KImage() override;

  KGenericROI* GetTopParent() override { return this; }
  void GetPixelDimensions(float& width, float& height, KMeasurementUnit*& unit) override;
  void GetResolution(float& x, float& y, KMeasurementUnit*& unit) override;
  // Refused (K_ERROR_PIXELS_NOT_FINITE) only for the pair 0, 0.
  void SetPixelDimensions(float width, float height, KMeasurementUnit* unit) override;
  // Refused (K_ERROR_PIXELS_NOT_FINITE) when either value is 0.
  void SetResolution(float x, float y, KMeasurementUnit* unit) override;
  // 0. Also traces "KImage::IsAnROI", which shows a box only when a failure is already pending.
  int IsAnROI() override;
  int Void() override { return pixelBase_ == nullptr ? 1 : 0; }
  void SetSize(KGenericROI* model) override;
  // Sizes the image and allocates a new uninitialised buffer, unless the size is unchanged. A negative
  // size, or one whose buffer cannot be addressed or allocated, leaves the image empty (0 x 0).
  void SetSize(int width, int height) override;
  void* GetGenericImagePtr(int x, int y) override;
  void Serialize(void* stream, int writing, unsigned int version) override;
  void DrawMask(HDC dc, float zoomX, float zoomY, float panX, float panY) override;
  void Draw(HDC dc, float zoomX, float zoomY) override;
  unsigned int GetBitIndex(int x, int y) override;

  // Uses the caller's `buffer` (never freed) of the given size; `bitsPerRow` 0 means packed rows padded to
  // 32 bits.
  void SetImagePtr(int width, int height, void* buffer, int bitsPerRow);
  void SetImagePtr(void* buffer, int bitsPerRow);
  int GetBitsPerRow() const { return bitsPerRow_; }

  void Draw(HDC dc, KBW8Vector* lut, float zoomX, float zoomY);
  void Draw(HDC dc, KC24Vector* lut, float zoomX, float zoomY);
  void Save(const char* path, IMAGE_FILE_TYPES format);
  IMAGE_FILE_TYPES Load(const char* path);

 private:
  // Frees an owned buffer; forgets a borrowed one.
  void ReleasePixels();
  // Stores the size and re-fits the children, as KROI<T>::SetWidth/SetHeight do for a root.
  void StoreSize(int width, int height);

  void* allocation_;
  unsigned char* pixelBase_;
  int bitsPerPixel_;
  int bitsPerRow_;
  KDimensionalValue pixelWidth_;
  KDimensionalValue pixelHeight_;
};

typedef KImage<int> KImageBW1;
typedef KImage<unsigned char> KImageBW8;
typedef KImage<unsigned short> KImageBW16;
typedef KImage<unsigned int> KImageBW32;
typedef KImage<KC15> KImageC15;
typedef KImage<KC16> KImageC16;
typedef KImage<KC24> KImageC24;
typedef KImage<KC24A> KImageC24A;
typedef KImage<KSubPixel64> KImageSubPixel64;
typedef KImage<KComplex64> KImageComplex64;

#define KVBASE_DECLARE_IMAGE(T) extern template class KImage<T>;
KVBASE_FOR_EACH_PIXEL_TYPE(KVBASE_DECLARE_IMAGE)
#undef KVBASE_DECLARE_IMAGE

#endif  // KVBASE_IMAGE_IMAGE_H
