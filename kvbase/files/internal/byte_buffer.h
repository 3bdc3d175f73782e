#ifndef KVBASE_FILES_INTERNAL_BYTE_BUFFER_H
#define KVBASE_FILES_INTERNAL_BYTE_BUFFER_H

// A buffer of bytes for decoded data whose size a file chooses: a failed allocation is an answer
// (K_ERROR_ALLOCATION for the reader), never an exception, and the bytes are not cleared first, since
// the decoder fills them.

#include <cstddef>
#include <memory>
#include <new>

namespace kvbase::internal {

class KByteBuffer {
 public:
  // Makes room for `size` bytes, keeping nothing; false when they cannot be allocated.
  bool Reserve(std::size_t size) {
    if (size <= capacity_) return true;
    bytes_.reset(new (std::nothrow) unsigned char[size]);
    capacity_ = bytes_ != nullptr ? size : 0;
    return bytes_ != nullptr;
  }
  unsigned char* Data() const { return bytes_.get(); }

 private:
  std::unique_ptr<unsigned char[]> bytes_;
  std::size_t capacity_ = 0;
};

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_BYTE_BUFFER_H
