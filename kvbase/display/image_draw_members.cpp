// The drawing members of KROI<T> and KImage<T>: Draw (with and without lookup table) forwards to the
// KDrawImageInWindow overload of the pixel type or refuses the type; DrawMask draws the mask's runs as
// horizontal lines with the device context's pen, at the root image's coordinates plus the pan.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "kvbase/display/image_drawing.h"
#include "kvbase/foundation/internal/report.h"
#include "kvbase/image/image.h"
#include "kvbase/platform/gdi.h"

namespace {

// How Draw treats each pixel type: the trace names of a refusal, or the overload to call.
template <typename T>
struct KDrawTraits {
  static constexpr bool kDrawable = true;
};

#define KVBASE_REFUSED_TYPE(T, suffix)                                        \
  template <>                                                                 \
  struct KDrawTraits<T> {                                                     \
    static constexpr bool kDrawable = false;                                  \
    static constexpr const char* kImageRefusal = "KImage::Draw (" suffix ")"; \
    static constexpr const char* kROIRefusal = "KROI::Draw (" suffix ")";     \
  };
KVBASE_REFUSED_TYPE(unsigned int, "BW32")
KVBASE_REFUSED_TYPE(KSubPixel64, "SubPixel64")
KVBASE_REFUSED_TYPE(KComplex64, "Complex64")
#undef KVBASE_REFUSED_TYPE

// The overloads for the drawable types: images of BW1 and BW8 have their own, every other image is
// drawn as the ROI of its type.
template <typename T>
void DrawImageOverload(KImage<T>* image, HDC dc, float zoomX, float zoomY) {
  KDrawImageInWindow(static_cast<KROI<T>*>(image), dc, zoomX, zoomY);
}
void DrawImageOverload(KImage<int>* image, HDC dc, float zoomX, float zoomY) {
  KDrawImageInWindow(image, dc, zoomX, zoomY);
}
void DrawImageOverload(KImage<unsigned char>* image, HDC dc, float zoomX, float zoomY) {
  KDrawImageInWindow(image, dc, zoomX, zoomY);
}
template <typename T>
void DrawROIOverload(KROI<T>* roi, HDC dc, float zoomX, float zoomY) {
  KDrawImageInWindow(roi, dc, zoomX, zoomY);
}

// The member recipe: nothing at all for an object without pixels; otherwise the overload, and the
// member's own trace after a failure.
template <typename Object, typename Overload>
void DrawMember(Object* object, float zoomX, float& zoomY, const char* traceName, Overload overload) {
  if (zoomY == 0.0f) zoomY = zoomX;
  if (object->GetImagePtr(0, 0) == nullptr) return;
  KOk();
  overload();
  if (KGetError() != K_SUCCESS) KTraceError(traceName);
}

// The lookup-table members: only BW8 pixels are drawn through a table; any other type is refused
// with `refusal` before anything else is looked at.
template <typename T, typename Object, typename Lut>
void DrawThroughTable(Object* object, HDC dc, Lut* lut, float zoomX, float zoomY, const char* traceName,
                      const char* refusal) {
  if constexpr (std::is_same<T, unsigned char>::value) {
    DrawMember(object, zoomX, zoomY, traceName, [&] { KDrawImageInWindow(object, dc, lut, zoomX, zoomY); });
  } else {
    KReport(K_ERROR_UNSUPPORTED_IMAGE_TYPE, refusal);
  }
}

// floor(value) as an int, kept inside the int range (a NaN gives 0).
int Floor(float value) {
  const float down = std::floor(value);
  if (!(down == down)) return 0;
  if (down >= static_cast<float>(INT_MAX)) return INT_MAX;
  if (down <= static_cast<float>(INT_MIN)) return INT_MIN;
  return static_cast<int>(down);
}

}  // namespace

template <typename T>
void KROI<T>::Draw(HDC dc, float zoomX, float zoomY) {
  if constexpr (KDrawTraits<T>::kDrawable) {
    DrawMember(this, zoomX, zoomY, "KROI::Draw", [&] { DrawROIOverload(this, dc, zoomX, zoomY); });
  } else {
    KReport(K_ERROR_UNSUPPORTED_IMAGE_TYPE, KDrawTraits<T>::kROIRefusal);  // looks at nothing else
  }
}

