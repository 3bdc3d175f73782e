#ifndef KVBASE_IMAGE_ROI_H
#define KVBASE_IMAGE_ROI_H

// KROI<T>: a rectangular window onto the pixels of an image of pixel type T.
//
// An ROI is attached to a parent (an image or another ROI of the same type), placed by an origin relative
// to that parent and a size, and reaches the root image's pixels through its parents; it owns no pixels.
// Placement setters clip silently against the parent and fail only when nothing would remain; shrinking
// an ROI re-clips all of its descendants. An ROI owns its mask, a run list (KRun) built by the mask
// operations. Instantiated for the ten pixel types of pixel_types.h; KImage<T> derives from KROI<T>.
//
//   KImageBW8 image(640, 480);
//   KROIBW8 roi(&image, 100, 50, 200, 100);
//   roi.SetEllipseMask(0, 0, 0, 0);
//   unsigned char* p = roi.GetImagePtr(0, 0);   // rows are GetRowPitch() bytes apart

#include "kvbase/image/generic_roi.h"
#include "kvbase/platform/export.h"
#include "kvbase/vectors/vector_template.h"

class KBW8Vector;
class KC24Vector;

// Handles of an ROI frame, as found by HitTest and moved by Drag.
enum K_HANDLES : int {
  K_HANDLE_NONE = 0,
  K_HANDLE_INSIDE = 1,
  K_HANDLE_NORTH = 2,
  K_HANDLE_EAST = 3,
  K_HANDLE_SOUTH = 4,
  K_HANDLE_WEST = 5,
  K_HANDLE_NORTH_WEST = 6,
  K_HANDLE_SOUTH_WEST = 7,
  K_HANDLE_NORTH_EAST = 8,
  K_HANDLE_SOUTH_EAST = 9,
};

// The file format codes of Save and Load.
enum IMAGE_FILE_TYPES : int {
  K_FILE_FORMAT_TIFF_BILEVEL = 0,
  K_FILE_FORMAT_TIFF_GRAY = 1,
  K_FILE_FORMAT_TIFF_COLOR = 2,
  K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS = 3,
  K_FILE_FORMAT_TIFF_GRAY_PACKBITS = 4,
  K_FILE_FORMAT_TIFF_COLOR_PACKBITS = 5,
  K_FILE_FORMAT_BMP_BILEVEL = 6,
  K_FILE_FORMAT_BMP_GRAY = 7,
  K_FILE_FORMAT_BMP_COLOR = 8,
  K_FILE_FORMAT_JPEG_BILEVEL = 9,
  K_FILE_FORMAT_JPEG_GRAY = 10,
  K_FILE_FORMAT_JPEG_COLOR = 11,
  K_FILE_FORMAT_AUTO = 12,
  // Codes after K_FILE_FORMAT_AUTO: PNG, and compressed TIFF written with the horizontal predictor.
  K_FILE_FORMAT_PNG_BILEVEL = 13,
  K_FILE_FORMAT_PNG_GRAY = 14,   // 8 or 16 bits
  K_FILE_FORMAT_PNG_COLOR = 15,  // 8-bit RGB
  K_FILE_FORMAT_TIFF_GRAY_DEFLATE = 16,
  K_FILE_FORMAT_TIFF_COLOR_DEFLATE = 17,
  K_FILE_FORMAT_TIFF_GRAY_LZW = 18,
  K_FILE_FORMAT_TIFF_COLOR_LZW = 19,
  // The containers, as a load names them the moment it has recognised a file (before its reader
  // tells the exact code).
  K_FILE_FORMAT_TIFF = K_FILE_FORMAT_TIFF_GRAY,
  K_FILE_FORMAT_BMP = K_FILE_FORMAT_BMP_GRAY,
  K_FILE_FORMAT_JPEG = K_FILE_FORMAT_JPEG_GRAY,
  K_FILE_FORMAT_PNG = K_FILE_FORMAT_PNG_GRAY,
};

template <typename T>
class KVBASE_API KROI : public KGenericROI {
 public:
  using KGenericROI::SetColorSystem;

  KROI();
  // Attaches to `parent` (may be null) and places the ROI as SetPlacement does: the part left of or above
  // the parent is cut off, the size is clipped against the parent.
  KROI(KROI<T>* parent, int orgX, int orgY, int width, int height);
  // Leaves the parent; children survive, detached.
  ~KROI() override;

