#ifndef KVBASE_TESTING_PNG_REFERENCE_H
#define KVBASE_TESTING_PNG_REFERENCE_H

// PNG files through libpng, an independent reader and writer, for the tests: write a file of any colour
// type, bit depth and interlace from rows in PNG's own byte order; read one back into those rows with
// its texts and pHYs; and a structural check of a file's chunks, as pngcheck makes it.

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "kvbase/testing/png_chunks.h"

namespace kvbase::testing {

struct KPngText {
  std::string keyword;
  std::string text;
  int compression;  // PNG_TEXT_COMPRESSION_NONE (tEXt), _zTXt, PNG_ITXT_COMPRESSION_NONE (iTXt)
};

struct KPngPicture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int bitDepth = 8;
  int colorType = PNG_COLOR_TYPE_GRAY;
  int interlace = PNG_INTERLACE_NONE;
  std::vector<std::vector<unsigned char>> rows;  // as PNG stores them: packed, 16-bit big-endian
  std::vector<png_color> palette;
  std::vector<KPngText> texts;
  bool hasPhys = false;
  std::uint32_t physX = 0, physY = 0;
  int physUnit = 0;
};

// The steps of a write once libpng is set up; a libpng error long-jumps out of them.
inline void WriteSteps(png_structp png, png_infop info, std::FILE* file, const KPngPicture& picture, png_bytepp rows,
                       png_textp texts) {
  png_init_io(png, file);
  png_set_IHDR(png, info, picture.width, picture.height, picture.bitDepth, picture.colorType, picture.interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!picture.palette.empty())
    png_set_PLTE(png, info, picture.palette.data(), static_cast<int>(picture.palette.size()));
  if (picture.hasPhys) png_set_pHYs(png, info, picture.physX, picture.physY, picture.physUnit);
  if (!picture.texts.empty()) png_set_text(png, info, texts, static_cast<int>(picture.texts.size()));
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
}

// Runs WriteSteps with a jump point; only plain pointers live in this frame.
inline bool WriteWithJump(std::FILE* file, const KPngPicture* picture, png_bytepp rows, png_textp texts) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  volatile bool ok = false;
  if (setjmp(png_jmpbuf(png)) == 0) {
    WriteSteps(png, info, file, *picture, rows, texts);
    ok = true;
  }
  png_destroy_write_struct(&png, &info);
  return ok;
}

// Writes `picture` with libpng; false on any libpng error.
inline bool WritePngWithLibpng(const std::string& path, const KPngPicture& picture) {
  std::vector<png_bytep> rows;
  for (const auto& row : picture.rows) rows.push_back(const_cast<png_bytep>(row.data()));
  std::vector<png_text> texts(picture.texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    texts[i] = png_text{};
    texts[i].compression = picture.texts[i].compression;
    texts[i].key = const_cast<char*>(picture.texts[i].keyword.c_str());
    texts[i].text = const_cast<char*>(picture.texts[i].text.c_str());
    texts[i].text_length = picture.texts[i].text.size();
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = WriteWithJump(file, &picture, rows.data(), texts.data());
  std::fclose(file);
  return ok;
}

// The steps of a read once libpng is set up; a libpng error long-jumps out of them.
inline void ReadSteps(png_structp png, png_infop info, png_infop end, std::FILE* file, KPngPicture& picture) {
  png_init_io(png, file);
  png_read_info(png, info);
  picture.width = png_get_image_width(png, info);
  picture.height = png_get_image_height(png, info);
  picture.bitDepth = png_get_bit_depth(png, info);
  picture.colorType = png_get_color_type(png, info);
  picture.interlace = png_get_interlace_type(png, info);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  picture.rows.assign(picture.height, std::vector<unsigned char>(png_get_rowbytes(png, info)));
  std::vector<png_bytep> rows;
  for (auto& row : picture.rows) rows.push_back(row.data());
  png_read_image(png, rows.data());
  png_read_end(png, end);
  png_uint_32 x = 0, y = 0;
  int unit = 0;
  picture.hasPhys = png_get_pHYs(png, info, &x, &y, &unit) != 0;
  picture.physX = x, picture.physY = y, picture.physUnit = unit;
  for (png_infop source : {info, end}) {
    png_textp texts = nullptr;
    const int count = png_get_text(png, source, &texts, nullptr);
    for (int i = 0; i < count; ++i) {
      const size_t length =
          texts[i].compression >= PNG_ITXT_COMPRESSION_NONE ? texts[i].itxt_length : texts[i].text_length;
      picture.texts.push_back({texts[i].key, std::string(texts[i].text, length), texts[i].compression});
    }
  }
}

// Reads a file with libpng into `picture` (rows unchanged: no transformation); false on any error,
// CRC errors included.
inline bool ReadPngWithLibpng(const std::string& path, KPngPicture& picture) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_infop end = png_create_info_struct(png);
  volatile bool ok = false;
  KPngPicture* target = &picture;
  if (setjmp(png_jmpbuf(png)) == 0) {
    ReadSteps(png, info, end, file, *target);
    ok = true;
  }
  png_destroy_read_struct(&png, &info, &end);
  std::fclose(file);
  return ok;
}

// The chunk types of a file in order, after checking its structure; `problem` names the first fault:
// signature, a chunk running past the end, a bad CRC, IHDR not first or not 13 bytes, IDAT chunks not
// contiguous, IEND not last or not empty.
inline std::vector<std::string> PngChunkTypes(const std::vector<unsigned char>& file, std::string& problem) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::string> types;
  problem.clear();
  if (file.size() < 8 || !std::equal(kSignature, kSignature + 8, file.begin())) return problem = "signature", types;
  size_t at = 8;
  while (at < file.size()) {
    if (at + 12 > file.size()) return problem = "chunk header past the end", types;
    const std::uint32_t length = BigEndian32(file, at);
    if (length > 0x7FFFFFFFu || at + 12 + length > file.size()) return problem = "chunk past the end", types;
    const std::string type(file.begin() + static_cast<long>(at) + 4, file.begin() + static_cast<long>(at) + 8);
    if (ReferenceCrc(&file[at + 4], 4 + length) != BigEndian32(file, at + 8 + length))
      return problem = "bad CRC in " + type, types;
    if (types.empty() && (type != "IHDR" || length != 13)) return problem = "IHDR not first", types;
    if (type == "IDAT" && !types.empty() && types.back() != "IDAT" &&
        std::find(types.begin(), types.end(), "IDAT") != types.end())
      return problem = "IDAT chunks apart", types;
    types.push_back(type);
    at += 12 + length;
    if (type == "IEND") {
      if (length != 0 || at != file.size()) problem = "IEND not last or not empty";
      return types;
    }
  }
  problem = "no IEND";
  return types;
}

}  // namespace kvbase::testing

#endif  // KVBASE_TESTING_PNG_REFERENCE_H
