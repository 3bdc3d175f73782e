#ifndef KVBASE_FILES_INTERNAL_DEFLATE_H
#define KVBASE_FILES_INTERNAL_DEFLATE_H

// Zlib streams coded whole by libdeflate: a TIFF strip or tile (compressions 8 and 32946), a PNG file's
// image data.

#include <cstddef>
#include <cstdint>

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace kvbase::internal {

// The most bytes one input byte can give: a match of 258 bytes takes at least 2 bits.
constexpr std::uint64_t kDeflateMaxGain = 1032;

enum class KInflated {
  kExact,    // the stream gave exactly the bytes asked for
  kShort,    // fewer
  kTooLong,  // more: what was written is undefined
  kDamaged,  // not a zlib stream, or its checksum is wrong
};

class KDeflateDecoder {
 public:
  KDeflateDecoder();
  ~KDeflateDecoder();
  KDeflateDecoder(const KDeflateDecoder&) = delete;
  KDeflateDecoder& operator=(const KDeflateDecoder&) = delete;

  // False when the decoder could not be allocated.
  bool Ready() const { return decoder_ != nullptr; }
  // Decodes the zlib stream at `in` into `out`, which has room for `capacity` bytes.
  KInflated Decode(const unsigned char* in, std::size_t inLength, unsigned char* out, std::size_t capacity);

 private:
  libdeflate_decompressor* decoder_;
};

class KDeflateEncoder {
 public:
  explicit KDeflateEncoder(int level);
  ~KDeflateEncoder();
  KDeflateEncoder(const KDeflateEncoder&) = delete;
  KDeflateEncoder& operator=(const KDeflateEncoder&) = delete;

  bool Ready() const { return encoder_ != nullptr; }
  // Room the zlib stream of `length` bytes may need.
  std::size_t Bound(std::size_t length) const;
  // Encodes `length` bytes into `out` (Bound(length) bytes) as one zlib stream; returns its length.
  std::size_t Encode(const unsigned char* in, std::size_t length, unsigned char* out, std::size_t room);

 private:
  libdeflate_compressor* encoder_;
};

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_DEFLATE_H
