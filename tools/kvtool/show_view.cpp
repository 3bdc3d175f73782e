#include "show_view.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "kvbase/display/dc_bitmap_file.h"
#include "kvbase/display/image_drawing.h"
#include "kvbase/foundation/errors.h"
#include "kvbase/vectors/profile_vectors.h"

namespace kvtool {

namespace {

// The steps of the zoom keys and the wheel.
constexpr float kZoomSteps[] = {1.0f / 16, 1.0f / 8, 1.0f / 4, 1.0f / 3, 1.0f / 2, 2.0f / 3, 1.0f,  1.5f,  2.0f, 3.0f,
                                4.0f,      6.0f,     8.0f,     12.0f,    16.0f,    24.0f,    32.0f, 48.0f, 64.0f};
// How near an edge, in device pixels, a press grabs that side.
constexpr int kEdgeReach = 3;
// The status line needs this much width to be read whole.
constexpr int kMinWindowWidth = 480;

constexpr COLORREF kBackground = RGB(56, 56, 56);
constexpr COLORREF kStatusBackground = RGB(24, 24, 24);
constexpr COLORREF kStatusText = RGB(235, 235, 235);
constexpr COLORREF kFrameColour = RGB(255, 0, 0);
constexpr COLORREF kMaskColour = RGB(0, 200, 0);

// The mapping that HitTest and Drag use, written here as any client would: R(v) rounds half up by
// truncating v + 0.5, and a device position maps to trunc(position / zoom - pan).
int RoundProduct(float product) {
  const double v = static_cast<double>(product) + 0.5;
  return v >= INT_MAX ? INT_MAX : v <= INT_MIN ? INT_MIN : static_cast<int>(v);
}
long long RootPixel(int device, float zoom, float pan) {
  return static_cast<long long>(static_cast<float>(static_cast<float>(device) / zoom - pan));
}

// The device column (or row) nearest to `device` that RootPixel maps into [low, high], when one exists.
int DeviceWithin(int device, long long low, long long high, float zoom, float pan) {
  const long long at = RootPixel(device, zoom, pan);
  if (at > high) {
    int d = static_cast<int>(std::floor((static_cast<double>(high) + 1 + pan) * zoom));
    for (int i = 0; i < 8 && RootPixel(d, zoom, pan) > high; ++i) --d;
    for (int i = 0; i < 8 && RootPixel(d + 1, zoom, pan) <= high; ++i) ++d;
    return std::min(d, device);
  }
  if (at < low) {
    int d = static_cast<int>(std::ceil((static_cast<double>(low) + pan) * zoom));
    for (int i = 0; i < 8 && RootPixel(d, zoom, pan) < low; ++i) ++d;
    for (int i = 0; i < 8 && RootPixel(d - 1, zoom, pan) >= low; ++i) --d;
    return std::max(d, device);
  }
  return device;
}

std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// A pixel's value as the status line shows it: a number for gray kinds, red,green,blue for colour.
std::string ValueText(int v) { return std::to_string(v); }
std::string ValueText(unsigned char v) { return std::to_string(v); }
std::string ValueText(unsigned short v) { return std::to_string(v); }
std::string ValueText(KC15 v) { return Format("%g,%g,%g", (v.word >> 10) & 31, (v.word >> 5) & 31, v.word & 31); }
std::string ValueText(KC16 v) { return Format("%g,%g,%g", (v.word >> 11) & 31, (v.word >> 5) & 63, v.word & 31); }
std::string ValueText(KC24 v) { return Format("%g,%g,%g", v.byte2, v.byte1, v.byte0); }

// Only 8-bit gray images draw through a lookup table.
template <typename T>
void DrawWholeImage(KImage<T>& image, HDC dc, float zoom, KBW8Vector*) {
  KDrawImageInWindow(&image, dc, zoom, 0.0f);
}
void DrawWholeImage(KImage<unsigned char>& image, HDC dc, float zoom, KBW8Vector* lut) {
  if (lut != nullptr)
    KDrawImageInWindow(&image, dc, lut, zoom, 0.0f);
  else
    KDrawImageInWindow(&image, dc, zoom, 0.0f);
}

}  // namespace

// ---- ShowCanvas ------------------------------------------------------------------------------------

ShowCanvas::~ShowCanvas() {
  if (dc_ != nullptr) DeleteDC(dc_);
}

bool ShowCanvas::Resize(int width, int height) {
  if (dc_ != nullptr && width == width_ && height == height_) return true;
  if (dc_ != nullptr) DeleteDC(dc_);
  dc_ = KCreateMemoryDC(width, height, 32);
  width_ = height_ = pitch_ = 0;
  bits_ = nullptr;
  if (dc_ == nullptr) return false;
  BITMAP bitmap;
  if (GetObject(GetCurrentObject(dc_, OBJ_BITMAP), sizeof bitmap, &bitmap) != sizeof bitmap) {
    DeleteDC(dc_);
    dc_ = nullptr;
    return false;
  }
  width_ = width;
  height_ = height;
  bits_ = bitmap.bmBits;  // the top row: KCreateMemoryDC makes top-down bitmaps
  pitch_ = bitmap.bmWidthBytes;
  return true;
}

// ---- The image and its ROI, of whatever pixel type the file gave ------------------------------------

class ShowView::Subject {
 public:
  virtual ~Subject() = default;
  virtual KGenericROI& Image() = 0;
  virtual KGenericROI& Roi() = 0;
  virtual void DrawImage(HDC dc, float zoom, KBW8Vector* lut) = 0;
  virtual K_HANDLES HitTest(int x, int y, float zoom, float panX, float panY) = 0;
  virtual void Drag(K_HANDLES handle, int x, int y, float zoom, float panX, float panY) = 0;
  virtual void Place(int x, int y, int width, int height) = 0;
  virtual void SetMask(MaskShape shape, float ringRatio) = 0;
  virtual std::string PixelText(int x, int y) = 0;
  virtual bool IsGray8() = 0;
  // The lowest and highest gray levels of an 8-bit gray image.
  virtual void GrayRange(int& low, int& high) = 0;
};

template <typename T>
class ShowView::TypedSubject : public ShowView::Subject {
 public:
  explicit TypedSubject(std::unique_ptr<AnyImage> image)
      : owner_(std::move(image)), image_(owner_->As<T>()), roi_(&image_, 0, 0, image_.GetWidth(), image_.GetHeight()) {}

