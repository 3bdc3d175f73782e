#ifndef KVBASE_FILES_INTERNAL_TIFF_STRIP_READER_H
#define KVBASE_FILES_INTERNAL_TIFF_STRIP_READER_H

// Reading the plain strip layouts straight into the target's rows, with no buffer for a strip: one
// sample of 1, 8 or 16 bits (black is zero), uncompressed or PackBits, or three 8-bit samples (red,
// green, blue, side by side), uncompressed. 1-bit files load into BW1 (packed, as they are) or BW8 (0
// and 255), 8-bit files into BW8, 16-bit files into BW16 (in the machine's byte order), RGB files into
// C24 (exchanged to blue, green, red).
//
// Rows per strip follow from the byte counts: uncompressed rows of 8 bits and more are read a whole
// row at a time from each strip, everything else is a byte stream that runs on across strip and row
// ends, until the target is full.

#include <cstdint>

#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/tiff_directory.h"

namespace kvbase::internal {

// Whether `d` has one of the layouts above, in strips.
bool IsPlainStripLayout(const KTiffDirectory& d);

// Whether the strips can fill the image from bytes inside the file, counting what each strip can give
// at best: K_ERROR_BAD_FILE_FORMAT for arrays too short or outside the file, K_ERROR_FILE_READ for
// strips that cannot fill the image. Runs before the target is resized, so that a small file never
// sizes a large image.
K_ERRORS CheckPlainStrips(const KLoadContext& context, const KTiffDirectory& d);

// Reads the strips into the target prepared in `context`.
K_ERRORS ReadPlainStrips(const KLoadContext& context, const KTiffDirectory& d);

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_STRIP_READER_H
