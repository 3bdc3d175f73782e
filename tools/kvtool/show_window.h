#ifndef KVTOOL_SHOW_WINDOW_H
#define KVTOOL_SHOW_WINDOW_H

// The SDL2 window of `kvtool show`. It owns the window, a renderer and one streaming texture, turns SDL
// events into the inputs of a ShowView and puts the view's device context on screen: the 32-bit
// device context's rows are blue, green, red, unused, which is what an XRGB8888 texture holds on a
// little-endian machine, so SDL_UpdateTexture takes them as they are. The view is drawn again only
// when an input changed it or the window's size changed; an exposed window is presented again from
// the texture.
//
//   ShowWindow window(view);
//   std::string problem;
//   if (!window.Open("kvtool show: scene.bmp", problem)) ...;   // problem names the reason
//   window.Run();                                              // until q, Escape or the close box

#include <cstdint>
#include <string>
#include <vector>

#include "show_view.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Cursor;
union SDL_Event;

namespace kvtool {

class ShowWindow {
 public:
  explicit ShowWindow(ShowView& view);
  ~ShowWindow();
  ShowWindow(const ShowWindow&) = delete;
  ShowWindow& operator=(const ShowWindow&) = delete;

  // Starts SDL's video, with the driver named by `driver` when it is not null (tests ask for
  // "dummy"), and opens the window at the view's size capped to the screen. False, with the reason
  // in `problem` and no window, when there is no display or SDL fails.
  bool Open(const std::string& title, std::string& problem, const char* driver = nullptr);

  // Waits for events and handles them until the view asks to quit or the window is closed.
  void Run();
  // Handles the events already queued, then presents the view when something changed. False once a
  // quit was asked.
  bool Pump();
  // Translates one event into the view's inputs.
  void Handle(const SDL_Event& event);

  // What the renderer shows, read back as rows of XRGB8888 pixels (0x00RRGGBB).
  bool ReadPresented(std::vector<std::uint32_t>& pixels, int& width, int& height);
  // How many times the view was drawn into the device context.
  int DrawCount() const { return drawCount_; }
  unsigned WindowId() const;
  bool QuitAsked() const { return quit_ || view_.QuitAsked(); }

 private:
  bool Present();
  bool SizeTo(int width, int height);
  void UpdateCursor(int x, int y);
  void Close();

  ShowView& view_;
  ShowCanvas canvas_;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  SDL_Cursor* cursors_[6] = {};  // see CursorFor in show_window.cpp
  SDL_Cursor* shown_ = nullptr;
  bool sdlStarted_ = false;
  bool exposed_ = false;
  bool quit_ = false;
  int mouseX_ = 0, mouseY_ = 0;
  int drawCount_ = 0;
};

}  // namespace kvtool

#endif  // KVTOOL_SHOW_WINDOW_H
