// The TIFF reader: the first directory of an "II" or "MM" file, checked against the caller's pixel kind,
// then the strips, uncompressed or PackBits, straight into the target's rows.
//
// Accepted files: one sample of 1, 8 or 16 bits (black is zero), uncompressed or PackBits; or three
// 8-bit samples (RGB, chunky), uncompressed. Samples are unsigned integers, the first pixel of a byte in
// its high bits. Each needs a target of its depth: 1-bit files load into BW1 images (packed, as they
// are) or BW8 targets (0 and 255), 8-bit files into BW8, 16-bit files into BW16 (converted to the
// machine's byte order), RGB files into C24 (exchanged to blue, green, red).
//
// Nothing is trusted: before the target is resized the strips must be able to fill it from the bytes
// the file actually has, and no byte is ever written outside the target's rows.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/positional_read.h"
#include "kvbase/files/internal/tiff_directory.h"
#include "kvbase/files/internal/tiff_format.h"
#include "kvbase/files/internal/tiff_packbits.h"
#include "kvbase/files/internal/tiff_rgb.h"
#include "kvbase/foundation/errors.h"
#include "kvbase/image/roi.h"

namespace kvbase::internal {
namespace {

// PackBits turns at most 2 input bytes into 128 output bytes.
constexpr std::uint64_t kPackBitsMaxGain = 64;

bool IsPackBits(const KTiffDirectory& d) { return d.compression == kCompressionPackBits; }

// When a single uncompressed strip has no StripByteCounts, it holds the whole image: every sample's bytes
// are counted (two for 16 bits), so that no row is left unread.
void SupplyByteCount(KTiffDirectory& d) {
  if (d.compression != kCompressionNone || !d.hasStripOffsets || d.stripOffsets.count != 1 || d.hasStripByteCounts) {
    return;
  }
  const std::uint64_t rowBytes =
      d.bitsPerSample == 1 ? (static_cast<std::uint64_t>(d.width) + 7) / 8
                           : static_cast<std::uint64_t>(d.width) * d.samplesPerPixel * ((d.bitsPerSample + 7) / 8);
  const std::uint64_t bytes = std::min<std::uint64_t>(rowBytes * d.height, 0xFFFFFFFFu);
  // Stored in the value field in the file's byte order, as if the file had it.
  d.stripByteCounts = {kTagStripByteCounts, kTypeLong, 1, {}};
  d.order.PutU32(d.stripByteCounts.value, static_cast<std::uint32_t>(bytes));
  d.hasStripByteCounts = true;
}

// What the file is, regardless of the caller.
K_ERRORS CheckFile(const KTiffDirectory& d) {
  if (d.width == 0 || d.height == 0 || !d.hasStripOffsets || !d.hasStripByteCounts) {
    return K_ERROR_BAD_FILE_FORMAT;
  }
  if (d.newSubfileType & 7) return K_ERROR_UNSUPPORTED_TIFF_FORMAT;
  // Samples are read as unsigned integers, the first pixel of a byte in its high bits: reversed bits,
  // signed or floating-point samples would load as wrong pixels.
  if (d.fillOrder != kFillOrderHighBitFirst ||
      (d.sampleFormat != kSampleFormatUnsigned && d.sampleFormat != kSampleFormatUndefined)) {
    return K_ERROR_UNSUPPORTED_TIFF_FORMAT;
  }
  const bool gray = (d.compression == kCompressionNone || IsPackBits(d)) &&
                    (d.bitsPerSample == 1 || d.bitsPerSample == 8 || d.bitsPerSample == 16) && d.samplesPerPixel == 1 &&
                    d.hasPhotometric && d.photometric == kPhotometricBlackIsZero && d.planarConfiguration == 1;
  const bool rgb = d.compression == kCompressionNone && d.bitsPerSample == 8 && d.samplesPerPixel == 3 &&
                   d.hasPhotometric && d.photometric == kPhotometricRgb && d.planarConfiguration == 1;
  return gray || rgb ? K_SUCCESS : K_ERROR_UNSUPPORTED_TIFF_FORMAT;
}

// Whether the caller's pixel kind can take the file: planes first, then the depth of each sample.
K_ERRORS CheckKind(const KTiffDirectory& d, const KPixelKind& kind) {
  if (d.samplesPerPixel == 1) {
    if (kind.planesPerPixel != 1) return K_ERROR_COLOR_IMAGE_EXPECTED;
    const int bits = kind.bitsPerPixel;
    const bool fits = d.bitsPerSample == 1 ? (bits == 1 || bits == 8) : static_cast<int>(d.bitsPerSample) == bits;
    return fits ? K_SUCCESS : K_ERROR_UNSUPPORTED_TIFF_FORMAT;
  }
  if (kind.planesPerPixel != 3)
    return kind.bitsPerPixel == 8 ? K_ERROR_GRAY_IMAGE_EXPECTED : K_ERROR_UNSUPPORTED_TIFF_FORMAT;
  return kind.type == K_IMAGE_C24 ? K_SUCCESS : K_ERROR_UNSUPPORTED_TIFF_FORMAT;
}

short FormatCode(const KTiffDirectory& d, const KPixelKind& kind) {
  switch (d.bitsPerSample) {
    case 1: return IsPackBits(d) ? K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS : K_FILE_FORMAT_TIFF_BILEVEL;
    case 8:
      if (kind.planesPerPixel == 3) return K_FILE_FORMAT_TIFF_COLOR;
      return IsPackBits(d) ? K_FILE_FORMAT_TIFF_GRAY_PACKBITS : K_FILE_FORMAT_TIFF_GRAY;
    default: return K_FILE_FORMAT_TIFF_GRAY;
  }
}

// Bytes of one row in the file.
std::uint64_t FileRowBytes(const KTiffDirectory& d) {
  if (d.bitsPerSample == 1) return (static_cast<std::uint64_t>(d.width) + 7) / 8;
  return static_cast<std::uint64_t>(d.width) * d.samplesPerPixel * (d.bitsPerSample / 8);
}

// Uncompressed rows of 8 bits and more are read a whole row at a time from each strip; everything else
// is a byte stream that runs on across strip and row ends.
bool ReadsWholeRows(const KTiffDirectory& d) { return d.compression == kCompressionNone && d.bitsPerSample >= 8; }

// Whether the strips can fill the image from bytes inside the file, counting what each strip can give
// at best. Runs before the target is resized, so that a small file never sizes a large image.
K_ERRORS CheckStrips(const KLoadContext& context, const KTiffDirectory& d) {
  if (d.width > INT_MAX || d.height > INT_MAX) return K_ERROR_ALLOCATION;
  KTiffValues offsets(context.file, context.fileSize, d.order, d.stripOffsets);
  KTiffValues byteCounts(context.file, context.fileSize, d.order, d.stripByteCounts);
  if (byteCounts.Count() < offsets.Count() || !offsets.InFile() || !byteCounts.InFile()) {
    return K_ERROR_BAD_FILE_FORMAT;
  }
  const std::uint64_t fileSize = static_cast<std::uint64_t>(std::max<long long>(context.fileSize, 0));
  const std::uint64_t rowBytes = FileRowBytes(d);
  // Each byte of the file counts once: strips that share their bytes do not make a small file a large
  // image.
  const std::uint64_t most = IsPackBits(d) ? fileSize * kPackBitsMaxGain : fileSize;
  if (rowBytes * d.height > most) return K_ERROR_FILE_READ;
  const std::uint64_t needed = ReadsWholeRows(d) ? d.height : rowBytes * d.height;
  std::uint64_t available = 0;
  for (std::uint32_t i = 0; i < offsets.Count() && available < needed; ++i) {
    std::uint32_t offset = 0, count = 0;
    if (!offsets.Get(i, offset) || !byteCounts.Get(i, count)) return K_ERROR_FILE_READ;
    const std::uint64_t inFile = offset < fileSize ? std::min<std::uint64_t>(count, fileSize - offset) : 0;
    if (ReadsWholeRows(d)) {
      available += inFile / rowBytes;
    } else {
      available += IsPackBits(d) ? inFile * kPackBitsMaxGain : inFile;
    }
  }
  return available >= needed ? K_SUCCESS : K_ERROR_FILE_READ;
}

// `in` and `out` may be the same row.
void SwapSamples16(const unsigned char* in, unsigned char* out, std::size_t bytes) {
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    const unsigned char first = in[i];
    out[i] = in[i + 1];
    out[i + 1] = first;
  }
}

// The target rows as the reader fills them.
struct KTarget {
  unsigned char* pixels;
  std::int64_t rowPitch;
  std::uint32_t height;

