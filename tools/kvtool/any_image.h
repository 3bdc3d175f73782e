#ifndef KVTOOL_ANY_IMAGE_H
#define KVTOOL_ANY_IMAGE_H

// An image of one of the six kinds that files hold (BW1, BW8, BW16, C15, C16, C24), chosen at run time.

#include <memory>
#include <string>
#include <vector>

#include "kvbase/image/image.h"

namespace kvtool {

// The kind of a name that has files ("BW8", ...), or null.
const KPixelKind* ParseKind(const std::string& text);

class AnyImage {
 public:
  // `kind` must have files.
  explicit AnyImage(const KPixelKind& kind);

  const KPixelKind& Kind() const { return kind_; }
  KGenericROI& Generic() { return *image_; }
  template <typename T>
  KImage<T>& As() {
    return static_cast<KImage<T>&>(*image_);
  }

  // Calls f(KImage<T>&) with this image's own type.
  template <typename F>
  decltype(auto) Visit(F&& f) {
    switch (kind_.type) {
      case K_IMAGE_BW1: return f(As<int>());
      case K_IMAGE_BW8: return f(As<unsigned char>());
      case K_IMAGE_BW16: return f(As<unsigned short>());
      case K_IMAGE_C15: return f(As<KC15>());
      case K_IMAGE_C16: return f(As<KC16>());
      default: return f(As<KC24>());
    }
  }

  // KLoadImage / KSaveImage of this kind; the result is the current error afterwards.
  K_ERRORS Load(const std::string& path, short& format);
  K_ERRORS Save(const std::string& path, short format);
  // The pixels as rows without padding: BW1 packed bits, C24 blue, green, red.
  std::vector<unsigned char> PackedRows();

 private:
  const KPixelKind& kind_;
  std::unique_ptr<KGenericROI> image_;
};

// Loads `path` into `kind`, or without a kind (null) into the first of BW1, BW8, BW16, C24, C16, C15
// that takes the file. Null on failure, with the current error of the most telling attempt.
std::unique_ptr<AnyImage> LoadImageFile(const std::string& path, const KPixelKind* kind, short& format);

}  // namespace kvtool

#endif  // KVTOOL_ANY_IMAGE_H
