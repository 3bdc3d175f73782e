// The TIFF writer: format codes 0 to 4 (bilevel, gray and colour, uncompressed or PackBits), always
// little-endian ("II"), one directory.
//
// File layout: the 8-byte header; the directory at offset 8 with its entries in ascending tag order; the
// data area right after it (BitsPerSample values for three samples, the StripOffsets and StripByteCounts
// arrays when there is more than one strip, XResolution, YResolution, then title, author, date and
// comment, each with its terminating zero); then the strips, one after the other. Strip offsets and
// byte counts are known only once a strip is encoded, so they are written last, into the entries (one
// strip) or the arrays (several).
//
// Rows are encoded one at a time into a one-row buffer and gathered into writes of a few hundred KiB;
// the source is never modified (colour rows are exchanged to red, green, blue in the row buffer).

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/tiff_format.h"
#include "kvbase/files/internal/tiff_packbits.h"
#include "kvbase/files/internal/tiff_rgb.h"
#include "kvbase/foundation/errors.h"
#include "kvbase/foundation/units.h"

namespace kvbase::internal {
namespace {

constexpr std::uint64_t kMaxOffset = 0xFFFFFFFFu;  // classic TIFF addresses 32 bits

// What a format code writes.
struct KTiffParameters {
  int samples;
  int bits;  // per sample
  std::uint32_t compression;
  std::uint32_t photometric;
};

// The parameters of `format` for the source kind, or false when the pair cannot be written.
bool ParametersFor(int format, const KPixelKind& kind, KTiffParameters& parameters) {
  const bool bw8 = kind.type == K_IMAGE_BW8;
  const bool bw16 = kind.type == K_IMAGE_BW16;
  const bool c24 = kind.type == K_IMAGE_C24;
  switch (format) {
    case 0:
    case 3:
      parameters = {1, 1, format == 0 ? kCompressionNone : kCompressionPackBits, kPhotometricBlackIsZero};
      return bw8 || kind.type == K_IMAGE_BW1;
    case 1: parameters = {1, kind.bitsPerPixel, kCompressionNone, kPhotometricBlackIsZero}; return bw8 || bw16;
    case 2: parameters = {3, 8, kCompressionNone, kPhotometricRgb}; return c24;
    case 4: parameters = {1, 8, kCompressionPackBits, kPhotometricBlackIsZero}; return bw8;
    default: return false;
  }
}

struct KStripPlan {
  std::uint64_t rowBytes;  // bytes of one uncompressed file row
  std::uint32_t rowsPerStrip;
  std::uint32_t strips;
};

// Rows per strip: as many whole rows as the strip size holds, at least one; a strip size of 0 puts the
// whole image in one strip.
KStripPlan PlanStrips(const KSaveContext& context, const KTiffParameters& parameters) {
  KStripPlan plan;
  plan.rowBytes = (static_cast<std::uint64_t>(parameters.samples) * parameters.bits * context.width + 7) / 8;
  const unsigned int stripSize = context.settings.tiffStripSize;
  plan.rowsPerStrip = stripSize == 0
                          ? static_cast<std::uint32_t>(context.height)
                          : static_cast<std::uint32_t>(std::max<std::uint64_t>(1, stripSize / plan.rowBytes));
  plan.strips = static_cast<std::uint32_t>((static_cast<std::uint64_t>(context.height) + plan.rowsPerStrip - 1) /
                                           plan.rowsPerStrip);
  return plan;
}

// A resolution as a RATIONAL: the denominator doubles with the value until the value's integer part
// reaches 0x7FFFFFFF (or the denominator does), keeping as many fraction bits as 32 bits allow. Values
// that no TIFF rational can hold (negative, not finite) become 0, "unknown"; values of 2^32 and more
// the largest numerator.
void ToRational(float value, std::uint32_t& numerator, std::uint32_t& denominator) {
  double v = value;
  if (!(v >= 0.0)) v = 0.0;  // also NaN
  if (v >= 4294967295.0) {
    numerator = 0xFFFFFFFFu;
    denominator = 1;
    return;
  }
  std::uint32_t d = 1;
  while (static_cast<std::uint32_t>(v) < 0x7FFFFFFFu && d < 0x7FFFFFFFu) {
    v *= 2.0;
    d *= 2;
  }
  numerator = static_cast<std::uint32_t>(v);
  denominator = d;
}

// ResolutionUnit code and the X and Y values in that unit: none and inch as they are, any other length
// unit converted to pixels per centimetre.
std::uint32_t ResolutionInFileUnit(const KSaveContext& context, float& x, float& y) {
  x = context.resolutionX;
  y = context.resolutionY;
  if (context.unit == nullptr || context.unit == &KUnitNone) return kResolutionUnitNone;
  if (context.unit == &KUnit_inch) return kResolutionUnitInch;
  const float factor = context.unit->ConversionFactorTo(KUnit_cm);
  x /= factor;
  y /= factor;
  return kResolutionUnitCentimetre;
}

struct KTextField {
  std::uint16_t tag;
  const char* text;  // null when the source has none
  std::uint32_t offset;
  std::uint64_t Count() const { return std::strlen(text) + 1; }
};

// The header, the directory and the data area, laid out in memory, with the places the strip step
// fills in afterwards.
class KTiffHead {
 public:
  KTiffHead(const KSaveContext& context, const KTiffParameters& parameters, const KStripPlan& plan)
      : context_(context), parameters_(parameters), plan_(plan) {
    KGenericROI* source = context.source;
    // Tag order in the directory; data-area order is title, author, date, comment.
    texts_[0] = {kTagDocumentName, source ? source->GetTitle() : nullptr, 0};
    texts_[1] = {kTagImageDescription, source ? source->GetComment() : nullptr, 0};
    texts_[2] = {kTagDateTime, source ? source->GetDate() : nullptr, 0};
    texts_[3] = {kTagArtist, source ? source->GetAuthor() : nullptr, 0};
    Place();
  }