  unsigned char* Row(std::uint64_t y) const { return pixels + static_cast<std::int64_t>(y) * rowPitch; }
};

// Post-processing a row needs: byte order of 16-bit samples, colour order of RGB.
struct KRowFixes {
  bool swap16;
  bool rgb;
  std::size_t width;

  bool Any() const { return swap16 || rgb; }

  // Fixes the file row `in` into `out` (the same row, or another of the same length).
  void Apply(const unsigned char* in, unsigned char* out, std::size_t bytes) const {
    if (swap16) SwapSamples16(in, out, bytes);
    if (rgb) SwapRedBlue(in, out, width);  // file red, green, blue to memory blue, green, red
    if (!Any() && in != out) std::memcpy(out, in, bytes);
  }
};

// Uncompressed 8-, 16- and 24-bit rows: each strip gives as many whole rows as its byte count holds.
// Strips that follow one another in the file are read in one piece when the target's rows lie back
// to back too.
class KRowReader {
 public:
  // Small enough to stay in a 1 MiB second-level cache beside the rows being written.
  static constexpr std::uint64_t kBatchBytes = 768 * 1024;

  KRowReader(const KLoadContext& context, const KTarget& target, std::uint64_t rowBytes, const KRowFixes& fixes)
      : file_(context.file),
        target_(target),
        rowBytes_(rowBytes),
        fixes_(fixes),
        contiguous_(static_cast<std::uint64_t>(target.rowPitch) == rowBytes) {}

