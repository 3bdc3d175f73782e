// JPEG files through libjpeg-turbo's libjpeg interface: BW8 images as one-component files, C24 images as
// three-component files. Colour rows go to and from the codec in place in the image's blue, green, red
// order (the codec's JCS_EXT_BGR layout); resolution travels in the JFIF density fields. Four-component
// files (CMYK, and YCCK, which the codec turns back into CMYK) load into C24 through a one-row buffer.
//
// A fatal codec error prints the codec's message, destroys the codec object and long-jumps back to the
// step that called the codec, which reports K_ERROR_JPEG_READ or K_ERROR_JPEG_WRITE. The functions that
// set the jump point hold only plain C structures and pointers, so nothing is skipped that needs a
// destructor, and no local that the recovery branch reads is changed after setjmp. A file that ends
// early or has damaged image data, which the codec only warns about, fails with K_ERROR_JPEG_READ too,
// and so does a file of more scans than any image needs.

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
// After jpeglib.h, whose settings it reads.
#include <jerror.h>

#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/jpeg_codec.h"
#include "kvbase/image/roi.h"

namespace kvbase::internal {
namespace {

// The codec's standard error manager with the jump buffer right after it, and what its warnings said.
struct KJpegErrorManager {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  void (*standardEmit)(j_common_ptr, int);
  bool dataLost;  // a warning said that image data was missing or damaged
};

[[noreturn]] void ExitOnFatalError(j_common_ptr codec) {
  (*codec->err->output_message)(codec);
  jpeg_destroy(codec);
  std::longjmp(reinterpret_cast<KJpegErrorManager*>(codec->err)->jump, 1);
}

// The codec only warns when the compressed data ends early or cannot be decoded, and goes on with
// made-up samples (gray, or the last good ones). These warnings mean that the pixels are not the file's.
bool MeansDataLost(int messageCode) {
  switch (messageCode) {
    case JWRN_JPEG_EOF:    // the file ends before the image does
    case JWRN_HIT_MARKER:  // a scan ends before its data does
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:  // a restart marker is missing: data skipped
      return true;
    default: return false;
  }
}

// Notes data-loss warnings, then lets the standard routine print and count the message as ever.
void EmitMessage(j_common_ptr codec, int level) {
  auto* errors = reinterpret_cast<KJpegErrorManager*>(codec->err);
  if (level < 0 && MeansDataLost(errors->manager.msg_code)) errors->dataLost = true;
  errors->standardEmit(codec, level);
}

// Gives a compression or decompression object the error manager; the caller sets the jump point.
template <typename Codec>
void UseErrorManager(Codec& codec, KJpegErrorManager& errors) {
  codec.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = ExitOnFatalError;
  errors.standardEmit = errors.manager.emit_message;
  errors.manager.emit_message = EmitMessage;
  errors.dataLost = false;
}

// Destroys the codec object (harmless when ExitOnFatalError already did) and returns `code`.
template <typename Codec>
K_ERRORS Abandon(Codec& codec, K_ERRORS code) {
  jpeg_destroy(reinterpret_cast<j_common_ptr>(&codec));
  return code;
}

// A JPEG needs at least one Huffman-coded bit per 8 x 8 block for its DC value, so a baseline or
// progressive file holds at most 512 pixels per byte (flat images come close). 16 times that leaves
// room for arithmetic coding while a 200-byte file can still not claim a 65535 x 65535 image.
constexpr unsigned long long kMaxPixelsPerFileByte = 8192;

// Every scan of a progressive or multi-scan file is a pass over the whole image, however few bytes it
// takes: a file that repeats a tiny scan thousands of times would keep the load busy for hours. Files as
// encoders write them have a few dozen scans at most.
constexpr int kMaxScans = 500;

// Called by the codec as it reads; ends the read through the fatal-error routine once the file has more
// scans than any image needs.
void LimitScans(j_common_ptr codec) {
  const int scans = reinterpret_cast<j_decompress_ptr>(codec)->input_scan_number;
  if (scans <= kMaxScans) return;
  codec->err->msg_code = JERR_BAD_SCAN_SCRIPT;
  codec->err->msg_parm.i[0] = scans;
  (*codec->err->error_exit)(codec);
}

// A density field: the resolution truncated toward zero, low 16 bits.
UINT16 Density(float resolution) {
  if (!(resolution > -9.2e18f && resolution < 9.2e18f)) return 0;  // NaN or beyond any 64-bit value
  return static_cast<UINT16>(static_cast<long long>(resolution) & 0xFFFF);
}

void SetDensity(jpeg_compress_struct& codec, const KSaveContext& context) {
  float x = context.resolutionX;
  float y = context.resolutionY;
  KMeasurementUnit* unit = context.unit != nullptr ? context.unit : &KUnitNone;
  if (unit == &KUnitNone) {
    codec.density_unit = 0;
  } else if (unit == &KUnit_inch) {
    codec.density_unit = 1;
  } else {
    codec.density_unit = 2;
    const float factor = unit->ConversionFactorTo(KUnit_cm);
    x /= factor;
    y /= factor;
  }
  codec.X_density = Density(x);
  codec.Y_density = Density(y);
}

KMeasurementUnit* UnitOfDensity(UINT8 densityUnit) {
  if (densityUnit == 1) return &KUnit_inch;
  if (densityUnit == 2) return &KUnit_cm;
  return &KUnitNone;
}

// Whether the file holds four components of ink, CMYK or YCCK, which the codec gives as CMYK.
bool IsCmyk(const jpeg_decompress_struct& codec) {
  return codec.num_components == 4 && codec.out_color_space == JCS_CMYK &&
         (codec.jpeg_color_space == JCS_CMYK || codec.jpeg_color_space == JCS_YCCK);
}

// Header checks against the caller's pixel kind and the file's size; K_SUCCESS when the rows may be read.
K_ERRORS CheckHeader(const jpeg_decompress_struct& codec, const KLoadContext& context) {
  const bool gray = codec.num_components == 1 && codec.out_color_space == JCS_GRAYSCALE;
  const bool colour = (codec.num_components == 3 && codec.out_color_space == JCS_RGB) || IsCmyk(codec);
  if (!gray && !colour) return K_ERROR_UNSUPPORTED_JPEG_FORMAT;
  if (context.kind->planesPerPixel == 1 && colour) return K_ERROR_GRAY_IMAGE_EXPECTED;
  if (context.kind->planesPerPixel == 3 && gray) return K_ERROR_COLOR_IMAGE_EXPECTED;
  const unsigned long long pixels =
      static_cast<unsigned long long>(codec.image_width) * static_cast<unsigned long long>(codec.image_height);
  if (pixels / kMaxPixelsPerFileByte > static_cast<unsigned long long>(context.fileSize)) return K_ERROR_JPEG_READ;
  return K_SUCCESS;
}

// CMYK to the blue, green, red of C24: R = C x K / 255, G = M x K / 255, B = Y x K / 255, rounded to the
// nearest integer. This is how libjpeg-turbo's own tools turn CMYK into RGB (djpeg's PPM and BMP output),
// reading the samples as Adobe's encoders write them: inverted, 255 for no ink. Those tools apply it to
// every CMYK file, with or without an Adobe marker, and so does this reader, since files with the
// uninverted samples the JPEG standard would suggest are rarely met. (x + 127) / 255 is x / 255 rounded
// to nearest: x / 255 never ends in exactly one half, so no tie has to be broken.
void CmykToBgr(const JSAMPLE* cmyk, JDIMENSION width, unsigned char* bgr) {
  for (JDIMENSION i = 0; i < width; ++i, cmyk += 4, bgr += 3) {
    const unsigned k = cmyk[3];
    bgr[0] = static_cast<unsigned char>((cmyk[2] * k + 127) / 255);
    bgr[1] = static_cast<unsigned char>((cmyk[1] * k + 127) / 255);
    bgr[2] = static_cast<unsigned char>((cmyk[0] * k + 127) / 255);
  }
}

// Decodes every row into the target, top to bottom: gray and colour rows straight into it, CMYK rows
// through one row of the codec's own memory, freed with the codec. False when the codec gives fewer rows.
bool DecodeRows(jpeg_decompress_struct& codec, const KLoadContext& context, bool cmyk) {
  JSAMPARRAY cmykRow = nullptr;
  if (cmyk)
    cmykRow =
        (*codec.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&codec), JPOOL_IMAGE, codec.output_width * 4, 1);
  for (int y = 0; y < context.height; ++y) {
    unsigned char* target = context.pixels + static_cast<std::ptrdiff_t>(y) * context.rowPitch;
    JSAMPROW row = cmyk ? cmykRow[0] : target;
    if (jpeg_read_scanlines(&codec, &row, 1) != 1) return false;
    if (cmyk) CmykToBgr(row, codec.output_width, target);
  }
  return true;
}

}  // namespace

