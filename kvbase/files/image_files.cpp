// The load and save front: format checks per pixel kind, the extension rule, recognition of the
// container, the contexts and settings shared with the BMP, TIFF and JPEG readers and writers, and
// fitting a load's target to the file.

#include "kvbase/files/image_files.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "kvbase/files/internal/file_contexts.h"
#include "kvbase/foundation/internal/report.h"

namespace kvbase::internal {
namespace {

KSaveContext gSaveContext = {nullptr,    kKindBW8, K_FILE_FORMAT_BMP_GRAY, nullptr, 0, 0, 0, 0, 1.0f, 1.0f,
                             &KUnitNone, nullptr};
KLoadContext gLoadContext = {};
unsigned int gJpegQuality = 50;
unsigned char gTiffThreshold = 128;
unsigned int gTiffStripSize = 8192;

}  // namespace

KSaveContext& SaveContext() { return gSaveContext; }
KLoadContext& LoadContext() { return gLoadContext; }
unsigned int JpegQuality() { return gJpegQuality; }
unsigned char TiffThreshold() { return gTiffThreshold; }
unsigned int TiffStripSize() { return gTiffStripSize; }

bool PrepareTarget(KLoadContext& context) {
  KGenericROI* target = context.target;
  // Readers check this too; an image is never sized from a size that is not one.
  if (context.width <= 0 || context.height <= 0) {
    KSetError(K_ERROR_BAD_FILE_FORMAT);
    return false;
  }
  if (target->IsAnROI()) {
    if (target->GetWidth() != context.width || target->GetHeight() != context.height) {
      KSetError(K_ERROR_IMAGE_SIZES_DIFFER);
      return false;
    }
  } else {
    KOk();
    target->SetSize(context.width, context.height);
    if (KGetError() == K_ERROR_ROI_OUT_OF_PARENT) KOk();  // sub-ROIs were re-clipped: not a failure here
    if (KGetError() != K_SUCCESS) return false;
  }
  context.rowPitch = target->GetRowPitch();
  context.skip = target->GetSkip();
  context.rowLength = context.rowPitch - context.skip;
  context.pixels = static_cast<unsigned char*>(target->GetGenericImagePtr(0, 0));
  if (context.resolutionX != 0.0f && context.resolutionY != 0.0f)
    target->SetResolution(context.resolutionX, context.resolutionY, context.unit);
  else
    target->SetResolution(1.0f, 1.0f, &KUnitNone);
  if (context.pixels == nullptr) {
    KSetError(K_ERROR_IMAGE_MEMORY_ACCESS);
    return false;
  }
  return true;
}

}  // namespace kvbase::internal

namespace {

using kvbase::internal::KLoadContext;

// A save stream's buffer, large enough that row-sized writes cost few system calls. It must outlive the
// stream's last use: the stream is closed before the buffer goes.
constexpr size_t kStreamBufferSize = 1 << 20;
std::unique_ptr<char[]> BufferStream(std::FILE* file) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kStreamBufferSize]);
  if (buffer != nullptr) std::setvbuf(file, buffer.get(), _IOFBF, kStreamBufferSize);
  return buffer;
}
using kvbase::internal::KPixelKind;
using kvbase::internal::KSaveContext;

// What a recognised extension means for one pixel kind: a format code, or a refusal.
struct KExtensionChoice {
  short format;
  K_ERRORS error;
};

struct KSaveRules {
  const char* traceName;
  KPixelKind kind;
  K_ERRORS refused[12];  // by format code 0..11; K_SUCCESS where the code is accepted
  KExtensionChoice bmp, tif, jpg;
};

constexpr K_ERRORS OK = K_SUCCESS;
constexpr K_ERRORS BIL = K_ERROR_BILEVEL_FORMAT_EXPECTED;
constexpr K_ERRORS GRA = K_ERROR_GRAY_FORMAT_EXPECTED;
constexpr K_ERRORS COL = K_ERROR_COLOR_FORMAT_EXPECTED;
constexpr K_ERRORS TIF = K_ERROR_UNSUPPORTED_TIFF_FORMAT;
constexpr K_ERRORS BMP = K_ERROR_UNSUPPORTED_BMP_FORMAT;
constexpr K_ERRORS JPG = K_ERROR_UNSUPPORTED_JPEG_FORMAT;