  // Rows given to the reader so far, read or still pending.
  std::uint64_t Rows() const { return done_ + pendingRows_; }

  bool Add(std::uint64_t offset, std::uint64_t rows) {
    if (contiguous_ && pendingRows_ > 0 && offset == pendingOffset_ + pendingRows_ * rowBytes_) {
      pendingRows_ += rows;
      return true;
    }
    if (!Flush()) return false;
    pendingOffset_ = offset;
    pendingRows_ = rows;
    return true;
  }

  // Reads the pending rows. Rows that need fixing are read in batches of about 768 KiB into a buffer
  // that stays in the cache, and fixed on their way into the target.
  bool Flush() {
    if (pendingRows_ == 0) return true;
    if (!fixes_.Any() && contiguous_) {
      const std::size_t bytes = static_cast<std::size_t>(pendingRows_ * rowBytes_);
      if (!ReadAt(file_, pendingOffset_, target_.Row(done_), bytes)) return false;
    } else {
      const std::uint64_t batch = std::max<std::uint64_t>(1, kBatchBytes / rowBytes_);
      for (std::uint64_t r = 0; r < pendingRows_; r += batch) {
        const std::uint64_t rows = std::min(batch, pendingRows_ - r);
        batch_.resize(static_cast<std::size_t>(rows * rowBytes_));
        if (!ReadAt(file_, pendingOffset_ + r * rowBytes_, batch_.data(), batch_.size())) return false;
        for (std::uint64_t k = 0; k < rows; ++k) {
          fixes_.Apply(batch_.data() + k * rowBytes_, target_.Row(done_ + r + k), rowBytes_);
        }
      }
    }
    done_ += pendingRows_;
    pendingRows_ = 0;
    return true;
  }

 private:
  std::FILE* file_;
  KTarget target_;
  std::size_t rowBytes_;
  KRowFixes fixes_;
  bool contiguous_;
  std::uint64_t done_ = 0;
  std::uint64_t pendingOffset_ = 0;
  std::uint64_t pendingRows_ = 0;
  std::vector<unsigned char> batch_;
};

K_ERRORS ReadRows(const KLoadContext& context, const KTiffDirectory& d, const KTarget& target, const KRowFixes& fixes) {
  KTiffValues offsets(context.file, context.fileSize, d.order, d.stripOffsets);
  KTiffValues byteCounts(context.file, context.fileSize, d.order, d.stripByteCounts);
  const std::uint64_t rowBytes = FileRowBytes(d);
  KRowReader reader(context, target, rowBytes, fixes);
  for (std::uint32_t i = 0; i < offsets.Count() && reader.Rows() < target.height; ++i) {
    std::uint32_t offset = 0, count = 0;
    if (!offsets.Get(i, offset) || !byteCounts.Get(i, count)) return K_ERROR_FILE_READ;
    const std::uint64_t rows = std::min<std::uint64_t>(count / rowBytes, target.height - reader.Rows());
    if (rows > 0 && !reader.Add(offset, rows)) return K_ERROR_FILE_READ;
  }
  if (!reader.Flush()) return K_ERROR_FILE_READ;
  return reader.Rows() == target.height ? K_SUCCESS : K_ERROR_FILE_READ;
}

// Reads a file through a window, so that strips of a few KiB cost no read of their own: 1 MiB while
// the strips follow one another, as little as 64 KiB when they jump about.
class KFileWindow {
 public:
  KFileWindow(std::FILE* file, long long fileSize)
      : file_(file), fileSize_(static_cast<std::uint64_t>(std::max<long long>(fileSize, 0))) {}

