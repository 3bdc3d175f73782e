#ifndef KVBASE_FILES_TIFF_TEST_SUPPORT_H
#define KVBASE_FILES_TIFF_TEST_SUPPORT_H

// Helpers of the TIFF tests: reading fields of a file's bytes, and a builder of small TIFF files in
// either byte order with any fields, sound or broken, that a test needs.
//
//   KTiffBuilder tiff(/*bigEndian=*/true);
//   tiff.Short(256, {3}).Short(257, {2}).Short(258, {16}).Short(262, {1});
//   tiff.Strips({{0x01, 0x02, ...}});          // StripOffsets and StripByteCounts follow the layout
//   std::vector<unsigned char> bytes = tiff.Build();

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kvbase::testing {

using KBytes = std::vector<unsigned char>;

inline std::uint32_t FileU16(const KBytes& b, std::size_t at, bool big = false) {
  return big ? (b.at(at) << 8 | b.at(at + 1)) : (b.at(at) | b.at(at + 1) << 8);
}
inline std::uint32_t FileU32(const KBytes& b, std::size_t at, bool big = false) {
  return big ? (FileU16(b, at, true) << 16 | FileU16(b, at + 2, true))
             : (FileU16(b, at) | FileU16(b, at + 2) << 16);
}

// One directory entry of a file this library wrote ("II", directory at 8).
struct KTiffEntryView {
  std::uint32_t tag, type, count, value;
};

inline std::vector<KTiffEntryView> DirectoryOf(const KBytes& file) {
  std::vector<KTiffEntryView> entries;
  const std::uint32_t ifd = FileU32(file, 4);
  const std::uint32_t count = FileU16(file, ifd);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t at = ifd + 2 + 12 * i;
    entries.push_back({FileU16(file, at), FileU16(file, at + 2), FileU32(file, at + 4), FileU32(file, at + 8)});
  }
  return entries;
}

inline KTiffEntryView EntryOf(const KBytes& file, std::uint32_t tag) {
  for (const KTiffEntryView& e : DirectoryOf(file)) {
    if (e.tag == tag) return e;
  }
  return {0, 0, 0, 0};
}

class KTiffBuilder {
 public:
  explicit KTiffBuilder(bool bigEndian) : big_(bigEndian) {}

  KTiffBuilder& Short(std::uint16_t tag, const std::vector<std::uint32_t>& values) {
    KBytes data;
    for (std::uint32_t v : values) Put(data, v, 2);
    return Field(tag, 3, static_cast<std::uint32_t>(values.size()), data);
  }
  KTiffBuilder& Long(std::uint16_t tag, const std::vector<std::uint32_t>& values) {
    KBytes data;
    for (std::uint32_t v : values) Put(data, v, 4);
    return Field(tag, 4, static_cast<std::uint32_t>(values.size()), data);
  }
  KTiffBuilder& Rational(std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator) {
    KBytes data;
    Put(data, numerator, 4);
    Put(data, denominator, 4);
    return Field(tag, 5, 1, data);
  }
  // A text with its zero; up to four bytes sit in the value field, as the TIFF rules want, unless
  // `inDataArea`.
  KTiffBuilder& Ascii(std::uint16_t tag, const std::string& text, bool inDataArea = false) {
    KBytes data(text.begin(), text.end());
    data.push_back(0);
    fields_[tag] = {2, static_cast<std::uint32_t>(data.size()), data, false, 0, inDataArea};
    return *this;
  }
  // An entry whose count and value field are given as they are, pointing wherever they point.
  KTiffBuilder& Raw(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t valueField) {
    fields_[tag] = {type, count, {}, true, valueField, false};
    return *this;
  }
  KTiffBuilder& Remove(std::uint16_t tag) {
    fields_.erase(tag);
    return *this;
  }
  // Strip data placed after the directory and data area; StripOffsets and StripByteCounts are made
  // to match unless `withByteCounts` is false (then only StripOffsets is written). Build once only.
  KTiffBuilder& Strips(const std::vector<KBytes>& strips, bool withByteCounts = true) {
    strips_ = strips;
    withByteCounts_ = withByteCounts;
    return *this;
  }
  // Bytes appended after everything else.
  KTiffBuilder& Tail(const KBytes& tail) {
    tail_ = tail;
    return *this;
  }

  // StripOffsets and StripByteCounts that the test set itself are kept as they are.
  KBytes Build() {
    const bool autoOffsets = !strips_.empty() && fields_.count(273) == 0;
    const bool autoCounts = !strips_.empty() && withByteCounts_ && fields_.count(279) == 0;
    if (autoOffsets) Long(273, std::vector<std::uint32_t>(strips_.size(), 0));
    if (autoCounts) {
      std::vector<std::uint32_t> counts;
      for (const KBytes& s : strips_) counts.push_back(static_cast<std::uint32_t>(s.size()));
      Long(279, counts);
    }
    KBytes out = Layout();
    if (autoOffsets) {
      std::vector<std::uint32_t> offsets;
      std::uint32_t at = static_cast<std::uint32_t>(out.size());
      for (const KBytes& s : strips_) {
        offsets.push_back(at);
        at += static_cast<std::uint32_t>(s.size());
      }
      Long(273, offsets);
      out = Layout();
    }
    for (const KBytes& s : strips_) out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), tail_.begin(), tail_.end());
    return out;
  }

 private:
  struct KField {
    std::uint16_t type;
    std::uint32_t count;
    KBytes data;
    bool raw;
    std::uint32_t valueField;
    bool forceDataArea;
  };

  KTiffBuilder& Field(std::uint16_t tag, std::uint16_t type, std::uint32_t count, const KBytes& data) {
    fields_[tag] = {type, count, data, false, 0, false};
    return *this;
  }

  void Put(KBytes& out, std::uint32_t value, int bytes) const {
    for (int i = 0; i < bytes; ++i) {
      const int shift = big_ ? 8 * (bytes - 1 - i) : 8 * i;
      out.push_back(static_cast<unsigned char>(value >> shift));
    }
  }

  KBytes Layout() const {
    KBytes out;
    out.push_back(big_ ? 'M' : 'I');
    out.push_back(big_ ? 'M' : 'I');
    Put(out, 42, 2);
    Put(out, 8, 4);
    Put(out, static_cast<std::uint32_t>(fields_.size()), 2);
    std::uint32_t data = static_cast<std::uint32_t>(8 + 2 + 12 * fields_.size() + 4);
    KBytes area;
    for (const auto& [tag, f] : fields_) {
      Put(out, tag, 2);
      Put(out, f.type, 2);
      Put(out, f.count, 4);
      if (f.raw) {
        Put(out, f.valueField, 4);
      } else if (f.data.size() <= 4 && !f.forceDataArea) {
        KBytes field = f.data;
        field.resize(4, 0);  // left-justified in the value field
        out.insert(out.end(), field.begin(), field.end());
      } else {
        Put(out, data + static_cast<std::uint32_t>(area.size()), 4);
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
  KBytes tail_;
};

}  // namespace kvbase::testing

#endif  // KVBASE_FILES_TIFF_TEST_SUPPORT_H