  KGenericROI& Image() override { return image_; }
  KGenericROI& Roi() override { return roi_; }
  void DrawImage(HDC dc, float zoom, KBW8Vector* lut) override { DrawWholeImage(image_, dc, zoom, lut); }
  K_HANDLES HitTest(int x, int y, float zoom, float panX, float panY) override {
    return roi_.HitTest(x, y, zoom, 0.0f, panX, panY);
  }
  void Drag(K_HANDLES handle, int x, int y, float zoom, float panX, float panY) override {
    roi_.Drag(handle, x, y, zoom, 0.0f, panX, panY);
  }
  void Place(int x, int y, int width, int height) override { roi_.SetPlacement(x, y, width, height); }
  void SetMask(MaskShape shape, float ringRatio) override { SetMaskShape(roi_, shape, ringRatio); }
  std::string PixelText(int x, int y) override { return ValueText(image_.GetPixel(x, y)); }
  bool IsGray8() override { return owner_->Kind().type == K_IMAGE_BW8; }
  void GrayRange(int& low, int& high) override {
    low = 255;
    high = 0;
    if (!IsGray8()) return;
    KImageBW8& gray = owner_->As<unsigned char>();
    for (int y = 0; y < gray.GetHeight(); ++y) {
      const unsigned char* row = gray.GetImagePtr(0, y);
      for (int x = 0; x < gray.GetWidth(); ++x) {
        low = std::min<int>(low, row[x]);
        high = std::max<int>(high, row[x]);
      }
    }
  }