  // Bytes from offset 0 to the end of the data area: where the first strip starts.
  std::uint64_t Size() const { return dataEnd_; }
  bool SeveralStrips() const { return plan_.strips > 1; }
  std::uint64_t StripArraysOffset() const { return stripArrays_; }
  // Offsets of the value fields of StripOffsets and StripByteCounts.
  std::uint64_t StripOffsetsField() const { return stripOffsetsField_; }
  std::uint64_t StripByteCountsField() const { return stripByteCountsField_; }

  // The bytes of header, directory and data area; the strip values are zero until filled.
  std::vector<unsigned char> Build();

 private:
  void Place();
  KTextField* Text(std::uint16_t tag) {
    for (KTextField& t : texts_) {
      if (t.tag == tag) return &t;
    }
    return nullptr;
  }
  int EntryCount() const {
    int count = 12;
    for (const KTextField& t : texts_) count += t.text != nullptr;
    return count;
  }

  const KSaveContext& context_;
  KTiffParameters parameters_;
  KStripPlan plan_;
  KTextField texts_[4];
  std::uint64_t bitsPerSample_ = 0;
  std::uint64_t stripArrays_ = 0;
  std::uint64_t xResolution_ = 0;
  std::uint64_t yResolution_ = 0;
  std::uint64_t dataEnd_ = 0;
  std::uint64_t stripOffsetsField_ = 0;
  std::uint64_t stripByteCountsField_ = 0;
};

void KTiffHead::Place() {
  std::uint64_t next = kTiffHeaderSize + kTiffCountSize + kTiffEntrySize * EntryCount() + kTiffNextOffsetSize;
  if (parameters_.samples == 3) {
    bitsPerSample_ = next;
    next += 3 * TiffTypeSize(kTypeShort);
  }
  if (SeveralStrips()) {
    stripArrays_ = next;
    next += 2 * static_cast<std::uint64_t>(plan_.strips) * TiffTypeSize(kTypeLong);
  }
  xResolution_ = next;
  next += TiffTypeSize(kTypeRational);
  yResolution_ = next;
  next += TiffTypeSize(kTypeRational);
  for (std::uint16_t tag : {kTagDocumentName, kTagArtist, kTagDateTime, kTagImageDescription}) {
    KTextField* text = Text(tag);
    if (text->text == nullptr) continue;
    text->offset = static_cast<std::uint32_t>(next);
    next += text->Count();
  }
  dataEnd_ = next;
}

std::vector<unsigned char> KTiffHead::Build() {
  std::vector<unsigned char> bytes(static_cast<std::size_t>(dataEnd_), 0);
  unsigned char* base = bytes.data();
  base[0] = 'I';
  base[1] = 'I';
  PutU16(base + 2, 42);
  PutU32(base + 4, kTiffFirstIfdOffset);

  const int entryCount = EntryCount();
  PutU16(base + kTiffFirstIfdOffset, static_cast<std::uint32_t>(entryCount));
  unsigned char* entry = base + kTiffFirstIfdOffset + kTiffCountSize;
  auto put = [&](std::uint16_t tag, std::uint16_t type, std::uint64_t count, std::uint32_t value) {
    PutU16(entry, tag);
    PutU16(entry + 2, type);
    PutU32(entry + 4, static_cast<std::uint32_t>(count));
    // A single SHORT sits in the first two bytes of the value field, the other two stay 0.
    if (type == kTypeShort && count == 1) {
      PutU16(entry + 8, value);
    } else {
      PutU32(entry + 8, value);
    }
    entry += kTiffEntrySize;
  };
  auto putText = [&](std::uint16_t tag) {
    const KTextField* text = Text(tag);
    if (text->text != nullptr) put(tag, kTypeAscii, text->Count(), text->offset);
  };

  float x = 0.0f, y = 0.0f;
  const std::uint32_t unit = ResolutionInFileUnit(context_, x, y);
  const std::uint32_t arrays = static_cast<std::uint32_t>(stripArrays_);

  put(kTagImageWidth, kTypeLong, 1, static_cast<std::uint32_t>(context_.width));
  put(kTagImageLength, kTypeLong, 1, static_cast<std::uint32_t>(context_.height));
  if (parameters_.samples == 3) {
    put(kTagBitsPerSample, kTypeShort, 3, static_cast<std::uint32_t>(bitsPerSample_));
  } else {
    put(kTagBitsPerSample, kTypeShort, 1, static_cast<std::uint32_t>(parameters_.bits));
  }
  put(kTagCompression, kTypeShort, 1, parameters_.compression);
  put(kTagPhotometric, kTypeShort, 1, parameters_.photometric);
  putText(kTagDocumentName);
  putText(kTagImageDescription);
  stripOffsetsField_ = static_cast<std::uint64_t>(entry - base) + 8;
  put(kTagStripOffsets, kTypeLong, plan_.strips, SeveralStrips() ? arrays : 0);
  put(kTagSamplesPerPixel, kTypeShort, 1, static_cast<std::uint32_t>(parameters_.samples));
  // RowsPerStrip is a SHORT unless it does not fit in one: a truncated value would make other readers
  // cut the strips wrongly.
  if (plan_.rowsPerStrip <= 0xFFFF) {
    put(kTagRowsPerStrip, kTypeShort, 1, plan_.rowsPerStrip);
  } else {
    put(kTagRowsPerStrip, kTypeLong, 1, plan_.rowsPerStrip);
  }
  stripByteCountsField_ = static_cast<std::uint64_t>(entry - base) + 8;
  put(kTagStripByteCounts, kTypeLong, plan_.strips,
      SeveralStrips() ? static_cast<std::uint32_t>(arrays + 4 * plan_.strips) : 0);
  put(kTagXResolution, kTypeRational, 1, static_cast<std::uint32_t>(xResolution_));
  put(kTagYResolution, kTypeRational, 1, static_cast<std::uint32_t>(yResolution_));
  put(kTagResolutionUnit, kTypeShort, 1, unit);
  putText(kTagDateTime);
  putText(kTagArtist);
  const std::uint64_t entriesEnd = static_cast<std::uint64_t>(entry - base);
  PutU32(entry, 0);  // no next directory

  // The directory must end exactly where the data area was placed.
  assert(entryCount == static_cast<int>((entriesEnd - kTiffHeaderSize - kTiffCountSize) / kTiffEntrySize));
  (void)entriesEnd;

  if (parameters_.samples == 3) {
    for (int i = 0; i < 3; ++i) PutU16(base + bitsPerSample_ + 2 * i, 8);
  }
  std::uint32_t numerator = 0, denominator = 0;
  ToRational(x, numerator, denominator);
  PutU32(base + xResolution_, numerator);
  PutU32(base + xResolution_ + 4, denominator);
  ToRational(y, numerator, denominator);
  PutU32(base + yResolution_, numerator);
  PutU32(base + yResolution_ + 4, denominator);
  for (const KTextField& text : texts_) {
    if (text.text != nullptr) std::memcpy(base + text.offset, text.text, text.Count());
  }
  return bytes;
}

// Encodes one source row at a time into the place the caller gives, at most Bound() bytes.
class KRowEncoder {
 public:
  KRowEncoder(const KSaveContext& context, const KTiffParameters& parameters, const KStripPlan& plan)
      : context_(context),
        rowBytes_(static_cast<std::size_t>(plan.rowBytes)),
        threshold_(context.settings.tiffThreshold),
        bilevel_(parameters.bits == 1),
        colour_(parameters.samples == 3),
        packBits_(parameters.compression == kCompressionPackBits) {
    // PackBits of bilevel rows first packs the bits of a row.
    if (packBits_ && bilevel_) bits_.resize(rowBytes_);
  }

