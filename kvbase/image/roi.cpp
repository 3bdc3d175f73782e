#include "kvbase/image/roi.h"

#include <algorithm>
#include <climits>

#include "kvbase/foundation/internal/report.h"
#include "kvbase/image/image.h"

namespace {

int ClampToInt(long long value) {
  return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, value)));
}

}  // namespace

template <typename T>
KROI<T>::KROI() : dragAnchorX_(0), dragAnchorY_(0), maskOffsets_(0) {
  SetColorSystem();
}

template <typename T>
KROI<T>::KROI(KROI<T>* parent, int orgX, int orgY, int width, int height)
    : dragAnchorX_(0), dragAnchorY_(0), maskOffsets_(0) {
  Attach(parent);
  // A negative origin is clipped as SetPlacement clips it: an ROI reaching left of or above its parent
  // would give addresses outside the root's buffer.
  SetPlacement(orgX, orgY, width, height);
  SetColorSystem();
}

template <typename T>
KROI<T>::~KROI() {
  Detach();
  while (firstSubROI_ != nullptr) static_cast<KROI<T>*>(firstSubROI_)->Detach();
}

// --- Tree ---

template <typename T>
void KROI<T>::Attach(KROI<T>* parent) {
  KOk();
  if (parent_ != nullptr) return (void)KReport(K_ERROR_ROI_HAS_PARENT, "KROI::Attach");
  if (IsAnROI() == 0) return (void)KReport(K_ERROR_CANNOT_APPLY_TO_IMAGE, "KROI::Attach");
  // A node may not become its own ancestor: the tree would turn into a loop.
  for (KGenericROI* node = parent; node != nullptr; node = node->parent_)
    if (node == this) return (void)KReport(K_ERROR_INVALID_OPERATION, "KROI::Attach");
  parent_ = parent;
  if (parent == nullptr) return;
  colorSystem_ = parent->colorSystem_;
  KGenericROI** link = &parent->firstSubROI_;
  while (*link != nullptr) link = &(*link)->nextSibling_;
  *link = this;
}

template <typename T>
void KROI<T>::Detach() {
  if (IsAnROI() == 0) return (void)KReport(K_ERROR_CANNOT_APPLY_TO_IMAGE, "KROI::Detach");
  if (parent_ == nullptr) return;
  KGenericROI** link = &parent_->firstSubROI_;
  while (*link != this) link = &(*link)->nextSibling_;
  *link = nextSibling_;
  parent_ = nullptr;
  nextSibling_ = nullptr;
}

template <typename T>
KGenericROI* KROI<T>::GetTopParent() {
  if (parent_ != nullptr) return parent_->GetTopParent();
  KReport(K_ERROR_ROI_HAS_NO_PARENT, "KROI::GetTopParent");
  return nullptr;
}

// --- Placement ---

template <typename T>
void KROI<T>::ResetToParent() {
  orgX_ = 0;
  orgY_ = 0;
  SetWidth(parent_->width_);
  SetHeight(parent_->height_);
}

template <typename T>
void KROI<T>::SetExtent(bool horizontal, int extent) {
  const char* traceName = horizontal ? "KROI::SetWidth" : "KROI::SetHeight";
  if (extent < 0) return (void)KReport(K_ERROR_PARAMETER_1_OUT_OF_RANGE, traceName);
  if (parent_ != nullptr) {
    const long long room =
        horizontal ? static_cast<long long>(parent_->width_) - orgX_ : static_cast<long long>(parent_->height_) - orgY_;
    const long long clipped = std::min<long long>(extent, room);
    if (clipped < 0) {
      ResetToParent();
      return (void)KReport(K_ERROR_ROI_OUT_OF_PARENT, traceName);
    }
    extent = static_cast<int>(clipped);
  }
  (horizontal ? width_ : height_) = extent;
  for (KGenericROI* child = firstSubROI_; child != nullptr; child = child->nextSibling_) {
    KROI<T>* typed = static_cast<KROI<T>*>(child);
    typed->SetExtent(horizontal, horizontal ? typed->width_ : typed->height_);
  }
}

template <typename T>
void KROI<T>::SetWidth(int width) {
  SetExtent(true, width);
}

template <typename T>
void KROI<T>::SetHeight(int height) {
  SetExtent(false, height);
}

template <typename T>
void KROI<T>::SetOrigin(bool horizontal, int origin) {
  const char* traceName = horizontal ? "KROI::SetOrgX" : "KROI::SetOrgY";
  if (IsAnROI() == 0) return (void)KReport(K_ERROR_CANNOT_APPLY_TO_IMAGE, traceName);
  const int extent = horizontal ? width_ : height_;
  const long long end = static_cast<long long>(origin) + extent;
  if (end < 0) {
    if (parent_ != nullptr) ResetToParent();
    return (void)KReport(K_ERROR_ROI_OUT_OF_PARENT, traceName);
  }
  // A negative origin cuts off the part before the parent's edge.
  (horizontal ? orgX_ : orgY_) = origin < 0 ? 0 : origin;
  SetExtent(horizontal, origin < 0 ? static_cast<int>(end) : extent);
}

template <typename T>
void KROI<T>::SetOrgX(int x) {
  SetOrigin(true, x);
}

template <typename T>
void KROI<T>::SetOrgY(int y) {
  SetOrigin(false, y);
}