//                                             code: 0    1    2    3    4    5    6    7    8    9    10   11
const KSaveRules kSaveBW1 = {"KImageBW1::Save",
                             kvbase::internal::kKindBW1,
                             {OK, BIL, BIL, OK, BIL, OK, OK, BIL, BIL, OK, BIL, BIL},
                             {6, OK},
                             {0, OK},
                             {9, OK}};
const KSaveRules kSaveBW8 = {
    "KROIBW8::Save", kvbase::internal::kKindBW8, {OK, OK, GRA, OK, OK, OK, GRA, OK, GRA, OK, OK, GRA}, {7, OK}, {1, OK},
    {10, OK}};
const KSaveRules kSaveBW16 = {"KROIBW16::Save",
                              kvbase::internal::kKindBW16,
                              {GRA, OK, GRA, GRA, GRA, OK, BMP, BMP, BMP, OK, JPG, JPG},
                              {-1, BMP},
                              {1, OK},
                              {-1, JPG}};
const KSaveRules kSaveC24 = {"KROIC24::Save",
                             kvbase::internal::kKindC24,
                             {COL, COL, OK, COL, COL, OK, COL, COL, OK, OK, COL, OK},
                             {8, OK},
                             {2, OK},
                             {11, OK}};
const KSaveRules kSaveC15 = {"KROIC15::Save",
                             kvbase::internal::kKindC15,
                             {TIF, TIF, TIF, TIF, TIF, OK, COL, COL, OK, OK, JPG, JPG},
                             {8, OK},
                             {-1, TIF},
                             {-1, JPG}};
const KSaveRules kSaveC16 = {"KROIC16::Save",
                             kvbase::internal::kKindC16,
                             {TIF, TIF, TIF, TIF, TIF, OK, COL, COL, OK, OK, JPG, JPG},
                             {8, OK},
                             {-1, TIF},
                             {-1, JPG}};

// K_FILE_FORMAT_AUTO: the part of the path from its last "." decides, compared case included.
KExtensionChoice FormatFromExtension(const KSaveRules& rules, const char* path) {
  const char* dot = path != nullptr ? std::strrchr(path, '.') : nullptr;
  if (dot == nullptr) return {-1, K_ERROR_UNSUPPORTED_FILE_EXTENSION};
  if (std::strcmp(dot, ".bmp") == 0) return rules.bmp;
  if (std::strcmp(dot, ".tif") == 0) return rules.tif;
  if (std::strcmp(dot, ".jpg") == 0) return rules.jpg;
  return {-1, K_ERROR_UNSUPPORTED_FILE_EXTENSION};
}

// The code to write, or the refusal; nothing has been created yet.
KExtensionChoice ChooseSaveFormat(const KSaveRules& rules, const char* path, short format) {
  if (format < 0 || format > K_FILE_FORMAT_AUTO) return {-1, K_ERROR_PARAMETER_3_OUT_OF_RANGE};
  KExtensionChoice choice = {format, K_SUCCESS};
  if (format == K_FILE_FORMAT_AUTO) {
    choice = FormatFromExtension(rules, path);
    if (choice.error != K_SUCCESS) return choice;
  } else if (rules.refused[format] != K_SUCCESS) {
    return {-1, rules.refused[format]};
  }
  // No writer exists for colour PackBits TIFF or bilevel JPEG: refused rather than left as an empty file.
  if (choice.format == K_FILE_FORMAT_TIFF_COLOR_PACKBITS) return {-1, K_ERROR_UNSUPPORTED_TIFF_FORMAT};
  if (choice.format == K_FILE_FORMAT_JPEG_BILEVEL) return {-1, K_ERROR_UNSUPPORTED_JPEG_FORMAT};
  return choice;
}

