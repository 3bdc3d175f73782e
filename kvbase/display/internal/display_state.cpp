#include "kvbase/display/internal/display_state.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace kvbase::internal::display {
namespace {

// A LOGPALETTE with room for `kEntries` entries.
template <int kEntries>
struct KPaletteDescription {
  WORD palVersion;
  WORD palNumEntries;  // 0 until the palette has been built
  PALETTEENTRY palPalEntry[kEntries];
  LOGPALETTE* Get() { return reinterpret_cast<LOGPALETTE*>(this); }
};

// The shared palettes; `gPaletteLock` guards all of them.
std::mutex gPaletteLock;
KPaletteDescription<256> gGrayPalette = {0x300, 0, {}};
HPALETTE gGrayPaletteHandle = nullptr;
KPaletteDescription<216> gCubePalette = {0x300, 0, {}};
HPALETTE gCubePaletteHandle = nullptr;
// Gray palettes forgotten while a draw in another thread had them selected: deleted once no device
// context has them any more.
std::vector<HPALETTE> gRetiredPalettes;

void DeleteRetiredPalettes() {
  gRetiredPalettes.erase(std::remove_if(gRetiredPalettes.begin(), gRetiredPalettes.end(),
                                        [](HPALETTE palette) { return DeleteObject(palette) != FALSE; }),
                         gRetiredPalettes.end());
}

// The colour table index of gray palette entry n: step/2, step/2 + step, ... for step = 256, 128, ..., 2.
void FillGrayPalette(const RGBQUAD* table) {
  PALETTEENTRY* entries = gGrayPalette.palPalEntry;
  int n = 0;
  auto take = [&](int index) {
    const RGBQUAD& c = table[index];
    entries[n++] = {c.rgbRed, c.rgbGreen, c.rgbBlue, c.rgbReserved};
  };
  for (int step = 256; step >= 2; step /= 2)
    for (int k = step / 2; k < 256; k += step) take(k);
  take(0);  // entry 255
}

void FillColourCube() {
  PALETTEENTRY* entries = gCubePalette.palPalEntry;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        entries[(r * 6 + g) * 6 + b] = {static_cast<BYTE>(51 * r), static_cast<BYTE>(51 * g), static_cast<BYTE>(51 * b),
                                        0};
}

HPALETTE BuildPalette(KPaletteKind which, const RGBQUAD* colors) {
  if (which == KPaletteKind::kGray) {
    if (gGrayPalette.palNumEntries == 0) {
      DeleteRetiredPalettes();
      gGrayPalette.palNumEntries = 256;
      FillGrayPalette(colors);
      gGrayPaletteHandle = CreatePalette(gGrayPalette.Get());
    }
    return gGrayPaletteHandle;
  }
  if (gCubePalette.palNumEntries == 0) {
    gCubePalette.palNumEntries = 216;
    FillColourCube();
    gCubePaletteHandle = CreatePalette(gCubePalette.Get());
  }
  return gCubePaletteHandle;
}

}  // namespace

KThreadDisplay& ThisThreadDisplay() {
  thread_local KThreadDisplay display{};
  return display;
}

HPALETTE SelectSharedPalette(HDC dc, KPaletteKind which, const RGBQUAD* colors) {
  // Selected under the lock, so that no other thread deletes the palette between its lookup and the
  // selection that keeps it alive.
  const std::lock_guard<std::mutex> lock(gPaletteLock);
  return SelectPalette(dc, BuildPalette(which, colors), FALSE);
}

void ForgetGrayPalette() {
  const std::lock_guard<std::mutex> lock(gPaletteLock);
  DeleteRetiredPalettes();
  gGrayPalette.palNumEntries = 0;
  if (gGrayPaletteHandle != nullptr && !DeleteObject(gGrayPaletteHandle))
    gRetiredPalettes.push_back(gGrayPaletteHandle);
  gGrayPaletteHandle = nullptr;
}

HPALETTE BuiltPalette(KPaletteKind which) {
  const std::lock_guard<std::mutex> lock(gPaletteLock);
  return which == KPaletteKind::kGray ? gGrayPaletteHandle : gCubePaletteHandle;
}

int GrayPaletteEntries() {
  const std::lock_guard<std::mutex> lock(gPaletteLock);
  return gGrayPalette.palNumEntries;
}

}  // namespace kvbase::internal::display
