// The JPEG container's row in the front's table: its signature, its format codes (9 bilevel, which has
// no writer, 10 gray, 11 colour) and which pixel kinds each takes.

#include <cstring>

#include "kvbase/files/internal/jpeg_codec.h"

namespace kvbase::internal {
namespace {

constexpr K_ERRORS OK = K_SUCCESS;
constexpr K_ERRORS BIL = K_ERROR_BILEVEL_FORMAT_EXPECTED;
constexpr K_ERRORS GRA = K_ERROR_GRAY_FORMAT_EXPECTED;
constexpr K_ERRORS COL = K_ERROR_COLOR_FORMAT_EXPECTED;
constexpr K_ERRORS JPG = K_ERROR_UNSUPPORTED_JPEG_FORMAT;

struct KRule {
  K_ERRORS refused[3];  // codes 9, 10, 11
  KFormatChoice extension;
};

constexpr KRule kRules[kFileKinds] = {
    /* BW1  */ {{OK, BIL, BIL}, {K_FILE_FORMAT_JPEG_BILEVEL, OK}},
    /* BW8  */ {{OK, OK, GRA}, {K_FILE_FORMAT_JPEG_GRAY, OK}},
    /* BW16 */ {{OK, JPG, JPG}, {-1, JPG}},
    /* C15  */ {{OK, JPG, JPG}, {-1, JPG}},
    /* C16  */ {{OK, JPG, JPG}, {-1, JPG}},
    /* C24  */ {{OK, COL, OK}, {K_FILE_FORMAT_JPEG_COLOR, OK}},
};

// A JPEG file starts with the start-of-image marker and the first byte of the next marker, whatever
// segment comes next: JFIF, Exif, Adobe (as CMYK files have) or none at all, as many encoders write.
// A file whose JFIF or Exif segment names itself at byte 6 is a JPEG too, as it always was.
KRecognition Recognise(const unsigned char* header) {
  const bool startOfImage = header[0] == 0xFF && header[1] == 0xD8 && header[2] == 0xFF;
  const bool named = std::memcmp(header + 6, "JFIF", 4) == 0 || std::memcmp(header + 6, "Exif", 4) == 0;
  return startOfImage || named ? KRecognition::kThis : KRecognition::kOther;
}

KFormatChoice FormatForExtension(const KPixelKind& kind) { return kRules[FileKindRow(kind)].extension; }

K_ERRORS CheckSave(const KPixelKind& kind, short format) {
  const K_ERRORS refused = kRules[FileKindRow(kind)].refused[format - K_FILE_FORMAT_JPEG_BILEVEL];
  if (refused != K_SUCCESS) return refused;
  // No writer exists for bilevel JPEG: refused rather than left as an empty file.
  return format == K_FILE_FORMAT_JPEG_BILEVEL ? JPG : OK;
}

}  // namespace

const KFileFormat kJpegFileFormat = {
    "JPEG",                                                                                        // name
    K_FILE_FORMAT_JPEG,                                                                            // containerCode
    ".jpg",                                                                                        // extension
    FormatCodes({K_FILE_FORMAT_JPEG_BILEVEL, K_FILE_FORMAT_JPEG_GRAY, K_FILE_FORMAT_JPEG_COLOR}),  // codes
    Recognise,                                                                                     // Recognise
    FormatForExtension,                                                                            // FormatForExtension
    CheckSave,                                                                                     // CheckSave
    WriteJpeg,                                                                                     // Write
    ReadJpeg,                                                                                      // Read
    DescribeJpeg,                                                                                  // Describe
};

}  // namespace kvbase::internal