void WriteFormat(KSaveContext& context) {
  switch (context.format) {
    case K_FILE_FORMAT_TIFF_BILEVEL:
    case K_FILE_FORMAT_TIFF_GRAY:
    case K_FILE_FORMAT_TIFF_COLOR:
    case K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS:
    case K_FILE_FORMAT_TIFF_GRAY_PACKBITS: return kvbase::internal::WriteTiff(context);
    case K_FILE_FORMAT_BMP_BILEVEL:
    case K_FILE_FORMAT_BMP_GRAY:
    case K_FILE_FORMAT_BMP_COLOR: return kvbase::internal::WriteBmp(context);
    case K_FILE_FORMAT_JPEG_GRAY:
    case K_FILE_FORMAT_JPEG_COLOR: return kvbase::internal::WriteJpeg(context);
    default:  // ChooseSaveFormat lets no other code through
      KSetError(K_ERROR_BAD_FILE_FORMAT);
  }
}

short SaveImage(const KSaveRules& rules, KGenericROI* source, const char* path, short format) {
  const KExtensionChoice choice = ChooseSaveFormat(rules, path, format);
  if (choice.error != K_SUCCESS) return KReport(choice.error, rules.traceName);

  KSaveContext& context = kvbase::internal::SaveContext();
  context.source = source;
  context.kind = rules.kind;
  context.format = choice.format;
  KOk();
  context.pixels = source != nullptr ? static_cast<unsigned char*>(source->GetGenericImagePtr(0, 0)) : nullptr;
  if (context.pixels == nullptr) return KReport(K_ERROR_IMAGE_MEMORY_ACCESS, rules.traceName);
  context.width = source->GetWidth();
  context.height = source->GetHeight();
  context.rowPitch = source->GetRowPitch();
  context.skip = source->GetSkip();
  source->GetResolution(context.resolutionX, context.resolutionY, context.unit);
  if (context.unit == nullptr) context.unit = &KUnitNone;

  // glibc has no commit-on-flush mode ("c" means something else there): flush and close are enough.
  context.file = path != nullptr ? std::fopen(path, "w+b") : nullptr;
  if (context.file == nullptr) return KReport(K_ERROR_FILE_OPEN, rules.traceName);
  const std::unique_ptr<char[]> buffer = BufferStream(context.file);
  KOk();
  WriteFormat(context);
  if (KGetError() != K_SUCCESS) {
    std::fclose(context.file);  // the partial file stays
    context.file = nullptr;
    return KReport(KGetError(), rules.traceName);
  }
  // Bytes still buffered are part of the file: a failed flush or close is a failed save.
  const bool flushed = std::fflush(context.file) == 0;
  const bool closed = std::fclose(context.file) == 0;
  context.file = nullptr;
  if (!flushed) return KReport(K_ERROR_FILE_WRITE, rules.traceName);
  if (!closed) return KReport(K_ERROR_FILE_CLOSE, rules.traceName);
  return K_SUCCESS;
}

// --- Loading ---

// Sets the container's format code from the first 16 bytes, or fails with K_ERROR_BAD_FILE_FORMAT.
bool Recognise(KLoadContext& context) {
  const unsigned char* h = context.header;
  if ((h[0] == 'I' && h[1] == 'I') || (h[0] == 'M' && h[1] == 'M')) {
    const int magic = h[0] == 'I' ? h[2] | h[3] << 8 : h[2] << 8 | h[3];
    if (magic != 42) return KSetError(K_ERROR_BAD_FILE_FORMAT), false;
    context.format = K_FILE_FORMAT_TIFF_GRAY;
    return true;
  }
  if (h[0] == 'B' && h[1] == 'M') {
    context.format = K_FILE_FORMAT_BMP_GRAY;
    return true;
  }
  if (std::memcmp(h + 6, "JFIF", 4) == 0 || std::memcmp(h + 6, "Exif", 4) == 0) {
    context.format = K_FILE_FORMAT_JPEG_GRAY;
    return true;
  }
  KSetError(K_ERROR_BAD_FILE_FORMAT);
  return false;
}

