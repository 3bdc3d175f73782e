// The TIFF container's row in the front's table: its signature ("II" or "MM" and 42), and which pixel
// kinds each of its codes takes (0 to 5: bilevel, gray and colour, uncompressed or PackBits, colour
// PackBits having no writer; 16 to 19: gray and colour, Deflate or LZW).

#include "kvbase/files/internal/tiff_format.h"

namespace kvbase::internal {
namespace {

using namespace save_rule;

const KSaveRules kTiffRules = {
    {K_FILE_FORMAT_TIFF_BILEVEL, K_FILE_FORMAT_TIFF_GRAY, K_FILE_FORMAT_TIFF_COLOR, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS,
     K_FILE_FORMAT_TIFF_GRAY_PACKBITS, K_FILE_FORMAT_TIFF_COLOR_PACKBITS, K_FILE_FORMAT_TIFF_GRAY_DEFLATE,
     K_FILE_FORMAT_TIFF_COLOR_DEFLATE, K_FILE_FORMAT_TIFF_GRAY_LZW, K_FILE_FORMAT_TIFF_COLOR_LZW},
    10,
    {
        //                0    1    2    3    4    5    16   17   18   19
        /* BW1  */ {{OK, BIL, BIL, OK, BIL, TIF, BIL, BIL, BIL, BIL}, {K_FILE_FORMAT_TIFF_BILEVEL, OK}},
        /* BW8  */ {{OK, OK, GRA, OK, OK, TIF, OK, GRA, OK, GRA}, {K_FILE_FORMAT_TIFF_GRAY, OK}},
        /* BW16 */ {{GRA, OK, GRA, GRA, GRA, TIF, OK, GRA, OK, GRA}, {K_FILE_FORMAT_TIFF_GRAY, OK}},
        /* C15  */ {{TIF, TIF, TIF, TIF, TIF, TIF, TIF, TIF, TIF, TIF}, {-1, TIF}},
        /* C16  */ {{TIF, TIF, TIF, TIF, TIF, TIF, TIF, TIF, TIF, TIF}, {-1, TIF}},
        /* C24  */ {{COL, COL, OK, COL, COL, TIF, COL, OK, COL, OK}, {K_FILE_FORMAT_TIFF_COLOR, OK}},
    },
};

KRecognition Recognise(const unsigned char* h) {
  const bool little = h[0] == 'I' && h[1] == 'I';
  if (!little && !(h[0] == 'M' && h[1] == 'M')) return KRecognition::kOther;
  const int magic = little ? (h[2] | h[3] << 8) : (h[2] << 8 | h[3]);
  return magic == 42 ? KRecognition::kThis : KRecognition::kDamaged;
}

}  // namespace

const KFileFormat kTiffFileFormat = {"TIFF",    K_FILE_FORMAT_TIFF, ".tif",   &kTiffRules,
                                     Recognise, WriteTiff,          ReadTiff, DescribeTiff};

}  // namespace kvbase::internal
