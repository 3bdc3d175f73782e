#ifndef KVTOOL_VIEW_DRAWING_H
#define KVTOOL_VIEW_DRAWING_H

// What `kvtool view` (a picture file) and `kvtool show` (a window) share: the options that say how an
// image is seen (zoom, lookup table, ROI, mask, frame) and the drawing steps a client program takes to
// show it: after the image, the ROI's mask and its frame with handles.

#include <string>
#include <vector>

#include "kvbase/image/image.h"
#include "kvbase/image/roi.h"
#include "kvbase/platform/gdi.h"
#include "tool_support.h"

namespace kvtool {

enum class MaskShape { kNone, kRectangle, kEllipse, kRing };

struct ViewOptions {
  float zoomX = 1.0f, zoomY = 0.0f;
  bool lut = false, threshold = false;
  std::vector<float> gainOffsetGamma;
  int thresholdLevel = 128;
  bool roi = false;
  int roiX = 0, roiY = 0, roiW = 0, roiH = 0;
  MaskShape mask = MaskShape::kNone;
  float ringRatio = 0.5f;
  bool frame = false;
  K_FRAME_POSITION framePosition = K_FRAME_POSITION_ON_BORDER;
};

// Reads --zoom Z[,ZY], --lut GAIN,OFFSET,GAMMA, --threshold T, --roi X,Y,W,H, --mask rect|ellipse|ring:R and
// --frame on-border|inside|outside, those that are given; false with the reason in `problem`. An ROI
// without --frame gets its frame on the border.
bool ParseViewOptions(const Args& args, ViewOptions& o, std::string& problem);

// The name of a mask shape as --mask takes it ("none" for no mask).
const char* MaskShapeName(MaskShape shape);

// Gives `roi` the mask of `shape` over its whole extent (a ring of `ringRatio`), or none.
template <typename T>
void SetMaskShape(KROI<T>& roi, MaskShape shape, float ringRatio) {
  switch (shape) {
    case MaskShape::kNone: roi.ResetMask(); break;
    case MaskShape::kRectangle: roi.SetRectangleMask(0, 0, 0, 0); break;
    case MaskShape::kEllipse: roi.SetEllipseMask(0, 0, 0, 0); break;
    case MaskShape::kRing: roi.SetRingMask(ringRatio); break;
  }
}

// The pens the overlay is drawn with; null skips that part.
struct OverlayPens {
  HPEN mask = nullptr;
  HPEN frame = nullptr;
};

// Draws the ROI's mask in the mask pen, then its frame with eight white handles in the frame pen, at
// the zoom and pan; the device context's pen and brush are put back afterwards.
void DrawRoiOverlay(KGenericROI& roi, HDC dc, const OverlayPens& pens, K_FRAME_POSITION position, float zoomX,
                    float zoomY, float panX, float panY);

}  // namespace kvtool

#endif  // KVTOOL_VIEW_DRAWING_H
