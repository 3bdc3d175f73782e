// The load and save front: the table of containers, the choice of the format code to save with, the
// recognition of a file to load, opening and closing the file, and fitting a load's target to the file.
// The containers themselves (BMP, TIFF, JPEG) sit behind the KFileFormat interface.

#include "kvbase/files/image_files.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "kvbase/files/internal/file_format.h"
#include "kvbase/foundation/internal/report.h"

namespace kvbase::internal {
namespace {

// The containers, in the order a load tries to recognise them.
const KFileFormat* const kFileFormats[] = {&kTiffFileFormat, &kBmpFileFormat, &kJpegFileFormat, &kPngFileFormat};

// The file settings: process-wide, set once at start-up as a rule, read without a data race from any
// thread. A save reads them once, at its start (CurrentFileSettings).
std::atomic<unsigned int> gJpegQuality{50};
std::atomic<unsigned char> gTiffThreshold{128};
std::atomic<unsigned int> gTiffStripSize{8192};
std::atomic<int> gPngCompressionLevel{6};

}  // namespace

KFileSettings CurrentFileSettings() { return {gJpegQuality, gTiffThreshold, gTiffStripSize, gPngCompressionLevel}; }

int FileKindRow(const KPixelKind& kind) {
  switch (kind.type) {
    case K_IMAGE_BW1: return 0;
    case K_IMAGE_BW8: return 1;
    case K_IMAGE_BW16: return 2;
    case K_IMAGE_C15: return 3;
    case K_IMAGE_C16: return 4;
    default: return 5;  // C24
  }
}

bool KSaveRules::Serves(short format) const {
  for (int i = 0; i < codeCount; ++i)
    if (codes[i] == format) return true;
  return false;
}

K_ERRORS KSaveRules::Check(const KPixelKind& kind, short format) const {
  for (int i = 0; i < codeCount; ++i)
    if (codes[i] == format) return rows[FileKindRow(kind)].refused[i];
  return K_ERROR_PARAMETER_3_OUT_OF_RANGE;
}

K_ERRORS PrepareTarget(KLoadContext& context) {
  KGenericROI* target = context.target;
  // Readers check this too; an image is never sized from a size that is not one.
  if (context.width <= 0 || context.height <= 0) return K_ERROR_BAD_FILE_FORMAT;
  if (target->IsAnROI()) {
    if (target->GetWidth() != context.width || target->GetHeight() != context.height) {
      return K_ERROR_IMAGE_SIZES_DIFFER;
    }
  } else {
    KOk();
    target->SetSize(context.width, context.height);
    if (KGetError() == K_ERROR_ROI_OUT_OF_PARENT) KOk();  // sub-ROIs were re-clipped: not a failure here
    if (KGetError() != K_SUCCESS) return KGetError();
  }
  context.rowPitch = target->GetRowPitch();
  context.skip = target->GetSkip();
  context.rowLength = context.rowPitch - context.skip;
  context.pixels = static_cast<unsigned char*>(target->GetGenericImagePtr(0, 0));
  if (context.resolutionX != 0.0f && context.resolutionY != 0.0f)
    target->SetResolution(context.resolutionX, context.resolutionY, context.unit);
  else
    target->SetResolution(1.0f, 1.0f, &KUnitNone);
  return context.pixels == nullptr ? K_ERROR_IMAGE_MEMORY_ACCESS : K_SUCCESS;
}

namespace {

// The trace names of the free functions, by kind (the row order of FileKindRow).
constexpr const char* kSaveTraceNames[] = {"KImageBW1::Save", "KROIBW8::Save", "KROIBW16::Save",
                                           "KROIC15::Save",   "KROIC16::Save", "KROIC24::Save"};
constexpr const char* kLoadTraceNames[] = {"KROIBW1::Load",   "KROIBW8::Load",   "KImageBW16::Load",
                                           "KImageC15::Load", "KImageC16::Load", "KImageC24::Load"};

const KFileFormat* ContainerServing(short format) {
  for (const KFileFormat* container : kFileFormats)
    if (container->rules->Serves(format)) return container;
  return nullptr;
}

// K_FILE_FORMAT_AUTO: the part of the path from its last "." chooses the container, compared case
// included.
KFormatChoice FormatFromExtension(const KPixelKind& kind, const char* path) {
  const char* dot = path != nullptr ? std::strrchr(path, '.') : nullptr;
  if (dot != nullptr) {
    for (const KFileFormat* container : kFileFormats)
      if (std::strcmp(dot, container->extension) == 0) return container->rules->ForExtension(kind);
  }
  return {-1, K_ERROR_UNSUPPORTED_FILE_EXTENSION};
}

// The code to write, or the refusal; nothing has been created yet.
KFormatChoice ChooseSaveFormat(const KPixelKind& kind, const char* path, short format) {
  if (format == K_FILE_FORMAT_AUTO) {
    const KFormatChoice choice = FormatFromExtension(kind, path);
    if (choice.error != K_SUCCESS) return choice;
    format = choice.format;
  }
  const KFileFormat* container = ContainerServing(format);
  if (container == nullptr) return {-1, K_ERROR_PARAMETER_3_OUT_OF_RANGE};
  const K_ERRORS refusal = container->rules->Check(kind, format);
  if (refusal != K_SUCCESS) return {-1, refusal};
  return {format, K_SUCCESS};
}

// A save stream's buffer, large enough that row-sized writes cost few system calls. It must outlive the
// stream's last use: the stream is closed before the buffer goes.
constexpr size_t kStreamBufferSize = 1 << 20;
std::unique_ptr<char[]> BufferStream(std::FILE* file) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kStreamBufferSize]);
  if (buffer != nullptr) std::setvbuf(file, buffer.get(), _IOFBF, kStreamBufferSize);
  return buffer;
}