  std::size_t Bound() const { return packBits_ ? PackBitsBound(rowBytes_) : rowBytes_; }

  // Writes row `y` as it goes into the file to `out` and returns its length.
  std::size_t Encode(int y, unsigned char* out) {
    const unsigned char* source = context_.pixels + static_cast<std::ptrdiff_t>(y) * context_.rowPitch;
    if (!packBits_) {
      Raw(source, out);
      return rowBytes_;
    }
    const unsigned char* raw = source;
    if (bilevel_) {
      Raw(source, bits_.data());
      raw = bits_.data();
    }
    return PackBitsEncodeRow(raw, rowBytes_, out);
  }

 private:
  // The uncompressed file row.
  void Raw(const unsigned char* source, unsigned char* out) const {
    if (bilevel_ && context_.kind->type == K_IMAGE_BW1) {
      CopyBits(source, out);
    } else if (bilevel_) {
      Threshold(source, out);
    } else if (colour_) {
      SwapRedBlue(source, out, static_cast<std::size_t>(context_.width));  // blue, green, red to red, green, blue
    } else {
      std::memcpy(out, source, rowBytes_);
    }
  }

  // Pixel x sets bit 7 - x % 8 of byte x / 8 when it is at or above the threshold.
  void Threshold(const unsigned char* source, unsigned char* out) const {
    std::memset(out, 0, rowBytes_);
    for (int x = 0; x < context_.width; ++x) {
      if (source[x] >= threshold_) out[x >> 3] |= static_cast<unsigned char>(0x80 >> (x & 7));
    }
  }

