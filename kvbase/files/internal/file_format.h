#ifndef KVBASE_FILES_INTERNAL_FILE_FORMAT_H
#define KVBASE_FILES_INTERNAL_FILE_FORMAT_H

// One interface for every file container: what the load/save front hands a reader or writer, and the
// row each container adds to the front's table.
//
// The front (image_files.cpp) checks the format code against the container that serves it, opens the
// file and fills a context; a writer writes the source's rows from the save context, a reader reads the
// file's header, checks it against the caller's pixel kind, calls PrepareTarget, and reads rows into the
// target. Readers and writers return a K_ERRORS code and never trace: the front sets the current error
// and traces once.
//
// Bad input: every reader checks what it is told against `fileSize` before it resizes the target or
// allocates anything, and never writes outside the target's rows (height rows of `rowLength` bytes,
// `rowPitch` apart, starting at `pixels`).

#include <cstdint>
#include <cstdio>

#include "kvbase/files/image_files.h"
#include "kvbase/foundation/units.h"
#include "kvbase/image/roi.h"
#include "kvbase/pixels/pixel_types.h"

namespace kvbase::internal {

// The file settings, read once at the start of a save so that a concurrent change cannot tear a file.
struct KFileSettings {
  unsigned int jpegQuality;
  unsigned char tiffThreshold;
  unsigned int tiffStripSize;
  int pngCompressionLevel;  // 0 to 9
};
KFileSettings CurrentFileSettings();

struct KSaveContext {
  KGenericROI* source;
  const KPixelKind* kind;
  short format;           // IMAGE_FILE_TYPES value, never K_FILE_FORMAT_AUTO here
  unsigned char* pixels;  // the source's pixel (0, 0)
  int width;
  int height;
  int rowPitch;  // bytes between the starts of two rows
  int skip;      // bytes from the end of one source row to the start of the next
  float resolutionX;
  float resolutionY;
  KMeasurementUnit* unit;
  std::FILE* file;
  KFileSettings settings;
};

struct KLoadContext {
  KGenericROI* target;
  const KPixelKind* kind;
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

// Copies `text` into a fixed-size field of KImageFileInfo, cut to fit.
template <std::size_t N>
void SetInfoText(char (&field)[N], const char* text) {
  std::size_t i = 0;
  for (; i + 1 < N && text[i] != '\0'; ++i) field[i] = text[i];
  field[i] = '\0';
}

// Fits the target to the file: an ROI must have the file's size (K_ERROR_IMAGE_SIZES_DIFFER), an image
// is resized; then the resolution is set and the target's geometry read into `context`. K_SUCCESS when
// the rows can be read.
K_ERRORS PrepareTarget(KLoadContext& context);

// The format code to save with, or why a code is refused.
struct KFormatChoice {
  short format;
  K_ERRORS error;  // K_SUCCESS when `format` may be written
};

// Containers keep their save rules in tables with one row per kind that has files, in this order:
// BW1, BW8, BW16, C15, C16, C24. The row of `kind`; every kind the front hands over has one.
constexpr int kFileKinds = 6;
int FileKindRow(const KPixelKind& kind);

// A container's save rules: its format codes, and for each kind that has files the refusal of each
// code (K_SUCCESS where the kind may be saved with it) and the code its extension chooses for the kind.
struct KSaveRules {
  static constexpr int kMostCodes = 10;
  struct KRow {
    K_ERRORS refused[kMostCodes];  // in the order of `codes`
    KFormatChoice extension;
  };
  short codes[kMostCodes];
  int codeCount;
  KRow rows[kFileKinds];

  bool Serves(short format) const;
  K_ERRORS Check(const KPixelKind& kind, short format) const;
  KFormatChoice ForExtension(const KPixelKind& kind) const { return rows[FileKindRow(kind)].extension; }
};

// Short names of the refusals, for the containers' tables.
namespace save_rule {
constexpr K_ERRORS OK = K_SUCCESS;
constexpr K_ERRORS BIL = K_ERROR_BILEVEL_FORMAT_EXPECTED;
constexpr K_ERRORS GRA = K_ERROR_GRAY_FORMAT_EXPECTED;
constexpr K_ERRORS COL = K_ERROR_COLOR_FORMAT_EXPECTED;
constexpr K_ERRORS TIF = K_ERROR_UNSUPPORTED_TIFF_FORMAT;
constexpr K_ERRORS BMP = K_ERROR_UNSUPPORTED_BMP_FORMAT;
constexpr K_ERRORS JPG = K_ERROR_UNSUPPORTED_JPEG_FORMAT;
constexpr K_ERRORS PNG = K_ERROR_UNSUPPORTED_PNG_FORMAT;
}  // namespace save_rule

enum class KRecognition {
  kOther,    // not this container's
  kThis,     // this container's: its reader takes the file
  kDamaged,  // this container's signature with a header no file of it has: K_ERROR_BAD_FILE_FORMAT
};

// A container's row in the front's table.
struct KFileFormat {
  const char* name;       // "TIFF", "BMP", "JPEG"
  short containerCode;    // the code a load stores as soon as it recognises the container
  const char* extension;  // the extension by which K_FILE_FORMAT_AUTO chooses this container (".tif")
  const KSaveRules* rules;
  // Whether the file's first 16 bytes are this container's.
  KRecognition (*Recognise)(const unsigned char* header);
  K_ERRORS (*Write)(KSaveContext& context);
  K_ERRORS (*Read)(KLoadContext& context);
  // Fills `info` (all but `container`) from the headers; the context has no target.
  K_ERRORS (*Describe)(KLoadContext& context, KImageFileInfo& info);
};

// The containers, each defined in its own files.
extern const KFileFormat kTiffFileFormat;
extern const KFileFormat kBmpFileFormat;
extern const KFileFormat kJpegFileFormat;
extern const KFileFormat kPngFileFormat;

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_FILE_FORMAT_H
