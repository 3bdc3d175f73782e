#ifndef KVBASE_PLATFORM_INTERNAL_BITMAP_FONT_H
#define KVBASE_PLATFORM_INTERNAL_BITMAP_FONT_H

// The software GDI's one font: fixed pitch, 6 x 12 pixel cells, glyphs for printable ASCII and a
// hollow box for every other byte.

#include <cstdint>

#include "kvbase/platform/internal/surface.h"

namespace kvgdi {

constexpr int kCellWidth = 6;
constexpr int kCellHeight = 12;
constexpr int kAscent = 9;  // rows above the baseline; the baseline row is the first below them

// Whether the glyph of `character` has ink at `column`, `row` of its cell.
bool GlyphPixel(unsigned char character, int column, int row);

// Writes `value` on the ink of `length` characters whose first cell has its top-left corner at
// (`left`, `top`), clipped to the surface.
void DrawGlyphs(Surface& surface, std::int64_t left, std::int64_t top, const char* text, int length,
                std::uint32_t value);

}  // namespace kvgdi

#endif  // KVBASE_PLATFORM_INTERNAL_BITMAP_FONT_H
