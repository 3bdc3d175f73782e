// The TIFF container's row in the front's table: its signature ("II" or "MM" and 42), its format codes
// (0 to 5: bilevel, gray and colour, uncompressed or PackBits; 16 to 19: gray and colour, Deflate or
// LZW) and which pixel kinds each takes.

#include "kvbase/files/internal/tiff_format.h"

namespace kvbase::internal {
namespace {

constexpr K_ERRORS OK = K_SUCCESS;
constexpr K_ERRORS BIL = K_ERROR_BILEVEL_FORMAT_EXPECTED;
constexpr K_ERRORS GRA = K_ERROR_GRAY_FORMAT_EXPECTED;
constexpr K_ERRORS COL = K_ERROR_COLOR_FORMAT_EXPECTED;
constexpr K_ERRORS TIF = K_ERROR_UNSUPPORTED_TIFF_FORMAT;

struct KRule {
  K_ERRORS refused[6];     // codes 0 to 5
  K_ERRORS compressed[4];  // codes 16 to 19: gray Deflate, colour Deflate, gray LZW, colour LZW
  KFormatChoice extension;
};

constexpr KRule kRules[kFileKinds] = {
    /* BW1  */ {{OK, BIL, BIL, OK, BIL, OK}, {BIL, BIL, BIL, BIL}, {K_FILE_FORMAT_TIFF_BILEVEL, OK}},
    /* BW8  */ {{OK, OK, GRA, OK, OK, OK}, {OK, GRA, OK, GRA}, {K_FILE_FORMAT_TIFF_GRAY, OK}},
    /* BW16 */ {{GRA, OK, GRA, GRA, GRA, OK}, {OK, GRA, OK, GRA}, {K_FILE_FORMAT_TIFF_GRAY, OK}},
    /* C15  */ {{TIF, TIF, TIF, TIF, TIF, OK}, {TIF, TIF, TIF, TIF}, {-1, TIF}},
    /* C16  */ {{TIF, TIF, TIF, TIF, TIF, OK}, {TIF, TIF, TIF, TIF}, {-1, TIF}},
    /* C24  */ {{COL, COL, OK, COL, COL, OK}, {COL, OK, COL, OK}, {K_FILE_FORMAT_TIFF_COLOR, OK}},
};

KRecognition Recognise(const unsigned char* h) {
  const bool little = h[0] == 'I' && h[1] == 'I';
  if (!little && !(h[0] == 'M' && h[1] == 'M')) return KRecognition::kOther;
  const int magic = little ? (h[2] | h[3] << 8) : (h[2] << 8 | h[3]);
  return magic == 42 ? KRecognition::kThis : KRecognition::kDamaged;
}

KFormatChoice FormatForExtension(const KPixelKind& kind) { return kRules[FileKindRow(kind)].extension; }

K_ERRORS CheckSave(const KPixelKind& kind, short format) {
  const KRule& rule = kRules[FileKindRow(kind)];
  if (format >= K_FILE_FORMAT_TIFF_GRAY_DEFLATE) return rule.compressed[format - K_FILE_FORMAT_TIFF_GRAY_DEFLATE];
  const K_ERRORS refused = rule.refused[format];
  if (refused != K_SUCCESS) return refused;
  // No writer exists for colour PackBits: refused rather than left as an empty file.
  return format == K_FILE_FORMAT_TIFF_COLOR_PACKBITS ? TIF : OK;
}

}  // namespace

const KFileFormat kTiffFileFormat = {
    "TIFF",              // name
    K_FILE_FORMAT_TIFF,  // containerCode
    ".tif",              // extension
    FormatCodes({K_FILE_FORMAT_TIFF_BILEVEL, K_FILE_FORMAT_TIFF_GRAY, K_FILE_FORMAT_TIFF_COLOR,
                 K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS, K_FILE_FORMAT_TIFF_GRAY_PACKBITS,
                 K_FILE_FORMAT_TIFF_COLOR_PACKBITS, K_FILE_FORMAT_TIFF_GRAY_DEFLATE, K_FILE_FORMAT_TIFF_COLOR_DEFLATE,
                 K_FILE_FORMAT_TIFF_GRAY_LZW, K_FILE_FORMAT_TIFF_COLOR_LZW}),  // codes
    Recognise,                                                                 // Recognise
    FormatForExtension,                                                        // FormatForExtension
    CheckSave,                                                                 // CheckSave
    WriteTiff,                                                                 // Write
    ReadTiff,                                                                  // Read
    DescribeTiff,                                                              // Describe
};

}  // namespace kvbase::internal
