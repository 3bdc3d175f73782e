#include "any_image.h"

#include <cstring>

#include "kvbase/files/image_files.h"

namespace kvtool {

namespace {

std::unique_ptr<KGenericROI> MakeImage(const KPixelKind& kind) {
  switch (kind.type) {
    case K_IMAGE_BW1: return std::make_unique<KImageBW1>();
    case K_IMAGE_BW8: return std::make_unique<KImageBW8>();
    case K_IMAGE_BW16: return std::make_unique<KImageBW16>();
    case K_IMAGE_C15: return std::make_unique<KImageC15>();
    case K_IMAGE_C16: return std::make_unique<KImageC16>();
    default: return std::make_unique<KImageC24>();
  }
}

}  // namespace

const KPixelKind* ParseKind(const std::string& text) {
  const KPixelKind* kind = KFindPixelKind(text.c_str());
  return kind != nullptr && kind->hasFiles ? kind : nullptr;
}

AnyImage::AnyImage(const KPixelKind& kind) : kind_(kind), image_(MakeImage(kind)) {}

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
  const size_t rowBytes = (static_cast<size_t>(width) * kind_.bitsPerPixel + 7) / 8;
  std::vector<unsigned char> rows(rowBytes * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) std::memcpy(rows.data() + rowBytes * y, image_->GetGenericImagePtr(0, y), rowBytes);
  return rows;
}

std::unique_ptr<AnyImage> LoadImageFile(const std::string& path, const KPixelKind* kind, short& format) {
  if (kind != nullptr) {
    auto image = std::make_unique<AnyImage>(*kind);
    if (image->Load(path, format) == K_SUCCESS) return image;
    return nullptr;
  }
  K_ERRORS firstMismatch = K_SUCCESS;
  for (const KPixelKind* candidate : {&K_PIXEL_KIND_BW1, &K_PIXEL_KIND_BW8, &K_PIXEL_KIND_BW16, &K_PIXEL_KIND_C24,
                                      &K_PIXEL_KIND_C16, &K_PIXEL_KIND_C15}) {
    auto image = std::make_unique<AnyImage>(*candidate);
    const K_ERRORS result = image->Load(path, format);
    if (result == K_SUCCESS) return image;
    if (!KIsKindMismatch(result)) return nullptr;  // no other kind will do better
    if (firstMismatch == K_SUCCESS) firstMismatch = result;
  }
  KSetError(firstMismatch);
  return nullptr;
}

}  // namespace kvtool