template <typename T>
void KROI<T>::SetPlacement(int x, int y, int width, int height) {
  long long w = width, h = height;
  if (x < 0) {
    w += x;
    orgX_ = 0;
  } else {
    orgX_ = x;
  }
  if (y < 0) {
    h += y;
    orgY_ = 0;
  } else {
    orgY_ = y;
  }
  SetWidth(ClampToInt(w));
  SetHeight(ClampToInt(h));
}

template <typename T>
void KROI<T>::SetSize(int width, int height) {
  SetWidth(width);
  SetHeight(height);
}

template <typename T>
void KROI<T>::SetSize(KGenericROI* model) {
  SetSize(model->GetWidth(), model->GetHeight());
}

// --- Addresses and pitches ---

template <typename T>
void* KROI<T>::GetGenericImagePtr(int x, int y) {
  if (parent_ == nullptr) return nullptr;
  // The chain ends at the image, which answers null when it has no pixels.
  return parent_->GetGenericImagePtr(ClampToInt(static_cast<long long>(orgX_) + x),
                                     ClampToInt(static_cast<long long>(orgY_) + y));
}

template <typename T>
unsigned int KROI<T>::GetBitIndex(int x, int y) {
  if (parent_ == nullptr) return 0;
  return parent_->GetBitIndex(orgX_ + x, orgY_ + y);
}

template <typename T>
int KROI<T>::Void() {
  return GetImagePtr(0, 0) == nullptr ? 1 : 0;
}

template <typename T>
void KROI<T>::NotVoid() {
  if (GetImagePtr(0, 0) == nullptr) KSetError(K_ERROR_IMAGE_MEMORY_ACCESS);
}

template <typename T>
int KROI<T>::GetRowPitch() {
  KGenericROI* top = GetTopParent();
  if (top == nullptr) return 0;
  // Only an image answers GetTopParent with a node, and trees hold one pixel type.
  return static_cast<KImage<T>*>(top)->GetBitsPerRow() >> 3;
}

template <typename T>
int KROI<T>::GetImgPitch() {
  return ClampToInt(static_cast<long long>(GetRowPitch()) * height_);
}

template <typename T>
int KROI<T>::GetSkip() {
  KGenericROI* top = GetTopParent();
  if (top == nullptr) return KReport(K_ERROR_ROI_HAS_NO_PARENT, "KROI::GetSkip"), 0;
  const long long bits = static_cast<long long>(static_cast<KImage<T>*>(top)->GetBitsPerRow()) -
                         static_cast<long long>(width_) * GetBitsPerPixel();
  return static_cast<int>(bits >> 3);
}

// --- Pixel dimensions: kept by the root image ---

template <typename T>
void KROI<T>::GetPixelDimensions(float& width, float& height, KMeasurementUnit*& unit) {
  KGenericROI* top = GetTopParent();
  if (top == nullptr) return (void)KReport(K_ERROR_ROI_HAS_NO_PARENT, "KROI::GetPixelDimensions");
  top->GetPixelDimensions(width, height, unit);
}

template <typename T>
void KROI<T>::GetResolution(float& x, float& y, KMeasurementUnit*& unit) {
  KGenericROI* top = GetTopParent();
  if (top == nullptr) return (void)KReport(K_ERROR_ROI_HAS_NO_PARENT, "KROI::GetResolution");
  top->GetResolution(x, y, unit);
}

template <typename T>
void KROI<T>::SetPixelDimensions(float width, float height, KMeasurementUnit* unit) {
  KGenericROI* top = GetTopParent();
  if (top == nullptr) return (void)KReport(K_ERROR_ROI_HAS_NO_PARENT, "KROI::SetPixelDimensions");
  top->SetPixelDimensions(width, height, unit);
}

template <typename T>
void KROI<T>::SetResolution(float x, float y, KMeasurementUnit* unit) {
  KGenericROI* top = GetTopParent();
  if (top == nullptr) return (void)KReport(K_ERROR_ROI_HAS_NO_PARENT, "KROI::SetResolution");
  top->SetResolution(x, y, unit);
}

// --- Bilevel pixels: bits of the root image, leftmost pixel in the most significant bit ---

template <>
int KROI<int>::GetPixel(int x, int y) {
  KGenericROI* top = GetTopParent();
  if (top == nullptr) return 0;
  const int X = x + GetTotalOrgX(), Y = y + GetTotalOrgY();
  const unsigned char* byte = static_cast<unsigned char*>(top->GetGenericImagePtr(X, Y));
  if (byte == nullptr) return 0;
  return (*byte & (0x80 >> (X & 7))) ? 1 : 0;
}

template <>
void KROI<int>::SetPixel(int value, int x, int y) {
  KGenericROI* top = GetTopParent();
  if (top == nullptr) return;
  const int X = x + GetTotalOrgX(), Y = y + GetTotalOrgY();
  unsigned char* byte = static_cast<unsigned char*>(top->GetGenericImagePtr(X, Y));
  if (byte == nullptr) return;
  const unsigned char bit = static_cast<unsigned char>(0x80 >> (X & 7));
  *byte = value ? (*byte | bit) : (*byte & ~bit);
}

#define KVBASE_DEFINE_ROI(T) template class KROI<T>;
KVBASE_FOR_EACH_PIXEL_TYPE(KVBASE_DEFINE_ROI)
#undef KVBASE_DEFINE_ROI
