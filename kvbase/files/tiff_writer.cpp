// The TIFF writer: format codes 0 to 4 (bilevel, gray and colour, uncompressed or PackBits) and 16 to
// 19 (gray and colour, Deflate or LZW, with the horizontal predictor), always little-endian ("II"), one
// directory. The head (header, directory, data area) is laid out by KTiffHead; the strips follow it,
// one after the other, and where they went is written into the head last.
//
// Uncompressed and PackBits rows are encoded one at a time into a one-row buffer and gathered into
// writes of a few hundred KiB. Deflate and LZW code a strip at a time: its rows are differenced into a
// strip buffer, which is then compressed whole. The source is never modified (colour rows are
// exchanged to red, green, blue in a buffer).

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "kvbase/files/internal/byte_buffer.h"
#include "kvbase/files/internal/deflate.h"
#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/tiff_format.h"
#include "kvbase/files/internal/tiff_head.h"
#include "kvbase/files/internal/tiff_lzw.h"
#include "kvbase/files/internal/tiff_packbits.h"
#include "kvbase/files/internal/tiff_predictor.h"
#include "kvbase/files/internal/tiff_rgb.h"
#include "kvbase/foundation/errors.h"

namespace kvbase::internal {
namespace {

// The level Deflate files are written with: libtiff's default, level 6 on zlib's scale, which libtiff
// built with libdeflate (as Debian builds it) codes as libdeflate's level 7. Strips then come out byte
// for byte as libtiff's.
constexpr int kTiffDeflateLevel = 7;

constexpr std::uint64_t kMaxOffset = 0xFFFFFFFFu;  // classic TIFF addresses 32 bits

// The parameters of `format` for the source kind, or false when the pair cannot be written.
bool ParametersFor(int format, const KPixelKind& kind, KTiffParameters& parameters) {
  const bool bw8 = kind.type == K_IMAGE_BW8;
  const bool bw16 = kind.type == K_IMAGE_BW16;
  const bool c24 = kind.type == K_IMAGE_C24;
  switch (format) {
    case K_FILE_FORMAT_TIFF_BILEVEL:
    case K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS:
      parameters = {1, 1, format == 0 ? kCompressionNone : kCompressionPackBits, kPhotometricBlackIsZero, false};
      return bw8 || kind.type == K_IMAGE_BW1;
    case K_FILE_FORMAT_TIFF_GRAY:
      parameters = {1, kind.bitsPerPixel, kCompressionNone, kPhotometricBlackIsZero, false};
      return bw8 || bw16;
    case K_FILE_FORMAT_TIFF_COLOR: parameters = {3, 8, kCompressionNone, kPhotometricRgb, false}; return c24;
    case K_FILE_FORMAT_TIFF_GRAY_PACKBITS:
      parameters = {1, 8, kCompressionPackBits, kPhotometricBlackIsZero, false};
      return bw8;
    case K_FILE_FORMAT_TIFF_GRAY_DEFLATE:
    case K_FILE_FORMAT_TIFF_GRAY_LZW:
      parameters = {1, kind.bitsPerPixel, format == K_FILE_FORMAT_TIFF_GRAY_LZW ? kCompressionLzw : kCompressionDeflate,
                    kPhotometricBlackIsZero, true};
      return bw8 || bw16;
    case K_FILE_FORMAT_TIFF_COLOR_DEFLATE:
    case K_FILE_FORMAT_TIFF_COLOR_LZW:
      parameters = {3, 8, format == K_FILE_FORMAT_TIFF_COLOR_LZW ? kCompressionLzw : kCompressionDeflate,
                    kPhotometricRgb, true};
      return c24;
    default: return false;
  }
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

// Deflate and LZW: a strip's rows are differenced into one buffer, which is then compressed whole.
class KStripEncoder {
 public:
  KStripEncoder(const KSaveContext& context, const KTiffParameters& parameters, const KStripPlan& plan)
      : context_(context),
        parameters_(parameters),
        rowBytes_(static_cast<std::size_t>(plan.rowBytes)),
        stripBytes_(rowBytes_ * std::min<std::size_t>(plan.rowsPerStrip, static_cast<std::size_t>(context.height))) {
    if (parameters.compression == kCompressionLzw) {
      lzw_ = std::make_unique<KLzwEncoder>();
    } else {
      deflate_ = std::make_unique<KDeflateEncoder>(kTiffDeflateLevel);
    }
  }

  // Allocates the codec and the buffers; false when they cannot be had.
  bool Ready() {
    if (deflate_ != nullptr && !deflate_->Ready()) return false;
    const std::size_t bound = lzw_ != nullptr ? KLzwEncoder::Bound(stripBytes_) : deflate_->Bound(stripBytes_);
    codedRoom_ = bound;
    return strip_.Reserve(stripBytes_) && coded_.Reserve(bound) &&
           (parameters_.samples != 3 || rgb_.Reserve(rowBytes_));
  }

  // Encodes the `rows` rows from row `y` on: the coded bytes, `length` of them; null when the codec
  // failed.
  const unsigned char* Encode(int y, int rows, std::size_t& length) {
    unsigned char* strip = strip_.Data();
    for (int k = 0; k < rows; ++k) DifferencedRow(y + k, strip + k * rowBytes_);
    const std::size_t bytes = static_cast<std::size_t>(rows) * rowBytes_;
    length = lzw_ != nullptr ? lzw_->Encode(strip, bytes, coded_.Data())
                             : deflate_->Encode(strip, bytes, coded_.Data(), codedRoom_);
    return length != 0 ? coded_.Data() : nullptr;
  }

 private:
  void DifferencedRow(int y, unsigned char* out) {
    const unsigned char* source = context_.pixels + static_cast<std::ptrdiff_t>(y) * context_.rowPitch;
    const std::size_t width = static_cast<std::size_t>(context_.width);
    if (parameters_.samples == 3) {
      SwapRedBlue(source, rgb_.Data(), width);  // blue, green, red to red, green, blue
      HorizontalDifferences8(rgb_.Data(), out, width, 3);
    } else if (parameters_.bits == 16) {
      HorizontalDifferences16(source, out, width, 1);
    } else {
      HorizontalDifferences8(source, out, width, 1);
    }
  }

  const KSaveContext& context_;
  KTiffParameters parameters_;
  std::size_t rowBytes_;
  std::size_t stripBytes_;
  std::size_t codedRoom_ = 0;
  KByteBuffer strip_;
  KByteBuffer coded_;
  KByteBuffer rgb_;
  std::unique_ptr<KDeflateEncoder> deflate_;
  std::unique_ptr<KLzwEncoder> lzw_;
};

// Where the strips went, strip by strip from the first free offset on.
struct KStripRecords {
  std::vector<std::uint32_t> offsets;
  std::vector<std::uint32_t> byteCounts;
  std::uint64_t next;

  // Records the next strip; false when it would end past what 32-bit offsets address.
  bool Add(std::uint32_t strip, std::uint64_t written) {
    if (next + written > kMaxOffset) return false;
    offsets[strip] = static_cast<std::uint32_t>(next);
    byteCounts[strip] = static_cast<std::uint32_t>(written);
    next += written;
    return true;
  }
};

// Writes the strips, a row at a time, one after the other. Uncompressed gray rows that lie back to back
// in memory are already the strips, all of them in one piece.
K_ERRORS WriteRowStrips(const KSaveContext& context, const KTiffParameters& parameters, const KStripPlan& plan,
                        KChunkWriter& out, KStripRecords& records) {
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
    if (!records.Add(strip, written)) return K_ERROR_UNSUPPORTED_TIFF_FORMAT;
  }
  return out.Flush() ? K_SUCCESS : K_ERROR_FILE_WRITE;
}

// Writes the strips, coded a strip at a time, one after the other.
K_ERRORS WriteCompressedStrips(const KSaveContext& context, const KTiffParameters& parameters, const KStripPlan& plan,
                               KChunkWriter& out, KStripRecords& records) {
  KStripEncoder encoder(context, parameters, plan);
  if (!encoder.Ready()) return K_ERROR_ALLOCATION;
  int y = 0;
  for (std::uint32_t strip = 0; strip < plan.strips; ++strip) {
    const int rows = static_cast<int>(std::min<std::uint64_t>(plan.rowsPerStrip, context.height - y));
    std::size_t length = 0;
    const unsigned char* coded = encoder.Encode(y, rows, length);
    if (coded == nullptr) return K_ERROR_FILE_WRITE;
    if (!records.Add(strip, length)) return K_ERROR_UNSUPPORTED_TIFF_FORMAT;
    if (!out.Put(coded, length)) return K_ERROR_FILE_WRITE;
    y += rows;
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
  // Refuse up front what cannot be addressed with 32-bit offsets (compressed strips are checked one by
  // one).
  const std::uint64_t pixels =
      parameters.compression == kCompressionNone ? plan.rowBytes * static_cast<std::uint64_t>(context.height) : 0;
  if (head.Size() > kMaxOffset || pixels > kMaxOffset - head.Size()) return K_ERROR_UNSUPPORTED_TIFF_FORMAT;

  KChunkWriter out(context.file);
  const std::vector<unsigned char> bytes = head.Build();
  if (!out.Put(bytes.data(), bytes.size())) return K_ERROR_FILE_WRITE;

  KStripRecords records{std::vector<std::uint32_t>(plan.strips), std::vector<std::uint32_t>(plan.strips), head.Size()};
  const bool compressed = parameters.compression == kCompressionLzw || parameters.compression == kCompressionDeflate;
  const K_ERRORS code = compressed ? WriteCompressedStrips(context, parameters, plan, out, records)
                                   : WriteRowStrips(context, parameters, plan, out, records);
  if (code != K_SUCCESS) return code;
  return WriteStripRecords(context.file, head, records.offsets, records.byteCounts);
}

}  // namespace

K_ERRORS WriteTiff(KSaveContext& context) { return Write(context); }

}  // namespace kvbase::internal
