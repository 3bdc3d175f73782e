// ROI frames with drag handles, hit testing and dragging, all on one mapping between root-image pixels
// and device pixels: device = (root pixel + pan) x zoom, a zoomY of 0 meaning zoomY = zoomX.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "kvbase/image/image.h"
#include "kvbase/image/roi.h"
#include "kvbase/platform/gdi.h"

namespace {

// A double as an int, truncated toward zero and kept inside the int range (a NaN gives 0).
int TruncToInt(double value) {
  if (!(value == value)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

int ClampToInt(long long value) {
  return static_cast<int>(std::min<long long>(std::max<long long>(value, INT_MIN), INT_MAX));
}

// R(v): v + 0.5 truncated toward zero, v being a single-precision product.
int Round(float product) { return TruncToInt(static_cast<double>(product) + 0.5); }

struct DeviceRect {
  int left, top, right, bottom;
};

// The device rectangle of an ROI at `orgX`, `orgY` (root coordinates) of `width` x `height` pixels:
// right and bottom are the device lines one past its last column and row.
DeviceRect DeviceRectangle(int orgX, int orgY, int width, int height, float zoomX, float zoomY, float panX,
                           float panY) {
  const float s = static_cast<float>(orgX) + panX;
  const float t = static_cast<float>(orgY) + panY;
  return {Round(s * zoomX), Round(t * zoomY), Round((s + static_cast<float>(width)) * zoomX),
          Round((t + static_cast<float>(height)) * zoomY)};
}

// The root-image pixel under device position `device`: trunc(device / zoom - pan).
int RootPixel(int device, float zoom, float pan) {
  return TruncToInt(static_cast<float>(static_cast<float>(device) / zoom - pan));
}

bool Near(int a, int b) { return std::llabs(static_cast<long long>(a) - b) <= 4; }

// Dragging a side (root coordinates): the right or bottom side to the mouse leaves an extent of at least
// one pixel from `start`; the left or top side goes to the mouse, kept inside the parent (whose origin
// is `parentOrg`) and at least one pixel before the far side `end`.
long long FarSideExtent(long long mouse, long long start) { return std::max(mouse, start + 1) - start; }
long long NearSide(long long mouse, long long parentOrg, long long end) {
  return std::min(std::max(parentOrg, mouse), end - 1);
}

}  // namespace

void KGenericROI::DrawFrame(HDC dc, K_FRAME_POSITION position, int handles, float zoomX, float zoomY, float panX,
                            float panY) {
  if (zoomY == 0.0f) zoomY = zoomX;
  const DeviceRect device = DeviceRectangle(GetTotalOrgX(), GetTotalOrgY(), width_, height_, zoomX, zoomY, panX, panY);
  LOGPEN pen{};
  const long long pw = GetObject(GetCurrentObject(dc, OBJ_PEN), sizeof pen, &pen) != 0 ? pen.lopnWidth.x : 0;
  // In 64 bits: at extreme zooms the corners sit at the ends of the int range.
  long long left = device.left, top = device.top, right = device.right, bottom = device.bottom;
  switch (position) {
    case K_FRAME_POSITION_ON_BORDER:
      right -= 1;
      bottom -= 1;
      break;
    case K_FRAME_POSITION_INSIDE:
      left += pw / 2;
      top += pw / 2;
      right -= (pw + 1) / 2;
      bottom -= (pw + 1) / 2;
      break;
    case K_FRAME_POSITION_OUTSIDE:
      left -= (pw + 1) / 2;
      top -= (pw + 1) / 2;
      right += pw / 2;
      bottom += pw / 2;
      break;
    default: break;
  }
  const int l = ClampToInt(left), t = ClampToInt(top), r = ClampToInt(right), b = ClampToInt(bottom);
  MoveToEx(dc, l, t, nullptr);
  LineTo(dc, r, t);
  LineTo(dc, r, b);
  LineTo(dc, l, b);
  LineTo(dc, l, t);
  if (handles == 0) return;
  const long long cx = (left + right) / 2, cy = (top + bottom) / 2;
  const long long points[][2] = {{left, top}, {cx, top},      {right, top}, {left, cy},
                                 {right, cy}, {left, bottom}, {cx, bottom}, {right, bottom}};
  for (const auto& p : points)
    Rectangle(dc, ClampToInt(p[0] - 4), ClampToInt(p[1] - 4), ClampToInt(p[0] + 4), ClampToInt(p[1] + 4));
}

template <typename T>
K_HANDLES KROI<T>::HitTest(int x, int y, float zoomX, float zoomY, float panX, float panY) {
  if (zoomY == 0.0f) zoomY = zoomX;
  dragAnchorX_ = ClampToInt(static_cast<long long>(RootPixel(x, zoomX, panX)) - orgX_);
  dragAnchorY_ = ClampToInt(static_cast<long long>(RootPixel(y, zoomY, panY)) - orgY_);
  const DeviceRect r = DeviceRectangle(GetTotalOrgX(), GetTotalOrgY(), width_, height_, zoomX, zoomY, panX, panY);
  const int cx = static_cast<int>((static_cast<long long>(r.left) + r.right) / 2);
  const int cy = static_cast<int>((static_cast<long long>(r.top) + r.bottom) / 2);
  // Side handles first: on small ROIs the squares overlap the corners'.
  if (Near(x, cx) && Near(y, r.top)) return K_HANDLE_NORTH;
  if (Near(x, cx) && Near(y, r.bottom)) return K_HANDLE_SOUTH;
  if (Near(x, r.left) && Near(y, cy)) return K_HANDLE_WEST;
  if (Near(x, r.right) && Near(y, cy)) return K_HANDLE_EAST;
  if (Near(x, r.left) && Near(y, r.top)) return K_HANDLE_NORTH_WEST;
  if (Near(x, r.right) && Near(y, r.top)) return K_HANDLE_NORTH_EAST;
  if (Near(x, r.left) && Near(y, r.bottom)) return K_HANDLE_SOUTH_WEST;
  if (Near(x, r.right) && Near(y, r.bottom)) return K_HANDLE_SOUTH_EAST;
  if (r.left <= x && x <= r.right && r.top <= y && y <= r.bottom) return K_HANDLE_INSIDE;
  return K_HANDLE_NONE;
}

template <typename T>
void KROI<T>::Drag(K_HANDLES handle, int x, int y, float zoomX, float zoomY, float panX, float panY) {
  if (zoomY == 0.0f) zoomY = zoomX;
  const long long X = RootPixel(x, zoomX, panX), Y = RootPixel(y, zoomY, panY);
  const long long L = GetTotalOrgX(), T0 = GetTotalOrgY();
  const long long R = L + width_, B = T0 + height_;
  // A missing parent counts as one at origin 0.
  const long long parentX = parent_ != nullptr ? parent_->GetOrgX() : 0;
  const long long parentY = parent_ != nullptr ? parent_->GetOrgY() : 0;

  switch (handle) {
    case K_HANDLE_INSIDE: {
      const long long nx = std::max<long long>(std::min<long long>(X, dragAnchorX_ + R - 1), 0);
      const long long ny = std::max<long long>(std::min<long long>(Y, dragAnchorY_ + B - 1), 0);
      SetOrgX(ClampToInt(nx - dragAnchorX_));
      SetOrgY(ClampToInt(ny - dragAnchorY_));
      // The anchor absorbs what clipping at the parent took away.
      dragAnchorX_ = ClampToInt(dragAnchorX_ + (nx - dragAnchorX_ - orgX_));
      dragAnchorY_ = ClampToInt(dragAnchorY_ + (ny - dragAnchorY_ - orgY_));
      return;
    }
    case K_HANDLE_EAST:
    case K_HANDLE_NORTH_EAST:
    case K_HANDLE_SOUTH_EAST: SetWidth(ClampToInt(FarSideExtent(X, L))); break;
    case K_HANDLE_WEST:
    case K_HANDLE_NORTH_WEST:
    case K_HANDLE_SOUTH_WEST: {
      const long long nx = NearSide(X, parentX, R);
      SetOrgX(ClampToInt(orgX_ + nx - L));
      SetWidth(ClampToInt(R - nx));
      break;
    }
    default: break;
  }
  switch (handle) {
    case K_HANDLE_NORTH:
    case K_HANDLE_NORTH_WEST:
    case K_HANDLE_NORTH_EAST: {
      const long long ny = NearSide(Y, parentY, B);
      SetOrgY(ClampToInt(orgY_ + ny - T0));
      SetHeight(ClampToInt(B - ny));
      break;
    }
    case K_HANDLE_SOUTH:
    case K_HANDLE_SOUTH_WEST:
    case K_HANDLE_SOUTH_EAST: SetHeight(ClampToInt(FarSideExtent(Y, T0))); break;
    default: break;
  }
}

#define KVBASE_DEFINE_FRAME(T)                                               \
  template K_HANDLES KROI<T>::HitTest(int, int, float, float, float, float); \
  template void KROI<T>::Drag(K_HANDLES, int, int, float, float, float, float);
KVBASE_FOR_EACH_PIXEL_TYPE(KVBASE_DEFINE_FRAME)
#undef KVBASE_DEFINE_FRAME
