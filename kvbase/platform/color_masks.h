#ifndef KVBASE_PLATFORM_COLOR_MASKS_H
#define KVBASE_PLATFORM_COLOR_MASKS_H

// The two layouts of a 16-bit colour word, as device-independent bitmaps and BMP files describe them
// with red, green and blue masks. 5-5-5 is what a 16-bit bitmap holds when it names no masks.

#include "kvbase/platform/windows_types.h"

struct KColorMasks {
  DWORD red;
  DWORD green;
  DWORD blue;
};

constexpr KColorMasks K_COLOR_MASKS_555 = {0x7C00, 0x03E0, 0x001F};
constexpr KColorMasks K_COLOR_MASKS_565 = {0xF800, 0x07E0, 0x001F};

constexpr bool operator==(const KColorMasks& a, const KColorMasks& b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue;
}
constexpr bool operator!=(const KColorMasks& a, const KColorMasks& b) { return !(a == b); }

#endif  // KVBASE_PLATFORM_COLOR_MASKS_H
