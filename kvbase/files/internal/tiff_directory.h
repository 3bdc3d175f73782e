#ifndef KVBASE_FILES_INTERNAL_TIFF_DIRECTORY_H
#define KVBASE_FILES_INTERNAL_TIFF_DIRECTORY_H

// Reading the first image file directory (IFD) of a TIFF file: the fields the reader needs, the four
// text fields (handed to the target as they are met), the resolution (into the load context), and lazy
// access to value arrays such as StripOffsets, whose count the file chooses.
//
// Everything read is checked against the file's size first: an entry, a text or an array that would
// lie past the end of the file is never allocated for or read.

#include <cstdint>
#include <cstdio>
#include <vector>

#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/tiff_format.h"

namespace kvbase::internal {

// The fields of the first IFD, with the values they have when their tag is absent.
struct KTiffDirectory {
  explicit KTiffDirectory(bool bigEndian) : order(bigEndian) {}

  KTiffByteOrder order;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t newSubfileType = 0;
  std::uint32_t samplesPerPixel = 1;
  std::uint32_t bitsPerSample = 1;
  std::uint32_t compression = kCompressionNone;
  bool hasPhotometric = false;
  std::uint32_t photometric = 0;
  std::uint32_t planarConfiguration = 1;
  std::uint32_t fillOrder = kFillOrderHighBitFirst;
  std::uint32_t sampleFormat = kSampleFormatUnsigned;  // of the first sample
  bool hasRowsPerStrip = false;  // kept for completeness: rows per strip follow from the byte counts
  std::uint32_t rowsPerStrip = 0;
  bool hasStripOffsets = false;
  bool hasStripByteCounts = false;
  TiffDirectoryEntry stripOffsets{};
  TiffDirectoryEntry stripByteCounts{};
  TiffDirectoryEntry bitsPerSampleEntry{};  // all values, to find files whose samples differ in depth
  std::uint32_t predictor = kPredictorNone;
  bool hasColorMap = false;
  TiffDirectoryEntry colorMap{};
  // Tiles: the image cut into blocks of tileWidth x tileLength, each a strip of its own.
  std::uint32_t tileWidth = 0;
  std::uint32_t tileLength = 0;
  bool hasTileOffsets = false;
  bool hasTileByteCounts = false;
  TiffDirectoryEntry tileOffsets{};
  TiffDirectoryEntry tileByteCounts{};

  // Tiled when it says where its tiles are and how large they are; a stray tile tag in a strip file, as
  // some writers leave, does not make it tiled, and a stray StripOffsets in a tiled one does not untile it.
  bool Tiled() const { return hasTileOffsets && tileWidth != 0 && tileLength != 0; }
  // Text tags met so far, one bit each: a text is read once, at its tag's first entry.
  unsigned textsMet = 0;
};

// Reads the directory the header points to into `directory`. Texts go to the context's target
// (SetTitle, SetComment, SetDate, SetAuthor), the resolution and its unit into the context. Returns
// K_SUCCESS, or K_ERROR_FILE_READ when the directory or a resolution cannot be read; entries that cannot
// be read otherwise are skipped.
K_ERRORS ReadTiffDirectory(KLoadContext& context, KTiffDirectory& directory);

// The number of directories (pages) the file chains from its header, counting each once; a chain that
// runs out of the file or back onto itself ends there.
std::uint32_t CountTiffPages(const KLoadContext& context, const KTiffByteOrder& order);

// The values of one entry, read on demand in chunks, so that an array of any count costs a small
// buffer. Values that fit in the value field (a count of 1, or two SHORTs) are taken from there.
class KTiffValues {
 public:
  KTiffValues(std::FILE* file, long long fileSize, KTiffByteOrder order, const TiffDirectoryEntry& entry);

  std::uint32_t Count() const { return entry_.count; }
  // True when every value lies in the value field or inside the file.
  bool InFile() const;
  // Value `index` (SHORT values widened); false when it lies outside the file or cannot be read.
  bool Get(std::uint32_t index, std::uint32_t& value);

 private:
  bool Inline() const;

  std::FILE* file_;
  long long fileSize_;
  KTiffByteOrder order_;
  TiffDirectoryEntry entry_;
  int size_;                          // bytes per value
  std::vector<unsigned char> chunk_;  // values [first_, first_ + chunk_.size() / size_)
  std::uint32_t first_ = 0;
};

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_DIRECTORY_H
