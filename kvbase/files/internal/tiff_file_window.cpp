#include "kvbase/files/internal/tiff_file_window.h"

#include <algorithm>

#include "kvbase/files/internal/positional_read.h"

namespace kvbase::internal {

KFileWindow::KFileWindow(std::FILE* file, long long fileSize)
    : file_(file), fileSize_(static_cast<std::uint64_t>(std::max<long long>(fileSize, 0))) {}

bool KFileWindow::Load(std::uint64_t offset, std::uint64_t size) {
  window_.resize(static_cast<std::size_t>(std::min(size, fileSize_ - offset)));
  start_ = offset;
  if (ReadAt(file_, offset, window_.data(), window_.size())) return true;
  window_.clear();
  return false;
}

std::size_t KFileWindow::Get(std::uint64_t offset, std::uint64_t count, const unsigned char*& bytes) {
  if (offset < start_ || offset >= start_ + window_.size()) {
    if (offset >= fileSize_) return 0;
    const bool sequential = offset == start_ + window_.size();
    if (!Load(offset, sequential ? kLargest : std::clamp(count, kSmallest, kLargest))) return 0;
  }
  bytes = window_.data() + (offset - start_);
  return static_cast<std::size_t>(std::min<std::uint64_t>(count, start_ + window_.size() - offset));
}

const unsigned char* KFileWindow::Whole(std::uint64_t offset, std::uint64_t count) {
  if (offset > fileSize_ || count > fileSize_ - offset) return nullptr;
  const bool inside = offset >= start_ && offset + count <= start_ + window_.size();
  if (!inside) {
    const bool sequential = offset == start_ + window_.size();
    if (!Load(offset, std::max(count, sequential ? kLargest : kSmallest))) return nullptr;
  }
  return window_.data() + (offset - start_);
}

}  // namespace kvbase::internal
