// The window of `kvtool show` under SDL's dummy video driver: synthetic SDL events go through the
// window's own translation into the view, and what the renderer shows is read back.

#include "show_window.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "commands.h"
#include "kvbase/files/image_files.h"
#include "kvbase/foundation/errors.h"
#include "kvbase/testing/temp_dir.h"
#include "show_test_support.h"

namespace {

using kvtool::ShowCanvas;
using kvtool::ShowView;
using kvtool::ShowWindow;
using namespace kvtool_test;

// An event for the window, as SDL would queue it.
SDL_Event MouseButton(Uint32 type, Uint8 button, int x, int y) {
  SDL_Event e{};
  e.type = type;
  e.button.button = button;
  e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.button.clicks = 1;
  e.button.x = x;
  e.button.y = y;
  return e;
}
SDL_Event MouseMotion(int x, int y, Uint32 buttons) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.state = buttons;
  e.motion.x = x;
  e.motion.y = y;
  return e;
}
SDL_Event MouseWheel(int x, int y, int clicks, bool flipped = false) {
  SDL_Event e{};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.y = clicks;
  e.wheel.preciseY = static_cast<float>(clicks);
  e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
  e.wheel.mouseX = x;
  e.wheel.mouseY = y;
  return e;
}
SDL_Event KeyDown(SDL_Keycode key) {
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.state = SDL_PRESSED;
  e.key.keysym.sym = key;
  return e;
}
SDL_Event WindowEvent(Uint8 what, int data1 = 0, int data2 = 0) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = what;
  e.window.data1 = data1;
  e.window.data2 = data2;
  return e;
}

// Pushes the events of a drag with `button` from one window point to another.
void PushDrag(Uint8 button, int fromX, int fromY, int toX, int toY) {
  const Uint32 held = SDL_BUTTON(button);
  SDL_Event events[] = {MouseMotion(fromX, fromY, 0), MouseButton(SDL_MOUSEBUTTONDOWN, button, fromX, fromY),
                        MouseMotion((fromX + toX) / 2, (fromY + toY) / 2, held), MouseMotion(toX, toY, held),
                        MouseButton(SDL_MOUSEBUTTONUP, button, toX, toY)};
  for (SDL_Event& e : events) SDL_PushEvent(&e);
}

class ShowWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { Open(); }
  void TearDown() override { Close(); }

  void Open() {
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    view_ = std::make_unique<ShowView>(PatternImage(K_PIXEL_KIND_BW8), "pattern.bmp", RoiAtZoom2());
    window_ = std::make_unique<ShowWindow>(*view_);
    std::string problem;
    ASSERT_TRUE(window_->Open("kvtool show: pattern.bmp", problem, "dummy")) << problem;
    window_->Pump();
  }
  void Close() {
    window_.reset();
    view_.reset();
  }
  bool Push(SDL_Event event) {
    SDL_PushEvent(&event);
    return window_->Pump();
  }

  std::unique_ptr<ShowView> view_;
  std::unique_ptr<ShowWindow> window_;
};

TEST_F(ShowWindowTest, OpensAtTheImageSizeTimesTheZoom) {
  std::vector<std::uint32_t> pixels;
  int width, height;
  ASSERT_TRUE(window_->ReadPresented(pixels, width, height)) << SDL_GetError();
  // 100 x 80 at zoom 2, widened for the status line, with the status strip under it.
  EXPECT_EQ(width, 480);
  EXPECT_EQ(height, 160 + ShowView::kStatusHeight);
}

TEST_F(ShowWindowTest, DragsOfEachHandleKindThroughMouseEvents) {
  struct Case {
    const char* what;
    Uint8 button;
    int fromX, fromY, toX, toY;
    kvtool::RoiPlacement expected;
  } cases[] = {
      {"north-west corner", SDL_BUTTON_LEFT, 40, 20, 30, 12, {15, 6, 45, 34}},
      {"north side", SDL_BUTTON_LEFT, 80, 20, 80, 30, {20, 15, 40, 25}},
      {"north-east corner", SDL_BUTTON_LEFT, 121, 19, 140, 24, {20, 12, 50, 28}},
      {"east side", SDL_BUTTON_LEFT, 120, 50, 100, 50, {20, 10, 30, 30}},
      {"south-east corner", SDL_BUTTON_LEFT, 120, 80, 130, 90, {20, 10, 45, 35}},
      {"south side", SDL_BUTTON_LEFT, 80, 80, 80, 100, {20, 10, 40, 40}},
      {"south-west corner", SDL_BUTTON_LEFT, 40, 80, 50, 70, {25, 10, 35, 25}},
      {"west side", SDL_BUTTON_LEFT, 40, 50, 20, 50, {10, 10, 50, 30}},
      {"left edge between handles", SDL_BUTTON_LEFT, 41, 30, 21, 30, {10, 10, 50, 30}},
      {"inside: a move", SDL_BUTTON_LEFT, 70, 40, 90, 60, {30, 20, 40, 30}},
      {"right button: a pan, not a drag", SDL_BUTTON_RIGHT, 120, 50, 160, 50, {20, 10, 40, 30}},
  };
  for (const Case& c : cases) {
    Close();
    Open();
    PushDrag(c.button, c.fromX, c.fromY, c.toX, c.toY);
    ASSERT_TRUE(window_->Pump());
    EXPECT_EQ(ToString(view_->Roi()), ToString(c.expected)) << c.what;
  }
  EXPECT_FLOAT_EQ(view_->PanX(), 20.0f);  // the right-button drag of 40 device pixels at zoom 2
}

