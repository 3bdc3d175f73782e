// Writes the fuzz seed corpora: small files of every image kind and format, and vector files of every
// element type, all made by the library's own writers, into <dir>/fuzz_bmp, fuzz_tiff, fuzz_jpeg and
// fuzz_vector.
//
//   make_fuzz_seeds build/fuzz/fuzz/seeds

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "kvbase/files/image_files.h"
#include "kvbase/foundation/errors.h"
#include "kvbase/vectors/vector_template.h"

namespace {

std::string gRoot;
int gFailures = 0;

std::string Path(const char* target, const std::string& name) {
  const std::string dir = gRoot + "/" + target;
  mkdir(gRoot.c_str(), 0755);
  mkdir(dir.c_str(), 0755);
  return dir + "/" + name;
}

template <typename T>
void Fill(KROI<T>& roi, int seed) {
  for (int y = 0; y < roi.GetHeight(); ++y) {
    auto* row = static_cast<unsigned char*>(roi.GetGenericImagePtr(0, y));
    for (int i = 0; i < roi.GetRowPitch() - roi.GetSkip(); ++i)
      row[i] = static_cast<unsigned char>((i * 11 + y * 5 + seed) & 0xFF);
  }
}

template <typename Image>
void Save(const char* target, const std::string& name, int width, int height, short format) {
  Image image(width, height);
  Fill(image, width + height);
  image.SetTitle("seed");
  image.SetResolution(300.0f, 300.0f, &KUnit_inch);
  if (KSaveImage(&image, Path(target, name).c_str(), format) != K_SUCCESS) {
    std::fprintf(stderr, "make_fuzz_seeds: %s/%s not written: %s\n", target, name.c_str(), KGetErrorText());
    ++gFailures;
  }
}

template <typename T>
void SaveVector(const std::string& name, unsigned int count) {
  KVectorTemplate<T> vector;
  for (unsigned int i = 0; i < count; ++i) {
    T element{};
    reinterpret_cast<unsigned char*>(&element)[0] = static_cast<unsigned char>(i * 37);
    vector.AddElement(element);
  }
  vector.Save(Path("fuzz_vector", name).c_str());
  if (KGetError() != K_SUCCESS) ++gFailures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
    return 2;
  }
  gRoot = argv[1];
  KSetTraceMode(K_TRACE_SILENT);

  Save<KImageBW1>("fuzz_bmp", "bw1.bmp", 13, 7, K_FILE_FORMAT_BMP_BILEVEL);
  Save<KImageBW8>("fuzz_bmp", "bw8.bmp", 13, 7, K_FILE_FORMAT_BMP_GRAY);
  Save<KImageBW8>("fuzz_bmp", "bw8-roi-size.bmp", 17, 9, K_FILE_FORMAT_BMP_GRAY);
  Save<KImageC15>("fuzz_bmp", "c15.bmp", 5, 3, K_FILE_FORMAT_BMP_COLOR);
  Save<KImageC16>("fuzz_bmp", "c16.bmp", 5, 3, K_FILE_FORMAT_BMP_COLOR);
  Save<KImageC24>("fuzz_bmp", "c24.bmp", 5, 3, K_FILE_FORMAT_BMP_COLOR);
  Save<KImageC24>("fuzz_bmp", "c24-roi-size.bmp", 17, 9, K_FILE_FORMAT_BMP_COLOR);

  KSetTiffStripSize(16);  // several strips even in small files
  Save<KImageBW1>("fuzz_tiff", "bw1.tif", 13, 7, K_FILE_FORMAT_TIFF_BILEVEL);
  Save<KImageBW1>("fuzz_tiff", "bw1-packbits.tif", 13, 7, K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS);
  Save<KImageBW8>("fuzz_tiff", "bw8-bilevel.tif", 13, 7, K_FILE_FORMAT_TIFF_BILEVEL);
  Save<KImageBW8>("fuzz_tiff", "bw8.tif", 13, 7, K_FILE_FORMAT_TIFF_GRAY);
  Save<KImageBW8>("fuzz_tiff", "bw8-packbits.tif", 17, 9, K_FILE_FORMAT_TIFF_GRAY_PACKBITS);
  Save<KImageBW16>("fuzz_tiff", "bw16.tif", 6, 5, K_FILE_FORMAT_TIFF_GRAY);
  Save<KImageC24>("fuzz_tiff", "c24.tif", 17, 9, K_FILE_FORMAT_TIFF_COLOR);
  KSetTiffStripSize(0);
  Save<KImageBW8>("fuzz_tiff", "bw8-one-strip.tif", 9, 4, K_FILE_FORMAT_TIFF_GRAY);
  KSetTiffStripSize(8192);

  Save<KImageBW8>("fuzz_jpeg", "bw8.jpg", 17, 9, K_FILE_FORMAT_JPEG_GRAY);
  Save<KImageC24>("fuzz_jpeg", "c24.jpg", 17, 9, K_FILE_FORMAT_JPEG_COLOR);
  Save<KImageC24>("fuzz_jpeg", "c24-16x16.jpg", 16, 16, K_FILE_FORMAT_JPEG_COLOR);

  SaveVector<unsigned char>("bw8.vec", 5);
  SaveVector<unsigned short>("bw16.vec", 4);
  SaveVector<unsigned int>("bw32.vec", 3);
  SaveVector<KC24>("c24.vec", 3);
  SaveVector<KRun>("runs.vec", 2);
  SaveVector<unsigned char>("empty.vec", 0);
  return gFailures == 0 ? 0 : 1;
}
