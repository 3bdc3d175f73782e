#ifndef KVBASE_FILES_INTERNAL_PNG_FILTER_H
#define KVBASE_FILES_INTERNAL_PNG_FILTER_H

// PNG row filtering for the writer: each row is written as its filter type byte and the row filtered by
// one of the five filters (None, Sub, Up, Average, Paeth), chosen per row as the one whose bytes have the
// least entropy: the fewest bits a code fitted to that row's byte counts would spend on them.
//
// The usual choice, the smallest sum of magnitudes of the bytes taken as signed values, made files 0.9%
// (gray) and 0.7% (colour) larger after deflate on photo-like images; deflate codes most bytes of such
// images as literals, whose cost is what entropy measures. The entropy is computed in integers (a
// fixed-point log2), so the choice, and the file, are the same on every machine.

#include <cstddef>
#include <memory>

namespace kvbase::internal {

class KPngRowFilter {
 public:
  // Rows of `rowBytes` bytes whose pixels take `pixelBytes` bytes (1 for rows of fewer than 8 bits per
  // pixel). With `adaptive` false every row is written with filter None, which suits 1-bit rows.
  KPngRowFilter(std::size_t rowBytes, std::size_t pixelBytes, bool adaptive);

  // False when the filter's scratch rows could not be allocated.
  bool Ready() const { return scratch_ != nullptr; }

  // Writes the filter type and the filtered `row` (rowBytes + 1 bytes) to `out`. `above` is the row above,
  // or null for the first row.
  void Filter(const unsigned char* row, const unsigned char* above, unsigned char* out);

 private:
  std::size_t rowBytes_;
  std::size_t pixelBytes_;
  bool adaptive_;
  std::unique_ptr<unsigned char[]> scratch_;  // a zero row (above the first), then four candidate rows
};

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_PNG_FILTER_H