K_ERRORS ReadJpeg(KLoadContext& context) {
  // The codec delivers 8-bit samples: one per pixel for BW8, three for C24. Other kinds cannot hold them.
  if (context.kind->type == K_IMAGE_BW1) return K_ERROR_BILEVEL_IMAGE_EXPECTED;
  if (context.kind->type != K_IMAGE_BW8 && context.kind->type != K_IMAGE_C24) return K_ERROR_UNSUPPORTED_JPEG_FORMAT;

  jpeg_decompress_struct codec;
  KJpegErrorManager errors;
  UseErrorManager(codec, errors);
  if (setjmp(errors.jump)) return Abandon(codec, K_ERROR_JPEG_READ);
  jpeg_create_decompress(&codec);
  jpeg_progress_mgr progress = {};
  progress.progress_monitor = LimitScans;
  codec.progress = &progress;
  if (std::fseek(context.file, 0, SEEK_SET) != 0) return Abandon(codec, K_ERROR_FILE_READ);
  jpeg_stdio_src(&codec, context.file);
  jpeg_read_header(&codec, TRUE);

  const K_ERRORS refusal = CheckHeader(codec, context);
  if (refusal != K_SUCCESS) return Abandon(codec, refusal);
  context.width = static_cast<int>(codec.image_width);
  context.height = static_cast<int>(codec.image_height);
  context.unit = UnitOfDensity(codec.density_unit);
  context.resolutionX = static_cast<float>(codec.X_density);
  context.resolutionY = static_cast<float>(codec.Y_density);
  const K_ERRORS prepared = PrepareTarget(context);
  if (prepared != K_SUCCESS) return Abandon(codec, prepared);

  const bool cmyk = IsCmyk(codec);
  if (codec.num_components == 3) codec.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&codec);
  const int targetComponents = cmyk ? 3 : codec.output_components;
  if (codec.output_width != codec.image_width || codec.output_height != codec.image_height ||
      codec.output_components != (cmyk ? 4 : codec.num_components) ||
      static_cast<long long>(codec.output_width) * targetComponents != context.rowLength) {
    return Abandon(codec, K_ERROR_UNSUPPORTED_JPEG_FORMAT);
  }
  if (!DecodeRows(codec, context, cmyk)) return Abandon(codec, K_ERROR_FILE_READ);
  jpeg_finish_decompress(&codec);  // reads on to the end-of-image marker, which must be there too
  if (errors.dataLost) return Abandon(codec, K_ERROR_JPEG_READ);
  jpeg_destroy_decompress(&codec);
  context.format = context.kind->planesPerPixel == 1 ? K_FILE_FORMAT_JPEG_GRAY : K_FILE_FORMAT_JPEG_COLOR;
  return K_SUCCESS;
}

