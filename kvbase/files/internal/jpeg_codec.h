#ifndef KVBASE_FILES_INTERNAL_JPEG_CODEC_H
#define KVBASE_FILES_INTERNAL_JPEG_CODEC_H

// Reading and writing JPEG files through the codec (jpeg_codec.cpp).

#include "kvbase/files/internal/file_format.h"

namespace kvbase::internal {

K_ERRORS WriteJpeg(KSaveContext& context);
K_ERRORS ReadJpeg(KLoadContext& context);
K_ERRORS DescribeJpeg(KLoadContext& context, KImageFileInfo& info);

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_JPEG_CODEC_H
