#include "show_window.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kvtool {

namespace {

// The DIB's 32-bit pixels are the bytes blue, green, red, unused: one native word 0x00RRGGBB on a
// little-endian machine, the reverse order on a big-endian one.
constexpr Uint32 kTextureFormat = SDL_BYTEORDER == SDL_LIL_ENDIAN ? SDL_PIXELFORMAT_XRGB8888 : SDL_PIXELFORMAT_BGRX8888;

constexpr SDL_SystemCursor kCursorShapes[6] = {SDL_SYSTEM_CURSOR_ARROW,    SDL_SYSTEM_CURSOR_SIZEALL,
                                               SDL_SYSTEM_CURSOR_SIZEWE,   SDL_SYSTEM_CURSOR_SIZENS,
                                               SDL_SYSTEM_CURSOR_SIZENWSE, SDL_SYSTEM_CURSOR_SIZENESW};

// The index in kCursorShapes of the cursor shown over `handle`.
int CursorFor(K_HANDLES handle) {
  switch (handle) {
    case K_HANDLE_INSIDE: return 1;
    case K_HANDLE_EAST:
    case K_HANDLE_WEST: return 2;
    case K_HANDLE_NORTH:
    case K_HANDLE_SOUTH: return 3;
    case K_HANDLE_NORTH_WEST:
    case K_HANDLE_SOUTH_EAST: return 4;
    case K_HANDLE_NORTH_EAST:
    case K_HANDLE_SOUTH_WEST: return 5;
    default: return 0;
  }
}

bool KeyAction(SDL_Keycode key, ShowKey& action) {
  switch (key) {
    case SDLK_PLUS:
    case SDLK_EQUALS:  // '+' is shift and '=' on many keyboards
    case SDLK_KP_PLUS: action = ShowKey::kZoomIn; return true;
    case SDLK_MINUS:
    case SDLK_KP_MINUS: action = ShowKey::kZoomOut; return true;
    case SDLK_0:
    case SDLK_KP_0: action = ShowKey::kFit; return true;
    case SDLK_m: action = ShowKey::kCycleMask; return true;
    case SDLK_l: action = ShowKey::kToggleLut; return true;
    case SDLK_s: action = ShowKey::kSave; return true;
    case SDLK_LEFT: action = ShowKey::kPanLeft; return true;
    case SDLK_RIGHT: action = ShowKey::kPanRight; return true;
    case SDLK_UP: action = ShowKey::kPanUp; return true;
    case SDLK_DOWN: action = ShowKey::kPanDown; return true;
    case SDLK_q:
    case SDLK_ESCAPE: action = ShowKey::kQuit; return true;
    default: return false;
  }
}

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

// The drivers that put a window on the display the environment names, best first; null for none.
// Asked for nothing, SDL would fall back to an invisible window when no display can be reached.
const char* DisplayDrivers() {
  if (Env("WAYLAND_DISPLAY") != nullptr) return Env("DISPLAY") != nullptr ? "wayland,x11" : "wayland";
  return Env("DISPLAY") != nullptr ? "x11" : nullptr;
}

std::string DisplayNames() {
  std::string names;
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"})
    if (const char* value = Env(name)) names += std::string(names.empty() ? "" : " or ") + name + "=" + value;
  return names;
}

}  // namespace

ShowWindow::ShowWindow(ShowView& view) : view_(view) {}

ShowWindow::~ShowWindow() { Close(); }

void ShowWindow::Close() {
  for (SDL_Cursor*& cursor : cursors_) {
    if (cursor != nullptr) SDL_FreeCursor(cursor);
    cursor = nullptr;
  }
  if (texture_ != nullptr) SDL_DestroyTexture(texture_);
  if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
  if (window_ != nullptr) SDL_DestroyWindow(window_);
  texture_ = nullptr;
  renderer_ = nullptr;
  window_ = nullptr;
  if (sdlStarted_) SDL_Quit();
  sdlStarted_ = false;
}

bool ShowWindow::Open(const std::string& title, std::string& problem, const char* driver) {
  // An explicit driver, as an argument or in SDL_VIDEODRIVER, is the caller's choice.
  const bool chosen = driver != nullptr || Env("SDL_VIDEODRIVER") != nullptr;
  if (!chosen) {
    driver = DisplayDrivers();
    if (driver == nullptr) {
      problem = "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
      return false;
    }
  }
  if (driver != nullptr) SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    problem = "no display: " + (chosen ? std::string() : DisplayNames() + " cannot be opened: ") + SDL_GetError();
    return false;
  }
  sdlStarted_ = true;
  int width, height;
  view_.PreferredSize(width, height);
  SDL_Rect screen;
  if (SDL_GetDisplayUsableBounds(0, &screen) == 0 && screen.w > 0 && screen.h > 0) {
    width = std::min(width, screen.w);
    height = std::min(height, screen.h);
  }
  window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                             SDL_WINDOW_RESIZABLE);
  if (window_ != nullptr) renderer_ = SDL_CreateRenderer(window_, -1, 0);
  // Some displays offer no accelerated renderer; the software one always works.
  if (window_ != nullptr && renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
  if (window_ == nullptr || renderer_ == nullptr) {
    problem = std::string("cannot open a window: ") + SDL_GetError();
    Close();
    return false;
  }
  SDL_StopTextInput();  // keys only: no input method
  for (int i = 0; i < 6; ++i) cursors_[i] = SDL_CreateSystemCursor(kCursorShapes[i]);
  SDL_GetWindowSize(window_, &width, &height);
  if (!SizeTo(width, height)) {
    problem = std::string("cannot make the window's picture: ") + SDL_GetError();
    Close();
    return false;
  }
  return true;
}