  // Up to `count` bytes at `offset`, at least one unless the file ends there or cannot be read.
  std::size_t Get(std::uint64_t offset, std::uint64_t count, const unsigned char*& bytes) {
    if (offset < start_ || offset >= start_ + window_.size()) {
      if (offset >= fileSize_) return 0;
      const bool sequential = offset == start_ + window_.size();
      const std::uint64_t wanted = sequential ? kLargest : std::clamp(count, kSmallest, kLargest);
      window_.resize(static_cast<std::size_t>(std::min(wanted, fileSize_ - offset)));
      start_ = offset;
      if (!ReadAt(file_, offset, window_.data(), window_.size())) {
        window_.clear();
        return 0;
      }
    }
    bytes = window_.data() + (offset - start_);
    return static_cast<std::size_t>(std::min<std::uint64_t>(count, start_ + window_.size() - offset));
  }

 private:
  static constexpr std::uint64_t kSmallest = 64 * 1024;
  static constexpr std::uint64_t kLargest = 1024 * 1024;

  std::FILE* file_;
  std::uint64_t fileSize_;
  std::vector<unsigned char> window_;
  std::uint64_t start_ = 0;
};

// Takes a stream of file row bytes and places them row after row in the target; 1-bit samples become
// 0 or 255 in a BW8 target. Bytes past the last row are dropped.
class KRowSink {
 public:
  KRowSink(const KTarget& target, std::size_t fileRowBytes, std::uint32_t width, bool expandBits,
           const KRowFixes& fixes)
      : target_(target), rowBytes_(fileRowBytes), width_(width), expand_(expandBits), fixes_(fixes) {}

  bool Full() const { return row_ >= target_.height; }

  // Returns false once the target is full.
  bool operator()(const unsigned char* bytes, std::size_t count) {
    while (count > 0 && !Full()) {
      const std::size_t take = std::min(count, rowBytes_ - position_);
      unsigned char* row = target_.Row(row_);
      if (expand_) {
        Expand(bytes, take, row);
      } else {
        std::memcpy(row + position_, bytes, take);
      }
      bytes += take;
      count -= take;
      position_ += take;
      if (position_ == rowBytes_) {
        if (!expand_) fixes_.Apply(row, row, rowBytes_);
        ++row_;
        position_ = 0;
      }
    }
    return !Full();
  }

 private:
  // Most significant bit first; the byte that ends a row gives only the pixels left in it.
  void Expand(const unsigned char* bytes, std::size_t count, unsigned char* row) const {
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t x0 = (position_ + i) * 8;
      const std::size_t pixels = std::min<std::size_t>(8, width_ - x0);
      for (std::size_t b = 0; b < pixels; ++b) row[x0 + b] = (bytes[i] & (0x80 >> b)) ? 255 : 0;
    }
  }

  KTarget target_;
  std::size_t rowBytes_;
  std::size_t width_;
  bool expand_;
  KRowFixes fixes_;
  std::uint32_t row_ = 0;
  std::size_t position_ = 0;
};

// 1-bit uncompressed data and all PackBits data: each strip's bytes are fed, decoded where needed, to
// the row sink, continuing where the previous strip ended, until the target is full. No more bytes
// than the file has are fed in all: strips that share bytes full of no-op headers cannot make the
// work grow with the square of the file's size.
K_ERRORS ReadStream(const KLoadContext& context, const KTiffDirectory& d, const KTarget& target,
                    const KRowFixes& fixes) {
  KTiffValues offsets(context.file, context.fileSize, d.order, d.stripOffsets);
  KTiffValues byteCounts(context.file, context.fileSize, d.order, d.stripByteCounts);
  const bool expand = d.bitsPerSample == 1 && context.kind->type == K_IMAGE_BW8;
  KRowSink sink(target, static_cast<std::size_t>(FileRowBytes(d)), d.width, expand, fixes);
  KPackBitsDecoder decoder;
  KFileWindow window(context.file, context.fileSize);
  std::uint64_t budget = static_cast<std::uint64_t>(std::max<long long>(context.fileSize, 0));
  for (std::uint32_t i = 0; i < offsets.Count() && !sink.Full(); ++i) {
    std::uint32_t offset = 0, count = 0;
    if (!offsets.Get(i, offset) || !byteCounts.Get(i, count)) return K_ERROR_FILE_READ;
    decoder.Reset();
    std::uint64_t at = offset, left = count;
    while (left > 0 && !sink.Full()) {
      const unsigned char* bytes = nullptr;
      const std::size_t got = window.Get(at, left, bytes);
      if (got == 0 || got > budget) return K_ERROR_FILE_READ;  // past the end of the file, or bytes reused
      budget -= got;
      if (IsPackBits(d)) {
        decoder.Decode(bytes, got, sink);
      } else {
        sink(bytes, got);
      }
      at += got;
      left -= got;
    }
  }
  return sink.Full() ? K_SUCCESS : K_ERROR_FILE_READ;
}