  // --- KGenericROI interface ---
  KGenericROI* GetTopParent() override;
  void ResetMask() override;
  // Runs for the rectangle, clipped to this ROI; a width or height below 1 means this ROI's size.
  void SetRectangleMask(int x, int y, int width, int height) override;
  // Runs for the ellipse inscribed in the box; a width or height of 0 or less means the whole ROI. A box
  // that reaches outside the ROI is clipped; rows left without pixels have no run.
  void SetEllipseMask(int x, int y, int width, int height) override;
  // Hooks for companion libraries: they do nothing here.
  void SetBinarizedMask(unsigned int) override {}
  void SetObjectMask(KListItem*) override {}
  void SetColorSystem() override { colorSystem_ = KPixelTraits<T>::kColorSystem; }
  void GetPixelDimensions(float& width, float& height, KMeasurementUnit*& unit) override;
  void GetResolution(float& x, float& y, KMeasurementUnit*& unit) override;
  void SetPixelDimensions(float width, float height, KMeasurementUnit* unit) override;
  void SetResolution(float x, float y, KMeasurementUnit* unit) override;
  int IsAnROI() override { return 1; }
  K_IMAGE_TYPES GetType() override { return KPixelTraits<T>::kType; }
  int GetBitsPerPixel() override { return KPixelTraits<T>::kBitsPerPixel; }
  int GetPlanesPerPixel() override { return KPixelTraits<T>::kPlanesPerPixel; }
  int Void() override;
  void SetSize(KGenericROI* model) override;
  void SetSize(int width, int height) override;
  void* GetGenericImagePtr(int x, int y) override;
  int GetColPitch() override { return GetBitsPerPixel() >> 3; }
  int GetRowPitch() override;
  // Row pitch times height; saturated at the int range rather than wrapped.
  int GetImgPitch() override;
  void Serialize(void* stream, int writing, unsigned int version) override;
  void DrawMask(HDC dc, float zoomX, float zoomY, float panX, float panY) override;
  void Draw(HDC dc, float zoomX, float zoomY) override;
  unsigned int GetBitIndex(int x, int y) override;
  void NotVoid() override;
  int GetSkip() override;
  short GetBitsPerPixelCode() override { return KPixelTraits<T>::kBitsPerPixelCode; }
  short GetDataType() override { return KPixelTraits<T>::kDataType; }

  // --- Added by KROI<T>, after the base interface ---
  // Appends this ROI to `parent`'s children. Refused for an ROI that has a parent, for an image, and for
  // a parent that is this ROI or one of its descendants.
  virtual void Attach(KROI<T>* parent);
  virtual void Detach();

  // --- Placement ---
  void SetOrgX(int x);
  void SetOrgY(int y);
  void SetWidth(int width);
  void SetHeight(int height);
  void SetPlacement(int orgX, int orgY, int width, int height);

  T* GetImagePtr(int x, int y) { return static_cast<T*>(GetGenericImagePtr(x, y)); }

  // --- Pixels (no bounds check; BW1 pixels read as 0 or 1) ---
  T GetPixel(int x, int y);
  void SetPixel(T value, int x, int y);

  // --- Masks ---
  // The band between the ellipse of the whole ROI and the one scaled by `ratio` (outside it for ratio > 1).
  void SetRingMask(float ratio);
  KVectorTemplate<KRun>& GetMask() { return mask_; }
  int GetMaskOffsets() const { return maskOffsets_; }
  // Non-zero: masks built from now on hold byte offsets from pixel (0, 0) instead of addresses.
  void SetMaskOffsets(int offsets) { maskOffsets_ = offsets; }

  // --- Frames and dragging (mouse positions in device pixels) ---
  K_HANDLES HitTest(int x, int y, float zoomX, float zoomY, float panX, float panY);
  void Drag(K_HANDLES handle, int x, int y, float zoomX, float zoomY, float panX, float panY);

  // --- Drawing with a lookup table (BW8 only) ---
  void Draw(HDC dc, KBW8Vector* lut, float zoomX, float zoomY);
  void Draw(HDC dc, KC24Vector* lut, float zoomX, float zoomY);

  // --- Files (BW8, BW16 and C24; the other kinds refuse) ---
  void Save(const char* path, IMAGE_FILE_TYPES format);
  IMAGE_FILE_TYPES Load(const char* path);

 protected:
  // Reset to the whole parent: origin 0, 0 and the parent's size.
  void ResetToParent();
  // Shared by SetWidth and SetHeight.
  void SetExtent(bool horizontal, int extent);
  // Shared by SetOrgX and SetOrgY.
  void SetOrigin(bool horizontal, int origin);
  // Address or offset of this ROI's pixel (0, 0) for new runs.
  std::uintptr_t MaskOrigin();

  int dragAnchorX_;
  int dragAnchorY_;
  KVectorTemplate<KRun> mask_;
  int maskOffsets_;
};

// Bilevel pixels are bits in the root image.
template <>
int KROI<int>::GetPixel(int x, int y);
template <>
void KROI<int>::SetPixel(int value, int x, int y);

template <typename T>
T KROI<T>::GetPixel(int x, int y) {
  const T* pixel = GetImagePtr(x, y);
  return pixel != nullptr ? *pixel : T{};
}

template <typename T>
void KROI<T>::SetPixel(T value, int x, int y) {
  if (T* pixel = GetImagePtr(x, y)) *pixel = value;
}

typedef KROI<int> KROIBW1;
typedef KROI<unsigned char> KROIBW8;
typedef KROI<unsigned short> KROIBW16;
typedef KROI<unsigned int> KROIBW32;
typedef KROI<KC15> KROIC15;
typedef KROI<KC16> KROIC16;
typedef KROI<KC24> KROIC24;
typedef KROI<KC24A> KROIC24A;
typedef KROI<KSubPixel64> KROISubPixel64;
typedef KROI<KComplex64> KROIComplex64;

#define KVBASE_DECLARE_ROI(T) extern template class KROI<T>;
KVBASE_FOR_EACH_PIXEL_TYPE(KVBASE_DECLARE_ROI)
#undef KVBASE_DECLARE_ROI

#endif  // KVBASE_IMAGE_ROI_H