TEST_F(ShowWindowTest, AGrabEndsWhenItsButtonIsNoLongerHeld) {
  // The release went to another window: the next motion reports no button, and moves nothing.
  const Uint32 left = SDL_BUTTON(SDL_BUTTON_LEFT), right = SDL_BUTTON(SDL_BUTTON_RIGHT);
  Push(MouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 70, 40));
  Push(MouseMotion(90, 60, left));
  Push(MouseMotion(110, 80, 0));
  Push(MouseMotion(130, 100, left));
  EXPECT_EQ(ToString(view_->Roi()), "30,20 40x30") << "moved once, by the held motion only";

  // Focus went elsewhere during a pan, and the pointer left during a grab: both end.
  Push(MouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 10, 10));
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
  Push(MouseMotion(50, 10, right));
  EXPECT_FLOAT_EQ(view_->PanX(), 0.0f);
  Push(MouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 90, 60));
  Push(WindowEvent(SDL_WINDOWEVENT_LEAVE));
  Push(MouseMotion(120, 90, left));
  EXPECT_EQ(ToString(view_->Roi()), "30,20 40x30");

  // A right button held during a grab does not keep the grab alive.
  Push(MouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 90, 60));
  Push(MouseMotion(100, 60, right));
  EXPECT_EQ(ToString(view_->Roi()), "30,20 40x30");
}

TEST_F(ShowWindowTest, WheelEventsZoomAroundTheCursor) {
  const float pointX = 101 / 2.0f, pointY = 61 / 2.0f;  // the image point under (101, 61)
  Push(MouseWheel(101, 61, 1));
  EXPECT_FLOAT_EQ(view_->Zoom(), 3.0f);
  EXPECT_NEAR(101 / view_->Zoom() - view_->PanX(), pointX, 1e-3);
  EXPECT_NEAR(61 / view_->Zoom() - view_->PanY(), pointY, 1e-3);
  Push(MouseWheel(101, 61, 2));
  EXPECT_FLOAT_EQ(view_->Zoom(), 6.0f);
  Push(MouseWheel(101, 61, 1, true));  // "natural" scrolling: the same gesture zooms out
  EXPECT_FLOAT_EQ(view_->Zoom(), 4.0f);
  Push(MouseWheel(101, 61, -3));
  EXPECT_FLOAT_EQ(view_->Zoom(), 1.5f);
  EXPECT_NEAR(101 / view_->Zoom() - view_->PanX(), pointX, 1e-3);
}

TEST_F(ShowWindowTest, KeysReachTheView) {
  Push(KeyDown(SDLK_EQUALS));
  Push(KeyDown(SDLK_KP_PLUS));
  EXPECT_FLOAT_EQ(view_->Zoom(), 4.0f);
  Push(KeyDown(SDLK_MINUS));
  EXPECT_FLOAT_EQ(view_->Zoom(), 3.0f);
  Push(KeyDown(SDLK_LEFT));
  Push(KeyDown(SDLK_0));  // fit: 100 x 80 into 480 x 160 is zoom 2, centred across
  EXPECT_FLOAT_EQ(view_->Zoom(), 2.0f);
  EXPECT_FLOAT_EQ(view_->PanX(), 70.0f);
  Push(KeyDown(SDLK_m));
  EXPECT_EQ(view_->Mask(), kvtool::MaskShape::kRectangle);
  Push(KeyDown(SDLK_l));
  EXPECT_TRUE(view_->LutOn());
  Push(KeyDown(SDLK_x));  // not a key of the view
  EXPECT_FALSE(window_->QuitAsked());
  EXPECT_FALSE(Push(KeyDown(SDLK_q)));
  EXPECT_TRUE(window_->QuitAsked());

  for (SDL_Event quit : {KeyDown(SDLK_ESCAPE), WindowEvent(SDL_WINDOWEVENT_CLOSE)}) {
    Close();
    Open();
    EXPECT_FALSE(Push(quit));
  }
}

