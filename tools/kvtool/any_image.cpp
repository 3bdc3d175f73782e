#include "any_image.h"

#include <cstring>

#include "kvbase/files/image_files.h"

namespace kvtool {

namespace {

struct KindEntry {
  PixelKind kind;
  const char* name;
};
constexpr KindEntry kKinds[] = {{PixelKind::BW1, "BW1"}, {PixelKind::BW8, "BW8"}, {PixelKind::BW16, "BW16"},
                                {PixelKind::C15, "C15"}, {PixelKind::C16, "C16"}, {PixelKind::C24, "C24"}};

std::unique_ptr<KGenericROI> MakeImage(PixelKind kind) {
  switch (kind) {
    case PixelKind::BW1: return std::make_unique<KImageBW1>();
    case PixelKind::BW8: return std::make_unique<KImageBW8>();
    case PixelKind::BW16: return std::make_unique<KImageBW16>();
    case PixelKind::C15: return std::make_unique<KImageC15>();
    case PixelKind::C16: return std::make_unique<KImageC16>();
    default: return std::make_unique<KImageC24>();
  }
}

// Codes that say "this file is fine, but not for this kind of image".
bool IsKindMismatch(K_ERRORS code) {
  switch (code) {
    case K_ERROR_BILEVEL_IMAGE_EXPECTED:
    case K_ERROR_GRAY_IMAGE_EXPECTED:
    case K_ERROR_COLOR_IMAGE_EXPECTED:
    case K_ERROR_UNSUPPORTED_TIFF_FORMAT:
    case K_ERROR_UNSUPPORTED_BMP_FORMAT:
    case K_ERROR_UNSUPPORTED_JPEG_FORMAT: return true;
    default: return false;
  }
}

}  // namespace

const char* KindName(PixelKind kind) {
  for (const KindEntry& entry : kKinds)
    if (entry.kind == kind) return entry.name;
  return "?";
}

bool ParseKind(const std::string& text, PixelKind& kind) {
  for (const KindEntry& entry : kKinds) {
    if (text == entry.name) {
      kind = entry.kind;
      return true;
    }
  }
  return false;
}

AnyImage::AnyImage(PixelKind kind) : kind_(kind), image_(MakeImage(kind)) {}

K_ERRORS AnyImage::Load(const std::string& path, short& format) {
  Visit([&](auto& image) { KLoadImage(&image, path.c_str(), format); });
  return KGetError();
}

K_ERRORS AnyImage::Save(const std::string& path, short format) {
  Visit([&](auto& image) { KSaveImage(&image, path.c_str(), format); });
  return KGetError();
}

std::vector<unsigned char> AnyImage::PackedRows() {
  const int width = image_->GetWidth(), height = image_->GetHeight();
  const size_t rowBytes = kind_ == PixelKind::BW1 ? (static_cast<size_t>(width) + 7) / 8
                                                  : static_cast<size_t>(width) * (image_->GetBitsPerPixel() / 8);
  std::vector<unsigned char> rows(rowBytes * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) std::memcpy(rows.data() + rowBytes * y, image_->GetGenericImagePtr(0, y), rowBytes);
  return rows;
}

std::unique_ptr<AnyImage> LoadImageFile(const std::string& path, std::optional<PixelKind> kind, short& format) {
  if (kind) {
    auto image = std::make_unique<AnyImage>(*kind);
    if (image->Load(path, format) == K_SUCCESS) return image;
    return nullptr;
  }
  K_ERRORS firstMismatch = K_SUCCESS;
  for (PixelKind candidate :
       {PixelKind::BW1, PixelKind::BW8, PixelKind::BW16, PixelKind::C24, PixelKind::C16, PixelKind::C15}) {
    auto image = std::make_unique<AnyImage>(candidate);
    const K_ERRORS result = image->Load(path, format);
    if (result == K_SUCCESS) return image;
    if (!IsKindMismatch(result)) return nullptr;  // no other kind will do better
    if (firstMismatch == K_SUCCESS) firstMismatch = result;
  }
  KSetError(firstMismatch);
  return nullptr;
}

}  // namespace kvtool
