#include "kvbase/files/internal/tiff_lzw.h"

#include <algorithm>
#include <cstring>

namespace kvbase::internal {
namespace {

constexpr std::uint32_t kClearCode = 256;
constexpr std::uint32_t kEndCode = 257;
constexpr std::uint32_t kFirstEntry = 258;
constexpr std::uint32_t kTableSize = 4096;
constexpr int kFirstWidth = 9;
constexpr int kLastWidth = 12;
// The encoder clears the table when it reaches this entry, before the decoder's table is full.
constexpr std::uint32_t kEncoderLimit = 4094;

// Codes most significant bit first, from a 64-bit window that is topped up a byte at a time.
class KBitReader {
 public:
  KBitReader(const unsigned char* in, std::size_t length) : in_(in), end_(in + length) {}

  // False when fewer than `width` bits are left.
  bool Next(int width, std::uint32_t& code) {
    if (count_ < width) {
      while (count_ <= 56 && in_ < end_) {
        bits_ |= static_cast<std::uint64_t>(*in_++) << (56 - count_);
        count_ += 8;
      }
      if (count_ < width) return false;
    }
    code = static_cast<std::uint32_t>(bits_ >> (64 - width));
    bits_ <<= width;
    count_ -= width;
    return true;
  }

 private:
  const unsigned char* in_;
  const unsigned char* end_;
  std::uint64_t bits_ = 0;
  int count_ = 0;
};

// Copies `length` bytes from `from` to `to`, which lies after all of them. Where the output has room,
// sixteen bytes go at a time, each piece loaded whole before it is stored, and the copy may write up to
// fifteen bytes past its end, which the next codes overwrite. The pieces may overlap the bytes already
// copied only past `length`, where both are such bytes.
inline void CopyString(unsigned char* out, std::size_t from, std::size_t to, std::size_t length, std::size_t capacity) {
  if (to + length + 16 <= capacity) {
    for (std::size_t i = 0; i < length; i += 16) {
      unsigned char piece[16];
      std::memcpy(piece, out + from + i, 16);
      std::memcpy(out + to + i, piece, 16);
    }
  } else {
    std::memcpy(out + to, out + from, length);
  }
}

// Writes codes most significant bit first.
class KBitWriter {
 public:
  explicit KBitWriter(unsigned char* out) : out_(out), start_(out) {}

  void Put(std::uint32_t code, int width) {
    bits_ = bits_ << width | code;
    count_ += width;
    while (count_ >= 8) {
      count_ -= 8;
      *out_++ = static_cast<unsigned char>(bits_ >> count_);
    }
  }

  // Fills the last byte with zero bits; returns the bytes written.
  std::size_t Finish() {
    if (count_ > 0) *out_++ = static_cast<unsigned char>(bits_ << (8 - count_));
    count_ = 0;
    return static_cast<std::size_t>(out_ - start_);
  }

 private:
  unsigned char* out_;
  unsigned char* start_;
  std::uint64_t bits_ = 0;  // only the low `count_` bits are still to go
  int count_ = 0;
};

}  // namespace

KLzwDecoder::KLzwDecoder() : table_(kTableSize) {}

KLzwDecoded KLzwDecoder::Decode(const unsigned char* in, std::size_t inLength, unsigned char* out,
                                std::size_t capacity) {
  KLzwEntry* const table = table_.data();
  KBitReader reader(in, inLength);
  std::size_t length = 0;
  std::uint32_t next = kFirstEntry;
  int width = kFirstWidth;
  bool havePrevious = false;
  KLzwEntry previous{0, 0};
  while (length < capacity) {
    std::uint32_t code = 0;
    if (!reader.Next(width, code)) return {length, KLzwEnd::kInputEnds};
    if (code == kClearCode) {
      next = kFirstEntry;
      width = kFirstWidth;
      havePrevious = false;
      continue;
    }
    if (code == kEndCode) return {length, KLzwEnd::kEndCode};
    const std::size_t room = capacity - length;
    KLzwEntry current{length, 1};
    if (code < 256) {
      out[length] = static_cast<unsigned char>(code);
    } else if (!havePrevious || code > next) {
      return {length, KLzwEnd::kBadCode};
    } else if (code < next) {
      current.length = table[code].length < room ? table[code].length : room;
      CopyString(out, table[code].offset, length, current.length, capacity);
    } else if (previous.length < room) {
      // The entry being made: the previous string and its own first byte.
      CopyString(out, previous.offset, length, previous.length, capacity);
      out[length + previous.length] = out[previous.offset];
      current.length = previous.length + 1;
    } else {
      CopyString(out, previous.offset, length, room, capacity);
      current.length = room;
    }
    if (havePrevious && next < kTableSize) {
      table[next++] = {previous.offset, previous.length + 1};
      if (next >= (1u << width) - 1 && width < kLastWidth) ++width;
    }
    previous = current;
    havePrevious = true;
    length += current.length;
  }
  return {length, KLzwEnd::kFull};
}

KLzwEncoder::KLzwEncoder() : keys_(8192), codes_(8192) {}

void KLzwEncoder::Clear() { std::fill(keys_.begin(), keys_.end(), 0u); }

std::size_t KLzwEncoder::Slot(std::uint32_t key) const {
  const std::size_t mask = keys_.size() - 1;
  std::size_t slot = (key * 2654435761u) >> 19 & mask;
  while (keys_[slot] != 0 && keys_[slot] != key + 1) slot = (slot + 1) & mask;
  return slot;
}

std::size_t KLzwEncoder::Encode(const unsigned char* in, std::size_t length, unsigned char* out) {
  KBitWriter writer(out);
  int width = kFirstWidth;
  writer.Put(kClearCode, width);
  if (length == 0) {
    writer.Put(kEndCode, width);
    return writer.Finish();
  }
  Clear();
  std::uint32_t next = kFirstEntry;
  std::uint32_t prefix = in[0];
  // Makes entry `next` (for the decoder, one code later) and widens or clears as the decoder will.
  const auto advance = [&] {
    if (++next == kEncoderLimit) {
      writer.Put(kClearCode, width);
      Clear();
      next = kFirstEntry;
      width = kFirstWidth;
    } else if (next > (1u << width) - 1 && width < kLastWidth) {
      ++width;
    }
  };
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint32_t key = prefix << 8 | in[i];
    const std::size_t slot = Slot(key);
    if (keys_[slot] != 0) {
      prefix = codes_[slot];
      continue;
    }
    writer.Put(prefix, width);
    keys_[slot] = key + 1;
    codes_[slot] = static_cast<std::uint16_t>(next);
    advance();
    prefix = in[i];
  }
  writer.Put(prefix, width);
  advance();
  writer.Put(kEndCode, width);
  return writer.Finish();
}

}  // namespace kvbase::internal
