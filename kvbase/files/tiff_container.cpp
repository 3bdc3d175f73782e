// The TIFF container's row in the front's table: its signature ("II" or "MM" and 42), its format codes
// (0 to 5: bilevel, gray and colour, uncompressed or PackBits) and which pixel kinds each takes.

#include "kvbase/files/internal/tiff_format.h"

namespace kvbase::internal {
namespace {

constexpr K_ERRORS OK = K_SUCCESS;
constexpr K_ERRORS BIL = K_ERROR_BILEVEL_FORMAT_EXPECTED;
constexpr K_ERRORS GRA = K_ERROR_GRAY_FORMAT_EXPECTED;
constexpr K_ERRORS COL = K_ERROR_COLOR_FORMAT_EXPECTED;
constexpr K_ERRORS TIF = K_ERROR_UNSUPPORTED_TIFF_FORMAT;

struct KRule {
  K_ERRORS refused[6];  // codes 0 to 5
  KFormatChoice extension;
};

constexpr KRule kRules[kFileKinds] = {
    /* BW1  */ {{OK, BIL, BIL, OK, BIL, OK}, {K_FILE_FORMAT_TIFF_BILEVEL, OK}},
    /* BW8  */ {{OK, OK, GRA, OK, OK, OK}, {K_FILE_FORMAT_TIFF_GRAY, OK}},
    /* BW16 */ {{GRA, OK, GRA, GRA, GRA, OK}, {K_FILE_FORMAT_TIFF_GRAY, OK}},
    /* C15  */ {{TIF, TIF, TIF, TIF, TIF, OK}, {-1, TIF}},
    /* C16  */ {{TIF, TIF, TIF, TIF, TIF, OK}, {-1, TIF}},
    /* C24  */ {{COL, COL, OK, COL, COL, OK}, {K_FILE_FORMAT_TIFF_COLOR, OK}},
};

KRecognition Recognise(const unsigned char* h) {
  const bool little = h[0] == 'I' && h[1] == 'I';
  if (!little && !(h[0] == 'M' && h[1] == 'M')) return KRecognition::kOther;
  const int magic = little ? (h[2] | h[3] << 8) : (h[2] << 8 | h[3]);
  return magic == 42 ? KRecognition::kThis : KRecognition::kDamaged;
}

KFormatChoice FormatForExtension(const KPixelKind& kind) { return kRules[FileKindRow(kind)].extension; }

K_ERRORS CheckSave(const KPixelKind& kind, short format) {
  const K_ERRORS refused = kRules[FileKindRow(kind)].refused[format];
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
                 K_FILE_FORMAT_TIFF_COLOR_PACKBITS}),  // codes
    Recognise,                                         // Recognise
    FormatForExtension,                                // FormatForExtension
    CheckSave,                                         // CheckSave
    WriteTiff,                                         // Write
    ReadTiff,                                          // Read
    DescribeTiff,                                      // Describe
};

}  // namespace kvbase::internal
