#ifndef KVBASE_IMAGE_INTERNAL_ELLIPSE_ROWS_H
#define KVBASE_IMAGE_INTERNAL_ELLIPSE_ROWS_H

// Exact row spans of the mask ellipse, without visiting pixels.
//
// For a box of w x h pixels, let W = (w - 1)^2, H = (h - 1)^2, i = 2c - (w - 1) for column c and
// j = 2r - (h - 1) for row r. The ellipse test of a pixel, offset by a threshold t, is
//
//     d(c, r) = H i^2 + W j^2 - (W H + W + H)  <=  t
//
// (t = 0 is the ellipse itself; the ring compares against a second threshold). For a fixed row the
// pixels that pass form one span centred in the row, found here with an exact integer square root, so
// that a row costs O(1) instead of O(w) and the result is identical to testing every pixel.

#include <cstdint>

namespace kvbase::internal {

struct KSpan {
  int first;  // first column inside, or -1 when the row has none
  int last;   // last column inside
  bool empty() const { return first < 0; }
};

class KEllipseRows {
 public:
  KEllipseRows(int width, int height);

  // Columns of row `r` whose d is at most `threshold`.
  KSpan Span(int r, __int128 threshold) const;
  // d of the box's first pixel: W H - W - H.
  __int128 FirstValue() const { return W_ * H_ - W_ - H_; }

 private:
  int width_;
  int height_;
  __int128 W_;
  __int128 H_;
};

}  // namespace kvbase::internal

#endif  // KVBASE_IMAGE_INTERNAL_ELLIPSE_ROWS_H
