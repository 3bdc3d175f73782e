// Drawing an ROI's frame and its eight drag handles with the device context's pen and brush, on the
// frame mapping that HitTest and Drag use.

#include "kvbase/image/generic_roi.h"
#include "kvbase/image/internal/frame_geometry.h"
#include "kvbase/platform/gdi.h"

using kvbase::internal::ClampToInt;
using kvbase::internal::DeviceRectangle;
using kvbase::internal::KDeviceRect;

void KGenericROI::DrawFrame(HDC dc, K_FRAME_POSITION position, int handles, float zoomX, float zoomY, float panX,
                            float panY) {
  if (zoomY == 0.0f) zoomY = zoomX;
  const KDeviceRect device = DeviceRectangle(GetTotalOrgX(), GetTotalOrgY(), width_, height_, zoomX, zoomY, panX, panY);
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
