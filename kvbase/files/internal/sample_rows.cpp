#include "kvbase/files/internal/sample_rows.h"

#include <cstring>

namespace kvbase::internal {

void UnpackSamples(const unsigned char* in, int bits, std::size_t count, unsigned char* out, std::size_t step) {
  if (bits == 8) {
    if (step == 1) {
      std::memmove(out, in, count);
    } else {
      for (std::size_t i = 0; i < count; ++i) out[i] = in[i * step];
    }
    return;
  }
  const std::size_t perByte = static_cast<std::size_t>(8 / bits);
  const unsigned mask = (1u << bits) - 1;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = i * step;  // samples never straddle bytes: 8 is a multiple of `bits`
    const int shift = 8 - bits * (static_cast<int>(at % perByte) + 1);
    out[i] = static_cast<unsigned char>(in[at / perByte] >> shift & mask);
  }
}

void ScaleToEightBits(unsigned char* samples, int bits, std::size_t count) {
  const unsigned factor = 255u / ((1u << bits) - 1);  // 255, 85, 17: exact for 1, 2 and 4 bits
  for (std::size_t i = 0; i < count; ++i) samples[i] = static_cast<unsigned char>(samples[i] * factor);
}

void KeepLeadingBytes(const unsigned char* in, std::size_t stride, std::size_t keep, std::size_t count,
                      unsigned char* out) {
  for (std::size_t i = 0; i < count; ++i) std::memmove(out + i * keep, in + i * stride, keep);
}

void PickBytes(const unsigned char* in, std::size_t stride, const int (&picks)[3], std::size_t count,
               unsigned char* out) {
  const int first = picks[0], second = picks[1], third = picks[2];
  for (std::size_t i = 0; i < count; ++i, in += stride, out += 3) {
    out[0] = in[first];
    out[1] = in[second];
    out[2] = in[third];
  }
}

void KPalette::Set(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  if (index < 0 || index > 255) return;
  bgr_[index][0] = blue;
  bgr_[index][1] = green;
  bgr_[index][2] = red;
  if (index >= count_) count_ = index + 1;
}

bool KPalette::IsGray() const {
  for (int i = 0; i < count_; ++i)
    if (bgr_[i][0] != bgr_[i][1] || bgr_[i][1] != bgr_[i][2]) return false;
  return true;
}

void KPalette::ToBgr(const unsigned char* indices, std::size_t count, unsigned char* out) const {
  for (std::size_t i = 0; i < count; ++i) std::memcpy(out + 3 * i, bgr_[indices[i]], 3);
}

void KPalette::ToGray(const unsigned char* indices, std::size_t count, unsigned char* out) const {
  for (std::size_t i = 0; i < count; ++i) out[i] = bgr_[indices[i]][0];
}

void KPalette::PackedToGray(const unsigned char* packed, int bits, std::size_t count, unsigned char* out) const {
  const unsigned mask = (1u << bits) - 1;
  // Index i lies in byte i x bits / 8, which is never after byte i: going backwards, every byte still
  // holds its indices when they are read.
  for (std::size_t i = count; i-- > 0;) {
    const std::size_t bit = i * static_cast<std::size_t>(bits);
    out[i] = bgr_[packed[bit / 8] >> (8 - bits - static_cast<int>(bit % 8)) & mask][0];
  }
}

}  // namespace kvbase::internal
