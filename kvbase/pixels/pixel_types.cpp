#include "kvbase/pixels/pixel_types.h"

#include <cstring>

KC24 KBlack24(0, 0, 0);
KC24 KRed24(0, 0, 255);
KC24 KGreen24(0, 255, 0);
KC24 KBlue24(255, 0, 0);
KC24 KCyan24(255, 255, 0);
KC24 KMagenta24(255, 0, 255);
KC24 KYellow24(0, 255, 255);
KC24 KWhite24(255, 255, 255);
KC24 KGray24(128, 128, 128);

namespace {

const KPixelKind* const kKinds[] = {
    &K_PIXEL_KIND_BW1, &K_PIXEL_KIND_BW8, &K_PIXEL_KIND_BW16, &K_PIXEL_KIND_BW32,       &K_PIXEL_KIND_C15,
    &K_PIXEL_KIND_C16, &K_PIXEL_KIND_C24, &K_PIXEL_KIND_C24A, &K_PIXEL_KIND_SUBPIXEL64, &K_PIXEL_KIND_COMPLEX64};

}  // namespace

const KPixelKind* KGetPixelKind(K_IMAGE_TYPES type) {
  for (const KPixelKind* kind : kKinds)
    if (kind->type == type) return kind;
  return nullptr;
}

const KPixelKind* KFindPixelKind(const char* name) {
  if (name == nullptr) return nullptr;
  for (const KPixelKind* kind : kKinds)
    if (std::strcmp(kind->name, name) == 0) return kind;
  return nullptr;
}