// Opens the file, measures it and reads its first 16 bytes into the context.
bool OpenForLoad(KLoadContext& context, const char* path) {
  context.file = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (context.file == nullptr) return KSetError(K_ERROR_FILE_OPEN), false;
  KOk();
  long size = -1;
  if (std::fseek(context.file, 0, SEEK_END) == 0) size = std::ftell(context.file);
  if (size < 0 || std::fseek(context.file, 0, SEEK_SET) != 0) return KSetError(K_ERROR_FILE_READ), false;
  context.fileSize = size;
  if (std::fread(context.header, 1, sizeof context.header, context.file) != sizeof context.header)
    return KSetError(K_ERROR_FILE_READ), false;
  return true;
}

short LoadImage(const char* traceName, const KPixelKind& kind, KGenericROI* target, const char* path, short& format) {
  format = K_FILE_FORMAT_AUTO;  // "no container recognised" until one is
  KLoadContext& context = kvbase::internal::LoadContext();
  context = KLoadContext{};
  context.target = target;
  context.kind = kind;
  context.format = K_FILE_FORMAT_AUTO;
  KOk();
  context.resolutionX = 0.0f;
  context.resolutionY = 0.0f;
  context.unit = &KUnitNone;
  if (target == nullptr) return KReport(K_ERROR_IMAGE_MEMORY_ACCESS, traceName);

  if (OpenForLoad(context, path) && Recognise(context)) {
    format = context.format;
    if (context.format == K_FILE_FORMAT_TIFF_GRAY)
      kvbase::internal::ReadTiff(context);
    else if (context.format == K_FILE_FORMAT_BMP_GRAY)
      kvbase::internal::ReadBmp(context);
    else
      kvbase::internal::ReadJpeg(context);
    format = context.format;
  }
  if (context.file != nullptr) std::fclose(context.file);
  context.file = nullptr;
  if (KGetError() != K_SUCCESS) return KReport(KGetError(), traceName);
  return K_SUCCESS;
}

}  // namespace

short KSaveImage(KImage<int>* image, const char* path, short format) {
  return SaveImage(kSaveBW1, image, path, format);
}
short KSaveImage(KROI<unsigned char>* roi, const char* path, short format) {
  return SaveImage(kSaveBW8, roi, path, format);
}
short KSaveImage(KROI<unsigned short>* roi, const char* path, short format) {
  return SaveImage(kSaveBW16, roi, path, format);
}
short KSaveImage(KROI<KC24>* roi, const char* path, short format) { return SaveImage(kSaveC24, roi, path, format); }
short KSaveImage(KROI<KC15>* roi, const char* path, short format) { return SaveImage(kSaveC15, roi, path, format); }
short KSaveImage(KROI<KC16>* roi, const char* path, short format) { return SaveImage(kSaveC16, roi, path, format); }

short KLoadImage(KImage<int>* image, const char* path, short& format) {
  return LoadImage("KROIBW1::Load", kvbase::internal::kKindBW1, image, path, format);
}
short KLoadImage(KROI<unsigned char>* roi, const char* path, short& format) {
  return LoadImage("KROIBW8::Load", kvbase::internal::kKindBW8, roi, path, format);
}
short KLoadImage(KROI<unsigned short>* roi, const char* path, short& format) {
  return LoadImage("KImageBW16::Load", kvbase::internal::kKindBW16, roi, path, format);
}
short KLoadImage(KROI<KC15>* roi, const char* path, short& format) {
  return LoadImage("KImageC15::Load", kvbase::internal::kKindC15, roi, path, format);
}
short KLoadImage(KROI<KC16>* roi, const char* path, short& format) {
  return LoadImage("KImageC16::Load", kvbase::internal::kKindC16, roi, path, format);
}
short KLoadImage(KROI<KC24>* roi, const char* path, short& format) {
  return LoadImage("KImageC24::Load", kvbase::internal::kKindC24, roi, path, format);
}

void KSetJpegQuality(unsigned int quality) { kvbase::internal::gJpegQuality = quality; }
void KSetTiffThreshold(unsigned int threshold) {
  kvbase::internal::gTiffThreshold = static_cast<unsigned char>(threshold & 0xFF);
}
void KSetTiffStripSize(unsigned int bytes) { kvbase::internal::gTiffStripSize = bytes; }
