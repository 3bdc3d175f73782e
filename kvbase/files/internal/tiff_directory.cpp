#include "kvbase/files/internal/tiff_directory.h"

#include <algorithm>
#include <unordered_set>

#include "kvbase/files/internal/positional_read.h"
#include "kvbase/foundation/units.h"

namespace kvbase::internal {
namespace {

constexpr std::uint32_t kValuesPerChunk = 1024;

std::uint64_t FileSize(const KLoadContext& context) {
  return context.fileSize > 0 ? static_cast<std::uint64_t>(context.fileSize) : 0;
}

bool ReadFirstValue(const KLoadContext& context, const KTiffDirectory& directory, const TiffDirectoryEntry& entry,
                    std::uint32_t& value) {
  KTiffValues values(context.file, context.fileSize, directory.order, entry);
  return values.Get(0, value);
}

// True when `bytes` holds a text as this library writes it: non-zero characters ending in one zero.
bool IsTerminatedText(const std::vector<char>& bytes) {
  return !bytes.empty() && bytes.back() == '\0' && std::find(bytes.begin(), bytes.end(), '\0') == bytes.end() - 1;
}

// Reads an ASCII entry into `text`, which always ends in a zero.
//
// Texts of up to four bytes are, by the TIFF rules, held in the value field itself; older files of this
// library store them in the data area and put their offset there. The offset is taken when the bytes it
// points to are such a text, else the value field is.
bool ReadText(const KLoadContext& context, const KTiffDirectory& directory, const TiffDirectoryEntry& entry,
              std::vector<char>& text) {
  const std::uint64_t count = entry.count;
  if (count == 0) {
    text.assign(1, '\0');
    return true;
  }
  const std::uint64_t offset = directory.order.U32(entry.value);
  const bool inFile = offset >= kTiffHeaderSize && offset + count <= FileSize(context);
  if (inFile) {
    text.resize(count);
    if (!ReadAt(context.file, offset, text.data(), text.size())) text.clear();
    if (count > 4 && !text.empty()) {
      text.back() = '\0';
      return true;
    }
    if (IsTerminatedText(text)) return true;
  }
  if (count > 4) return false;
  text.assign(entry.value, entry.value + sizeof entry.value);  // the value field, cut to its count
  text.resize(count);
  text.back() = '\0';
  return true;
}

// The bit of a text tag in KTiffDirectory::textsMet.
unsigned TextBit(std::uint16_t tag) {
  switch (tag) {
    case kTagDocumentName: return 1;
    case kTagImageDescription: return 2;
    case kTagDateTime: return 4;
    default: return 8;  // kTagArtist
  }
}

void ApplyText(KGenericROI* target, std::uint16_t tag, const char* text) {
  if (target == nullptr) return;
  switch (tag) {
    case kTagDocumentName: target->SetTitle(text); break;
    case kTagImageDescription: target->SetComment(text); break;
    case kTagDateTime: target->SetDate(text); break;
    case kTagArtist: target->SetAuthor(text); break;
    default: break;
  }
}

// A RATIONAL at the value offset, as a float. A zero denominator means no resolution (0), never an
// infinite or undefined one.
bool ReadRational(const KLoadContext& context, const KTiffDirectory& directory, const TiffDirectoryEntry& entry,
                  float& value) {
  unsigned char bytes[8];
  if (!ReadAt(context.file, directory.order.U32(entry.value), bytes, sizeof bytes)) return false;
  const std::uint32_t numerator = directory.order.U32(bytes);
  const std::uint32_t denominator = directory.order.U32(bytes + 4);
  value = denominator == 0 ? 0.0f : static_cast<float>(numerator) / static_cast<float>(denominator);
  return true;
}

KMeasurementUnit* ResolutionUnit(std::uint32_t code) {
  if (code == kResolutionUnitInch) return &KUnit_inch;
  if (code == kResolutionUnitCentimetre) return &KUnit_cm;
  return &KUnitNone;
}

// Processes one entry; false only when a resolution cannot be read, which ends the load.
bool ApplyEntry(KLoadContext& context, KTiffDirectory& directory, const TiffDirectoryEntry& entry) {
  std::uint32_t value = 0;
  switch (entry.tag) {
    case kTagNewSubfileType: ReadFirstValue(context, directory, entry, directory.newSubfileType); break;
    case kTagImageWidth: ReadFirstValue(context, directory, entry, directory.width); break;
    case kTagImageLength: ReadFirstValue(context, directory, entry, directory.height); break;
    case kTagBitsPerSample:
      directory.bitsPerSampleEntry = entry;
      ReadFirstValue(context, directory, entry, directory.bitsPerSample);
      break;
    case kTagPredictor: ReadFirstValue(context, directory, entry, directory.predictor); break;
    case kTagTileWidth: ReadFirstValue(context, directory, entry, directory.tileWidth); break;
    case kTagTileLength: ReadFirstValue(context, directory, entry, directory.tileLength); break;
    case kTagColorMap:
      directory.colorMap = entry;
      directory.hasColorMap = true;
      break;
    case kTagTileOffsets:
      directory.tileOffsets = entry;
      directory.hasTileOffsets = true;
      break;
    case kTagTileByteCounts:
      directory.tileByteCounts = entry;
      directory.hasTileByteCounts = true;
      break;
    case kTagCompression: ReadFirstValue(context, directory, entry, directory.compression); break;
    case kTagSamplesPerPixel: ReadFirstValue(context, directory, entry, directory.samplesPerPixel); break;
    case kTagPlanarConfiguration: ReadFirstValue(context, directory, entry, directory.planarConfiguration); break;
    case kTagFillOrder: ReadFirstValue(context, directory, entry, directory.fillOrder); break;
    case kTagSampleFormat: ReadFirstValue(context, directory, entry, directory.sampleFormat); break;
    case kTagPhotometric:
      if (ReadFirstValue(context, directory, entry, value)) {
        directory.hasPhotometric = true;
        directory.photometric = value;
      }
      break;
    case kTagRowsPerStrip:
      if (ReadFirstValue(context, directory, entry, value)) {
        directory.hasRowsPerStrip = true;
        directory.rowsPerStrip = value;
      }
      break;
    case kTagStripOffsets:
      directory.stripOffsets = entry;
      directory.hasStripOffsets = true;
      break;
    case kTagStripByteCounts:
      directory.stripByteCounts = entry;
      directory.hasStripByteCounts = true;
      break;
    case kTagXResolution: return ReadRational(context, directory, entry, context.resolutionX);
    case kTagYResolution: return ReadRational(context, directory, entry, context.resolutionY);
    case kTagResolutionUnit:
      if (ReadFirstValue(context, directory, entry, value)) context.unit = ResolutionUnit(value);
      break;
    case kTagDocumentName:
    case kTagImageDescription:
    case kTagDateTime:
    case kTagArtist: {
      // Each tag once, as the TIFF format has it: entries that repeat a tag, all naming the same long
      // text, would otherwise read it again and again, for as long as the directory goes on.
      if (directory.textsMet & TextBit(entry.tag)) break;
      directory.textsMet |= TextBit(entry.tag);
      std::vector<char> text;
      if (ReadText(context, directory, entry, text)) ApplyText(context.target, entry.tag, text.data());
      break;
    }
    default: break;
  }
  return true;
}

}  // namespace

K_ERRORS ReadTiffDirectory(KLoadContext& context, KTiffDirectory& directory) {
  const std::uint64_t ifdOffset = directory.order.U32(context.header + 4);
  unsigned char countBytes[kTiffCountSize];
  if (!ReadAt(context.file, ifdOffset, countBytes, sizeof countBytes)) return K_ERROR_FILE_READ;

  // Only the entries that the file can hold are read; a count that promises more ends the load after
  // them, as a short read would.
  const std::uint32_t declared = directory.order.U16(countBytes);
  const std::uint64_t entriesStart = ifdOffset + kTiffCountSize;
  const std::uint64_t fileSize = FileSize(context);
  const std::uint64_t room = fileSize > entriesStart ? (fileSize - entriesStart) / kTiffEntrySize : 0;
  const std::uint32_t available = static_cast<std::uint32_t>(std::min<std::uint64_t>(declared, room));
  std::vector<unsigned char> entries(static_cast<std::size_t>(available) * kTiffEntrySize);
  if (available > 0 && !ReadAt(context.file, entriesStart, entries.data(), entries.size())) {
    return K_ERROR_FILE_READ;
  }
  for (std::uint32_t i = 0; i < available; ++i) {
    const TiffDirectoryEntry entry = directory.order.Entry(entries.data() + i * kTiffEntrySize);
    if (!ApplyEntry(context, directory, entry)) return K_ERROR_FILE_READ;
  }
  return available < declared ? K_ERROR_FILE_READ : K_SUCCESS;
}

std::uint32_t CountTiffPages(const KLoadContext& context, const KTiffByteOrder& order) {
  constexpr std::uint32_t kMostPages = 65535;
  std::unordered_set<std::uint64_t> seen;
  std::uint64_t offset = order.U32(context.header + 4);
  while (offset != 0 && seen.size() < kMostPages && seen.insert(offset).second) {
    unsigned char count[kTiffCountSize];
    if (!ReadAt(context.file, offset, count, sizeof count)) break;
    const std::uint64_t next = offset + kTiffCountSize + std::uint64_t{kTiffEntrySize} * order.U16(count);
    unsigned char link[kTiffNextOffsetSize];
    if (!ReadAt(context.file, next, link, sizeof link)) break;
    offset = order.U32(link);
  }
  return static_cast<std::uint32_t>(seen.size());
}

KTiffValues::KTiffValues(std::FILE* file, long long fileSize, KTiffByteOrder order, const TiffDirectoryEntry& entry)
    : file_(file), fileSize_(fileSize), order_(order), entry_(entry), size_(entry.type == kTypeShort ? 2 : 4) {}

bool KTiffValues::Inline() const { return entry_.count == 1 || (entry_.type == kTypeShort && entry_.count == 2); }

bool KTiffValues::InFile() const {
  if (Inline()) return true;
  const std::uint64_t end = order_.U32(entry_.value) + static_cast<std::uint64_t>(entry_.count) * size_;
  return fileSize_ > 0 && end <= static_cast<std::uint64_t>(fileSize_);
}

bool KTiffValues::Get(std::uint32_t index, std::uint32_t& value) {
  if (index >= entry_.count) return false;
  if (Inline()) {
    value = size_ == 2 ? order_.U16(entry_.value + 2 * index) : order_.U32(entry_.value);
    return true;
  }
  const std::uint32_t cached = static_cast<std::uint32_t>(chunk_.size() / size_);
  if (index < first_ || index - first_ >= cached) {
    // Load the chunk that starts at `index`, cut at the array's end and at the file's end.
    const std::uint64_t offset = order_.U32(entry_.value) + static_cast<std::uint64_t>(index) * size_;
    const std::uint64_t fileSize = fileSize_ > 0 ? static_cast<std::uint64_t>(fileSize_) : 0;
    std::uint64_t count = std::min<std::uint64_t>(entry_.count - index, kValuesPerChunk);
    count = std::min<std::uint64_t>(count, offset < fileSize ? (fileSize - offset) / size_ : 0);
    chunk_.resize(static_cast<std::size_t>(count) * size_);
    first_ = index;
    if (count == 0 || !ReadAt(file_, offset, chunk_.data(), chunk_.size())) {
      chunk_.clear();
      return false;
    }
  }
  const unsigned char* p = chunk_.data() + static_cast<std::size_t>(index - first_) * size_;
  value = size_ == 2 ? order_.U16(p) : order_.U32(p);
  return true;
}

}  // namespace kvbase::internal
