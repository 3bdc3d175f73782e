#ifndef KVBASE_FILES_IMAGE_FILES_H
#define KVBASE_FILES_IMAGE_FILES_H

// Saving and loading images as BMP, TIFF and JPEG files, and the three process-wide file settings.
//
// One KSaveImage and one KLoadImage per supported pixel kind: BW1 (KImage<int>, images only), BW8, BW16,
// C15, C16 and C24 (images or ROIs). Each returns K_SUCCESS (0) or the current error after tracing its own
// name. The Save and Load members of KImage<T> and KROI<T> forward to them.
//
//   KImageBW8 image;
//   short format;
//   if (KLoadImage(&image, "part.bmp", format) == K_SUCCESS) ...   // format: 6, 7 or 8 for a BMP file
//   KSaveImage(&image, "part.tif", K_FILE_FORMAT_AUTO);            // the extension chooses: gray TIFF
//
// Saving: the format code (IMAGE_FILE_TYPES) must suit the pixel kind; K_FILE_FORMAT_AUTO chooses by the
// extension ".bmp", ".tif" or ".jpg", compared case-sensitively. A refused code or extension creates no
// file. Codes 5 and 9 (colour PackBits TIFF, bilevel JPEG) have no writer and are refused
// (K_ERROR_UNSUPPORTED_TIFF_FORMAT, K_ERROR_UNSUPPORTED_JPEG_FORMAT), as are codes outside 0 to 12
// (K_ERROR_PARAMETER_3_OUT_OF_RANGE).
//
// Loading: the container is recognised from the file's first 16 bytes ("II"/"MM" TIFF, "BM" BMP, "JFIF" or
// "Exif" at byte 6 JPEG). An ROI target must have the file's size (K_ERROR_IMAGE_SIZES_DIFFER); an image
// target is resized. `format` receives the file's IMAGE_FILE_TYPES code, or K_FILE_FORMAT_AUTO when the
// load failed before the container was known.

#include "kvbase/image/image.h"
#include "kvbase/image/roi.h"
#include "kvbase/platform/export.h"

KVBASE_API short KSaveImage(KImage<int>* image, const char* path, short format);         // "KImageBW1::Save"
KVBASE_API short KSaveImage(KROI<unsigned char>* roi, const char* path, short format);   // "KROIBW8::Save"
KVBASE_API short KSaveImage(KROI<unsigned short>* roi, const char* path, short format);  // "KROIBW16::Save"
KVBASE_API short KSaveImage(KROI<KC24>* roi, const char* path, short format);            // "KROIC24::Save"
KVBASE_API short KSaveImage(KROI<KC15>* roi, const char* path, short format);            // "KROIC15::Save"
KVBASE_API short KSaveImage(KROI<KC16>* roi, const char* path, short format);            // "KROIC16::Save"

KVBASE_API short KLoadImage(KImage<int>* image, const char* path, short& format);         // "KROIBW1::Load"
KVBASE_API short KLoadImage(KROI<unsigned char>* roi, const char* path, short& format);   // "KROIBW8::Load"
KVBASE_API short KLoadImage(KROI<unsigned short>* roi, const char* path, short& format);  // "KImageBW16::Load"
KVBASE_API short KLoadImage(KROI<KC15>* roi, const char* path, short& format);            // "KImageC15::Load"
KVBASE_API short KLoadImage(KROI<KC16>* roi, const char* path, short& format);            // "KImageC16::Load"
KVBASE_API short KLoadImage(KROI<KC24>* roi, const char* path, short& format);            // "KImageC24::Load"

// JPEG quality handed to the codec as it is (default 50; the codec limits it to 1..100).
KVBASE_API void KSetJpegQuality(unsigned int quality);
// Gray level at and above which a pixel becomes a set bit in bilevel TIFF; the low 8 bits are kept
// (default 128).
KVBASE_API void KSetTiffThreshold(unsigned int threshold);
// Target size of one TIFF strip in bytes; 0 writes the whole image as one strip (default 8192).
KVBASE_API void KSetTiffStripSize(unsigned int bytes);
// zlib compression level of PNG files, 0 (stored) to 9 (smallest); larger values count as 9 (default 6).
KVBASE_API void KSetPngCompressionLevel(unsigned int level);

// 1 when `code`, the result of a load, says that the file may load into another pixel kind: a kind
// mismatch (K_ERROR_BILEVEL/GRAY/COLOR_IMAGE_EXPECTED) or a container's refusal of the target
// (K_ERROR_UNSUPPORTED_..._FORMAT). A program that chooses the kind by the file tries the next kind on
// these, in the order BW1, BW8, BW16, C24, C16, C15, as kvtool does.
KVBASE_API int KIsKindMismatch(K_ERRORS code);

// What an image file holds, read from its headers without its pixels.
struct KImageFileInfo {
  short container;  // K_FILE_FORMAT_TIFF, _BMP, _JPEG or _PNG
  int width;
  int height;
  int samplesPerPixel;   // colour samples and alpha, as stored; a palette file has 1
  int bitsPerSample;     // of the stored samples (palette files: of the index)
  int hasPalette;        // 1 when the samples index a colour table
  int hasAlpha;          // 1 when one of the samples is alpha, which loads drop
  int pages;             // images in the file: 1 but for multi-page TIFF, whose first page loads
  char compression[32];  // how the pixels are stored: "none", "PackBits", "LZW", "Deflate", "RLE8" ...
  char colorSpace[16];   // "gray", "RGB", "palette", "YCbCr", "CMYK", "YCCK"
};

// Fills `info` from the file's headers. Returns K_SUCCESS, or the current error after tracing
// "KGetImageFileInfo": K_ERROR_FILE_OPEN, K_ERROR_FILE_READ, K_ERROR_BAD_FILE_FORMAT, or the container's
// own code for a header it cannot describe.
KVBASE_API short KGetImageFileInfo(const char* path, KImageFileInfo* info);

#endif  // KVBASE_FILES_IMAGE_FILES_H
