// The PNG container's row in the front's table: its signature, and which pixel kinds each of its codes
// takes (13 bilevel, 14 gray of 8 or 16 bits, 15 colour).

#include <cstring>

#include "kvbase/files/internal/png_format.h"

namespace kvbase::internal {
namespace {

using namespace save_rule;

const KSaveRules kPngRules = {
    {K_FILE_FORMAT_PNG_BILEVEL, K_FILE_FORMAT_PNG_GRAY, K_FILE_FORMAT_PNG_COLOR},
    3,
    {
        /* BW1  */ {{OK, BIL, BIL}, {K_FILE_FORMAT_PNG_BILEVEL, OK}},
        /* BW8  */ {{GRA, OK, GRA}, {K_FILE_FORMAT_PNG_GRAY, OK}},
        /* BW16 */ {{GRA, OK, GRA}, {K_FILE_FORMAT_PNG_GRAY, OK}},
        /* C15  */ {{PNG, PNG, PNG}, {-1, PNG}},
        /* C16  */ {{PNG, PNG, PNG}, {-1, PNG}},
        /* C24  */ {{COL, COL, OK}, {K_FILE_FORMAT_PNG_COLOR, OK}},
    },
};

// The signature, then the first chunk, which must be the 13-byte IHDR: bytes 8 to 15 of every PNG.
KRecognition Recognise(const unsigned char* header) {
  if (std::memcmp(header, png::kSignature, png::kSignatureSize) != 0) return KRecognition::kOther;
  const bool ihdr = png::GetU32(header + 8) == png::kIhdrLength && std::memcmp(header + 12, "IHDR", 4) == 0;
  return ihdr ? KRecognition::kThis : KRecognition::kDamaged;
}

}  // namespace

const KFileFormat kPngFileFormat = {"PNG",     K_FILE_FORMAT_PNG, ".png",  &kPngRules,
                                    Recognise, WritePng,          ReadPng, DescribePng};

}  // namespace kvbase::internal
