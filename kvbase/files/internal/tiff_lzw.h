#ifndef KVBASE_FILES_INTERNAL_TIFF_LZW_H
#define KVBASE_FILES_INTERNAL_TIFF_LZW_H

// LZW, TIFF compression 5: codes of 9 to 12 bits, most significant bit first. Code 256 clears the
// table, 257 ends the data, new entries are numbered from 258 on, and the code width grows one code
// early: the codes after entry 510, 1022 and 2046 are made are 10, 11 and 12 bits wide. The table holds
// 4096 entries; the encoder clears it when entry 4093 is made, as TIFF writers do.
//
// Each strip or tile is a stream of its own, decoded whole into one buffer: a new entry is the previous
// code's string plus one byte, and that string lies just before in the output, so an entry is kept as
// a place in the output (offset and length) and decoding a code is a copy from earlier output.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvbase::internal {

// The most bytes one input byte can give. Entry e holds at most e - 256 bytes (each entry is one byte
// longer than an older one, entry 258 at most 2), so a 9-bit code gives at most 254 bytes and a 12-bit
// code, 4095 at most, 3839 bytes: 2559.3 bytes per input byte, the most of any width.
constexpr std::uint64_t kLzwMaxGain = 2560;

enum class KLzwEnd {
  kFull,       // the output was filled; what follows in the input is not looked at
  kEndCode,    // the end code came first
  kInputEnds,  // the input ran out first
  kBadCode,    // a code the table does not have yet, or a first code after a clear that is not a byte
};

struct KLzwDecoded {
  std::size_t length;  // output bytes written
  KLzwEnd end;
};

// An entry's string: `length` bytes of the output from `offset` on.
struct KLzwEntry {
  std::size_t offset;
  std::size_t length;
};

// Decodes one strip at a time; the table is kept between calls only to save its allocation.
class KLzwDecoder {
 public:
  KLzwDecoder();

  // Decodes `in` into `out`, which has room for `capacity` bytes; never writes past them.
  KLzwDecoded Decode(const unsigned char* in, std::size_t inLength, unsigned char* out, std::size_t capacity);

 private:
  std::vector<KLzwEntry> table_;
};

// Streams of the first TIFF writers put their codes least significant bit first. They open with a
// clear code, so their first byte is 0 and their second byte's lowest bit 1; a stream of today opens
// with 0x80.
inline bool LzwIsOldStyle(const unsigned char* in, std::size_t inLength) {
  return inLength >= 2 && in[0] == 0 && (in[1] & 1) != 0;
}

// Encodes one strip at a time. The table is kept between calls only to save its allocation.
class KLzwEncoder {
 public:
  KLzwEncoder();

  // Room the output of `length` input bytes may need: every byte one 12-bit code at worst, plus the
  // clear codes and the end.
  static std::size_t Bound(std::size_t length) { return length + length / 2 + length / 2048 + 16; }

  // Encodes `length` bytes into `out` (Bound(length) bytes) and returns the bytes written: a clear
  // code, the codes, the end code, the last byte filled up with zero bits.
  std::size_t Encode(const unsigned char* in, std::size_t length, unsigned char* out);

 private:
  void Clear();
  // The slot of `key` (prefix code << 8 | byte): the one holding it, or the empty one it would go to.
  std::size_t Slot(std::uint32_t key) const;

  std::vector<std::uint32_t> keys_;  // key + 1; 0 marks an empty slot
  std::vector<std::uint16_t> codes_;
};

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_LZW_H