namespace {

const char* ColorSpaceName(J_COLOR_SPACE space) {
  switch (space) {
    case JCS_GRAYSCALE: return "gray";
    case JCS_RGB: return "RGB";
    case JCS_YCbCr: return "YCbCr";
    case JCS_CMYK: return "CMYK";
    case JCS_YCCK: return "YCCK";
    default: return "other";
  }
}

}  // namespace

K_ERRORS DescribeJpeg(KLoadContext& context, KImageFileInfo& info) {
  jpeg_decompress_struct codec;
  KJpegErrorManager errors;
  UseErrorManager(codec, errors);
  if (setjmp(errors.jump)) return Abandon(codec, K_ERROR_JPEG_READ);
  jpeg_create_decompress(&codec);
  if (std::fseek(context.file, 0, SEEK_SET) != 0) return Abandon(codec, K_ERROR_FILE_READ);
  jpeg_stdio_src(&codec, context.file);
  jpeg_read_header(&codec, TRUE);
  info.width = static_cast<int>(codec.image_width);
  info.height = static_cast<int>(codec.image_height);
  info.samplesPerPixel = codec.num_components;
  info.bitsPerSample = codec.data_precision;
  SetInfoText(info.compression, codec.arith_code ? "arithmetic" : codec.progressive_mode ? "progressive" : "baseline");
  SetInfoText(info.colorSpace, ColorSpaceName(codec.jpeg_color_space));
  jpeg_destroy_decompress(&codec);
  return K_SUCCESS;
}

K_ERRORS WriteJpeg(KSaveContext& context) {
  jpeg_compress_struct codec;
  KJpegErrorManager errors;
  UseErrorManager(codec, errors);
  if (setjmp(errors.jump)) return Abandon(codec, K_ERROR_JPEG_WRITE);
  jpeg_create_compress(&codec);
  jpeg_stdio_dest(&codec, context.file);
  const bool colour = context.kind->planesPerPixel == 3;
  codec.image_width = static_cast<JDIMENSION>(context.width);
  codec.image_height = static_cast<JDIMENSION>(context.height);
  codec.input_components = colour ? 3 : 1;
  codec.in_color_space = colour ? JCS_EXT_BGR : JCS_GRAYSCALE;
  jpeg_set_defaults(&codec);
  // Passed on unchanged: the codec limits the quality to 1..100 itself.
  jpeg_set_quality(&codec, static_cast<int>(context.settings.jpegQuality), TRUE);
  SetDensity(codec, context);
  jpeg_start_compress(&codec, TRUE);
  for (int y = 0; y < context.height; ++y) {
    JSAMPROW row = context.pixels + static_cast<std::ptrdiff_t>(y) * context.rowPitch;
    jpeg_write_scanlines(&codec, &row, 1);
  }
  jpeg_finish_compress(&codec);
  jpeg_destroy_compress(&codec);
  return K_SUCCESS;
}

}  // namespace kvbase::internal
