#include "kvbase/image/generic_roi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "kvbase/foundation/internal/report.h"

KGenericROI::KGenericROI()
    : author_(nullptr),
      comment_(nullptr),
      date_(nullptr),
      title_(nullptr),
      orgX_(0),
      orgY_(0),
      width_(0),
      height_(0),
      colorSystem_(K_COLOR_SYSTEM_NONE),
      parent_(nullptr),
      nextSibling_(nullptr),
      firstSubROI_(nullptr) {}

KGenericROI::~KGenericROI() {
  std::free(author_);
  std::free(comment_);
  std::free(date_);
  std::free(title_);
}

int KGenericROI::GetTotalOrgX() const { return parent_ == nullptr ? 0 : parent_->GetTotalOrgX() + orgX_; }

int KGenericROI::GetTotalOrgY() const { return parent_ == nullptr ? 0 : parent_->GetTotalOrgY() + orgY_; }

int KGenericROI::GetTotalWidth() {
  KGenericROI* top = GetTopParent();
  if (top == nullptr) return KReport(K_ERROR_ROI_HAS_NO_PARENT, "KROI::GetTotalWidth"), 0;
  return top->width_;
}

int KGenericROI::GetTotalHeight() {
  KGenericROI* top = GetTopParent();
  if (top == nullptr) return KReport(K_ERROR_ROI_HAS_NO_PARENT, "KROI::GetTotalHeight"), 0;
  return top->height_;
}

KGenericROI* KGenericROI::GetNextROI(KGenericROI* stop) {
  KGenericROI* candidate = firstSubROI_;
  if (candidate == nullptr) {
    candidate = this;
    while (candidate->nextSibling_ == nullptr && candidate->parent_ != nullptr) candidate = candidate->parent_;
    if (candidate->nextSibling_ != nullptr) candidate = candidate->nextSibling_;
  }
  return candidate == stop ? nullptr : candidate;
}

// --- Type checks ---

short KGenericROI::SameSize(KGenericROI* other) {
  if (other->GetHeight() == GetHeight() && other->GetWidth() == GetWidth()) return KOk();
  KSetError(K_ERROR_IMAGE_SIZES_DIFFER);
  return static_cast<short>(KGetError());
}

short KGenericROI::SameDataType(KGenericROI* other) {
  if (GetDataType() == other->GetDataType()) return KOk();
  return static_cast<short>(KReport(K_ERROR_INVALID_DATA_TYPE, "KROI::SameDataType"));
}

short KGenericROI::SameDepth(KGenericROI* other) {
  if (GetBitsPerPixel() == other->GetBitsPerPixel()) return KOk();
  return static_cast<short>(KReport(K_ERROR_IMAGE_DEPTHS_DIFFER, "KROI::SameDepth"));
}

short KGenericROI::PermittedDepth(short depthMask) {
  if ((GetBitsPerPixelCode() & depthMask) != 0) return KOk();
  return static_cast<short>(KReport(K_ERROR_INVALID_DEPTH, "KROI::PermittedDepth"));
}

short KGenericROI::PermittedDataType(short dataTypeMask) {
  if ((GetDataType() & dataTypeMask) != 0) return KOk();
  return static_cast<short>(KReport(K_ERROR_INVALID_DATA_TYPE, "KROI::PermittedDataType"));
}

short KGenericROI::SameSizeDepthType(KGenericROI* other, short depthMask, short dataTypeMask) {
  KOk();
  const auto failed = [] { return KTraceIfFailed("KROI::SameSizeDepthType"); };
  SameSize(other);
  if (failed()) return static_cast<short>(KGetError());
  SameDepth(other);
  if (failed()) return static_cast<short>(KGetError());
  SameDataType(other);
  if (failed()) return static_cast<short>(KGetError());
  PermittedDepth(depthMask);
  if (failed()) return static_cast<short>(KGetError());
  PermittedDataType(dataTypeMask);
  if (failed()) return static_cast<short>(KGetError());
  return KOk();
}

// --- Metadata ---

namespace {

// Replaces `*field` by a copy of `text` (null clears). The copy is made before the old string is
// released, so a caller may pass the string the field holds.
void ReplaceText(char** field, const char* text, const char* traceName) {
  char* copy = nullptr;
  if (text != nullptr) {
    const size_t size = std::strlen(text) + 1;
    copy = static_cast<char*>(std::malloc(size));
    if (copy != nullptr) std::memcpy(copy, text, size);
  }
  std::free(*field);
  *field = copy;
  if (text != nullptr && copy == nullptr) KReport(K_ERROR_ALLOCATION, traceName);
}

}  // namespace

void KGenericROI::SetAuthor(const char* author) { ReplaceText(&author_, author, "KImage::SetAuthor"); }

void KGenericROI::SetComment(const char* comment) { ReplaceText(&comment_, comment, "KImage::SetComment"); }

void KGenericROI::SetTitle(const char* title) { ReplaceText(&title_, title, "KImage::SetTitle"); }

void KGenericROI::SetDate(const char* date) {
  if (date == nullptr || date[0] != '\0') {
    ReplaceText(&date_, date, "KImage::SetDate");
    return;
  }
  const std::time_t now = std::time(nullptr);
  std::tm local;
  localtime_r(&now, &local);
  char stamp[64];  // 19 characters for any four-digit year
  std::snprintf(stamp, sizeof stamp, "%04d:%02d:%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  ReplaceText(&date_, stamp, "KImage::SetDate");
}
