#include "kvbase/files/internal/tiff_strip_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "kvbase/files/internal/positional_read.h"
#include "kvbase/files/internal/tiff_blocks.h"
#include "kvbase/files/internal/tiff_file_window.h"
#include "kvbase/files/internal/tiff_packbits.h"
#include "kvbase/files/internal/tiff_rgb.h"

namespace kvbase::internal {
namespace {

bool IsPackBits(const KTiffDirectory& d) { return d.compression == kCompressionPackBits; }

// Bytes of one row in the file.
std::uint64_t FileRowBytes(const KTiffDirectory& d) {
  if (d.bitsPerSample == 1) return (static_cast<std::uint64_t>(d.width) + 7) / 8;
  return static_cast<std::uint64_t>(d.width) * d.samplesPerPixel * (d.bitsPerSample / 8);
}

// Uncompressed rows of 8 bits and more are read a whole row at a time from each strip; everything else
// is a byte stream that runs on across strip and row ends.
bool ReadsWholeRows(const KTiffDirectory& d) { return d.compression == kCompressionNone && d.bitsPerSample >= 8; }

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
    if (swap16) SwapBytes16(in, out, bytes);
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

}  // namespace

bool IsPlainStripLayout(const KTiffDirectory& d) {
  if (d.Tiled() || d.planarConfiguration != 1 || !d.hasPhotometric) return false;
  const bool gray = (d.compression == kCompressionNone || IsPackBits(d)) &&
                    (d.bitsPerSample == 1 || d.bitsPerSample == 8 || d.bitsPerSample == 16) && d.samplesPerPixel == 1 &&
                    d.photometric == kPhotometricBlackIsZero;
  const bool rgb = d.compression == kCompressionNone && d.bitsPerSample == 8 && d.samplesPerPixel == 3 &&
                   d.photometric == kPhotometricRgb;
  return gray || rgb;
}

// Whether the strips can fill the image from bytes inside the file, counting what each strip can give
// at best. Runs before the target is resized, so that a small file never sizes a large image.
K_ERRORS CheckPlainStrips(const KLoadContext& context, const KTiffDirectory& d) {
  KTiffValues offsets(context.file, context.fileSize, d.order, d.stripOffsets);
  KTiffValues byteCounts(context.file, context.fileSize, d.order, d.stripByteCounts);
  if (byteCounts.Count() < offsets.Count() || !offsets.InFile() || !byteCounts.InFile()) {
    return K_ERROR_BAD_FILE_FORMAT;
  }
  const std::uint64_t fileSize = static_cast<std::uint64_t>(std::max<long long>(context.fileSize, 0));
  const std::uint64_t rowBytes = FileRowBytes(d);
  // Each byte of the file counts once: strips that share their bytes do not make a small file a large
  // image.
  const std::uint64_t gain = TiffMaxGain(d.compression);  // 1 uncompressed
  const std::uint64_t most = fileSize * gain;
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
      available += inFile * gain;
    }
  }
  return available >= needed ? K_SUCCESS : K_ERROR_FILE_READ;
}

K_ERRORS ReadPlainStrips(const KLoadContext& context, const KTiffDirectory& d) {
  const KTarget target{context.pixels, context.rowPitch, d.height};
  // 16-bit samples of "MM" files are exchanged to the machine's little-endian order.
  const KRowFixes fixes{d.bitsPerSample == 16 && d.order.BigEndian(), d.photometric == kPhotometricRgb, d.width};
  return ReadsWholeRows(d) ? ReadRows(context, d, target, fixes) : ReadStream(context, d, target, fixes);
}

}  // namespace kvbase::internal
