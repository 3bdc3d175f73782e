#ifndef KVBASE_TESTING_BMP_BUILDER_H
#define KVBASE_TESTING_BMP_BUILDER_H

// Test helper: builds BMP files of any layout byte by byte, without the library's writer: the file
// header, an information header of 12, 40, 52, 56, 108 or 124 bytes, masks, a colour table, and the
// pixel bytes exactly as given (padding and run-length codes included). Header-only, so that the fuzz
// seed generator can use it too.
//
//   KBytes file = KBmpBuilder(124).Size(3, -2).Bits(32, 3).Masks({0xFF, 0xFF00, 0xFF0000}).Pixels({...}).Build();

#include <cstdint>
#include <vector>

namespace kvbase::testing {

class KBmpBuilder {
 public:
  using Bytes = std::vector<unsigned char>;

  explicit KBmpBuilder(std::uint32_t headerSize = 40) : headerSize_(headerSize) {}

  KBmpBuilder& Size(std::int32_t width, std::int32_t height) {
    width_ = width, height_ = height;
    return *this;
  }
  KBmpBuilder& Bits(std::uint16_t bitCount, std::uint32_t compression = 0) {
    bitCount_ = bitCount, compression_ = compression;
    return *this;
  }
  // Red, green, blue and perhaps alpha: after a 40-byte header, else inside the header.
  KBmpBuilder& Masks(const std::vector<std::uint32_t>& masks) {
    masks_ = masks;
    return *this;
  }
  // Entries as 0xRRGGBB; `used` is written as biClrUsed (by default the number of entries).
  KBmpBuilder& Palette(const std::vector<std::uint32_t>& rgb, std::int64_t used = -1) {
    palette_ = rgb;
    used_ = used < 0 ? static_cast<std::uint32_t>(rgb.size()) : static_cast<std::uint32_t>(used);
    return *this;
  }
  KBmpBuilder& Pixels(const Bytes& bytes) {
    pixels_ = bytes;
    return *this;
  }

  Bytes Build() const {
    const bool core = headerSize_ == 12;
    const bool masksAfter = headerSize_ == 40;
    Bytes info;
    if (core) {
      Put(info, headerSize_, 4), Put(info, width_, 2), Put(info, height_, 2), Put(info, 1, 2), Put(info, bitCount_, 2);
    } else {
      Put(info, headerSize_, 4), Put(info, width_, 4), Put(info, height_, 4), Put(info, 1, 2), Put(info, bitCount_, 2);
      Put(info, compression_, 4), Put(info, pixels_.size(), 4), Put(info, 2835, 4), Put(info, 2835, 4);
      Put(info, used_, 4), Put(info, 0, 4);
      for (std::size_t i = 0; !masksAfter && i < masks_.size() && info.size() + 4 <= headerSize_; ++i)
        Put(info, masks_[i], 4);
      if (headerSize_ >= 108) {  // colour space "sRGB", then endpoints, gamma and V5's profile fields as 0
        info.resize(56, 0);
        Put(info, 0x73524742, 4);
      }
      info.resize(headerSize_, 0);
      if (masksAfter)
        for (std::uint32_t mask : masks_) Put(info, mask, 4);
    }
    for (std::uint32_t entry : palette_) {
      Put(info, entry & 0xFFFFFF, core ? 3 : 4);  // blue, green, red (, reserved)
    }
    Bytes file = {'B', 'M'};
    const std::size_t offset = 14 + info.size();
    Put(file, offset + pixels_.size(), 4), Put(file, 0, 4), Put(file, offset, 4);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), pixels_.begin(), pixels_.end());
    return file;
  }

 private:
  static void Put(Bytes& bytes, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
  }

  std::uint32_t headerSize_;
  std::int32_t width_ = 1;
  std::int32_t height_ = 1;
  std::uint16_t bitCount_ = 24;
  std::uint32_t compression_ = 0;
  std::vector<std::uint32_t> masks_;
  std::vector<std::uint32_t> palette_;
  std::uint32_t used_ = 0;
  Bytes pixels_;
};

}  // namespace kvbase::testing

#endif  // KVBASE_TESTING_BMP_BUILDER_H