// Opens the file and runs the writer: the code of the save, K_SUCCESS once everything is on disk.
K_ERRORS WriteFile(KSaveContext& context, const char* path) {
  // glibc has no commit-on-flush mode ("c" means something else there): flush and close are enough.
  context.file = path != nullptr ? std::fopen(path, "w+b") : nullptr;
  if (context.file == nullptr) return K_ERROR_FILE_OPEN;
  const std::unique_ptr<char[]> buffer = BufferStream(context.file);
  KOk();
  const K_ERRORS written = ContainerServing(context.format)->Write(context);
  if (written != K_SUCCESS) {
    std::fclose(context.file);  // the partial file stays
    return written;
  }
  // Bytes still buffered are part of the file: a failed flush or close is a failed save.
  const bool flushed = std::fflush(context.file) == 0;
  const bool closed = std::fclose(context.file) == 0;
  if (!flushed) return K_ERROR_FILE_WRITE;
  return closed ? K_SUCCESS : K_ERROR_FILE_CLOSE;
}

short SaveImage(const KPixelKind& kind, KGenericROI* source, const char* path, short format) {
  const char* traceName = kSaveTraceNames[FileKindRow(kind)];
  const KFormatChoice choice = ChooseSaveFormat(kind, path, format);
  if (choice.error != K_SUCCESS) return KReport(choice.error, traceName);

  KSaveContext context{};
  context.source = source;
  context.kind = &kind;
  context.format = choice.format;
  context.settings = CurrentFileSettings();
  KOk();
  context.pixels = source != nullptr ? static_cast<unsigned char*>(source->GetGenericImagePtr(0, 0)) : nullptr;
  if (context.pixels == nullptr) return KReport(K_ERROR_IMAGE_MEMORY_ACCESS, traceName);
  context.width = source->GetWidth();
  context.height = source->GetHeight();
  context.rowPitch = source->GetRowPitch();
  context.skip = source->GetSkip();
  source->GetResolution(context.resolutionX, context.resolutionY, context.unit);
  if (context.unit == nullptr) context.unit = &KUnitNone;

  const K_ERRORS result = WriteFile(context, path);
  if (result != K_SUCCESS) return KReport(result, traceName);
  KOk();
  return K_SUCCESS;
}

// --- Loading ---

// Opens the file, measures it and reads its first 16 bytes into the context.
K_ERRORS OpenForLoad(KLoadContext& context, const char* path) {
  context.file = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (context.file == nullptr) return K_ERROR_FILE_OPEN;
  KOk();
  long size = -1;
  if (std::fseek(context.file, 0, SEEK_END) == 0) size = std::ftell(context.file);
  if (size < 0 || std::fseek(context.file, 0, SEEK_SET) != 0) return K_ERROR_FILE_READ;
  context.fileSize = size;
  if (std::fread(context.header, 1, sizeof context.header, context.file) != sizeof context.header)
    return K_ERROR_FILE_READ;
  return K_SUCCESS;
}

// The container whose signature the file's first bytes have, or the refusal.
K_ERRORS Recognise(const KLoadContext& context, const KFileFormat*& found) {
  for (const KFileFormat* container : kFileFormats) {
    const KRecognition recognition = container->Recognise(context.header);
    if (recognition == KRecognition::kOther) continue;
    if (recognition == KRecognition::kDamaged) return K_ERROR_BAD_FILE_FORMAT;
    found = container;
    return K_SUCCESS;
  }
  return K_ERROR_BAD_FILE_FORMAT;
}

// Recognises the container and lets its reader load the file; `format` is told the container's code
// as soon as it is known, and the reader's refined code at the end.
K_ERRORS ReadFile(KLoadContext& context, const char* path, short& format) {
  K_ERRORS result = OpenForLoad(context, path);
  const KFileFormat* container = nullptr;
  if (result == K_SUCCESS) result = Recognise(context, container);
  if (result != K_SUCCESS) return result;
  format = context.format = container->containerCode;
  result = container->Read(context);
  format = context.format;
  return result;
}

