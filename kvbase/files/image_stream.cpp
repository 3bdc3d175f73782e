// Serialize of images and ROIs: their placement, or their size and pixel rows, on a caller's stream.
//
// ROI record: origin x, origin y, width, height (four 32-bit integers).
// Image record: width, height (32-bit integers), then height rows of ((width * bits + 31) / 32) * 4 bytes,
// top row first, padding included. All little-endian, as the machine holds them.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kvbase/foundation/internal/report.h"
#include "kvbase/image/image.h"
#include "kvbase/vectors/internal/vector_file.h"

namespace {

bool WriteInts(std::FILE* file, const std::int32_t* values, size_t count) {
  return std::fwrite(values, sizeof *values, count, file) == count;
}

bool ReadInts(std::FILE* file, std::int32_t* values, size_t count) {
  return std::fread(values, sizeof *values, count, file) == count;
}

long long PackedRowBytes(int width, int bitsPerPixel) {
  return (static_cast<long long>(width) * bitsPerPixel + 31) / 32 * 4;
}

}  // namespace

template <typename T>
void KROI<T>::Serialize(void* stream, int writing, unsigned int /*version*/) {
  std::FILE* file = static_cast<std::FILE*>(stream);
  std::int32_t placement[4] = {orgX_, orgY_, width_, height_};
  if (writing) {
    WriteInts(file, placement, 4);  // a short write ends the record, unreported
    return;
  }
  if (!ReadInts(file, placement, 4)) return;
  KOk();
  SetPlacement(placement[0], placement[1], placement[2], placement[3]);
}

template <typename T>
void KImage<T>::Serialize(void* stream, int writing, unsigned int /*version*/) {
  std::FILE* file = static_cast<std::FILE*>(stream);
  const long long rowPitch = bitsPerRow_ / 8;
  if (writing) {
    const long long rowBytes = PackedRowBytes(this->width_, bitsPerPixel_);
    if (pixelBase_ == nullptr && rowBytes > 0 && this->height_ > 0) {
      KSetError(K_ERROR_IMAGE_MEMORY_ACCESS);
      return;
    }
    const std::int32_t size[2] = {this->width_, this->height_};
    if (!WriteInts(file, size, 2)) return (void)KSetError(K_ERROR_FILE_WRITE);
    // A lent buffer may have narrower rows than the record: the rest of a row goes out as zeros. Its rows
    // may also run bottom-up (a negative pitch); each row still starts at its own address.
    const size_t fromRow = static_cast<size_t>(std::min(rowBytes, rowPitch < 0 ? -rowPitch : rowPitch));
    static const unsigned char zeros[256] = {};
    for (int y = 0; y < this->height_; ++y) {
      if (std::fwrite(pixelBase_ + y * rowPitch, 1, fromRow, file) != fromRow)
        return (void)KSetError(K_ERROR_FILE_WRITE);
      for (long long left = rowBytes - static_cast<long long>(fromRow); left > 0;) {
        const size_t n = static_cast<size_t>(std::min<long long>(left, sizeof zeros));
        if (std::fwrite(zeros, 1, n, file) != n) return (void)KSetError(K_ERROR_FILE_WRITE);
        left -= static_cast<long long>(n);
      }
    }
    return;
  }

  std::int32_t size[2];
  if (!ReadInts(file, size, 2)) return (void)KSetError(K_ERROR_FILE_READ);
  if (size[0] < 0 || size[1] < 0) return (void)KSetError(K_ERROR_FILE_READ);
  const long long rowBytes = PackedRowBytes(size[0], bitsPerPixel_);
  // Rows the stream cannot hold are refused before the image is resized.
  const long long left = kvbase::internal::BytesLeft(file);
  // (Divided rather than multiplied: rows of 64-bit pixels times a large height overflow 64 bits.)
  if (left >= 0 && size[1] > 0 && rowBytes > left / size[1]) return (void)KSetError(K_ERROR_FILE_READ);
  KOk();
  SetSize(size[0], size[1]);
  if (KGetError() != K_SUCCESS) return;
  if (pixelBase_ == nullptr) {
    if (rowBytes > 0 && size[1] > 0) KSetError(K_ERROR_IMAGE_MEMORY_ACCESS);
    return;
  }
  const long long pitch = bitsPerRow_ / 8;
  const size_t intoRow = static_cast<size_t>(std::min(rowBytes, std::max(0LL, pitch)));
  for (int y = 0; y < this->height_; ++y) {
    if (std::fread(pixelBase_ + y * pitch, 1, intoRow, file) != intoRow) return (void)KSetError(K_ERROR_FILE_READ);
    if (rowBytes > static_cast<long long>(intoRow) &&
        std::fseek(file, static_cast<long>(rowBytes - static_cast<long long>(intoRow)), SEEK_CUR) != 0)
      return (void)KSetError(K_ERROR_FILE_READ);
  }
}

#define KVBASE_DEFINE_SERIALIZE(T)                            \
  template void KROI<T>::Serialize(void*, int, unsigned int); \
  template void KImage<T>::Serialize(void*, int, unsigned int);
KVBASE_FOR_EACH_PIXEL_TYPE(KVBASE_DEFINE_SERIALIZE)
#undef KVBASE_DEFINE_SERIALIZE
