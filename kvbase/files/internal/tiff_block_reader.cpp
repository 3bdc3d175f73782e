#include "kvbase/files/internal/tiff_block_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "kvbase/files/internal/byte_buffer.h"
#include "kvbase/files/internal/deflate.h"
#include "kvbase/files/internal/tiff_file_window.h"
#include "kvbase/files/internal/tiff_lzw.h"
#include "kvbase/files/internal/tiff_packbits.h"
#include "kvbase/files/internal/tiff_predictor.h"
#include "kvbase/files/internal/tiff_rgb.h"

namespace kvbase::internal {
namespace {

constexpr std::uint32_t kMostPlanes = 3;

// Takes PackBits output into a buffer until it is full.
struct KBufferSink {
  unsigned char* out;
  std::size_t capacity;
  std::size_t length = 0;

  bool operator()(const unsigned char* bytes, std::size_t count) {
    const std::size_t take = std::min(count, capacity - length);
    std::memcpy(out + length, bytes, take);
    length += take;
    return length < capacity;
  }
};

// Decodes one block at a time: finds its bytes in the file and runs its codec.
class KBlockDecoder {
 public:
  KBlockDecoder(const KLoadContext& context, const KTiffBlocks& blocks, std::uint32_t compression)
      : blocks_(blocks), compression_(compression), window_(context.file, context.fileSize) {
    fileSize_ = static_cast<std::uint64_t>(std::max<long long>(context.fileSize, 0));
    // One reader of the arrays per plane: the planes' values lie apart, and each reader keeps a chunk.
    for (std::uint32_t plane = 0; plane < blocks.usedPlanes; ++plane) {
      const KTiffByteOrder order(blocks.bigEndian);
      offsets_.emplace_back(context.file, context.fileSize, order, blocks.offsets);
      byteCounts_.emplace_back(context.file, context.fileSize, order, blocks.byteCounts);
    }
    if (compression == kCompressionLzw) lzw_ = std::make_unique<KLzwDecoder>();
    if (compression == kCompressionDeflate || compression == kCompressionOldDeflate) {
      deflate_ = std::make_unique<KDeflateDecoder>();
    }
  }

  bool Ready() const { return deflate_ == nullptr || deflate_->Ready(); }

  // Decodes the block of `plane` at (`blockRow`, `column`) into the `capacity` bytes of `out`, which
  // must be filled.
  K_ERRORS Decode(std::uint32_t plane, std::uint32_t blockRow, std::uint32_t column, unsigned char* out,
                  std::size_t capacity) {
    const std::uint32_t index = blocks_.Index(plane, blockRow, column);
    std::uint32_t offset = 0, byteCount = 0;
    if (!offsets_[plane].Get(index, offset) || !byteCounts_[plane].Get(index, byteCount)) return K_ERROR_FILE_READ;
    const std::uint64_t inFile = offset < fileSize_ ? std::min<std::uint64_t>(byteCount, fileSize_ - offset) : 0;
    const unsigned char* bytes = window_.Whole(offset, inFile);
    if (bytes == nullptr) return K_ERROR_FILE_READ;
    const std::size_t length = static_cast<std::size_t>(inFile);
    switch (compression_) {
      case kCompressionNone:
        if (length < capacity) return K_ERROR_FILE_READ;
        std::memcpy(out, bytes, capacity);
        return K_SUCCESS;
      case kCompressionPackBits: {
        KBufferSink sink{out, capacity};
        KPackBitsDecoder packBits;
        packBits.Decode(bytes, length, sink);
        return sink.length == capacity ? K_SUCCESS : K_ERROR_FILE_READ;
      }
      case kCompressionLzw:
        return lzw_->Decode(bytes, length, out, capacity).length == capacity ? K_SUCCESS : K_ERROR_FILE_READ;
      default: return Inflate(bytes, length, out, capacity);
    }
  }

 private:
  // A last strip may hold whole RowsPerStrip rows, as some writers pad it: then the stream is decoded
  // into a block of full size and only the rows asked for are kept.
  K_ERRORS Inflate(const unsigned char* bytes, std::size_t length, unsigned char* out, std::size_t capacity) {
    const KInflated result = deflate_->Decode(bytes, length, out, capacity);
    if (result == KInflated::kExact) return K_SUCCESS;
    const std::size_t full = static_cast<std::size_t>(blocks_.blockRowBytes * blocks_.blockHeight);
    if (result != KInflated::kTooLong || full <= capacity) return K_ERROR_FILE_READ;
    if (!padded_.Reserve(full)) return K_ERROR_ALLOCATION;
    const KInflated padded = deflate_->Decode(bytes, length, padded_.Data(), full);
    if (padded != KInflated::kExact) return K_ERROR_FILE_READ;
    std::memcpy(out, padded_.Data(), capacity);
    return K_SUCCESS;
  }

