// Save and Load of KImage<T> and KROI<T>: the kinds with a file front forward to KSaveImage and
// KLoadImage, every other kind refuses with K_ERROR_UNSUPPORTED_IMAGE_TYPE. The free functions trace;
// the members add nothing. C15 and C16 go through the free functions only.

#include <type_traits>

#include "kvbase/files/image_files.h"
#include "kvbase/foundation/internal/report.h"

namespace {

// Kinds whose images and ROIs both save and load through their members.
template <typename T>
constexpr bool kMembersForward =
    std::is_same_v<T, unsigned char> || std::is_same_v<T, unsigned short> || std::is_same_v<T, KC24>;

// Loads through the free function and returns the format code it stored.
template <typename Target>
IMAGE_FILE_TYPES LoadAndTellFormat(Target* target, const char* path) {
  short format = K_FILE_FORMAT_AUTO;
  KLoadImage(target, path, format);
  return static_cast<IMAGE_FILE_TYPES>(format);
}

}  // namespace

template <typename T>
void KROI<T>::Save(const char* path, IMAGE_FILE_TYPES format) {
  if constexpr (kMembersForward<T>)
    KSaveImage(this, path, static_cast<short>(format));
  else
    KReport(K_ERROR_UNSUPPORTED_IMAGE_TYPE, "KROI::Save");
}

template <typename T>
IMAGE_FILE_TYPES KROI<T>::Load(const char* path) {
  if constexpr (kMembersForward<T>) {
    return LoadAndTellFormat(this, path);
  } else {
    KReport(K_ERROR_UNSUPPORTED_IMAGE_TYPE, "KROI::Load");
    return static_cast<IMAGE_FILE_TYPES>(0);
  }
}

template <typename T>
void KImage<T>::Save(const char* path, IMAGE_FILE_TYPES format) {
  if constexpr (kMembersForward<T> || std::is_same_v<T, int>)
    KSaveImage(this, path, static_cast<short>(format));
  else
    KReport(K_ERROR_UNSUPPORTED_IMAGE_TYPE, "KImage::Save");
}

template <typename T>
IMAGE_FILE_TYPES KImage<T>::Load(const char* path) {
  if constexpr (kMembersForward<T> || std::is_same_v<T, int>) {
    return LoadAndTellFormat(this, path);
  } else {
    KReport(K_ERROR_UNSUPPORTED_IMAGE_TYPE, "KImage::Load");
    return static_cast<IMAGE_FILE_TYPES>(0);
  }
}

#define KVBASE_DEFINE_FILE_MEMBERS(T)                           \
  template void KROI<T>::Save(const char*, IMAGE_FILE_TYPES);   \
  template IMAGE_FILE_TYPES KROI<T>::Load(const char*);         \
  template void KImage<T>::Save(const char*, IMAGE_FILE_TYPES); \
  template IMAGE_FILE_TYPES KImage<T>::Load(const char*);
KVBASE_FOR_EACH_PIXEL_TYPE(KVBASE_DEFINE_FILE_MEMBERS)
#undef KVBASE_DEFINE_FILE_MEMBERS
