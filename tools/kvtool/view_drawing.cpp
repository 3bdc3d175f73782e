#include "view_drawing.h"

#include <algorithm>
#include <cmath>

namespace kvtool {

bool ParseViewOptions(const Args& args, ViewOptions& o, std::string& problem) {
  if (auto z = args.Get("zoom")) {
    std::vector<float> values;
    if (ParseFloats(*z, 1, values)) {
      o.zoomX = values[0];
    } else if (ParseFloats(*z, 2, values)) {
      o.zoomX = values[0];
      o.zoomY = values[1];
    } else {
      return problem = "--zoom must be Z or ZX,ZY", false;
    }
    if (!(o.zoomX > 0.0f && o.zoomX <= 64.0f) || !(o.zoomY >= 0.0f && o.zoomY <= 64.0f))
      return problem = "zoom factors must be above 0 and at most 64", false;
  }
  if (args.Has("lut") && args.Has("threshold")) return problem = "--lut and --threshold exclude each other", false;
  if (auto lut = args.Get("lut")) {
    if (!ParseFloats(*lut, 3, o.gainOffsetGamma)) return problem = "--lut must be GAIN,OFFSET,GAMMA", false;
    o.lut = true;
  }
  if (auto t = args.Get("threshold")) {
    long long level;
    if (!ParseInt(*t, level) || level < 0 || level > 255) return problem = "--threshold needs 0 to 255", false;
    o.threshold = true;
    o.thresholdLevel = static_cast<int>(level);
  }
  if (auto roi = args.Get("roi")) {
    std::vector<float> v;
    // Bounded so that X + W and Y + H still fit in an int.
    const auto sane = [](float value) { return std::fabs(value) <= 1e9f; };
    if (!ParseFloats(*roi, 4, v) || !std::all_of(v.begin(), v.end(), sane))
      return problem = "--roi must be X,Y,W,H, each within a billion", false;
    o.roi = true;
    o.roiX = static_cast<int>(v[0]);
    o.roiY = static_cast<int>(v[1]);
    o.roiW = static_cast<int>(v[2]);
    o.roiH = static_cast<int>(v[3]);
  }
  if (auto mask = args.Get("mask")) {
    if (*mask == "rect") {
      o.mask = MaskShape::kRectangle;
    } else if (*mask == "ellipse") {
      o.mask = MaskShape::kEllipse;
    } else if (mask->compare(0, 5, "ring:") == 0 && ParseFloat(mask->substr(5), o.ringRatio) && o.ringRatio >= 0) {
      o.mask = MaskShape::kRing;
    } else {
      return problem = "--mask must be rect, ellipse or ring:RATIO", false;
    }
  }
  if (auto frame = args.Get("frame")) {
    if (*frame == "on-border")
      o.framePosition = K_FRAME_POSITION_ON_BORDER;
    else if (*frame == "inside")
      o.framePosition = K_FRAME_POSITION_INSIDE;
    else if (*frame == "outside")
      o.framePosition = K_FRAME_POSITION_OUTSIDE;
    else
      return problem = "--frame must be on-border, inside or outside", false;
    o.frame = true;
  }
  if (o.roi && !args.Has("frame")) o.frame = true;
  return true;
}

const char* MaskShapeName(MaskShape shape) {
  switch (shape) {
    case MaskShape::kRectangle: return "rect";
    case MaskShape::kEllipse: return "ellipse";
    case MaskShape::kRing: return "ring";
    default: return "none";
  }
}

void DrawRoiOverlay(KGenericROI& roi, HDC dc, const OverlayPens& pens, K_FRAME_POSITION position, float zoomX,
                    float zoomY, float panX, float panY) {
  HGDIOBJ oldPen = GetCurrentObject(dc, OBJ_PEN);
  HGDIOBJ oldBrush = GetCurrentObject(dc, OBJ_BRUSH);
  if (pens.mask != nullptr) {
    SelectObject(dc, pens.mask);
    roi.DrawMask(dc, zoomX, zoomY, panX, panY);
  }
  if (pens.frame != nullptr) {
    SelectObject(dc, pens.frame);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    roi.DrawFrame(dc, position, 1, zoomX, zoomY, panX, panY);
  }
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
}

}  // namespace kvtool