  const KTiffBlocks& blocks_;
  std::uint32_t compression_;
  std::uint64_t fileSize_;
  KFileWindow window_;
  std::vector<KTiffValues> offsets_;
  std::vector<KTiffValues> byteCounts_;
  std::unique_ptr<KLzwDecoder> lzw_;
  std::unique_ptr<KDeflateDecoder> deflate_;
  KByteBuffer padded_;
};

// Undoes, in place, what the coding left in a decoded row of `pixels` pixels: the horizontal
// differences, the byte order of 16-bit samples.
void FixRow(unsigned char* row, std::size_t pixels, const KTiffCoding& coding, const KTiffSamples& samples) {
  if (!coding.predictor) {
    if (samples.bits == 16 && coding.bigEndian) SwapBytes16(row, row, 2 * pixels * samples.samples);
  } else if (samples.bits == 8) {
    UndoHorizontalDifferences8(row, pixels, samples.samples);
  } else if (samples.bits == 16) {
    UndoHorizontalDifferences16(row, pixels, samples.samples, coding.bigEndian);
  }
}

// Whether decoded rows become the target's rows where they are: one plane, no extra samples, and the
// target's layout (red and blue exchanged in place).
bool DecodesIntoTarget(const KTiffBlocks& blocks, const KTiffSamples& samples, K_IMAGE_TYPES target) {
  if (blocks.tiled || samples.separatePlanes) return false;
  switch (samples.colour) {
    case KTiffColour::kGray:
      return samples.samples == 1 &&
             ((samples.bits == 8 && target == K_IMAGE_BW8) || (samples.bits == 16 && target == K_IMAGE_BW16));
    case KTiffColour::kRgb: return samples.samples == 3 && target == K_IMAGE_C24;
    default: return false;
  }
}

class KBlockReader {
 public:
  KBlockReader(const KLoadContext& context, const KTiffBlocks& blocks, const KTiffCoding& coding,
               const KTiffSamples& samples, KTiffRowConverter& converter)
      : context_(context),
        blocks_(blocks),
        coding_(coding),
        samples_(samples),
        converter_(converter),
        decoder_(context, blocks, coding.compression),
        intoTarget_(DecodesIntoTarget(blocks, samples, context.kind->type)),
        contiguous_(static_cast<std::uint64_t>(context.rowPitch) == blocks.blockRowBytes) {}

  K_ERRORS Read() {
    if (!decoder_.Ready()) return K_ERROR_ALLOCATION;
    for (std::uint32_t row = 0; row < blocks_.down; ++row) {
      for (std::uint32_t column = 0; column < blocks_.across; ++column) {
        const K_ERRORS code = ReadBlock(row, column);
        if (code != K_SUCCESS) return code;
      }
    }
    return K_SUCCESS;
  }

 private:
  unsigned char* TargetRow(std::uint64_t y) const {
    return context_.pixels + static_cast<std::int64_t>(y) * context_.rowPitch;
  }

  K_ERRORS ReadBlock(std::uint32_t row, std::uint32_t column) {
    const std::uint32_t rows = blocks_.Rows(row);
    const std::uint64_t y = std::uint64_t{row} * blocks_.blockHeight;
    const std::size_t bytes = static_cast<std::size_t>(rows * blocks_.blockRowBytes);
    if (intoTarget_ && (contiguous_ || rows == 1)) return ReadIntoTarget(row, y, rows, bytes);

    const unsigned char* planeRows[kMostPlanes] = {};
    const std::uint32_t imageRows = blocks_.ImageRows(row), columns = blocks_.ImageColumns(column);
    for (std::uint32_t plane = 0; plane < blocks_.usedPlanes; ++plane) {
      if (!planes_[plane].Reserve(bytes)) return K_ERROR_ALLOCATION;
      const K_ERRORS code = decoder_.Decode(plane, row, column, planes_[plane].Data(), bytes);
      if (code != K_SUCCESS) return code;
      for (std::uint32_t k = 0; k < imageRows; ++k) {
        FixRow(planes_[plane].Data() + k * blocks_.blockRowBytes, columns, coding_, samples_);
      }
    }
    const std::size_t x = std::size_t{column} * blocks_.blockWidth;
    for (std::uint32_t k = 0; k < imageRows; ++k) {
      for (std::uint32_t plane = 0; plane < blocks_.usedPlanes; ++plane) {
        planeRows[plane] = planes_[plane].Data() + k * blocks_.blockRowBytes;
      }
      converter_.Convert(planeRows, columns, TargetRow(y + k), x);
    }
    return K_SUCCESS;
  }

  K_ERRORS ReadIntoTarget(std::uint32_t row, std::uint64_t y, std::uint32_t rows, std::size_t bytes) {
    const K_ERRORS code = decoder_.Decode(0, row, 0, TargetRow(y), bytes);
    if (code != K_SUCCESS) return code;
    for (std::uint32_t k = 0; k < rows; ++k) {
      unsigned char* target = TargetRow(y + k);
      if (samples_.colour != KTiffColour::kRgb) {
        FixRow(target, blocks_.width, coding_, samples_);
      } else if (coding_.predictor) {
        UndoHorizontalDifferencesRgbToBgr(target, target, blocks_.width);
      } else {
        SwapRedBlue(target, target, blocks_.width);
      }
    }
    return K_SUCCESS;
  }

  const KLoadContext& context_;
  const KTiffBlocks& blocks_;
  KTiffCoding coding_;
  KTiffSamples samples_;
  KTiffRowConverter& converter_;
  KBlockDecoder decoder_;
  bool intoTarget_;
  bool contiguous_;
  KByteBuffer planes_[kMostPlanes];
};

}  // namespace

K_ERRORS ReadTiffBlocks(const KLoadContext& context, const KTiffBlocks& blocks, const KTiffCoding& coding,
                        const KTiffSamples& samples, KTiffRowConverter& converter) {
  if (!converter.Reserve(blocks.blockWidth)) return K_ERROR_ALLOCATION;
  KBlockReader reader(context, blocks, coding, samples, converter);
  return reader.Read();
}

}  // namespace kvbase::internal