TEST_F(ShowWindowTest, PresentedPixelsAreTheDeviceContextsPixels) {
  Push(KeyDown(SDLK_m));
  Push(KeyDown(SDLK_m));  // the ellipse
  Push(MouseMotion(101, 61, 0));
  std::vector<std::uint32_t> shown;
  int width, height;
  ASSERT_TRUE(window_->ReadPresented(shown, width, height)) << SDL_GetError();

  // The same picture drawn straight into a memory device context of the window's size.
  ShowCanvas canvas;
  ASSERT_TRUE(canvas.Resize(width, height));
  view_->Draw(canvas.dc());
  int differ = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) differ += (shown[y * width + x] & 0xFFFFFF) != Rgb(canvas.dc(), x, y);
  EXPECT_EQ(differ, 0);
  // And they are the picture: the frame's top line, the mask, the image, top row first.
  EXPECT_EQ(shown[20 * width + 60] & 0xFFFFFF, kRed);
  EXPECT_EQ(shown[50 * width + 80] & 0xFFFFFF, kGreen);
  EXPECT_EQ(shown[5 * width + 11] & 0xFFFFFF, Gray(Pattern(5, 2)));
  EXPECT_EQ(shown[150 * width + 11] & 0xFFFFFF, Gray(Pattern(5, 75)));
}

TEST_F(ShowWindowTest, RedrawsOnlyWhenSomethingChanged) {
  const int first = window_->DrawCount();
  EXPECT_GE(first, 1);
  window_->Pump();
  Push(WindowEvent(SDL_WINDOWEVENT_EXPOSED));
  EXPECT_EQ(window_->DrawCount(), first) << "exposed: presented again from the texture";
  Push(MouseMotion(101, 61, 0));
  EXPECT_EQ(window_->DrawCount(), first + 1) << "a new pixel under the pointer";
  Push(MouseMotion(100, 60, 0));
  EXPECT_EQ(window_->DrawCount(), first + 1) << "the same pixel";
  Push(MouseWheel(101, 61, 1));
  EXPECT_EQ(window_->DrawCount(), first + 2);
  Push(WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 300, 200));
  EXPECT_EQ(window_->DrawCount(), first + 3);
}

// Runs `kvtool show` as the command line does, while another thread plays the operator.
TEST(ShowCommandTest, PrintsTheRoiAtExit) {
  KTempDir dir;
  KImageBW8 image(100, 80);
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 100; ++x) image.SetPixel(Pattern(x, y), x, y);
  const std::string path = dir.Path("pattern.bmp");
  ASSERT_EQ(KSaveImage(&image, path.c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);

  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);
  std::thread operatorHand([] {
    for (int i = 0; i < 2000 && SDL_WasInit(SDL_INIT_VIDEO) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    PushDrag(SDL_BUTTON_LEFT, 120, 50, 140, 50);  // the east handle, 10 image pixels right
    SDL_Event q = KeyDown(SDLK_q);
    SDL_PushEvent(&q);
  });
  std::string args[] = {path, "--roi", "20,10,40,30", "--zoom", "2"};
  char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data()};
  testing::internal::CaptureStdout();
  const int status = kvtool::RunShow(5, argv);
  const std::string out = testing::internal::GetCapturedStdout();
  operatorHand.join();
  unsetenv("SDL_VIDEODRIVER");
  unsetenv("SDL_RENDER_DRIVER");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "roi 20 10 50 30\n");
}

TEST(ShowCommandTest, WithoutADisplayItSaysWhyAndFails) {
  KTempDir dir;
  KImageBW8 image(8, 8);
  const std::string path = dir.Path("small.bmp");
  ASSERT_EQ(KSaveImage(&image, path.c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);
  std::string saved[3];
  const char* names[3] = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
  bool had[3];
  for (int i = 0; i < 3; ++i) {
    const char* value = std::getenv(names[i]);
    had[i] = value != nullptr;
    if (had[i]) saved[i] = value;
    unsetenv(names[i]);
  }
  std::string arg = path;
  char* argv[] = {arg.data()};
  const K_TRACE_MODE traces = KGetTraceMode();
  KSetTraceMode(K_TRACE_SILENT);  // as kvtool's main sets it: the loader's first tries trace
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = kvtool::RunShow(1, argv);
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string out = testing::internal::GetCapturedStdout();
  KSetTraceMode(traces);
  for (int i = 0; i < 3; ++i)
    if (had[i]) setenv(names[i], saved[i].c_str(), 1);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err, "kvtool: showing " + path + ": no display: neither DISPLAY nor WAYLAND_DISPLAY is set\n");
  EXPECT_EQ(out, "");
}

}  // namespace