 private:
  std::unique_ptr<AnyImage> owner_;
  KImage<T>& image_;
  KROI<T> roi_;  // declared after the image: it leaves its parent before the image goes
};

// ---- ShowView --------------------------------------------------------------------------------------

struct ShowView::Tools {
  HPEN framePen = CreatePen(PS_SOLID, 1, kFrameColour);
  HPEN maskPen = CreatePen(PS_SOLID, 1, kMaskColour);
  HBRUSH background = CreateSolidBrush(kBackground);
  HBRUSH statusBackground = CreateSolidBrush(kStatusBackground);
  KBW8Vector lut{256};
  ~Tools() {
    DeleteObject(framePen);
    DeleteObject(maskPen);
    DeleteObject(background);
    DeleteObject(statusBackground);
  }
};

std::unique_ptr<ShowView::Subject> ShowView::MakeSubject(std::unique_ptr<AnyImage> image) {
  switch (image->Kind().type) {
    case K_IMAGE_BW1: return std::make_unique<TypedSubject<int>>(std::move(image));
    case K_IMAGE_BW8: return std::make_unique<TypedSubject<unsigned char>>(std::move(image));
    case K_IMAGE_BW16: return std::make_unique<TypedSubject<unsigned short>>(std::move(image));
    case K_IMAGE_C15: return std::make_unique<TypedSubject<KC15>>(std::move(image));
    case K_IMAGE_C16: return std::make_unique<TypedSubject<KC16>>(std::move(image));
    default: return std::make_unique<TypedSubject<KC24>>(std::move(image));
  }
}

ShowView::ShowView(std::unique_ptr<AnyImage> image, std::string path, const ViewOptions& options)
    : path_(std::move(path)), tools_(std::make_unique<Tools>()) {
  subject_ = MakeSubject(std::move(image));
  KGenericROI& picture = subject_->Image();
  const int w = picture.GetWidth(), h = picture.GetHeight();
  KOk();
  if (options.roi)
    subject_->Place(options.roiX, options.roiY, options.roiW, options.roiH);
  else
    subject_->Place(w / 4, h / 4, std::max(1, w / 2), std::max(1, h / 2));
  KOk();  // a placement outside the image leaves the ROI on the whole image
  zoom_ = std::min(std::max(options.zoomX, kMinZoom), kMaxZoom);
  mask_ = options.mask;
  ringRatio_ = options.ringRatio;
  if (options.lut) {
    tools_->lut.SetupGainOffset(options.gainOffsetGamma[0], options.gainOffsetGamma[1], options.gainOffsetGamma[2]);
  } else {
    // A contrast stretch of the image's own gray range.
    int low, high;
    subject_->GrayRange(low, high);
    const float gain = high > low ? 255.0f / static_cast<float>(high - low) : 1.0f;
    tools_->lut.SetupGainOffset(gain, -static_cast<float>(low) * gain, 1.0f);
  }
  lutOn_ = options.lut && subject_->IsGray8();
  ApplyMask();
}

ShowView::~ShowView() = default;

void ShowView::Resize(int width, int height) {
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  dirty_ = true;
}

void ShowView::PreferredSize(int& width, int& height) const {
  KGenericROI& picture = subject_->Image();
  // In double and clamped: a large image at a large zoom is wider than an int can say.
  const auto scaled = [this](int size, int floor, int room) {
    const double pixels = std::ceil(static_cast<double>(size) * zoom_);
    return static_cast<int>(std::clamp(pixels, static_cast<double>(floor), static_cast<double>(INT_MAX - room)));
  };
  width = scaled(picture.GetWidth(), kMinWindowWidth, 0);
  height = scaled(picture.GetHeight(), 1, kStatusHeight) + kStatusHeight;
}

int ShowView::OffsetX() const { return RoundProduct(panX_ * zoom_); }
int ShowView::OffsetY() const { return RoundProduct(panY_ * zoom_); }

void ShowView::ImagePoint(int x, int y, int& ix, int& iy) const {
  ix = static_cast<int>(std::floor(static_cast<float>(x) / zoom_ - panX_));
  iy = static_cast<int>(std::floor(static_cast<float>(y) / zoom_ - panY_));
}

// ---- Mouse -----------------------------------------------------------------------------------------

K_HANDLES ShowView::HandleAt(int x, int y) {
  if (!InPicture(x, y)) return K_HANDLE_NONE;
  KGenericROI& roi = subject_->Roi();
  const K_HANDLES handle = subject_->HitTest(x, y, zoom_, panX_, panY_);
  if (handle != K_HANDLE_INSIDE && handle != K_HANDLE_NONE) return handle;
  // Between the handles, a press near an edge grabs that side, unless the ROI is so small on screen
  // that the edges would leave no room to grab it for a move.
  const float s = static_cast<float>(roi.GetTotalOrgX()) + panX_;
  const float t = static_cast<float>(roi.GetTotalOrgY()) + panY_;
  const int left = RoundProduct(s * zoom_), right = RoundProduct((s + static_cast<float>(roi.GetWidth())) * zoom_);
  const int top = RoundProduct(t * zoom_), bottom = RoundProduct((t + static_cast<float>(roi.GetHeight())) * zoom_);
  const auto near = [](int a, int b) { return std::abs(a - b) <= kEdgeReach; };
  const bool roomX = right - left > 4 * kEdgeReach, roomY = bottom - top > 4 * kEdgeReach;
  const bool alongX = x >= left && x <= right, alongY = y >= top && y <= bottom;
  if (roomX && alongY && near(x, left)) return K_HANDLE_WEST;
  if (roomX && alongY && near(x, right)) return K_HANDLE_EAST;
  if (roomY && alongX && near(y, top)) return K_HANDLE_NORTH;
  if (roomY && alongX && near(y, bottom)) return K_HANDLE_SOUTH;
  return handle;
}

void ShowView::LeftDown(int x, int y) {
  if (grabbed_ != K_HANDLE_NONE || panning_) return;
  const K_HANDLES handle = HandleAt(x, y);  // also sets the ROI's drag anchor
  if (handle == K_HANDLE_NONE) return;
  KGenericROI& roi = subject_->Roi();
  grabbed_ = handle;
  grabAnchorX_ = static_cast<int>(RootPixel(x, zoom_, panX_) - roi.GetOrgX());
  grabAnchorY_ = static_cast<int>(RootPixel(y, zoom_, panY_) - roi.GetOrgY());
}

void ShowView::LeftUp(int x, int y) {
  if (grabbed_ == K_HANDLE_NONE) return;
  MouseMove(x, y);
  grabbed_ = K_HANDLE_NONE;
}

void ShowView::RightDown(int x, int y) {
  if (grabbed_ != K_HANDLE_NONE) return;
  panning_ = true;
  panFromX_ = x;
  panFromY_ = y;
}

void ShowView::RightUp() { panning_ = false; }

// A move keeps the ROI whole: the pointer is held where the ROI touches the image's edges, so the
// library never cuts it against them.
void ShowView::ClampedMoveTarget(int& x, int& y) {
  KGenericROI& picture = subject_->Image();
  KGenericROI& roi = subject_->Roi();
  x = DeviceWithin(x, grabAnchorX_, grabAnchorX_ + picture.GetWidth() - roi.GetWidth(), zoom_, panX_);
  y = DeviceWithin(y, grabAnchorY_, grabAnchorY_ + picture.GetHeight() - roi.GetHeight(), zoom_, panY_);
}

void ShowView::MouseMove(int x, int y) {
  if (grabbed_ != K_HANDLE_NONE) {
    const RoiPlacement before = Roi();
    int dx = x, dy = y;
    if (grabbed_ == K_HANDLE_INSIDE) ClampedMoveTarget(dx, dy);
    KOk();
    subject_->Drag(grabbed_, dx, dy, zoom_, panX_, panY_);
    KOk();  // a side dragged past the image's edge is clipped there: nothing to report
    const RoiPlacement after = Roi();
    if (after != before) {
      ApplyMask();
      message_.clear();
      dirty_ = true;
    }
  } else if (panning_) {
    Pan(static_cast<float>(x - panFromX_) / zoom_, static_cast<float>(y - panFromY_) / zoom_);
    panFromX_ = x;
    panFromY_ = y;
  }
  Hover(x, y);
}

void ShowView::EndDrags() {
  grabbed_ = K_HANDLE_NONE;
  panning_ = false;
}

void ShowView::MouseLeft() {
  EndDrags();
  if (hovering_) dirty_ = true;
  hovering_ = false;
}

void ShowView::Hover(int x, int y) {
  int ix, iy;
  ImagePoint(x, y, ix, iy);
  KGenericROI& picture = subject_->Image();
  const bool inside = InPicture(x, y) && ix >= 0 && iy >= 0 && ix < picture.GetWidth() && iy < picture.GetHeight();
  if (inside == hovering_ && (!inside || (ix == hoverX_ && iy == hoverY_))) return;
  hovering_ = inside;
  hoverX_ = ix;
  hoverY_ = iy;
  dirty_ = true;
}

// ---- Zoom and pan ----------------------------------------------------------------------------------

void ShowView::SetZoomAround(float zoom, int x, int y) {
  zoom = std::min(std::max(zoom, kMinZoom), kMaxZoom);
  if (zoom == zoom_) return;
  // The image point under (x, y) stays there.
  const float px = static_cast<float>(x) / zoom_ - panX_, py = static_cast<float>(y) / zoom_ - panY_;
  zoom_ = zoom;
  panX_ = static_cast<float>(x) / zoom_ - px;
  panY_ = static_cast<float>(y) / zoom_ - py;
  dirty_ = true;
}

void ShowView::Wheel(int x, int y, int clicks) {
  float zoom = zoom_;
  for (; clicks > 0; --clicks) {
    const float* up = std::upper_bound(std::begin(kZoomSteps), std::end(kZoomSteps), zoom * 1.001f);
    zoom = up != std::end(kZoomSteps) ? *up : kMaxZoom;
  }
  for (; clicks < 0; ++clicks) {
    const float* down = std::lower_bound(std::begin(kZoomSteps), std::end(kZoomSteps), zoom * 0.999f);
    zoom = down != std::begin(kZoomSteps) ? *(down - 1) : kMinZoom;
  }
  SetZoomAround(zoom, x, y);
  Hover(x, y);
}

void ShowView::FitToWindow() {
  KGenericROI& picture = subject_->Image();
  if (ViewWidth() <= 0 || ViewHeight() <= 0) return;
  const float zoom = std::min(static_cast<float>(ViewWidth()) / static_cast<float>(picture.GetWidth()),
                              static_cast<float>(ViewHeight()) / static_cast<float>(picture.GetHeight()));
  zoom_ = std::min(std::max(zoom, kMinZoom), kMaxZoom);
  panX_ = (static_cast<float>(ViewWidth()) / zoom_ - static_cast<float>(picture.GetWidth())) / 2;
  panY_ = (static_cast<float>(ViewHeight()) / zoom_ - static_cast<float>(picture.GetHeight())) / 2;
  dirty_ = true;
}

void ShowView::Pan(float dx, float dy) {
  if (dx == 0.0f && dy == 0.0f) return;
  panX_ += dx;
  panY_ += dy;
  dirty_ = true;
}

// ---- Keys ------------------------------------------------------------------------------------------

void ShowView::Key(ShowKey key) {
  const int cx = ViewWidth() / 2, cy = ViewHeight() / 2;
  const float stepX = static_cast<float>(std::max(1, ViewWidth() / 8)) / zoom_;
  const float stepY = static_cast<float>(std::max(1, ViewHeight() / 8)) / zoom_;
  message_.clear();
  dirty_ = true;
  switch (key) {
    case ShowKey::kZoomIn: Wheel(cx, cy, 1); break;
    case ShowKey::kZoomOut: Wheel(cx, cy, -1); break;
    case ShowKey::kFit: FitToWindow(); break;
    case ShowKey::kCycleMask:
      mask_ = static_cast<MaskShape>((static_cast<int>(mask_) + 1) % 4);
      ApplyMask();
      break;
    case ShowKey::kToggleLut: ToggleLut(); break;
    case ShowKey::kSave: Save(); break;
    // The arrows move the view over the image: the image moves the other way.
    case ShowKey::kPanLeft: Pan(stepX, 0.0f); break;
    case ShowKey::kPanRight: Pan(-stepX, 0.0f); break;
    case ShowKey::kPanUp: Pan(0.0f, stepY); break;
    case ShowKey::kPanDown: Pan(0.0f, -stepY); break;
    case ShowKey::kQuit: quit_ = true; break;
  }
}

void ShowView::ToggleLut() {
  if (!subject_->IsGray8()) {
    message_ = "lookup tables apply to BW8 images only";
    return;
  }
  lutOn_ = !lutOn_;
}

void ShowView::Save() {
  const std::string path = SavePath();
  ShowCanvas canvas;
  KOk();
  if (!canvas.Resize(std::max(1, width_), std::max(1, height_))) {
    message_ = "no memory for " + path;
    return;
  }
  const bool drawn = Draw(canvas.dc());
  if (drawn && KSaveDCBitmap(canvas.dc(), path.c_str()) == 0) {
    message_ = "wrote " + path;
  } else {
    message_ = "could not write " + path + ": error " + std::to_string(KGetError()) + ": " + KGetErrorText();
    KOk();
  }
  dirty_ = true;
}

void ShowView::ApplyMask() {
  // A mask is a run list of the ROI's own pixels: it is made again whenever the ROI changes.
  KOk();
  subject_->SetMask(mask_, ringRatio_);
  KOk();
}

// ---- State and drawing -----------------------------------------------------------------------------

RoiPlacement ShowView::Roi() {
  KGenericROI& roi = subject_->Roi();
  return {roi.GetOrgX(), roi.GetOrgY(), roi.GetWidth(), roi.GetHeight()};
}

std::string ShowView::RoiLine() {
  const RoiPlacement r = Roi();
  return "roi " + std::to_string(r.x) + " " + std::to_string(r.y) + " " + std::to_string(r.width) + " " +
         std::to_string(r.height);
}

std::string ShowView::StatusLine() {
  std::string line;
  if (hovering_)
    line =
        "(" + std::to_string(hoverX_) + ", " + std::to_string(hoverY_) + ") = " + subject_->PixelText(hoverX_, hoverY_);
  else
    line = "(-, -)";
  line += "   zoom " + Format("%.4g", zoom_) + "   " + RoiLine() + "   mask " + MaskShapeName(mask_);
  if (lutOn_) line += "   lut";
  if (!message_.empty()) line += "   | " + message_;
  return line;
}

bool ShowView::Draw(HDC dc) {
  KGenericROI& roi = subject_->Roi();
  const int width = width_, height = height_;
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  HGDIOBJ oldBrush = SelectObject(dc, tools_->background);
  Rectangle(dc, 0, 0, width + 1, height + 1);

  // The image lands at the device context's origin: the viewport origin places it at the pan.
  POINT oldOrigin;
  SetViewportOrgEx(dc, OffsetX(), OffsetY(), &oldOrigin);
  KOk();
  subject_->DrawImage(dc, zoom_, lutOn_ ? &tools_->lut : nullptr);
  SetViewportOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
  const bool drawn = KGetError() == K_SUCCESS;

  // The mask and the frame take the pan themselves.
  OverlayPens pens;
  if (mask_ != MaskShape::kNone) pens.mask = tools_->maskPen;
  pens.frame = tools_->framePen;
  DrawRoiOverlay(roi, dc, pens, K_FRAME_POSITION_ON_BORDER, zoom_, 0.0f, panX_, panY_);

  // The status strip, over anything drawn past the picture's bottom.
  SelectObject(dc, GetStockObject(NULL_PEN));
  SelectObject(dc, tools_->statusBackground);
  Rectangle(dc, 0, ViewHeight(), width + 1, height + 1);
  const std::string status = StatusLine();
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kStatusText);
  TextOutA(dc, 4, ViewHeight() + (kStatusHeight - 12) / 2, status.c_str(), static_cast<int>(status.size()));

  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  dirty_ = false;
  return drawn;
}

}  // namespace kvtool