unsigned ShowWindow::WindowId() const { return window_ != nullptr ? SDL_GetWindowID(window_) : 0; }

bool ShowWindow::SizeTo(int width, int height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (texture_ != nullptr && canvas_.Width() == width && canvas_.Height() == height) return true;
  if (!canvas_.Resize(width, height)) return SDL_SetError("no memory for a %d x %d picture", width, height), false;
  if (texture_ != nullptr) SDL_DestroyTexture(texture_);
  texture_ = SDL_CreateTexture(renderer_, kTextureFormat, SDL_TEXTUREACCESS_STREAMING, width, height);
  view_.Resize(width, height);
  view_.Invalidate();
  return texture_ != nullptr;
}

void ShowWindow::UpdateCursor(int x, int y) {
  SDL_Cursor* cursor = cursors_[CursorFor(view_.HandleAt(x, y))];
  if (cursor == nullptr || cursor == shown_) return;
  SDL_SetCursor(cursor);
  shown_ = cursor;
}

void ShowWindow::Handle(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT: quit_ = true; break;
    case SDL_WINDOWEVENT:
      switch (event.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED: SizeTo(event.window.data1, event.window.data2); break;
        case SDL_WINDOWEVENT_EXPOSED: exposed_ = true; break;
        case SDL_WINDOWEVENT_LEAVE: view_.MouseLeft(); break;
        case SDL_WINDOWEVENT_FOCUS_LOST: view_.EndDrags(); break;
        case SDL_WINDOWEVENT_CLOSE: quit_ = true; break;
        default: break;
      }
      break;
    case SDL_MOUSEMOTION:
      mouseX_ = event.motion.x;
      mouseY_ = event.motion.y;
      // A grab or pan lasts only while its button is held; its release may have gone elsewhere.
      if ((view_.Grabbing() && !(event.motion.state & SDL_BUTTON_LMASK)) ||
          (view_.Panning() && !(event.motion.state & SDL_BUTTON_RMASK)))
        view_.EndDrags();
      view_.MouseMove(mouseX_, mouseY_);
      // While something is grabbed the cursor keeps the shape it had when it was grabbed.
      if ((event.motion.state & (SDL_BUTTON_LMASK | SDL_BUTTON_RMASK)) == 0) UpdateCursor(mouseX_, mouseY_);
      break;
    case SDL_MOUSEBUTTONDOWN:
      mouseX_ = event.button.x;
      mouseY_ = event.button.y;
      if (event.button.button == SDL_BUTTON_LEFT) view_.LeftDown(mouseX_, mouseY_);
      if (event.button.button == SDL_BUTTON_RIGHT) view_.RightDown(mouseX_, mouseY_);
      break;
    case SDL_MOUSEBUTTONUP:
      mouseX_ = event.button.x;
      mouseY_ = event.button.y;
      if (event.button.button == SDL_BUTTON_LEFT) view_.LeftUp(mouseX_, mouseY_);
      if (event.button.button == SDL_BUTTON_RIGHT) view_.RightUp();
      UpdateCursor(mouseX_, mouseY_);
      break;
    case SDL_MOUSEWHEEL: {
      int clicks = event.wheel.y;
      if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) clicks = -clicks;
#if SDL_VERSION_ATLEAST(2, 26, 0)
      mouseX_ = event.wheel.mouseX;
      mouseY_ = event.wheel.mouseY;
#endif
      if (clicks != 0) view_.Wheel(mouseX_, mouseY_, clicks);
      break;
    }
    case SDL_KEYDOWN: {
      ShowKey action;
      if (KeyAction(event.key.keysym.sym, action)) view_.Key(action);
      break;
    }
    default: break;
  }
}

bool ShowWindow::Present() {
  if (view_.Dirty()) {
    view_.Draw(canvas_.dc());
    ++drawCount_;
    if (SDL_UpdateTexture(texture_, nullptr, canvas_.Bits(), canvas_.Pitch()) != 0) return false;
  } else if (!exposed_) {
    return true;
  }
  exposed_ = false;
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  SDL_RenderPresent(renderer_);
  return true;
}

bool ShowWindow::Pump() {
  SDL_Event event;
  while (!QuitAsked() && SDL_PollEvent(&event)) Handle(event);
  if (!QuitAsked()) Present();
  return !QuitAsked();
}

void ShowWindow::Run() {
  Present();
  SDL_Event event;
  while (!QuitAsked() && SDL_WaitEvent(&event)) {
    Handle(event);
    Pump();
  }
}

bool ShowWindow::ReadPresented(std::vector<std::uint32_t>& pixels, int& width, int& height) {
  if (renderer_ == nullptr || SDL_GetRendererOutputSize(renderer_, &width, &height) != 0) return false;
  // The back buffer is read before it is presented: after a present its content is undefined.
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  pixels.assign(static_cast<size_t>(width) * height, 0);
  const int result = SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_XRGB8888, pixels.data(), width * 4);
  SDL_RenderPresent(renderer_);
  return result == 0;
}

}  // namespace kvtool
