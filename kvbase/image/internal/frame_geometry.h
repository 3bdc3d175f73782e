#ifndef KVBASE_IMAGE_INTERNAL_FRAME_GEOMETRY_H
#define KVBASE_IMAGE_INTERNAL_FRAME_GEOMETRY_H

// The one mapping between root-image pixels and device pixels that ROI frames are drawn, hit-tested and
// dragged with: device = (root pixel + pan) x zoom, a zoomY of 0 meaning zoomY = zoomX (the caller
// resolves that before calling these).

#include <algorithm>
#include <climits>

namespace kvbase::internal {

// A double as an int, truncated toward zero and kept inside the int range (a NaN gives 0).
inline int TruncToInt(double value) {
  if (!(value == value)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

inline int ClampToInt(long long value) {
  return static_cast<int>(std::min<long long>(std::max<long long>(value, INT_MIN), INT_MAX));
}

// R(v): v + 0.5 truncated toward zero, v being a single-precision product.
inline int RoundProduct(float product) { return TruncToInt(static_cast<double>(product) + 0.5); }

struct KDeviceRect {
  int left, top, right, bottom;
};

// The device rectangle of an ROI at `orgX`, `orgY` (root coordinates) of `width` x `height` pixels:
// right and bottom are the device lines one past its last column and row.
inline KDeviceRect DeviceRectangle(int orgX, int orgY, int width, int height, float zoomX, float zoomY, float panX,
                                   float panY) {
  const float s = static_cast<float>(orgX) + panX;
  const float t = static_cast<float>(orgY) + panY;
  return {RoundProduct(s * zoomX), RoundProduct(t * zoomY), RoundProduct((s + static_cast<float>(width)) * zoomX),
          RoundProduct((t + static_cast<float>(height)) * zoomY)};
}

// The root-image pixel under device position `device`: trunc(device / zoom - pan).
inline int RootPixel(int device, float zoom, float pan) {
  return TruncToInt(static_cast<float>(static_cast<float>(device) / zoom - pan));
}

}  // namespace kvbase::internal

#endif  // KVBASE_IMAGE_INTERNAL_FRAME_GEOMETRY_H
