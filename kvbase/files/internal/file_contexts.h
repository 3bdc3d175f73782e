#ifndef KVBASE_FILES_INTERNAL_FILE_CONTEXTS_H
#define KVBASE_FILES_INTERNAL_FILE_CONTEXTS_H

// What the load/save front hands to the format readers and writers, and what they hand back.
//
// The front (image_files.cpp) checks the format code, opens the file and fills a context; a writer
// (BMP, TIFF, JPEG) then writes the source's rows from the save context, and a reader reads the file's
// header, checks it against the caller's pixel kind, calls PrepareTarget, and reads rows into the target.
// Readers and writers report through the current error (KSetError, never traced: the front traces);
// success is K_SUCCESS, set with KOk at the end.
//
// Bad input: every reader checks what it is told against `fileSize` before it resizes the target or
// allocates anything, and never writes outside the target's rows (height rows of `rowLength` bytes,
// `rowPitch` apart, starting at `pixels`).

#include <cstdio>

#include "kvbase/foundation/units.h"
#include "kvbase/image/generic_roi.h"

namespace kvbase::internal {

// The caller's pixel kind: planes per pixel (1 or 3) and bits per plane.
struct KPixelKind {
  int planes;
  int bits[3];

  int TotalBits() const { return planes == 1 ? bits[0] : bits[0] + bits[1] + bits[2]; }
  bool IsBilevel() const { return planes == 1 && bits[0] == 1; }
};

constexpr KPixelKind kKindBW1 = {1, {1, 0, 0}};
constexpr KPixelKind kKindBW8 = {1, {8, 0, 0}};
constexpr KPixelKind kKindBW16 = {1, {16, 0, 0}};
constexpr KPixelKind kKindC15 = {3, {5, 5, 5}};
constexpr KPixelKind kKindC16 = {3, {5, 6, 5}};
constexpr KPixelKind kKindC24 = {3, {8, 8, 8}};

struct KSaveContext {
  KGenericROI* source;
  KPixelKind kind;
  int format;             // IMAGE_FILE_TYPES value, never K_FILE_FORMAT_AUTO here
  unsigned char* pixels;  // the source's pixel (0, 0)
  int width;
  int height;
  int rowPitch;  // bytes between the starts of two rows
  int skip;      // bytes from the end of one source row to the start of the next
  float resolutionX;
  float resolutionY;
  KMeasurementUnit* unit;
  std::FILE* file;
};

struct KLoadContext {
  KGenericROI* target;
  KPixelKind kind;
  std::FILE* file;
  long long fileSize;        // bytes in the whole file
  unsigned char header[16];  // the file's first 16 bytes
  short format;              // IMAGE_FILE_TYPES value found; readers refine it
  // Filled by the reader before PrepareTarget:
  int width;
  int height;
  float resolutionX;  // 0 when the file has none
  float resolutionY;
  KMeasurementUnit* unit;
  // Filled by PrepareTarget:
  unsigned char* pixels;  // the target's pixel (0, 0)
  int rowPitch;
  int skip;
  int rowLength;  // rowPitch - skip: bytes of pixel data in one target row
};

// The process-wide contexts and settings.
KSaveContext& SaveContext();
KLoadContext& LoadContext();
unsigned int JpegQuality();
unsigned char TiffThreshold();
unsigned int TiffStripSize();

// Fits the target to the file: an ROI must have the file's size (K_ERROR_IMAGE_SIZES_DIFFER), an image
// is resized; then the resolution is set and the target's geometry read into `context`. Returns false
// with the error set when the rows cannot be read.
bool PrepareTarget(KLoadContext& context);

// Format writers and readers. Writers get an open file and a filled save context; readers get the load
// context with the file positioned anywhere and the header bytes read.
void WriteBmp(KSaveContext& context);
void ReadBmp(KLoadContext& context);
void WriteTiff(KSaveContext& context);
void ReadTiff(KLoadContext& context);
void WriteJpeg(KSaveContext& context);
void ReadJpeg(KLoadContext& context);

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_FILE_CONTEXTS_H
