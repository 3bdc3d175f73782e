#ifndef KVBASE_TESTING_JPEG_REFERENCE_H
#define KVBASE_TESTING_JPEG_REFERENCE_H

// libjpeg called directly, without the library's JPEG glue: the independent writer and reader of the
// JPEG tests, and the baseline the JPEG benchmarks compare with. Header-only, so that the benchmark
// programs, which do not link the test helpers, can use it too. A fatal codec error ends the program
// (the codec's default error handling).
//
//   KJpegReferenceWrite(file, {16, 8, 1, JCS_GRAYSCALE}, [&](int y) { return pixels + 16 * y; });
//   KJpegReferenceReader reader(path);           // the header is read
//   if (reader.Codec().num_components == 3) ...
//   reader.ReadRows([&](int y) { return out + 3 * 16 * y; });

#include <cstdio>
#include <string>

#include <jpeglib.h>

struct KJpegReferenceParams {
  int width;
  int height;
  int components;
  J_COLOR_SPACE space;
  int quality = -1;  // -1 keeps the codec's default; otherwise this quality with baseline forced
  bool progressive = false;
  int jfif = -1;  // 1: a JFIF marker even for colour spaces that have none by default; 0: none; -1: default
  // The colour space the file stores (jpeg_set_colorspace), such as JCS_YCCK for CMYK rows; JCS_UNKNOWN
  // keeps the codec's choice for `space`.
  J_COLOR_SPACE fileSpace = JCS_UNKNOWN;
  int adobe = -1;  // 1: an Adobe marker; 0: none; -1: the codec's default (one for RGB, CMYK and YCCK files)
};

// Compresses `params.height` rows into the open `file`; row(y) gives the samples of row y.
template <typename RowOf>
void KJpegReferenceWrite(std::FILE* file, const KJpegReferenceParams& params, RowOf row) {
  jpeg_compress_struct codec;
  jpeg_error_mgr errors;
  codec.err = jpeg_std_error(&errors);
  jpeg_create_compress(&codec);
  jpeg_stdio_dest(&codec, file);
  codec.image_width = static_cast<JDIMENSION>(params.width);
  codec.image_height = static_cast<JDIMENSION>(params.height);
  codec.input_components = params.components;
  codec.in_color_space = params.space;
  jpeg_set_defaults(&codec);
  if (params.fileSpace != JCS_UNKNOWN) jpeg_set_colorspace(&codec, params.fileSpace);
  if (params.quality >= 0) jpeg_set_quality(&codec, params.quality, TRUE);
  if (params.progressive) jpeg_simple_progression(&codec);
  if (params.jfif >= 0) codec.write_JFIF_header = params.jfif != 0;
  if (params.adobe >= 0) codec.write_Adobe_marker = params.adobe != 0;
  jpeg_start_compress(&codec, TRUE);
  for (int y = 0; y < params.height; ++y) {
    JSAMPROW samples = const_cast<JSAMPROW>(row(y));
    jpeg_write_scanlines(&codec, &samples, 1);
  }
  jpeg_finish_compress(&codec);
  jpeg_destroy_compress(&codec);
}

// Opens a JPEG file and reads its header; Codec() then describes the file. Set Codec().out_color_space
// before ReadRows to choose another output than the codec's default.
class KJpegReferenceReader {
 public:
  explicit KJpegReferenceReader(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
    codec_.err = jpeg_std_error(&errors_);
    jpeg_create_decompress(&codec_);
    if (file_ == nullptr) return;
    jpeg_stdio_src(&codec_, file_);
    jpeg_read_header(&codec_, TRUE);
  }
  ~KJpegReferenceReader() {
    jpeg_destroy_decompress(&codec_);
    if (file_ != nullptr) std::fclose(file_);
  }
  KJpegReferenceReader(const KJpegReferenceReader&) = delete;
  KJpegReferenceReader& operator=(const KJpegReferenceReader&) = delete;

  bool Opened() const { return file_ != nullptr; }
  jpeg_decompress_struct& Codec() { return codec_; }

  // Decodes every row into row(y), which must hold output_width * output_components samples.
  template <typename RowOf>
  void ReadRows(RowOf row) {
    if (file_ == nullptr) return;
    jpeg_start_decompress(&codec_);
    for (JDIMENSION y = 0; y < codec_.output_height; ++y) {
      JSAMPROW samples = row(static_cast<int>(y));
      jpeg_read_scanlines(&codec_, &samples, 1);
    }
    jpeg_finish_decompress(&codec_);
  }

 private:
  std::FILE* file_;
  jpeg_decompress_struct codec_;
  jpeg_error_mgr errors_;
};

#endif  // KVBASE_TESTING_JPEG_REFERENCE_H
