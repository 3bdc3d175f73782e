#include "kvbase/platform/gdi_draw.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "kvbase/platform/internal/gdi_handles.h"
#include "kvbase/platform/internal/raster.h"

using kvgdi::DevicePoint;
using kvgdi::Find;
using kvgdi::Target;

namespace {

// The selected pen, or null when it draws nothing.
const kvgdi::Pen* DrawingPen(const Target& target) {
  const kvgdi::Pen* pen = Find<kvgdi::Pen>(target.dc->pen);
  return pen == nullptr || pen->style == PS_NULL ? nullptr : pen;
}

const kvgdi::Brush* DrawingBrush(const Target& target) {
  const kvgdi::Brush* brush = Find<kvgdi::Brush>(target.dc->brush);
  return brush == nullptr || brush->style == BS_NULL ? nullptr : brush;
}

void DrawSegment(const Target& target, const kvgdi::Pen& pen, DevicePoint from, DevicePoint to) {
  const std::uint32_t value = target.surface->Encode(kvgdi::BgrxFromColorref(pen.color));
  if (pen.width <= 1) {
    kvgdi::DrawThinLine(*target.surface, from, to, value);
  } else {
    kvgdi::DrawWideLine(*target.surface, from, to, pen.width, value);
  }
}

}  // namespace

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous) {
  kvgdi::DeviceContext* context = Find<kvgdi::DeviceContext>(dc);
  if (context == nullptr) return FALSE;
  if (previous != nullptr) *previous = context->position;
  context->position = {x, y};
  return TRUE;
}

BOOL GetCurrentPositionEx(HDC dc, POINT* position) {
  kvgdi::DeviceContext* context = Find<kvgdi::DeviceContext>(dc);
  if (context == nullptr || position == nullptr) return FALSE;
  *position = context->position;
  return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
  Target target;
  if (!kvgdi::FindTarget(dc, &target)) return FALSE;
  const POINT from = target.dc->position;
  if (const kvgdi::Pen* pen = DrawingPen(target))
    DrawSegment(target, *pen, {target.X(from.x), target.Y(from.y)}, {target.X(x), target.Y(y)});
  target.dc->position = {x, y};
  return TRUE;
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
  Target target;
  if (!kvgdi::FindTarget(dc, &target)) return FALSE;
  std::int64_t l = target.X(left), r = target.X(right), t = target.Y(top), b = target.Y(bottom);
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  const kvgdi::Pen* pen = DrawingPen(target);
  if (const kvgdi::Brush* brush = DrawingBrush(target)) {
    const std::uint32_t value = target.surface->Encode(kvgdi::BgrxFromColorref(brush->color));
    if (pen == nullptr) {
      target.surface->FillRect(l, t, r - 1, b - 1, value);
    } else {
      target.surface->FillRect(l + 1, t + 1, r - 1, b - 1, value);
    }
  }
  if (pen == nullptr || r - l < 1 || b - t < 1) return TRUE;
  if (pen->width <= 1) {
    const std::uint32_t value = target.surface->Encode(kvgdi::BgrxFromColorref(pen->color));
    target.surface->FillRect(l, t, r, t + 1, value);
    target.surface->FillRect(l, b - 1, r, b, value);
    target.surface->FillRect(l, t, l + 1, b, value);
    target.surface->FillRect(r - 1, t, r, b, value);
  } else {
    const DevicePoint corners[] = {{l, t}, {r - 1, t}, {r - 1, b - 1}, {l, b - 1}};
    for (int i = 0; i < 4; ++i) DrawSegment(target, *pen, corners[i], corners[(i + 1) % 4]);
  }
  return TRUE;
}

BOOL Polygon(HDC dc, const POINT* points, int count) {
  Target target;
  if (!kvgdi::FindTarget(dc, &target) || points == nullptr || count < 2) return FALSE;
  std::vector<DevicePoint> device(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) device[i] = {target.X(points[i].x), target.Y(points[i].y)};
  if (const kvgdi::Brush* brush = DrawingBrush(target)) {
    std::vector<double> xs, ys;
    for (const DevicePoint& p : device) {
      xs.push_back(static_cast<double>(p.x));
      ys.push_back(static_cast<double>(p.y));
    }
    kvgdi::FillPolygon(*target.surface, xs, ys, target.surface->Encode(kvgdi::BgrxFromColorref(brush->color)));
  }
  if (const kvgdi::Pen* pen = DrawingPen(target)) {
    for (int i = 0; i < count; ++i) DrawSegment(target, *pen, device[i], device[(i + 1) % count]);
  }
  return TRUE;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  Target target;
  if (!kvgdi::FindTarget(dc, &target)) return CLR_INVALID;
  const std::int64_t dx = target.X(x), dy = target.Y(y);
  if (dx < 0 || dy < 0 || dx >= target.surface->Width() || dy >= target.surface->Height()) return CLR_INVALID;
  const std::uint32_t value = target.surface->Encode(kvgdi::BgrxFromColorref(color));
  target.surface->Write(static_cast<int>(dx), static_cast<int>(dy), value);
  return kvgdi::ColorrefFromBgrx(target.surface->Decode(value));
}

COLORREF GetPixel(HDC dc, int x, int y) {
  Target target;
  if (!kvgdi::FindTarget(dc, &target)) return CLR_INVALID;
  const std::int64_t dx = target.X(x), dy = target.Y(y);
  if (dx < 0 || dy < 0 || dx >= target.surface->Width() || dy >= target.surface->Height()) return CLR_INVALID;
  return kvgdi::ColorrefFromBgrx(
      target.surface->Decode(target.surface->Read(static_cast<int>(dx), static_cast<int>(dy))));
}