  // Packed bilevel rows as they are, with the bits past the row's end cleared.
  void CopyBits(const unsigned char* source, unsigned char* out) const {
    std::memcpy(out, source, rowBytes_);
    if (const int used = context_.width & 7) out[rowBytes_ - 1] &= static_cast<unsigned char>(0xFF << (8 - used));
  }

  const KSaveContext& context_;
  std::size_t rowBytes_;
  unsigned char threshold_;
  bool bilevel_;
  bool colour_;
  bool packBits_;
  std::vector<unsigned char> bits_;
};

bool WriteAll(std::FILE* file, const void* bytes, std::size_t count) {
  return std::fwrite(bytes, 1, count, file) == count;
}

bool WriteAt(std::FILE* file, std::uint64_t offset, const void* bytes, std::size_t count) {
  return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 && WriteAll(file, bytes, count);
}

// Gathers rows into large writes: the encoder writes straight into the buffer. Pieces as large as the
// buffer go straight to the file.
class KChunkWriter {
 public:
  static constexpr std::size_t kCapacity = 256 * 1024;

  explicit KChunkWriter(std::FILE* file) : file_(file), buffer_(kCapacity) {}

  bool Put(const unsigned char* bytes, std::size_t count) {
    if (count > kCapacity - used_ && !Flush()) return false;
    if (count >= kCapacity) return WriteAll(file_, bytes, count);
    std::memcpy(buffer_.data() + used_, bytes, count);
    used_ += count;
    return true;
  }

  // Room for `count` bytes (at most kCapacity), to be filled and then committed; null when the bytes
  // already buffered could not be written.
  unsigned char* Reserve(std::size_t count) {
    if (count > kCapacity - used_ && !Flush()) return nullptr;
    return buffer_.data() + used_;
  }
  void Commit(std::size_t count) { used_ += count; }

  bool Flush() {
    const bool written = WriteAll(file_, buffer_.data(), used_);
    used_ = 0;
    return written;
  }

