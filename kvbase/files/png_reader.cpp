// PNG reading through libspng, which parses, inflates and unfilters; this file chooses what each file
// may load into, and turns libspng's rows into the target's pixels.
//
// What loads, by colour type and bit depth of the file and kind of the target:
//
//   1-bit gray                  BW1 as packed bits (13), BW8 as 0 and 255 (13)
//   2-, 4-, 8-bit gray          BW8, scaled as PNG defines: v x 255 / (2^bits - 1) (14)
//   16-bit gray                 BW16 in machine order (14)
//   gray and alpha, 8 / 16 bit  as gray of that depth, alpha dropped (14)
//   RGB, RGBA (8 bits)          C24, alpha dropped (15)
//   palette, any index depth    C24, expanded (15); also BW8 when every entry is a gray (14)
//
// tRNS, gAMA, sBIT and colour profiles are not applied: the samples load as they are stored.
//
// Refusals, in this order:
//   16-bit RGB or RGBA, which no kind holds            K_ERROR_UNSUPPORTED_PNG_FORMAT
//   any file into C15 or C16                            K_ERROR_UNSUPPORTED_PNG_FORMAT
//   anything but 1-bit gray into BW1                    K_ERROR_BILEVEL_IMAGE_EXPECTED
//   gray or gray and alpha into C24                     K_ERROR_COLOR_IMAGE_EXPECTED
//   RGB, RGBA or a colour palette into BW8 or BW16      K_ERROR_GRAY_IMAGE_EXPECTED
//   16-bit gray into BW8, gray of 8 bits or fewer
//   (or a gray palette) into BW16                       K_ERROR_UNSUPPORTED_PNG_FORMAT
//   a damaged file: bad signature or chunk structure, a critical chunk's CRC, a decoder error, a
//   file that ends before IEND                          K_ERROR_PNG_READ (K_ERROR_FILE_READ when the
//                                                       system failed to read)
// The zlib stream's Adler-32 is not checked: the CRC-32 of every IDAT chunk covers the same bytes.
//
// Bad input: no chunk may claim more bytes than the file has left (checked as the bytes go to libspng,
// before it allocates for the chunk); an image whose pixels need more inflated bytes than deflate can
// make of the whole file (1032 per byte) is refused before the target is resized; and no buffer that
// libspng keeps for a chunk may be larger than the same bound. libspng grows the buffer of a compressed
// text by doubling it, so a text that inflates to more than about half the bound does not fit: the file
// is then read once more with that chunk hidden from libspng, and the image loads without that text (the
// later chunks of its keyword are hidden too: none of them stands in for it).

#include <spng.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kvbase/files/internal/deflate.h"
#include "kvbase/files/internal/png_format.h"
#include "kvbase/files/internal/positional_read.h"
#include "kvbase/files/internal/sample_rows.h"
#include "kvbase/files/internal/tiff_rgb.h"

namespace kvbase::internal {
namespace {

// Follows the chunk structure of the bytes that libspng reads, in order: the signature, then for each
// chunk its length and type, its data and its CRC. A chunk whose data and CRC would run past the end of
// the file is refused as soon as its length is seen. The walk knows which chunk libspng is reading: the
// last one whose header has gone by.
class KChunkWalk {
 public:
  explicit KChunkWalk(std::uint64_t fileSize) : fileSize_(fileSize) {}

  // Takes `count` bytes that start at file offset `start`; false when they hold a lying chunk length.
  bool See(const unsigned char* bytes, std::uint64_t start, std::size_t count) {
    const std::uint64_t end = start + count;
    while (true) {
      const std::uint64_t from = std::max(start, headerAt_), to = std::min(end, headerAt_ + 8);
      for (std::uint64_t at = from; at < to; ++at) header_[at - headerAt_] = bytes[at - start];
      if (headerAt_ + 8 > end) return true;  // the rest of this header comes with the next bytes
      const std::uint64_t length = png::GetU32(header_);
      if (length > png::kMaxLength || headerAt_ + 12 + length > fileSize_) return false;
      lastChunk_ = headerAt_;
      std::memcpy(lastType_, header_ + 4, 4);
      headerAt_ += 12 + length;
    }
  }

