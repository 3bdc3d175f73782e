#include "kvbase/files/internal/deflate.h"

#include <libdeflate.h>

namespace kvbase::internal {

KDeflateDecoder::KDeflateDecoder() : decoder_(libdeflate_alloc_decompressor()) {}

KDeflateDecoder::~KDeflateDecoder() { libdeflate_free_decompressor(decoder_); }

KInflated KDeflateDecoder::Decode(const unsigned char* in, std::size_t inLength, unsigned char* out,
                                  std::size_t capacity) {
  std::size_t written = 0;
  switch (libdeflate_zlib_decompress(decoder_, in, inLength, out, capacity, &written)) {
    case LIBDEFLATE_SUCCESS: return written == capacity ? KInflated::kExact : KInflated::kShort;
    case LIBDEFLATE_INSUFFICIENT_SPACE: return KInflated::kTooLong;
    default: return KInflated::kDamaged;
  }
}

KDeflateEncoder::KDeflateEncoder(int level) : encoder_(libdeflate_alloc_compressor(level)) {}

KDeflateEncoder::~KDeflateEncoder() { libdeflate_free_compressor(encoder_); }

std::size_t KDeflateEncoder::Bound(std::size_t length) const {
  return libdeflate_zlib_compress_bound(encoder_, length);
}

std::size_t KDeflateEncoder::Encode(const unsigned char* in, std::size_t length, unsigned char* out, std::size_t room) {
  return libdeflate_zlib_compress(encoder_, in, length, out, room);
}

}  // namespace kvbase::internal
