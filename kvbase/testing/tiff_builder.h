#ifndef KVBASE_TESTING_TIFF_BUILDER_H
#define KVBASE_TESTING_TIFF_BUILDER_H

// Test helper: builds small TIFF files in either byte order with any fields, sound or broken, that a
// test needs, without going through the library's writer.
//
//   KTiffBuilder tiff(/*bigEndian=*/true);
//   tiff.Long(256, {3}).Long(257, {2}).Short(258, {16}).Short(262, {1});
//   tiff.Strips({{0x01, 0x02, ...}});          // StripOffsets and StripByteCounts follow the layout
//   std::vector<unsigned char> bytes = tiff.Build();

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kvbase::testing {

using KBytes = std::vector<unsigned char>;

class KTiffBuilder {
 public:
  explicit KTiffBuilder(bool bigEndian) : big_(bigEndian) {}

  KTiffBuilder& Short(std::uint16_t tag, const std::vector<std::uint32_t>& values) { return Set(tag, 3, values, 2); }
  KTiffBuilder& Long(std::uint16_t tag, const std::vector<std::uint32_t>& values) { return Set(tag, 4, values, 4); }
  KTiffBuilder& Rational(std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator) {
    fields_[tag] = {5, 1, Encode({numerator, denominator}, 4)};
    return *this;
  }
  // A text with its zero; up to four bytes sit in the value field, as the TIFF rules want, unless
  // `inDataArea`.
  KTiffBuilder& Ascii(std::uint16_t tag, const std::string& text, bool inDataArea = false) {
    KBytes data(text.begin(), text.end());
    data.push_back(0);
    fields_[tag] = {2, static_cast<std::uint32_t>(data.size()), data, inDataArea};
    return *this;
  }
  // An entry whose count and value field are given as they are, pointing wherever they point.
  KTiffBuilder& Raw(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t valueField) {
    fields_[tag] = {type, count, Encode({valueField}, 4)};
    return *this;
  }
  KTiffBuilder& Remove(std::uint16_t tag) {
    fields_.erase(tag);
    return *this;
  }
  // Strip data placed after the directory and data area; StripOffsets and StripByteCounts are made
  // to match unless the test set them itself, or `withByteCounts` is false (then only StripOffsets is
  // written). Build once only.
  KTiffBuilder& Strips(const std::vector<KBytes>& strips, bool withByteCounts = true) {
    strips_ = strips;
    withByteCounts_ = withByteCounts;
    return *this;
  }
  // The same for tiles: TileOffsets and TileByteCounts follow the layout.
  KTiffBuilder& Tiles(const std::vector<KBytes>& tiles, bool withByteCounts = true) {
    offsetsTag_ = 324;
    countsTag_ = 325;
    return Strips(tiles, withByteCounts);
  }
  // KBytes appended after everything else.
  KTiffBuilder& Tail(const KBytes& tail) {
    tail_ = tail;
    return *this;
  }

  KBytes Build() {
    const bool autoOffsets = !strips_.empty() && fields_.count(offsetsTag_) == 0;
    std::vector<std::uint32_t> offsets, counts;
    for (const KBytes& strip : strips_) counts.push_back(static_cast<std::uint32_t>(strip.size()));
    if (autoOffsets) Long(offsetsTag_, std::vector<std::uint32_t>(strips_.size(), 0));
    if (!strips_.empty() && withByteCounts_ && fields_.count(countsTag_) == 0) Long(countsTag_, counts);
    KBytes out = Layout();
    if (autoOffsets) {
      for (std::uint32_t i = 0, at = static_cast<std::uint32_t>(out.size()); i < counts.size(); at += counts[i++])
        offsets.push_back(at);
      Long(offsetsTag_, offsets);
      out = Layout();
    }
    for (const KBytes& strip : strips_) out.insert(out.end(), strip.begin(), strip.end());
    out.insert(out.end(), tail_.begin(), tail_.end());
    return out;
  }

 private:
  struct KField {
    std::uint16_t type;
    std::uint32_t count;
    KBytes data;
    bool inDataArea = false;
  };

  KTiffBuilder& Set(std::uint16_t tag, std::uint16_t type, const std::vector<std::uint32_t>& values, int size) {
    fields_[tag] = {type, static_cast<std::uint32_t>(values.size()), Encode(values, size)};
    return *this;
  }

  KBytes Encode(const std::vector<std::uint32_t>& values, int size) const {
    KBytes out;
    for (std::uint32_t value : values)
      for (int i = 0; i < size; ++i) out.push_back(static_cast<unsigned char>(value >> 8 * (big_ ? size - 1 - i : i)));
    return out;
  }

  void Put(KBytes& out, std::uint32_t value, int size) const {
    const KBytes bytes = Encode({value}, size);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }

  KBytes Layout() const {
    KBytes out(2, big_ ? 'M' : 'I');
    Put(out, 42, 2);
    Put(out, 8, 4);
    Put(out, static_cast<std::uint32_t>(fields_.size()), 2);
    const std::uint32_t dataArea = static_cast<std::uint32_t>(8 + 2 + 12 * fields_.size() + 4);
    KBytes area;
    for (const auto& [tag, f] : fields_) {
      Put(out, tag, 2);
      Put(out, f.type, 2);
      Put(out, f.count, 4);
      if (f.data.size() <= 4 && !f.inDataArea) {
        KBytes field = f.data;
        field.resize(4, 0);  // left-justified in the value field
        out.insert(out.end(), field.begin(), field.end());
      } else {
        Put(out, dataArea + static_cast<std::uint32_t>(area.size()), 4);
        area.insert(area.end(), f.data.begin(), f.data.end());
      }
    }
    Put(out, 0, 4);
    out.insert(out.end(), area.begin(), area.end());
    return out;
  }

  bool big_;
  std::map<std::uint16_t, KField> fields_;
  std::vector<KBytes> strips_;
  bool withByteCounts_ = true;
  std::uint16_t offsetsTag_ = 273;
  std::uint16_t countsTag_ = 279;
  KBytes tail_;
};

}  // namespace kvbase::testing

#endif  // KVBASE_TESTING_TIFF_BUILDER_H
