#ifndef KVTOOL_SHOW_VIEW_H
#define KVTOOL_SHOW_VIEW_H

// The model behind `kvtool show`: an image with one ROI, seen at a zoom and pan, and what each mouse
// and key input does to it. It draws each frame into a 32-bit memory device context through the
// library, as any client program would: the image with KDrawImageInWindow (zoom, lookup table, the
// pan as the device context's viewport origin), the ROI's mask, its frame with eight handles, and a
// status line in the built-in font. Nothing here knows about a window system: the window
// (show_window.h) turns its events into these calls and puts the device context's pixels on screen.
//
//   ShowView view(std::move(image), "scene.bmp", options);
//   view.Resize(640, 496);
//   view.LeftDown(300, 200);  view.MouseMove(340, 200);  view.LeftUp(340, 200);
//   ShowCanvas canvas;
//   canvas.Resize(640, 496);
//   if (view.Dirty()) view.Draw(canvas.dc());
//   std::puts(view.RoiLine().c_str());   // "roi X Y W H"

#include <memory>
#include <string>

#include "any_image.h"
#include "kvbase/image/roi.h"
#include "kvbase/platform/gdi.h"
#include "view_drawing.h"

namespace kvtool {

struct RoiPlacement {
  int x, y, width, height;
};
inline bool operator==(const RoiPlacement& a, const RoiPlacement& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
inline bool operator!=(const RoiPlacement& a, const RoiPlacement& b) { return !(a == b); }

// The key actions of the view; the window maps physical keys to them.
enum class ShowKey {
  kZoomIn,
  kZoomOut,
  kFit,
  kCycleMask,
  kToggleLut,
  kSave,
  kPanLeft,
  kPanRight,
  kPanUp,
  kPanDown,
  kQuit,
};

// A 32-bit memory device context with its top-down bitmap, whose rows are blue, green, red and an
// unused byte: the layout of a little-endian XRGB8888 texture, handed over as it is.
class ShowCanvas {
 public:
  ShowCanvas() = default;
  ~ShowCanvas();
  ShowCanvas(const ShowCanvas&) = delete;
  ShowCanvas& operator=(const ShowCanvas&) = delete;

  // (Re)creates the device context at this size; false when it cannot be had.
  bool Resize(int width, int height);
  HDC dc() const { return dc_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  const void* Bits() const { return bits_; }
  int Pitch() const { return pitch_; }

 private:
  HDC dc_ = nullptr;
  int width_ = 0, height_ = 0;
  const void* bits_ = nullptr;
  int pitch_ = 0;
};

class ShowView {
 public:
  // Height of the status strip under the picture, in device pixels.
  static constexpr int kStatusHeight = 16;
  static constexpr float kMinZoom = 1.0f / 16, kMaxZoom = 64.0f;

  // Shows `image`, loaded from `path`, as `options` say: their zoom (one factor for both axes), lookup
  // table, ROI and mask. Without an ROI the view starts with the middle half of the image; without a
  // table the lookup-table key toggles a contrast stretch over the image's gray range.
  ShowView(std::unique_ptr<AnyImage> image, std::string path, const ViewOptions& options);
  ~ShowView();
  ShowView(const ShowView&) = delete;
  ShowView& operator=(const ShowView&) = delete;

  // The window's size: the picture takes all of it but the status strip at the bottom.
  void Resize(int width, int height);
  // The window size that shows the whole image at the starting zoom, with the status strip, and at
  // least wide enough for the status line; not capped.
  void PreferredSize(int& width, int& height) const;

  // Mouse input in window pixels. A left press on a handle or an edge grabs it, inside the frame
  // grabs the ROI; moves drag what was grabbed. A right press pans with the moves until released.
  void MouseMove(int x, int y);
  void LeftDown(int x, int y);
  void LeftUp(int x, int y);
  void RightDown(int x, int y);
  void RightUp();
  // Zooms `clicks` steps in (positive) or out around the window point (x, y).
  void Wheel(int x, int y, int clicks);
  void Key(ShowKey key);
  // Ends a grab or a pan where it stands: the button went up where the window could not see it.
  void EndDrags();
  bool Grabbing() const { return grabbed_ != K_HANDLE_NONE; }
  bool Panning() const { return panning_; }
  // Nothing is hovered or grabbed any more: the pointer left the window.
  void MouseLeft();

  // The handle a left press at (x, y) would grab: K_HANDLE_INSIDE for a move, a side or a corner
  // for a resize, K_HANDLE_NONE elsewhere. Edges count as their side's handle.
  K_HANDLES HandleAt(int x, int y);

  // Whether something that shows has changed since the last Draw.
  bool Dirty() const { return dirty_; }
  void Invalidate() { dirty_ = true; }
  // Draws the whole window into `dc`, a 32-bit memory device context of the window's size. False, with
  // the current error set, when the library could not draw the image.
  bool Draw(HDC dc);

  RoiPlacement Roi();
  std::string RoiLine();
  float Zoom() const { return zoom_; }
  float PanX() const { return panX_; }
  float PanY() const { return panY_; }
  MaskShape Mask() const { return mask_; }
  bool LutOn() const { return lutOn_; }
  bool QuitAsked() const { return quit_; }
  // The status line as it was last drawn, or will be at the next Draw.
  std::string StatusLine();
  // Where `s` writes the view.
  std::string SavePath() const { return path_ + ".view.bmp"; }

  // The image pixel under window point (x, y), rounding down; it may lie outside the image.
  void ImagePoint(int x, int y, int& ix, int& iy) const;
  // The window column of the image's left edge: the pan in device pixels.
  int OffsetX() const;
  int OffsetY() const;

 private:
  class Subject;
  template <typename T>
  class TypedSubject;
  struct Tools;  // pens, brushes and the lookup table, made once

  static std::unique_ptr<Subject> MakeSubject(std::unique_ptr<AnyImage> image);

  int ViewWidth() const { return width_; }
  int ViewHeight() const { return height_ > kStatusHeight ? height_ - kStatusHeight : 0; }
  bool InPicture(int x, int y) const { return x >= 0 && y >= 0 && x < ViewWidth() && y < ViewHeight(); }
  void SetZoomAround(float zoom, int x, int y);
  void FitToWindow();
  void Pan(float dx, float dy);
  void ApplyMask();
  void ToggleLut();
  void Save();
  void ClampedMoveTarget(int& x, int& y);
  void Hover(int x, int y);

  std::unique_ptr<Subject> subject_;
  std::string path_;
  std::unique_ptr<Tools> tools_;
  int width_ = 0, height_ = 0;
  float zoom_ = 1.0f, panX_ = 0.0f, panY_ = 0.0f;
  MaskShape mask_ = MaskShape::kNone;
  float ringRatio_ = 0.5f;
  bool lutOn_ = false;
  K_HANDLES grabbed_ = K_HANDLE_NONE;
  int grabAnchorX_ = 0, grabAnchorY_ = 0;  // the grabbed image pixel, relative to the ROI's origin
  bool panning_ = false;
  int panFromX_ = 0, panFromY_ = 0;
  bool hovering_ = false;
  int hoverX_ = 0, hoverY_ = 0;  // image pixel under the pointer
  std::string message_;
  bool quit_ = false;
  bool dirty_ = true;
};

}  // namespace kvtool

#endif  // KVTOOL_SHOW_VIEW_H
