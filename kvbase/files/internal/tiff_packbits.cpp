#include "kvbase/files/internal/tiff_packbits.h"

namespace kvbase::internal {
namespace {

unsigned char* PutLiteral(const unsigned char* bytes, std::size_t count, unsigned char* out) {
  while (count > 0) {
    const std::size_t piece = count < 128 ? count : 128;
    *out++ = static_cast<unsigned char>(piece - 1);
    std::memcpy(out, bytes, piece);
    out += piece;
    bytes += piece;
    count -= piece;
  }
  return out;
}

unsigned char* PutRun(unsigned char value, std::size_t count, unsigned char* out) {
  while (count > 0) {
    const std::size_t piece = count < 128 ? count : 128;
    // 1 - piece as a signed byte; a piece of one is the literal header 0.
    *out++ = static_cast<unsigned char>(256 + 1 - piece);
    *out++ = value;
    count -= piece;
  }
  return out;
}

}  // namespace

std::size_t PackBitsEncodeRow(const unsigned char* row, std::size_t length, unsigned char* out) {
  unsigned char* const start = out;
  if (length == 0) return 0;
  std::size_t pending = 0;  // first byte not yet written
  std::size_t equal = 1;    // equal bytes ending at the current one
  for (std::size_t i = 1; i < length; ++i) {
    if (row[i] == row[i - 1]) {
      if (++equal == 3) {
        out = PutLiteral(row + pending, i - 2 - pending, out);
        pending = i - 2;
      }
    } else {
      if (equal >= 3) {
        out = PutRun(row[i - 1], equal, out);
        pending = i;
      }
      equal = 1;
    }
  }
  if (equal >= 3) {
    out = PutRun(row[length - 1], equal, out);
  } else {
    out = PutLiteral(row + pending, length - pending, out);
  }
  return static_cast<std::size_t>(out - start);
}

}  // namespace kvbase::internal
