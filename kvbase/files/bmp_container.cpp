// The BMP container's row in the front's table: its signature, its format codes (6 bilevel, 7 gray,
// 8 colour) and which pixel kinds each of them takes.

#include "kvbase/files/internal/bmp_format.h"

namespace kvbase::internal {
namespace {

constexpr K_ERRORS OK = K_SUCCESS;
constexpr K_ERRORS BIL = K_ERROR_BILEVEL_FORMAT_EXPECTED;
constexpr K_ERRORS GRA = K_ERROR_GRAY_FORMAT_EXPECTED;
constexpr K_ERRORS COL = K_ERROR_COLOR_FORMAT_EXPECTED;
constexpr K_ERRORS BMP = K_ERROR_UNSUPPORTED_BMP_FORMAT;

struct KRule {
  K_ERRORS refused[3];  // codes 6, 7, 8
  KFormatChoice extension;
};

constexpr KRule kRules[kFileKinds] = {
    /* BW1  */ {{OK, BIL, BIL}, {K_FILE_FORMAT_BMP_BILEVEL, OK}},
    /* BW8  */ {{GRA, OK, GRA}, {K_FILE_FORMAT_BMP_GRAY, OK}},
    /* BW16 */ {{BMP, BMP, BMP}, {-1, BMP}},
    /* C15  */ {{COL, COL, OK}, {K_FILE_FORMAT_BMP_COLOR, OK}},
    /* C16  */ {{COL, COL, OK}, {K_FILE_FORMAT_BMP_COLOR, OK}},
    /* C24  */ {{COL, COL, OK}, {K_FILE_FORMAT_BMP_COLOR, OK}},
};

KRecognition Recognise(const unsigned char* header) {
  return header[0] == 'B' && header[1] == 'M' ? KRecognition::kThis : KRecognition::kOther;
}

KFormatChoice FormatForExtension(const KPixelKind& kind) { return kRules[FileKindRow(kind)].extension; }

K_ERRORS CheckSave(const KPixelKind& kind, short format) {
  return kRules[FileKindRow(kind)].refused[format - K_FILE_FORMAT_BMP_BILEVEL];
}

}  // namespace

const KFileFormat kBmpFileFormat = {
    "BMP",                                                                                      // name
    K_FILE_FORMAT_BMP,                                                                          // containerCode
    ".bmp",                                                                                     // extension
    FormatCodes({K_FILE_FORMAT_BMP_BILEVEL, K_FILE_FORMAT_BMP_GRAY, K_FILE_FORMAT_BMP_COLOR}),  // codes
    Recognise,                                                                                  // Recognise
    FormatForExtension,                                                                         // FormatForExtension
    CheckSave,                                                                                  // CheckSave
    WriteBmp,                                                                                   // Write
    ReadBmp,                                                                                    // Read
    DescribeBmp,                                                                                // Describe
};

}  // namespace kvbase::internal
