// The JPEG container's row in the front's table: its signature, and which pixel kinds each of its codes
// takes (10 gray, 11 colour; 9, bilevel, has no writer and is refused for every kind).

#include <cstring>

#include "kvbase/files/internal/jpeg_codec.h"

namespace kvbase::internal {
namespace {

using namespace save_rule;

const KSaveRules kJpegRules = {
    {K_FILE_FORMAT_JPEG_BILEVEL, K_FILE_FORMAT_JPEG_GRAY, K_FILE_FORMAT_JPEG_COLOR},
    3,
    {
        /* BW1  */ {{JPG, BIL, BIL}, {K_FILE_FORMAT_JPEG_BILEVEL, OK}},
        /* BW8  */ {{JPG, OK, GRA}, {K_FILE_FORMAT_JPEG_GRAY, OK}},
        /* BW16 */ {{JPG, JPG, JPG}, {-1, JPG}},
        /* C15  */ {{JPG, JPG, JPG}, {-1, JPG}},
        /* C16  */ {{JPG, JPG, JPG}, {-1, JPG}},
        /* C24  */ {{JPG, COL, OK}, {K_FILE_FORMAT_JPEG_COLOR, OK}},
    },
};

// A JPEG file starts with the start-of-image marker and the first byte of the next marker, whatever
// segment comes next: JFIF, Exif, Adobe (as CMYK files have) or none at all, as many encoders write.
// A file whose JFIF or Exif segment names itself at byte 6 is a JPEG too, as it always was.
KRecognition Recognise(const unsigned char* header) {
  const bool startOfImage = header[0] == 0xFF && header[1] == 0xD8 && header[2] == 0xFF;
  const bool named = std::memcmp(header + 6, "JFIF", 4) == 0 || std::memcmp(header + 6, "Exif", 4) == 0;
  return startOfImage || named ? KRecognition::kThis : KRecognition::kOther;
}

}  // namespace

const KFileFormat kJpegFileFormat = {"JPEG",    K_FILE_FORMAT_JPEG, ".jpg",   &kJpegRules,
                                     Recognise, WriteJpeg,          ReadJpeg, DescribeJpeg};

}  // namespace kvbase::internal
