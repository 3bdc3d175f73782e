#ifndef KVBASE_FILES_INTERNAL_TIFF_HEAD_H
#define KVBASE_FILES_INTERNAL_TIFF_HEAD_H

// What the TIFF writer puts before the strips: the 8-byte header, one directory at offset 8 with its
// entries in ascending tag order, and the data area right after it (BitsPerSample values for three
// samples, the StripOffsets and StripByteCounts arrays when there is more than one strip,
// XResolution, YResolution, then title, author, date and comment, each with its terminating zero).
// Strip offsets and byte counts are known only once the strips are written; the head tells where they
// go: into the entries (one strip) or the arrays (several).

#include <cstdint>
#include <vector>

#include "kvbase/files/internal/file_format.h"

namespace kvbase::internal {

// What a format code writes.
struct KTiffParameters {
  int samples;
  int bits;  // per sample
  std::uint32_t compression;
  std::uint32_t photometric;
  bool predictor;  // horizontal differences, written with Predictor 2
};

struct KStripPlan {
  std::uint64_t rowBytes;  // bytes of one uncompressed file row
  std::uint32_t rowsPerStrip;
  std::uint32_t strips;
};

// Rows per strip: as many whole rows as the strip size holds, at least one; a strip size of 0 puts the
// whole image in one strip.
KStripPlan PlanStrips(const KSaveContext& context, const KTiffParameters& parameters);

struct KTextField {
  std::uint16_t tag;
  const char* text;  // null when the source has none
  std::uint32_t offset;
  std::uint64_t Count() const;
};

class KTiffHead {
 public:
  KTiffHead(const KSaveContext& context, const KTiffParameters& parameters, const KStripPlan& plan);

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
  const KTextField& Text(std::uint16_t tag) const;
  int EntryCount() const;
  // The entries, in ascending tag order, from `base` + 10 on; returns where they end.
  unsigned char* PutEntries(unsigned char* base);
  void PutDataArea(unsigned char* base) const;

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

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_HEAD_H