short LoadImage(const KPixelKind& kind, KGenericROI* target, const char* path, short& format) {
  const char* traceName = kLoadTraceNames[FileKindRow(kind)];
  format = K_FILE_FORMAT_AUTO;  // "no container recognised" until one is
  KLoadContext context{};
  context.target = target;
  context.kind = &kind;
  context.format = K_FILE_FORMAT_AUTO;
  context.unit = &KUnitNone;
  KOk();
  if (target == nullptr) return KReport(K_ERROR_IMAGE_MEMORY_ACCESS, traceName);

  const K_ERRORS result = ReadFile(context, path, format);
  if (context.file != nullptr) std::fclose(context.file);
  if (result != K_SUCCESS) return KReport(result, traceName);
  KOk();
  return K_SUCCESS;
}

// Fills `info` from the headers of the file at `path`.
K_ERRORS DescribeFile(const char* path, KImageFileInfo& info) {
  info = KImageFileInfo{};
  KLoadContext context{};
  context.kind = &K_PIXEL_KIND_C24;
  context.unit = &KUnitNone;
  K_ERRORS result = OpenForLoad(context, path);
  const KFileFormat* container = nullptr;
  if (result == K_SUCCESS) result = Recognise(context, container);
  if (result == K_SUCCESS) {
    info.container = container->containerCode;
    info.pages = 1;
    result = container->Describe(context, info);
  }
  if (context.file != nullptr) std::fclose(context.file);
  return result;
}

}  // namespace
}  // namespace kvbase::internal

using kvbase::internal::DescribeFile;
using kvbase::internal::LoadImage;
using kvbase::internal::SaveImage;

short KSaveImage(KImage<int>* image, const char* path, short format) {
  return SaveImage(K_PIXEL_KIND_BW1, image, path, format);
}
short KSaveImage(KROI<unsigned char>* roi, const char* path, short format) {
  return SaveImage(K_PIXEL_KIND_BW8, roi, path, format);
}
short KSaveImage(KROI<unsigned short>* roi, const char* path, short format) {
  return SaveImage(K_PIXEL_KIND_BW16, roi, path, format);
}
short KSaveImage(KROI<KC24>* roi, const char* path, short format) {
  return SaveImage(K_PIXEL_KIND_C24, roi, path, format);
}
short KSaveImage(KROI<KC15>* roi, const char* path, short format) {
  return SaveImage(K_PIXEL_KIND_C15, roi, path, format);
}
short KSaveImage(KROI<KC16>* roi, const char* path, short format) {
  return SaveImage(K_PIXEL_KIND_C16, roi, path, format);
}

short KLoadImage(KImage<int>* image, const char* path, short& format) {
  return LoadImage(K_PIXEL_KIND_BW1, image, path, format);
}
short KLoadImage(KROI<unsigned char>* roi, const char* path, short& format) {
  return LoadImage(K_PIXEL_KIND_BW8, roi, path, format);
}
short KLoadImage(KROI<unsigned short>* roi, const char* path, short& format) {
  return LoadImage(K_PIXEL_KIND_BW16, roi, path, format);
}
short KLoadImage(KROI<KC15>* roi, const char* path, short& format) {
  return LoadImage(K_PIXEL_KIND_C15, roi, path, format);
}
short KLoadImage(KROI<KC16>* roi, const char* path, short& format) {
  return LoadImage(K_PIXEL_KIND_C16, roi, path, format);
}
short KLoadImage(KROI<KC24>* roi, const char* path, short& format) {
  return LoadImage(K_PIXEL_KIND_C24, roi, path, format);
}

void KSetJpegQuality(unsigned int quality) { kvbase::internal::gJpegQuality.store(quality); }
void KSetTiffThreshold(unsigned int threshold) {
  kvbase::internal::gTiffThreshold.store(static_cast<unsigned char>(threshold & 0xFF));
}
void KSetTiffStripSize(unsigned int bytes) { kvbase::internal::gTiffStripSize.store(bytes); }
void KSetPngCompressionLevel(unsigned int level) {
  kvbase::internal::gPngCompressionLevel.store(static_cast<int>(level > 9 ? 9 : level));
}

int KIsKindMismatch(K_ERRORS code) {
  switch (code) {
    case K_ERROR_BILEVEL_IMAGE_EXPECTED:
    case K_ERROR_GRAY_IMAGE_EXPECTED:
    case K_ERROR_COLOR_IMAGE_EXPECTED:
    case K_ERROR_UNSUPPORTED_TIFF_FORMAT:
    case K_ERROR_UNSUPPORTED_BMP_FORMAT:
    case K_ERROR_UNSUPPORTED_JPEG_FORMAT:
    case K_ERROR_UNSUPPORTED_PNG_FORMAT: return 1;
    default: return 0;
  }
}

short KGetImageFileInfo(const char* path, KImageFileInfo* info) {
  constexpr const char* kTrace = "KGetImageFileInfo";
  KOk();
  if (info == nullptr) return KReport(K_ERROR_PARAMETER_2_OUT_OF_RANGE, kTrace);
  const K_ERRORS result = DescribeFile(path, *info);
  if (result != K_SUCCESS) return KReport(result, kTrace);
  KOk();
  return K_SUCCESS;
}
