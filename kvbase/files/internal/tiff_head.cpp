#include "kvbase/files/internal/tiff_head.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "kvbase/files/internal/little_endian.h"
#include "kvbase/files/internal/tiff_format.h"
#include "kvbase/foundation/units.h"

namespace kvbase::internal {
namespace {

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

void PutRational(unsigned char* at, float value) {
  std::uint32_t numerator = 0, denominator = 0;
  ToRational(value, numerator, denominator);
  PutU32(at, numerator);
  PutU32(at + 4, denominator);
}

// Writes directory entries one after the other.
class KEntryWriter {
 public:
  explicit KEntryWriter(unsigned char* at) : at_(at) {}

  unsigned char* At() const { return at_; }

  void Put(std::uint16_t tag, std::uint16_t type, std::uint64_t count, std::uint32_t value) {
    PutU16(at_, tag);
    PutU16(at_ + 2, type);
    PutU32(at_ + 4, static_cast<std::uint32_t>(count));
    // A single SHORT sits in the first two bytes of the value field, the other two stay 0.
    if (type == kTypeShort && count == 1) {
      PutU16(at_ + 8, value);
    } else {
      PutU32(at_ + 8, value);
    }
    at_ += kTiffEntrySize;
  }

  void PutText(const KTextField& text) {
    if (text.text != nullptr) Put(text.tag, kTypeAscii, text.Count(), text.offset);
  }

 private:
  unsigned char* at_;
};

}  // namespace

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

std::uint64_t KTextField::Count() const { return std::strlen(text) + 1; }

KTiffHead::KTiffHead(const KSaveContext& context, const KTiffParameters& parameters, const KStripPlan& plan)
    : context_(context), parameters_(parameters), plan_(plan) {
  KGenericROI* source = context.source;
  // Tag order in the directory; data-area order is title, author, date, comment.
  texts_[0] = {kTagDocumentName, source ? source->GetTitle() : nullptr, 0};
  texts_[1] = {kTagImageDescription, source ? source->GetComment() : nullptr, 0};
  texts_[2] = {kTagDateTime, source ? source->GetDate() : nullptr, 0};
  texts_[3] = {kTagArtist, source ? source->GetAuthor() : nullptr, 0};
  Place();
}

const KTextField& KTiffHead::Text(std::uint16_t tag) const {
  return *std::find_if(std::begin(texts_), std::end(texts_), [&](const KTextField& t) { return t.tag == tag; });
}

int KTiffHead::EntryCount() const {
  int count = parameters_.predictor ? 13 : 12;
  for (const KTextField& t : texts_) count += t.text != nullptr;
  return count;
}

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
  for (int i : {0, 3, 2, 1}) {  // title, author, date, comment
    KTextField& text = texts_[i];
    if (text.text == nullptr) continue;
    text.offset = static_cast<std::uint32_t>(next);
    next += text.Count();
  }
  dataEnd_ = next;
}

unsigned char* KTiffHead::PutEntries(unsigned char* base) {
  KEntryWriter entry(base + kTiffFirstIfdOffset + kTiffCountSize);
  float x = 0.0f, y = 0.0f;
  const std::uint32_t unit = ResolutionInFileUnit(context_, x, y);
  const std::uint32_t arrays = static_cast<std::uint32_t>(stripArrays_);

  entry.Put(kTagImageWidth, kTypeLong, 1, static_cast<std::uint32_t>(context_.width));
  entry.Put(kTagImageLength, kTypeLong, 1, static_cast<std::uint32_t>(context_.height));
  if (parameters_.samples == 3) {
    entry.Put(kTagBitsPerSample, kTypeShort, 3, static_cast<std::uint32_t>(bitsPerSample_));
  } else {
    entry.Put(kTagBitsPerSample, kTypeShort, 1, static_cast<std::uint32_t>(parameters_.bits));
  }
  entry.Put(kTagCompression, kTypeShort, 1, parameters_.compression);
  entry.Put(kTagPhotometric, kTypeShort, 1, parameters_.photometric);
  entry.PutText(Text(kTagDocumentName));
  entry.PutText(Text(kTagImageDescription));
  stripOffsetsField_ = static_cast<std::uint64_t>(entry.At() - base) + 8;
  entry.Put(kTagStripOffsets, kTypeLong, plan_.strips, SeveralStrips() ? arrays : 0);
  entry.Put(kTagSamplesPerPixel, kTypeShort, 1, static_cast<std::uint32_t>(parameters_.samples));
  // RowsPerStrip is a SHORT unless it does not fit in one: a truncated value would make other readers
  // cut the strips wrongly.
  entry.Put(kTagRowsPerStrip, plan_.rowsPerStrip <= 0xFFFF ? kTypeShort : kTypeLong, 1, plan_.rowsPerStrip);
  stripByteCountsField_ = static_cast<std::uint64_t>(entry.At() - base) + 8;
  entry.Put(kTagStripByteCounts, kTypeLong, plan_.strips,
            SeveralStrips() ? static_cast<std::uint32_t>(arrays + 4 * plan_.strips) : 0);
  entry.Put(kTagXResolution, kTypeRational, 1, static_cast<std::uint32_t>(xResolution_));
  entry.Put(kTagYResolution, kTypeRational, 1, static_cast<std::uint32_t>(yResolution_));
  entry.Put(kTagResolutionUnit, kTypeShort, 1, unit);
  entry.PutText(Text(kTagDateTime));
  entry.PutText(Text(kTagArtist));
  if (parameters_.predictor) entry.Put(kTagPredictor, kTypeShort, 1, kPredictorHorizontal);
  return entry.At();
}

void KTiffHead::PutDataArea(unsigned char* base) const {
  if (parameters_.samples == 3) {
    for (int i = 0; i < 3; ++i) PutU16(base + bitsPerSample_ + 2 * i, static_cast<std::uint32_t>(parameters_.bits));
  }
  float x = 0.0f, y = 0.0f;
  ResolutionInFileUnit(context_, x, y);
  PutRational(base + xResolution_, x);
  PutRational(base + yResolution_, y);
  for (const KTextField& text : texts_) {
    if (text.text != nullptr) std::memcpy(base + text.offset, text.text, text.Count());
  }
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
  unsigned char* const entriesEnd = PutEntries(base);
  PutU32(entriesEnd, 0);  // no next directory
  // The directory must end exactly where the data area was placed.
  assert(entryCount == static_cast<int>((entriesEnd - base - kTiffHeaderSize - kTiffCountSize) / kTiffEntrySize));
  PutDataArea(base);
  return bytes;
}

}  // namespace kvbase::internal
