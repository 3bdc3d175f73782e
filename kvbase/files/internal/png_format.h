#ifndef KVBASE_FILES_INTERNAL_PNG_FORMAT_H
#define KVBASE_FILES_INTERNAL_PNG_FORMAT_H

// PNG files: read through libspng (png_reader.cpp), written by our own writer over libdeflate
// (png_writer.cpp), and the facts both sides share.

#include <cstdint>

#include "kvbase/files/internal/file_format.h"

namespace kvbase::internal {

namespace png {

// Every PNG file starts with these 8 bytes, then the 13-byte IHDR chunk.
constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr int kSignatureSize = 8;
constexpr std::uint32_t kIhdrLength = 13;

// Chunk lengths and image sides are 31-bit values.
constexpr std::uint32_t kMaxLength = 0x7FFFFFFFu;

// The colour types of the IHDR chunk.
enum ColorType : std::uint8_t { kGray = 0, kRgb = 2, kPalette = 3, kGrayAlpha = 4, kRgbAlpha = 6 };

// The text keywords that carry the image's four texts, in the order the writer writes them.
struct KTextField {
  const char* keyword;
  char* (KGenericROI::*get)() const;
  void (KGenericROI::*set)(const char*);
};
inline const KTextField kTextFields[] = {{"Title", &KGenericROI::GetTitle, &KGenericROI::SetTitle},
                                         {"Author", &KGenericROI::GetAuthor, &KGenericROI::SetAuthor},
                                         {"Comment", &KGenericROI::GetComment, &KGenericROI::SetComment},
                                         {"Creation Time", &KGenericROI::GetDate, &KGenericROI::SetDate}};

inline std::uint32_t GetU32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}
inline void PutU32(unsigned char* bytes, std::uint32_t value) {
  bytes[0] = static_cast<unsigned char>(value >> 24);
  bytes[1] = static_cast<unsigned char>(value >> 16);
  bytes[2] = static_cast<unsigned char>(value >> 8);
  bytes[3] = static_cast<unsigned char>(value);
}

}  // namespace png

K_ERRORS WritePng(KSaveContext& context);
K_ERRORS ReadPng(KLoadContext& context);
K_ERRORS DescribePng(KLoadContext& context, KImageFileInfo& info);

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_PNG_FORMAT_H