 private:
  std::FILE* file_;
  std::vector<unsigned char> buffer_;
  std::size_t used_ = 0;
};

// Encodes row `y` into the chunk writer and returns its length, 0 on a failed write. Rows too large
// for the writer's buffer go through a buffer of their own.
std::size_t PutRow(KRowEncoder& encoder, int y, KChunkWriter& out, std::vector<unsigned char>& large) {
  if (encoder.Bound() <= KChunkWriter::kCapacity) {
    unsigned char* place = out.Reserve(encoder.Bound());
    if (place == nullptr) return 0;
    const std::size_t length = encoder.Encode(y, place);
    out.Commit(length);
    return length;
  }
  large.resize(encoder.Bound());
  const std::size_t length = encoder.Encode(y, large.data());
  return out.Put(large.data(), length) ? length : 0;
}

// Writes the strips one after the other from `offset` on, recording where each went. Uncompressed gray
// rows that lie back to back in memory are already the strips, all of them in one piece.
K_ERRORS WriteStrips(const KSaveContext& context, const KTiffParameters& parameters, const KStripPlan& plan,
                     std::uint64_t offset, KChunkWriter& out, std::vector<std::uint32_t>& offsets,
                     std::vector<std::uint32_t>& byteCounts) {
  const bool asInMemory = parameters.bits >= 8 && parameters.samples == 1 &&
                          parameters.compression == kCompressionNone &&
                          static_cast<std::uint64_t>(context.rowPitch) == plan.rowBytes;
  if (asInMemory) {
    const std::uint64_t bytes = plan.rowBytes * static_cast<std::uint64_t>(context.height);
    if (!out.Put(context.pixels, static_cast<std::size_t>(bytes))) return K_ERROR_FILE_WRITE;
  }
  KRowEncoder encoder(context, parameters, plan);
  std::vector<unsigned char> large;
  int y = 0;
  for (std::uint32_t strip = 0; strip < plan.strips; ++strip) {
    const int rows = static_cast<int>(std::min<std::uint64_t>(plan.rowsPerStrip, context.height - y));
    std::uint64_t written = 0;
    if (asInMemory) {
      written = plan.rowBytes * rows;
      y += rows;
    } else {
      for (const int end = y + rows; y < end; ++y) {
        const std::size_t length = PutRow(encoder, y, out, large);
        if (length == 0) return K_ERROR_FILE_WRITE;
        written += length;
      }
    }
    if (offset + written > kMaxOffset) return K_ERROR_UNSUPPORTED_TIFF_FORMAT;
    offsets[strip] = static_cast<std::uint32_t>(offset);
    byteCounts[strip] = static_cast<std::uint32_t>(written);
    offset += written;
  }
  return out.Flush() ? K_SUCCESS : K_ERROR_FILE_WRITE;
}

// Fills in where the strips went: the two entries for one strip, the two arrays for several.
K_ERRORS WriteStripRecords(std::FILE* file, const KTiffHead& head, const std::vector<std::uint32_t>& offsets,
                           const std::vector<std::uint32_t>& byteCounts) {
  if (!head.SeveralStrips()) {
    unsigned char value[4];
    PutU32(value, offsets[0]);
    if (!WriteAt(file, head.StripOffsetsField(), value, 4)) return K_ERROR_FILE_WRITE;
    PutU32(value, byteCounts[0]);
    if (!WriteAt(file, head.StripByteCountsField(), value, 4)) return K_ERROR_FILE_WRITE;
    return K_SUCCESS;
  }
  std::vector<unsigned char> arrays(8 * offsets.size());
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    PutU32(arrays.data() + 4 * i, offsets[i]);
    PutU32(arrays.data() + 4 * (offsets.size() + i), byteCounts[i]);
  }
  return WriteAt(file, head.StripArraysOffset(), arrays.data(), arrays.size()) ? K_SUCCESS : K_ERROR_FILE_WRITE;
}

K_ERRORS Write(KSaveContext& context) {
  KTiffParameters parameters{};
  if (!ParametersFor(context.format, *context.kind, parameters)) return K_ERROR_UNSUPPORTED_TIFF_FORMAT;
  if (context.pixels == nullptr || context.width <= 0 || context.height <= 0) return K_ERROR_IMAGE_MEMORY_ACCESS;

  const KStripPlan plan = PlanStrips(context, parameters);
  KTiffHead head(context, parameters, plan);
  // Refuse up front what cannot be addressed with 32-bit offsets (PackBits is checked strip by strip).
  const std::uint64_t pixels =
      parameters.compression == kCompressionNone ? plan.rowBytes * static_cast<std::uint64_t>(context.height) : 0;
  if (head.Size() > kMaxOffset || pixels > kMaxOffset - head.Size()) return K_ERROR_UNSUPPORTED_TIFF_FORMAT;

  KChunkWriter out(context.file);
  const std::vector<unsigned char> bytes = head.Build();
  if (!out.Put(bytes.data(), bytes.size())) return K_ERROR_FILE_WRITE;

  std::vector<std::uint32_t> offsets(plan.strips), byteCounts(plan.strips);
  const K_ERRORS code = WriteStrips(context, parameters, plan, head.Size(), out, offsets, byteCounts);
  if (code != K_SUCCESS) return code;
  return WriteStripRecords(context.file, head, offsets, byteCounts);
}

}  // namespace

K_ERRORS WriteTiff(KSaveContext& context) { return Write(context); }

}  // namespace kvbase::internal
