#ifndef KVBASE_FILES_INTERNAL_TIFF_PACKBITS_H
#define KVBASE_FILES_INTERNAL_TIFF_PACKBITS_H

// PackBits, the run-length coding of TIFF compression 32773: a header byte h (signed) followed by
// h + 1 literal bytes (0 to 127), or by one byte repeated 1 - h times (-127 to -1); -128 is a no-op.
//
// The encoder works on one row at a time, so no run crosses a row end. The decoder is a small state
// machine fed with whatever slices of a strip are at hand; it hands its output to a sink, which decides
// where the bytes go and when to stop.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kvbase::internal {

// PackBits turns at most 2 input bytes into 128 output bytes.
constexpr std::uint64_t kPackBitsMaxGain = 64;

// Room the encoder needs for a row of `length` bytes, worst case.
inline std::size_t PackBitsBound(std::size_t length) { return length + (length + 127) / 128 + 1; }

// Encodes `length` bytes of `row` into `out` (PackBitsBound(length) bytes) and returns the bytes written.
//
// Equal bytes are counted as they come; when three are seen, the bytes before them that are not yet
// written go out as a literal and the run grows until a different byte (or the row end) writes it.
// Two equal bytes stay inside a literal. Literals and runs longer than 128 are cut into pieces of 128;
// a last run piece of one byte is written as a one-byte literal.
std::size_t PackBitsEncodeRow(const unsigned char* row, std::size_t length, unsigned char* out);

class KPackBitsDecoder {
 public:
  // Forgets a piece cut by the end of the previous input: every strip starts afresh.
  void Reset() {
    literal_ = 0;
    run_ = 0;
  }

  // Decodes `length` input bytes. `sink(const unsigned char* bytes, std::size_t count)` receives the
  // output and returns false to stop; Decode then returns false as well.
  template <typename Sink>
  bool Decode(const unsigned char* in, std::size_t length, Sink& sink) {
    std::size_t i = 0;
    while (i < length) {
      if (literal_ > 0) {
        const std::size_t count = literal_ < length - i ? literal_ : length - i;
        if (!sink(in + i, count)) return false;
        i += count;
        literal_ -= count;
      } else if (run_ > 0) {
        std::memset(repeat_, in[i++], run_);
        const std::size_t count = run_;
        run_ = 0;
        if (!sink(repeat_, count)) return false;
      } else {
        const int header = static_cast<signed char>(in[i++]);
        if (header >= 0) {
          literal_ = static_cast<std::size_t>(header) + 1;
        } else if (header != -128) {
          run_ = static_cast<std::size_t>(1 - header);
        }
      }
    }
    return true;
  }

 private:
  std::size_t literal_ = 0;  // literal bytes still to copy
  std::size_t run_ = 0;      // when non-zero, the next byte is repeated this often
  unsigned char repeat_[128];
};

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_PACKBITS_H