K_ERRORS Read(KLoadContext& context) {
  KTiffDirectory d(context.header[0] == 'M');
  if (ReadTiffDirectory(context, d) != K_SUCCESS) return K_ERROR_FILE_READ;
  SupplyByteCount(d);
  K_ERRORS code = CheckFile(d);
  if (code == K_SUCCESS) code = CheckKind(d, *context.kind);
  if (code != K_SUCCESS) return code;
  context.format = FormatCode(d, *context.kind);
  code = CheckStrips(context, d);
  if (code != K_SUCCESS) return code;

  context.width = static_cast<int>(d.width);
  context.height = static_cast<int>(d.height);
  code = PrepareTarget(context);
  if (code != K_SUCCESS) return code;

  // The rows the reader writes must fit the target's rows.
  const std::uint64_t targetRowBytes =
      d.bitsPerSample == 1 && context.kind->type == K_IMAGE_BW8 ? d.width : FileRowBytes(d);
  if (context.pixels == nullptr || context.rowLength < 0 ||
      static_cast<std::uint64_t>(context.rowLength) < targetRowBytes) {
    return K_ERROR_IMAGE_MEMORY_ACCESS;
  }
  const KTarget target{context.pixels, context.rowPitch, d.height};
  // 16-bit samples of "MM" files are exchanged to the machine's little-endian order.
  const KRowFixes fixes{d.bitsPerSample == 16 && d.order.BigEndian(), d.photometric == kPhotometricRgb, d.width};
  return ReadsWholeRows(d) ? ReadRows(context, d, target, fixes) : ReadStream(context, d, target, fixes);
}

const char* CompressionName(std::uint32_t compression) {
  switch (compression) {
    case kCompressionNone: return "none";
    case kCompressionPackBits: return "PackBits";
    case 5: return "LZW";
    case 7: return "JPEG";
    case 8:
    case 32946: return "Deflate";
    default: return "other";
  }
}

const char* ColorSpaceName(const KTiffDirectory& d) {
  if (!d.hasPhotometric) return "unknown";
  switch (d.photometric) {
    case 0: return "gray (white 0)";
    case kPhotometricBlackIsZero: return "gray";
    case kPhotometricRgb: return "RGB";
    case 3: return "palette";
    case 5: return "CMYK";
    case 6: return "YCbCr";
    default: return "other";
  }
}

}  // namespace

K_ERRORS ReadTiff(KLoadContext& context) { return Read(context); }

K_ERRORS DescribeTiff(KLoadContext& context, KImageFileInfo& info) {
  KTiffDirectory d(context.header[0] == 'M');
  if (ReadTiffDirectory(context, d) != K_SUCCESS) return K_ERROR_FILE_READ;
  if (d.width == 0 || d.height == 0 || d.width > INT_MAX || d.height > INT_MAX) return K_ERROR_BAD_FILE_FORMAT;
  info.width = static_cast<int>(d.width);
  info.height = static_cast<int>(d.height);
  info.samplesPerPixel = static_cast<int>(d.samplesPerPixel);
  info.bitsPerSample = static_cast<int>(d.bitsPerSample);
  info.hasPalette = d.hasPhotometric && d.photometric == 3 ? 1 : 0;
  const std::uint32_t colourSamples = d.hasPhotometric && (d.photometric == kPhotometricRgb || d.photometric == 6) ? 3
                                      : d.hasPhotometric && d.photometric == 5                                     ? 4
                                                                                                                   : 1;
  info.hasAlpha = d.samplesPerPixel > colourSamples ? 1 : 0;
  info.pages = static_cast<int>(CountTiffPages(context, d.order));
  SetInfoText(info.compression, CompressionName(d.compression));
  SetInfoText(info.colorSpace, ColorSpaceName(d));
  return K_SUCCESS;
}

}  // namespace kvbase::internal
