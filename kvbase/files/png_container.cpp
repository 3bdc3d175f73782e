// The PNG container's row in the front's table: its signature, its format codes (13 bilevel, 14 gray
// of 8 or 16 bits, 15 colour) and which pixel kinds each takes.

#include <cstring>

#include "kvbase/files/internal/png_format.h"

namespace kvbase::internal {
namespace {

constexpr K_ERRORS OK = K_SUCCESS;
constexpr K_ERRORS BIL = K_ERROR_BILEVEL_FORMAT_EXPECTED;
constexpr K_ERRORS GRA = K_ERROR_GRAY_FORMAT_EXPECTED;
constexpr K_ERRORS COL = K_ERROR_COLOR_FORMAT_EXPECTED;
constexpr K_ERRORS PNG = K_ERROR_UNSUPPORTED_PNG_FORMAT;

struct KRule {
  K_ERRORS refused[3];  // codes 13, 14, 15
  KFormatChoice extension;
};

constexpr KRule kRules[kFileKinds] = {
    /* BW1  */ {{OK, BIL, BIL}, {K_FILE_FORMAT_PNG_BILEVEL, OK}},
    /* BW8  */ {{GRA, OK, GRA}, {K_FILE_FORMAT_PNG_GRAY, OK}},
    /* BW16 */ {{GRA, OK, GRA}, {K_FILE_FORMAT_PNG_GRAY, OK}},
    /* C15  */ {{PNG, PNG, PNG}, {-1, PNG}},
    /* C16  */ {{PNG, PNG, PNG}, {-1, PNG}},
    /* C24  */ {{COL, COL, OK}, {K_FILE_FORMAT_PNG_COLOR, OK}},
};

// The signature, then the first chunk, which must be the 13-byte IHDR: bytes 8 to 15 of every PNG.
KRecognition Recognise(const unsigned char* header) {
  if (std::memcmp(header, png::kSignature, png::kSignatureSize) != 0) return KRecognition::kOther;
  const bool ihdr = png::GetU32(header + 8) == png::kIhdrLength && std::memcmp(header + 12, "IHDR", 4) == 0;
  return ihdr ? KRecognition::kThis : KRecognition::kDamaged;
}

KFormatChoice FormatForExtension(const KPixelKind& kind) { return kRules[FileKindRow(kind)].extension; }

K_ERRORS CheckSave(const KPixelKind& kind, short format) {
  return kRules[FileKindRow(kind)].refused[format - K_FILE_FORMAT_PNG_BILEVEL];
}

}  // namespace

const KFileFormat kPngFileFormat = {
    "PNG",                                                                                      // name
    K_FILE_FORMAT_PNG,                                                                          // containerCode
    ".png",                                                                                     // extension
    FormatCodes({K_FILE_FORMAT_PNG_BILEVEL, K_FILE_FORMAT_PNG_GRAY, K_FILE_FORMAT_PNG_COLOR}),  // codes
    Recognise,                                                                                  // Recognise
    FormatForExtension,                                                                         // FormatForExtension
    CheckSave,                                                                                  // CheckSave
    WritePng,                                                                                   // Write
    ReadPng,                                                                                    // Read
    DescribePng,                                                                                // Describe
};

}  // namespace kvbase::internal