template <typename T>
void KImage<T>::Draw(HDC dc, float zoomX, float zoomY) {
  if constexpr (KDrawTraits<T>::kDrawable) {
    DrawMember(this, zoomX, zoomY, "KImage::Draw", [&] { DrawImageOverload(this, dc, zoomX, zoomY); });
  } else {
    KReport(K_ERROR_UNSUPPORTED_IMAGE_TYPE, KDrawTraits<T>::kImageRefusal);
  }
}

template <typename T>
void KROI<T>::Draw(HDC dc, KBW8Vector* lut, float zoomX, float zoomY) {
  DrawThroughTable<T>(this, dc, lut, zoomX, zoomY, "KROIBW8::Draw (Gray Scale)", "KROI::Draw");
}

template <typename T>
void KROI<T>::Draw(HDC dc, KC24Vector* lut, float zoomX, float zoomY) {
  DrawThroughTable<T>(this, dc, lut, zoomX, zoomY, "KROIBW8::Draw (Color Scale)", "KROI::Draw");
}

template <typename T>
void KImage<T>::Draw(HDC dc, KBW8Vector* lut, float zoomX, float zoomY) {
  DrawThroughTable<T>(this, dc, lut, zoomX, zoomY, "KImageBW8::Draw (Gray Scale)", "KImage::Draw");
}

template <typename T>
void KImage<T>::Draw(HDC dc, KC24Vector* lut, float zoomX, float zoomY) {
  DrawThroughTable<T>(this, dc, lut, zoomX, zoomY, "KImageBW8::Draw (Color Scale)", "KImage::Draw");
}

template <typename T>
void KROI<T>::DrawMask(HDC dc, float zoomX, float zoomY, float panX, float panY) {
  if (zoomY == 0.0f) zoomY = zoomX;
  const int ox = GetTotalOrgX(), oy = GetTotalOrgY();
  const unsigned int count = mask_.GetNumElements();
  const KRun* runs = mask_.GetDataPtr();
  // Only rows that can show on the device are drawn: at large zooms a run spans more rows than exist.
  POINT viewport{0, 0};
  GetViewportOrgEx(dc, &viewport);
  const long long firstVisible = -static_cast<long long>(viewport.y);
  const long long endVisible = firstVisible + GetDeviceCaps(dc, VERTRES);
  for (unsigned int i = 0; i < count; ++i) {
    const KRun& run = runs[i];
    const long long x0 = static_cast<long long>(ox) + run.x;
    const long long length =
        static_cast<long long>(static_cast<std::intptr_t>(run.end - run.start)) / static_cast<long long>(sizeof(T));
    const long long x1 = x0 + length;
    const long long y = static_cast<long long>(oy) + run.y;
    const int dx0 = Floor((static_cast<float>(x0) + panX) * zoomX);
    const int dx1 = Floor((static_cast<float>(x1) + panX) * zoomX);
    const int dy0 = Floor((static_cast<float>(y) + panY) * zoomY);
    const int dy1 = Floor((static_cast<float>(y + 1) + panY) * zoomY);
    for (long long r = std::max<long long>(dy0, firstVisible); r < std::min<long long>(dy1, endVisible); ++r) {
      MoveToEx(dc, dx0, static_cast<int>(r), nullptr);
      LineTo(dc, dx1, static_cast<int>(r));
    }
  }
}

template <typename T>
void KImage<T>::DrawMask(HDC dc, float zoomX, float zoomY, float panX, float panY) {
  KROI<T>::DrawMask(dc, zoomX, zoomY, panX, panY);
}

#define KVBASE_DEFINE_DRAW(T)                                         \
  template void KROI<T>::Draw(HDC, float, float);                     \
  template void KROI<T>::DrawMask(HDC, float, float, float, float);   \
  template void KImage<T>::Draw(HDC, float, float);                   \
  template void KImage<T>::DrawMask(HDC, float, float, float, float); \
  template void KROI<T>::Draw(HDC, KBW8Vector*, float, float);        \
  template void KROI<T>::Draw(HDC, KC24Vector*, float, float);        \
  template void KImage<T>::Draw(HDC, KBW8Vector*, float, float);      \
  template void KImage<T>::Draw(HDC, KC24Vector*, float, float);
KVBASE_FOR_EACH_PIXEL_TYPE(KVBASE_DEFINE_DRAW)
#undef KVBASE_DEFINE_DRAW
