// The BMP container's row in the front's table: its signature, and which pixel kinds each of its codes
// takes (6 bilevel, 7 gray, 8 colour).

#include "kvbase/files/internal/bmp_format.h"

namespace kvbase::internal {
namespace {

using namespace save_rule;

const KSaveRules kBmpRules = {
    {K_FILE_FORMAT_BMP_BILEVEL, K_FILE_FORMAT_BMP_GRAY, K_FILE_FORMAT_BMP_COLOR},
    3,
    {
        /* BW1  */ {{OK, BIL, BIL}, {K_FILE_FORMAT_BMP_BILEVEL, OK}},
        /* BW8  */ {{GRA, OK, GRA}, {K_FILE_FORMAT_BMP_GRAY, OK}},
        /* BW16 */ {{BMP, BMP, BMP}, {-1, BMP}},
        /* C15  */ {{COL, COL, OK}, {K_FILE_FORMAT_BMP_COLOR, OK}},
        /* C16  */ {{COL, COL, OK}, {K_FILE_FORMAT_BMP_COLOR, OK}},
        /* C24  */ {{COL, COL, OK}, {K_FILE_FORMAT_BMP_COLOR, OK}},
    },
};

KRecognition Recognise(const unsigned char* header) {
  return header[0] == 'B' && header[1] == 'M' ? KRecognition::kThis : KRecognition::kOther;
}

}  // namespace

const KFileFormat kBmpFileFormat = {"BMP",     K_FILE_FORMAT_BMP, ".bmp",  &kBmpRules,
                                    Recognise, WriteBmp,          ReadBmp, DescribeBmp};

}  // namespace kvbase::internal