  // The offset of the chunk being read.
  std::uint64_t LastChunk() const { return lastChunk_; }
  // Whether the chunk being read is one that libspng inflates into a buffer of its own: a text or a
  // colour profile, which the image does not need.
  bool LastInflates() const {
    for (const char* type : {"zTXt", "iTXt", "iCCP"})
      if (std::memcmp(lastType_, type, 4) == 0) return true;
    return false;
  }

 private:
  std::uint64_t fileSize_;
  std::uint64_t headerAt_ = png::kSignatureSize;  // offset of the next chunk's length field
  unsigned char header_[8] = {};
  std::uint64_t lastChunk_ = 0;
  char lastType_[4] = {};
};

// At most this many chunks over libspng's limits are hidden from it, each costing one more reading of the
// file.
constexpr std::size_t kMostHidden = 16;

// The file as libspng's input stream.
struct KPngInput {
  std::FILE* file;
  std::uint64_t position;
  KChunkWalk walk;
  const std::vector<std::uint64_t>& hidden;  // offsets of the chunks that libspng is not to read, sorted
  bool systemFailed;                         // the system could not read: K_ERROR_FILE_READ, not a damaged file
  bool overLimit;                            // libspng stopped at a chunk that needs more memory than its limits allow
};

KPngInput InputOf(const KLoadContext& context, const std::vector<std::uint64_t>& hidden) {
  return {context.file, 0, KChunkWalk(static_cast<std::uint64_t>(context.fileSize)), hidden, false, false};
}

// Gives the hidden chunks a private ancillary type that libspng does not know, as their bytes go by:
// libspng passes over such a chunk without keeping its data (its CRC no longer matches either, which
// libspng also takes as a reason to drop an ancillary chunk).
// `hidden` is sorted, so each call looks only at the chunks whose type may lie in its bytes: a file may
// hide many.
void HideChunks(const KPngInput& input, unsigned char* bytes, std::size_t count) {
  static constexpr char kUnknownType[4] = {'k', 'v', 'H', 'd'};
  const std::uint64_t end = input.position + count;  // a type at [chunk + 4, chunk + 8) overlaps the bytes
  auto chunk = std::lower_bound(input.hidden.begin(), input.hidden.end(), input.position >= 7 ? input.position - 7 : 0);
  for (; chunk != input.hidden.end() && *chunk + 4 < end; ++chunk) {
    for (std::uint64_t i = 0; i < 4; ++i) {
      const std::uint64_t at = *chunk + 4 + i;  // the type follows the 4-byte length
      if (at >= input.position && at - input.position < count) bytes[at - input.position] = kUnknownType[i];
    }
  }
}

// The walk checks the bytes exactly as libspng gets them, hidden types included.
int ReadInput(spng_ctx*, void* user, void* bytes, std::size_t count) {
  auto& input = *static_cast<KPngInput*>(user);
  if (std::fread(bytes, 1, count, input.file) != count) {
    if (std::ferror(input.file)) input.systemFailed = true;
    return SPNG_IO_EOF;
  }
  auto* data = static_cast<unsigned char*>(bytes);
  HideChunks(input, data, count);
  if (!input.walk.See(data, input.position, count)) return SPNG_IO_ERROR;
  input.position += count;
  return 0;
}

struct KSpngFree {
  void operator()(spng_ctx* decoder) const { spng_ctx_free(decoder); }
};
using KDecoder = std::unique_ptr<spng_ctx, KSpngFree>;

// The most inflated bytes that the file could hold.
std::uint64_t MaxInflated(const KLoadContext& context) {
  const std::uint64_t size = context.fileSize > 0 ? static_cast<std::uint64_t>(context.fileSize) : 0;
  return size > UINT64_MAX / kDeflateMaxGain ? UINT64_MAX : size * kDeflateMaxGain;
}

// A decoder reading the context's file from its start, with its limits set from the file's size.
K_ERRORS OpenDecoder(KLoadContext& context, KPngInput& input, KDecoder& decoder) {
  if (std::fseek(context.file, 0, SEEK_SET) != 0) return K_ERROR_FILE_READ;
  // Every IDAT chunk's CRC-32 is checked, which covers the same bytes as the zlib stream's Adler-32
  // more strongly; skipping the second check saves a tenth of a gray load.
  decoder.reset(spng_ctx_new(SPNG_CTX_IGNORE_ADLER32));
  if (decoder == nullptr) return K_ERROR_ALLOCATION;
  const std::uint64_t inflated = MaxInflated(context);
  // A row holds at least one byte of 8 pixels (1-bit) and one filter byte; each row at least two bytes.
  const auto side = [](std::uint64_t most) {
    return static_cast<std::uint32_t>(std::max<std::uint64_t>(1, std::min<std::uint64_t>(png::kMaxLength, most)));
  };
  // The chunk limit holds the buffer of one inflated chunk (a compressed text or colour profile), which
  // libspng grows by doubling: once the next size would pass the limit it stops the whole decode with
  // SPNG_ECHUNK_LIMITS rather than drop the chunk, and ReadPng hides the chunk and reads the file again.
  // The cache limit holds what all chunks keep.
  const std::size_t chunkLimit = static_cast<std::size_t>(std::min<std::uint64_t>(inflated, png::kMaxLength));
  const std::size_t cacheLimit = static_cast<std::size_t>(std::min<std::uint64_t>(inflated, SIZE_MAX));
  if (spng_set_png_stream(decoder.get(), ReadInput, &input) != 0 ||
      spng_set_image_limits(decoder.get(), side(inflated / 2 * 8), side(inflated / 2)) != 0 ||
      spng_set_chunk_limits(decoder.get(), chunkLimit, cacheLimit) != 0) {
    return K_ERROR_PNG_READ;
  }
  return K_SUCCESS;
}

// What a libspng error means for the load; a chunk over the limits is noted for ReadPng.
K_ERRORS ReadError(int error, KPngInput& input) {
  if (input.systemFailed) return K_ERROR_FILE_READ;
  if (error == SPNG_ECHUNK_LIMITS) input.overLimit = true;
  return error == SPNG_EMEM ? K_ERROR_ALLOCATION : K_ERROR_PNG_READ;
}

// How libspng's rows become the target's: decoded straight into the target row, or into a scratch row
// whose first `keep` of every `stride` bytes go to the target (alpha). A gray palette's indices are
// decoded packed into the target row, which is wide enough for them, and become gray levels there.
struct KRowPlan {
  int decodedFormat;       // SPNG_FMT_*
  std::size_t decodedRow;  // bytes of one decoded row
  std::size_t targetRow;   // bytes of the target row that the finished row fills
  std::size_t stride;      // 0: decoded in place
  std::size_t keep;
  const KPalette* grayLevels;  // a gray palette's table for its indices of `indexBits`; else null
  int indexBits;
  bool swapRedBlue;  // RGB rows become blue, green, red
  short format;      // the format code told on success
};

// The palette of a palette file; a palette file without one is damaged.
int ReadPalette(spng_ctx* decoder, KPalette& palette) {
  spng_plte table;
  const int error = spng_get_plte(decoder, &table);
  if (error != 0) return error;
  for (std::uint32_t i = 0; i < table.n_entries && i < 256; ++i)
    palette.Set(static_cast<int>(i), table.entries[i].red, table.entries[i].green, table.entries[i].blue);
  return 0;
}

KRowPlan Direct(int decodedFormat, std::size_t decodedRow, short format) {
  return {decodedFormat, decodedRow, decodedRow, 0, 0, nullptr, 0, false, format};
}
KRowPlan Kept(int decodedFormat, std::size_t stride, std::size_t keep, std::size_t width, short format) {
  return {decodedFormat, stride * width, keep * width, stride, keep, nullptr, 0, false, format};
}
// Packed indices, (width x bits + 7) / 8 bytes, become `width` gray levels in place.
KRowPlan GrayLevels(const KPalette& levels, int bits, std::size_t width, short format) {
  const std::size_t packed = (width * static_cast<std::size_t>(bits) + 7) / 8;
  return {SPNG_FMT_PNG, packed, width, 0, 0, &levels, bits, false, format};
}

// The plan for a gray target (BW1, BW8, BW16), or the refusal. `grayPalette` is the palette of a
// palette file whose entries are all gray, else null.
K_ERRORS PlanGray(const spng_ihdr& ihdr, const KPalette* grayPalette, const KPixelKind& kind, KRowPlan& plan) {
  const std::size_t width = ihdr.width;
  const int depth = ihdr.bit_depth;
  const bool gray = ihdr.color_type == png::kGray;
  if (kind.type == K_IMAGE_BW1) {
    if (!gray || depth != 1) return K_ERROR_BILEVEL_IMAGE_EXPECTED;
    plan = Direct(SPNG_FMT_PNG, (width + 7) / 8, K_FILE_FORMAT_PNG_BILEVEL);
    return K_SUCCESS;
  }
  const bool grayAlpha = ihdr.color_type == png::kGrayAlpha;
  if (!gray && !grayAlpha && !(ihdr.color_type == png::kPalette && grayPalette != nullptr))
    return K_ERROR_GRAY_IMAGE_EXPECTED;
  const bool wide = kind.type == K_IMAGE_BW16;
  if ((depth == 16) != wide || (ihdr.color_type == png::kPalette && wide)) return K_ERROR_UNSUPPORTED_PNG_FORMAT;
  if (ihdr.color_type == png::kPalette) {
    plan = GrayLevels(*grayPalette, depth, width, K_FILE_FORMAT_PNG_GRAY);
  } else if (grayAlpha) {
    plan = wide ? Kept(SPNG_FMT_PNG, 4, 2, width, K_FILE_FORMAT_PNG_GRAY)
                : Kept(SPNG_FMT_PNG, 2, 1, width, K_FILE_FORMAT_PNG_GRAY);
  } else if (wide || depth == 8) {
    plan = Direct(SPNG_FMT_PNG, width * (wide ? 2 : 1), K_FILE_FORMAT_PNG_GRAY);
  } else {  // 1, 2 or 4 bits, scaled by libspng
    plan = Direct(SPNG_FMT_G8, width, depth == 1 ? K_FILE_FORMAT_PNG_BILEVEL : K_FILE_FORMAT_PNG_GRAY);
  }
  return K_SUCCESS;
}

K_ERRORS PlanRows(const spng_ihdr& ihdr, const KPalette* grayPalette, const KPixelKind& kind, KRowPlan& plan) {
  const bool rgb = ihdr.color_type == png::kRgb || ihdr.color_type == png::kRgbAlpha;
  if (rgb && ihdr.bit_depth == 16) return K_ERROR_UNSUPPORTED_PNG_FORMAT;
  if (kind.type == K_IMAGE_C15 || kind.type == K_IMAGE_C16) return K_ERROR_UNSUPPORTED_PNG_FORMAT;
  if (kind.type == K_IMAGE_C24) {
    if (!rgb && ihdr.color_type != png::kPalette) return K_ERROR_COLOR_IMAGE_EXPECTED;
    plan = Direct(SPNG_FMT_RGB8, std::size_t{3} * ihdr.width, K_FILE_FORMAT_PNG_COLOR);
    plan.swapRedBlue = true;
    return K_SUCCESS;
  }
  return PlanGray(ihdr, grayPalette, kind, plan);
}

// Samples per pixel as stored: a palette file has one, the index. libspng accepts no other colour type.
int SamplesPerPixel(const spng_ihdr& ihdr) {
  static constexpr int kSamples[] = {1, 0, 3, 1, 2, 0, 4};  // by colour type
  return ihdr.color_type <= png::kRgbAlpha ? kSamples[ihdr.color_type] : 0;
}

// True when the image's pixels need more inflated bytes than the file can hold.
bool ClaimsMoreThanTheFileHolds(const spng_ihdr& ihdr, const KLoadContext& context) {
  const std::uint64_t pixelBits = std::uint64_t{ihdr.width} * ihdr.height * SamplesPerPixel(ihdr) * ihdr.bit_depth;
  return pixelBits / 8 + ihdr.height > MaxInflated(context);
}

unsigned char* TargetRow(const KLoadContext& context, std::uint32_t y) {
  return context.pixels + static_cast<std::ptrdiff_t>(y) * context.rowPitch;
}

// Turns decoded row `y`, at `decoded`, into the target's row.
void FinishRow(const KLoadContext& context, const KRowPlan& plan, std::uint32_t y, const unsigned char* decoded) {
  unsigned char* row = TargetRow(context, y);
  const std::size_t width = static_cast<std::size_t>(context.width);
  if (plan.stride != 0) KeepLeadingBytes(decoded, plan.stride, plan.keep, width, row);
  if (plan.grayLevels != nullptr) plan.grayLevels->PackedToGray(row, plan.indexBits, width, row);
  if (plan.swapRedBlue) SwapRedBlue(row, row, width);
}

// Decodes every row into the target. Rows of an interlaced file arrive in seven passes, each filling
// some pixels of some rows, so they are finished once the last pass is done: rows decoded in place wait
// in the target, others (gray and alpha) in a scratch image of the decoded rows. libspng adds the bits of
// sub-byte passes to the bytes already in the row, so rows decoded in place start from zero.
K_ERRORS DecodeRows(spng_ctx* decoder, const KLoadContext& context, const KRowPlan& plan, bool interlaced,
                    KPngInput& input) {
  int error = spng_decode_image(decoder, nullptr, 0, plan.decodedFormat, SPNG_DECODE_PROGRESSIVE);
  if (error != 0) return ReadError(error, input);
  const std::uint32_t height = static_cast<std::uint32_t>(context.height);
  std::unique_ptr<unsigned char[]> scratch;
  if (plan.stride != 0) {
    scratch.reset(new (std::nothrow) unsigned char[plan.decodedRow * (interlaced ? height : 1)]);
    if (scratch == nullptr) return K_ERROR_ALLOCATION;
  }
  if (interlaced && plan.stride == 0)
    for (std::uint32_t y = 0; y < height; ++y) std::memset(TargetRow(context, y), 0, plan.decodedRow);
  const auto decodedRow = [&](std::uint32_t y) {
    return plan.stride == 0 ? TargetRow(context, y) : scratch.get() + (interlaced ? y * plan.decodedRow : 0);
  };
  while (error == 0) {
    spng_row_info row;
    error = spng_get_row_info(decoder, &row);
    if (error != 0) break;
    error = spng_decode_row(decoder, decodedRow(row.row_num), plan.decodedRow);
    if ((error == 0 || error == SPNG_EOI) && !interlaced)
      FinishRow(context, plan, row.row_num, decodedRow(row.row_num));
  }
  if (error != SPNG_EOI) return ReadError(error, input);
  if (interlaced)
    for (std::uint32_t y = 0; y < height; ++y) FinishRow(context, plan, y, decodedRow(y));
  return K_SUCCESS;
}

// Reads the chunks before the image data, which hold pHYs, and takes the resolution from it.
int ReadResolution(spng_ctx* decoder, KLoadContext& context) {
  spng_phys phys;
  const int error = spng_get_phys(decoder, &phys);
  if (error == SPNG_ECHUNKAVAIL) return 0;  // none: the target gets no resolution
  if (error != 0) return error;
  context.resolutionX = static_cast<float>(phys.ppu_x);
  context.resolutionY = static_cast<float>(phys.ppu_y);
  context.unit = phys.unit_specifier == 1 ? &KUnit_m : &KUnitNone;
  return 0;
}

// Gives the target the four texts, each from the first text chunk of its keyword.
void ApplyTexts(spng_ctx* decoder, KGenericROI* target) {
  std::uint32_t count = 0;
  if (spng_get_text(decoder, nullptr, &count) != 0 || count == 0) return;
  std::vector<spng_text> texts(count);
  if (spng_get_text(decoder, texts.data(), &count) != 0) return;
  for (const png::KTextField& field : png::kTextFields) {
    const auto text = std::find_if(texts.begin(), texts.begin() + count,
                                   [&](const spng_text& t) { return std::strcmp(t.keyword, field.keyword) == 0; });
    if (text == texts.begin() + count || text->text == nullptr) continue;
    (target->*field.set)(text->text);  // libspng ends every text with a zero: the target copies it from there
  }
}

// Reads the file once, through `input`.
K_ERRORS ReadOnce(KLoadContext& context, KPngInput& input) {
  KDecoder decoder;
  K_ERRORS result = OpenDecoder(context, input, decoder);
  if (result != K_SUCCESS) return result;
  spng_ihdr ihdr;
  int error = spng_get_ihdr(decoder.get(), &ihdr);
  if (error != 0) return ReadError(error, input);
  KPalette palette;
  if (ihdr.color_type == png::kPalette) error = ReadPalette(decoder.get(), palette);
  if (error != 0) return ReadError(error, input);
  const bool grayPalette = ihdr.color_type == png::kPalette && palette.IsGray();
  KRowPlan plan;
  result = PlanRows(ihdr, grayPalette ? &palette : nullptr, *context.kind, plan);
  if (result != K_SUCCESS) return result;
  if (ClaimsMoreThanTheFileHolds(ihdr, context)) return K_ERROR_PNG_READ;
  std::size_t imageBytes = 0;
  error = spng_decoded_image_size(decoder.get(), plan.decodedFormat, &imageBytes);
  if (error != 0) return ReadError(error, input);
  if (imageBytes / ihdr.height != plan.decodedRow) return K_ERROR_UNSUPPORTED_PNG_FORMAT;

  error = ReadResolution(decoder.get(), context);
  if (error != 0) return ReadError(error, input);
  context.width = static_cast<int>(ihdr.width);
  context.height = static_cast<int>(ihdr.height);
  result = PrepareTarget(context);
  if (result != K_SUCCESS) return result;
  if (plan.targetRow > static_cast<std::size_t>(context.rowLength)) return K_ERROR_UNSUPPORTED_PNG_FORMAT;
  result = DecodeRows(decoder.get(), context, plan, ihdr.interlace_method != 0, input);
  if (result != K_SUCCESS) return result;
  error = spng_decode_chunks(decoder.get());  // the chunks after the image, up to IEND
  if (error != 0) return ReadError(error, input);
  ApplyTexts(decoder.get(), context.target);
  context.format = plan.format;
  return K_SUCCESS;
}

// The keyword of the text chunk at `chunk` (the bytes before its first zero, at most 79), or "" when the
// chunk is no text chunk or cannot be read.
std::string TextKeyword(std::FILE* file, std::uint64_t chunk, std::uint64_t fileSize) {
  unsigned char header[8];
  char keyword[80];
  if (chunk + 12 > fileSize || !ReadAt(file, chunk, header, sizeof header)) return {};
  const bool text = std::memcmp(header + 4, "tEXt", 4) == 0 || std::memcmp(header + 4, "zTXt", 4) == 0 ||
                    std::memcmp(header + 4, "iTXt", 4) == 0;
  const std::size_t bytes = std::min<std::size_t>(png::GetU32(header), sizeof keyword);
  if (!text || !ReadAt(file, chunk + 8, keyword, bytes)) return {};
  const std::size_t length = strnlen(keyword, bytes);
  return length < sizeof keyword ? std::string(keyword, length) : std::string();
}

// Hides the chunk at `chunk`, and with a text chunk every later text chunk of its keyword: the first chunk
// of a keyword gives the field, so none after it may stand in for it. Whether an earlier chunk of the
// keyword gives the field instead is left to libspng, which reads it as it would have.
void Hide(std::FILE* file, std::uint64_t fileSize, std::uint64_t chunk, std::vector<std::uint64_t>& hidden) {
  hidden.push_back(chunk);
  const std::string keyword = TextKeyword(file, chunk, fileSize);
  unsigned char header[8];
  for (std::uint64_t at = chunk; !keyword.empty() && at + 12 <= fileSize && ReadAt(file, at, header, 8);) {
    const std::uint32_t length = png::GetU32(header);
    if (length > png::kMaxLength || std::memcmp(header + 4, "IEND", 4) == 0) break;
    if (at != chunk && TextKeyword(file, at, fileSize) == keyword) hidden.push_back(at);
    at += 12 + std::uint64_t{length};
  }
  std::sort(hidden.begin(), hidden.end());  // an earlier chunk's namesakes may be among them already
  hidden.erase(std::unique(hidden.begin(), hidden.end()), hidden.end());
}

}  // namespace

// A file whose compressed text (or colour profile) needs more memory than libspng may take is read again
// from the start, with that chunk hidden, and so on for each such chunk up to kMostHidden of them; the
// target may already hold an earlier reading's pixels. Other chunks over libspng's limits (more than 1000
// chunks that it keeps, say), and more than kMostHidden such chunks, fail the load with K_ERROR_PNG_READ.
K_ERRORS ReadPng(KLoadContext& context) {
  std::vector<std::uint64_t> hidden;
  const std::uint64_t fileSize = static_cast<std::uint64_t>(context.fileSize);
  for (std::size_t readings = 1;; ++readings) {
    KPngInput input = InputOf(context, hidden);
    const K_ERRORS result = ReadOnce(context, input);
    if (result == K_SUCCESS || !input.overLimit || !input.walk.LastInflates() || readings > kMostHidden) return result;
    Hide(context.file, fileSize, input.walk.LastChunk(), hidden);
  }
}

K_ERRORS DescribePng(KLoadContext& context, KImageFileInfo& info) {
  const std::vector<std::uint64_t> none;
  KPngInput input = InputOf(context, none);
  KDecoder decoder;
  const K_ERRORS opened = OpenDecoder(context, input, decoder);
  if (opened != K_SUCCESS) return opened;
  spng_ihdr ihdr;
  const int error = spng_get_ihdr(decoder.get(), &ihdr);
  if (error != 0) return ReadError(error, input);
  info.width = static_cast<int>(ihdr.width);
  info.height = static_cast<int>(ihdr.height);
  info.samplesPerPixel = SamplesPerPixel(ihdr);
  info.bitsPerSample = ihdr.bit_depth;
  info.hasPalette = ihdr.color_type == png::kPalette ? 1 : 0;
  info.hasAlpha = ihdr.color_type == png::kGrayAlpha || ihdr.color_type == png::kRgbAlpha ? 1 : 0;
  SetInfoText(info.compression, ihdr.interlace_method != 0 ? "Deflate, interlaced" : "Deflate");
  const bool gray = ihdr.color_type == png::kGray || ihdr.color_type == png::kGrayAlpha;
  SetInfoText(info.colorSpace, gray ? "gray" : ihdr.color_type == png::kPalette ? "palette" : "RGB");
  return K_SUCCESS;
}

}  // namespace kvbase::internal
