#include "kvbase/files/internal/bmp_rle.h"

#include <algorithm>
#include <cstring>

#include "kvbase/files/internal/positional_read.h"

namespace kvbase::internal::bmp {
namespace {

constexpr std::size_t kPieceBytes = 64 * 1024;

enum Escape : unsigned char { kEndOfRow = 0, kEndOfBitmap = 1, kMove = 2 };

// The row being decoded: its indices, the position in it, and the rows handed on so far.
class KRowCursor {
 public:
  KRowCursor(int width, int height, const KRleRowSink& sink)
      : indices_(static_cast<std::size_t>(width), 0), width_(width), height_(height), sink_(sink) {}

  bool Done() const { return row_ >= height_; }

  // `count` pixels of `index`.
  void Repeat(int count, unsigned char index) {
    const int n = std::min(count, width_ - x_);
    std::memset(indices_.data() + x_, index, static_cast<std::size_t>(n));
    x_ += n;
  }
  // `count` pixels of the two 4-bit indices in `pair` in turn, high first.
  void RepeatPair(int count, unsigned char pair) {
    const unsigned char both[2] = {static_cast<unsigned char>(pair >> 4), static_cast<unsigned char>(pair & 0x0F)};
    for (int i = 0; i < count && x_ < width_; ++i) indices_[x_++] = both[i & 1];
  }
  // `count` indices given one to a byte.
  void Copy(const unsigned char* bytes, int count) {
    const int n = std::min(count, width_ - x_);
    std::memcpy(indices_.data() + x_, bytes, static_cast<std::size_t>(n));
    x_ += n;
  }
  // `count` indices given two to a byte, high first.
  void CopyPairs(const unsigned char* bytes, int count) {
    for (int i = 0; i < count && x_ < width_; ++i) indices_[x_++] = i & 1 ? bytes[i / 2] & 0x0F : bytes[i / 2] >> 4;
  }

  // Hands the row on and starts the next at column 0.
  void EndRow() {
    sink_(row_++, indices_.data());
    std::fill(indices_.begin(), indices_.end(), 0);
    x_ = 0;
  }
  // Moves right `dx` pixels and down `dy` rows, keeping the column.
  void Move(int dx, int dy) {
    const int x = std::min(x_ + dx, width_);
    for (; dy > 0 && !Done(); --dy) EndRow();
    x_ = x;
  }
  void EndBitmap() {
    while (!Done()) EndRow();
  }

 private:
  std::vector<unsigned char> indices_;
  int x_ = 0;  // never past width_: pixels beyond the row's end are dropped
  int row_ = 0;
  int width_;
  int height_;
  const KRleRowSink& sink_;
};

// Reads an absolute run of `count` indices of `bits` and its padding to an even number of bytes.
bool CopyAbsolute(KByteSource& source, int bits, int count, KRowCursor& cursor) {
  const std::size_t bytes = bits == 8 ? count : (count + 1) / 2;
  const unsigned char* run = source.Take(bytes + (bytes & 1));
  if (run == nullptr) return false;
  if (bits == 8) {
    cursor.Copy(run, count);
  } else {
    cursor.CopyPairs(run, count);
  }
  return true;
}

}  // namespace

KByteSource::KByteSource(std::FILE* file, std::uint64_t begin, std::uint64_t end)
    : file_(file), next_(begin), end_(end < begin ? begin : end) {}

KByteSource::KByteSource(const unsigned char* bytes, std::size_t count) : data_(bytes), held_(count) {}

bool KByteSource::Refill() {
  if (file_ == nullptr || next_ >= end_) return false;
  if (buffer_.empty())
    buffer_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, end_ - next_)) + kMaxTake);
  const std::size_t kept = held_ - at_;
  if (kept != 0) std::memmove(buffer_.data(), data_ + at_, kept);
  const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size() - kept, end_ - next_));
  if (!ReadAt(file_, next_, buffer_.data() + kept, wanted)) return false;
  next_ += wanted;
  data_ = buffer_.data();
  held_ = kept + wanted;
  at_ = 0;
  return true;
}

const unsigned char* KByteSource::Take(std::size_t count) {
  if (count > kMaxTake) return nullptr;
  while (held_ - at_ < count)
    if (!Refill()) return nullptr;
  const unsigned char* bytes = data_ + at_;
  at_ += count;
  return bytes;
}

K_ERRORS DecodeRle(KByteSource& source, int bits, int width, int height, const KRleRowSink& sink) {
  KRowCursor cursor(width, height, sink);
  while (!cursor.Done()) {
    const unsigned char* code = source.Take(2);
    if (code == nullptr) return K_ERROR_FILE_READ;
    const int count = code[0];
    const unsigned char value = code[1];
    if (count > 0) {
      if (bits == 8) {
        cursor.Repeat(count, value);
      } else {
        cursor.RepeatPair(count, value);
      }
      continue;
    }
    switch (value) {
      case kEndOfRow: cursor.EndRow(); break;
      case kEndOfBitmap: cursor.EndBitmap(); break;
      case kMove: {
        const unsigned char* move = source.Take(2);
        if (move == nullptr) return K_ERROR_FILE_READ;
        cursor.Move(move[0], move[1]);
        break;
      }
      default:
        if (!CopyAbsolute(source, bits, value, cursor)) return K_ERROR_FILE_READ;
        break;
    }
  }
  return K_SUCCESS;
}

}  // namespace kvbase::internal::bmp
