// Hit testing and dragging the handles of an ROI frame, on the mapping between root-image pixels and
// device pixels that frames are drawn with (internal/frame_geometry.h; the drawing is display's).

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "kvbase/image/image.h"
#include "kvbase/image/internal/frame_geometry.h"
#include "kvbase/image/roi.h"

namespace {

using kvbase::internal::ClampToInt;
using kvbase::internal::DeviceRectangle;
using kvbase::internal::KDeviceRect;
using kvbase::internal::RootPixel;

bool Near(int a, int b) { return std::llabs(static_cast<long long>(a) - b) <= 4; }

// Dragging a side (root coordinates): the right or bottom side to the mouse leaves an extent of at least
// one pixel from `start`; the left or top side goes to the mouse, kept inside the parent (whose origin
// is `parentOrg`) and at least one pixel before the far side `end`.
long long FarSideExtent(long long mouse, long long start) { return std::max(mouse, start + 1) - start; }
long long NearSide(long long mouse, long long parentOrg, long long end) {
  return std::min(std::max(parentOrg, mouse), end - 1);
}

}  // namespace

template <typename T>
K_HANDLES KROI<T>::HitTest(int x, int y, float zoomX, float zoomY, float panX, float panY) {
  if (zoomY == 0.0f) zoomY = zoomX;
  dragAnchorX_ = ClampToInt(static_cast<long long>(RootPixel(x, zoomX, panX)) - orgX_);
  dragAnchorY_ = ClampToInt(static_cast<long long>(RootPixel(y, zoomY, panY)) - orgY_);
  const KDeviceRect r = DeviceRectangle(GetTotalOrgX(), GetTotalOrgY(), width_, height_, zoomX, zoomY, panX, panY);
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
