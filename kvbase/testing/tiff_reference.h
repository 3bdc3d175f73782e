#ifndef KVBASE_TESTING_TIFF_REFERENCE_H
#define KVBASE_TESTING_TIFF_REFERENCE_H

// libtiff called directly, without the library's TIFF code: the independent reader and writer the TIFF
// tests compare with. Header-only, like jpeg_reference.h. While a KTiffMessages lives, libtiff's warnings
// and errors are collected instead of printed, so that a test can require that there were none.
//
//   KTiffMessages messages;
//   KTiffReferenceWrite(path, "wb", {13, 10, 8, 1, COMPRESSION_PACKBITS}, [&](int y) { return rows[y]; },
//                       [](TIFF* tiff) { TIFFSetField(tiff, TIFFTAG_ARTIST, "Al"); });
//   TIFF* tiff = TIFFOpen(path.c_str(), "r");
//   double compression = KTiffField<uint16_t>(tiff, TIFFTAG_COMPRESSION);

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

class KTiffMessages {
 public:
  KTiffMessages() : warning_(TIFFSetWarningHandler(Collect)), error_(TIFFSetErrorHandler(Collect)) { All().clear(); }
  ~KTiffMessages() {
    TIFFSetWarningHandler(warning_);
    TIFFSetErrorHandler(error_);
  }
  KTiffMessages(const KTiffMessages&) = delete;
  KTiffMessages& operator=(const KTiffMessages&) = delete;

  // "module: message" of every warning and error since construction.
  static std::vector<std::string>& All() {
    static std::vector<std::string> messages;
    return messages;
  }

 private:
  static void Collect(const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    All().push_back(std::string(module != nullptr ? module : "") + ": " + text);
  }

  TIFFErrorHandler warning_;
  TIFFErrorHandler error_;
};

// A field of an open file; T is the type libtiff hands over for the tag (0 when the file has none).
template <typename T>
double KTiffField(TIFF* tiff, ttag_t tag) {
  T value{};
  TIFFGetField(tiff, tag, &value);
  return static_cast<double>(value);
}

// A text field of an open file, or "<none>".
inline std::string KTiffText(TIFF* tiff, ttag_t tag) {
  char* text = nullptr;
  return TIFFGetField(tiff, tag, &text) == 1 && text != nullptr ? std::string(text) : std::string("<none>");
}

struct KTiffReferenceParams {
  int width;
  int height;
  int bits;
  int samples;  // 1: black is zero; 3: RGB, chunky
  uint16_t compression = COMPRESSION_NONE;
  int rowsPerStrip = 3;
};

// Writes `params.height` rows with libtiff, little-endian (mode "wl") or big-endian ("wb"); row(y) gives
// the samples of row y as libtiff takes them, and fields(tiff) sets further tags first. False when
// libtiff refused anything.
template <typename RowOf, typename Fields>
bool KTiffReferenceWrite(const std::string& path, const char* mode, const KTiffReferenceParams& params, RowOf row,
                         Fields fields) {
  TIFF* tiff = TIFFOpen(path.c_str(), mode);
  if (tiff == nullptr) return false;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, params.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, params.height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, params.bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, params.samples);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, params.compression);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, params.samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, params.rowsPerStrip);
  fields(tiff);
  bool written = true;
  for (int y = 0; y < params.height && written; ++y)
    written = TIFFWriteScanline(tiff, const_cast<unsigned char*>(row(y)), static_cast<uint32_t>(y), 0) == 1;
  TIFFClose(tiff);
  return written;
}

#endif  // KVBASE_TESTING_TIFF_REFERENCE_H
