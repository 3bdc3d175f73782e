#ifndef KVTOOL_ANY_IMAGE_H
#define KVTOOL_ANY_IMAGE_H

// An image of one of the six kinds that files hold (BW1, BW8, BW16, C15, C16, C24), chosen at run time.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kvbase/image/image.h"

namespace kvtool {

enum class PixelKind { BW1, BW8, BW16, C15, C16, C24 };

const char* KindName(PixelKind kind);
bool ParseKind(const std::string& text, PixelKind& kind);

class AnyImage {
 public:
  explicit AnyImage(PixelKind kind);

  PixelKind Kind() const { return kind_; }
  KGenericROI& Generic() { return *image_; }
  template <typename T>
  KImage<T>& As() {
    return static_cast<KImage<T>&>(*image_);
  }

  // Calls f(KImage<T>&) with this image's own type.
  template <typename F>
  decltype(auto) Visit(F&& f) {
    switch (kind_) {
      case PixelKind::BW1: return f(As<int>());
      case PixelKind::BW8: return f(As<unsigned char>());
      case PixelKind::BW16: return f(As<unsigned short>());
      case PixelKind::C15: return f(As<KC15>());
      case PixelKind::C16: return f(As<KC16>());
      default: return f(As<KC24>());
    }
  }

  // KLoadImage / KSaveImage of this kind; the result is the current error afterwards.
  K_ERRORS Load(const std::string& path, short& format);
  K_ERRORS Save(const std::string& path, short format);
  // The pixels as rows without padding: BW1 packed bits, C24 blue, green, red.
  std::vector<unsigned char> PackedRows();

 private:
  PixelKind kind_;
  std::unique_ptr<KGenericROI> image_;
};

// Loads `path` into `kind`, or without a kind into the first of BW1, BW8, BW16, C24, C16, C15 that takes
// the file. Null on failure, with the current error of the most telling attempt.
std::unique_ptr<AnyImage> LoadImageFile(const std::string& path, std::optional<PixelKind> kind, short& format);

}  // namespace kvtool

#endif  // KVTOOL_ANY_IMAGE_H
