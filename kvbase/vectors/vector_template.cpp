#include "kvbase/vectors/vector_template.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "kvbase/foundation/internal/report.h"
#include "kvbase/vectors/internal/vector_file.h"

using kvbase::internal::KVectorElementFile;

template <typename T>
KVectorTemplate<T>::KVectorTemplate() : numElements_(0), maxElements_(0), data_(nullptr) {}

template <typename T>
KVectorTemplate<T>::~KVectorTemplate() {
  ::operator delete(data_);
}

template <typename T>
KVectorTemplate<T>& KVectorTemplate<T>::operator=(KVectorTemplate& other) {
  // Release first: assigning a vector to itself leaves it empty.
  ::operator delete(data_);
  numElements_ = other.numElements_;
  maxElements_ = other.maxElements_;
  data_ = other.data_;
  other.numElements_ = 0;
  other.maxElements_ = 0;
  other.data_ = nullptr;
  return *this;
}

template <typename T>
T& KVectorTemplate<T>::operator[](unsigned int index) {
  thread_local T dummy;  // each thread's own, so that writes into it never race
  if (index < numElements_) return data_[index];
  KReport(K_ERROR_PARAMETER_1_OUT_OF_RANGE, "KVector::operator[]");
  return dummy;
}

template <typename T>
void KVectorTemplate<T>::SetMaxElements(unsigned int count) {
  if (count == maxElements_) return;
  T* buffer = nullptr;
  if (count != 0) {
    buffer = static_cast<T*>(::operator new(static_cast<size_t>(count) * sizeof(T), std::nothrow));
    if (buffer == nullptr) {
      KReport(K_ERROR_ALLOCATION, "KVector::SetMaxElements");
      return;
    }
  }
  maxElements_ = count;
  if (numElements_ <= count) {
    if (numElements_ != 0) std::memcpy(static_cast<void*>(buffer), data_, numElements_ * sizeof(T));
  } else {
    numElements_ = 0;
  }
  ::operator delete(data_);
  data_ = buffer;
}

template <typename T>
void KVectorTemplate<T>::SetNumElements(unsigned int count) {
  if (count > maxElements_) {
    Empty();
    KOk();
    SetMaxElements(count);
    if (KTraceIfFailed("KVector::SetNumElements")) return;
  }
  numElements_ = count;
}

template <typename T>
bool KVectorTemplate<T>::Grow(const char* traceName) {
  if (numElements_ != maxElements_) return true;
  KOk();
  if (maxElements_ > UINT_MAX / 2) {
    KSetError(K_ERROR_ALLOCATION);
  } else {
    SetMaxElements(maxElements_ == 0 ? 1 : maxElements_ * 2);
  }
  return !KTraceIfFailed(traceName);
}

template <typename T>
void KVectorTemplate<T>::AddElement(T element) {
  if (!Grow("KVector::AddElement")) return;
  data_[numElements_++] = element;
}

template <typename T>
void KVectorTemplate<T>::AddElementByRef(T& element) {
  if (!Grow("KVector::AddElementByRef")) return;
  data_[numElements_++] = element;
}

namespace {

// Opens `path`, lets `body` read or write the open file, closes it and traces `traceName` on any failure.
// `body` leaves its failure in the current error and returns false.
template <typename Body>
void WithVectorFile(const char* path, const char* mode, const char* traceName, Body body) {
  std::FILE* file = std::fopen(path, mode);
  if (file == nullptr) {
    KReport(K_ERROR_FILE_OPEN, traceName);
    return;
  }
  bool failed = !body(file);
  if (std::fclose(file) != 0 && !failed) {
    KSetError(K_ERROR_FILE_CLOSE);
    failed = true;
  }
  if (failed) KTraceError(traceName);
}

}  // namespace

template <typename T>
void KVectorTemplate<T>::Save(const char* path) {
  WithVectorFile(path, "wb", "KVector::Save", [this](std::FILE* file) {
    const auto header = KVectorElementFile<T>::Header();
    if (std::fwrite(header.data(), 1, header.size(), file) != header.size()) {
      KSetError(K_ERROR_FILE_WRITE);
      return false;
    }
    KOk();
    Serialize(file, 1, 1);
    return KGetError() == K_SUCCESS;
  });
}

template <typename T>
void KVectorTemplate<T>::Load(const char* path) {
  WithVectorFile(path, "rb", "KVector::Load", [this](std::FILE* file) {
    const auto expected = KVectorElementFile<T>::Header();
    unsigned char header[4];
    if (std::fread(header, 1, sizeof header, file) != sizeof header) {
      KSetError(K_ERROR_FILE_READ);
      return false;
    }
    if (std::memcmp(header, expected.data(), sizeof header) != 0) {
      KSetError(K_ERROR_BAD_FILE_FORMAT);
      return false;
    }
    KOk();
    Serialize(file, 0, header[2]);
    return KGetError() == K_SUCCESS;
  });
}

template <typename T>
void KVectorTemplate<T>::Serialize(void* stream, int saving, unsigned int /*version*/) {
  std::FILE* file = static_cast<std::FILE*>(stream);
  using Codec = KVectorElementFile<T>;
  if (saving) {
    if (!kvbase::internal::WriteUint32(file, numElements_)) {
      KSetError(K_ERROR_FILE_WRITE);
      return;
    }
    if (Codec::Write(file, data_, numElements_) != numElements_) KSetError(K_ERROR_FILE_WRITE);
    return;
  }

  std::uint32_t count = 0;
  if (!kvbase::internal::ReadUint32(file, &count)) {
    KSetError(K_ERROR_FILE_READ);
    return;
  }
  // A count the rest of the stream cannot hold is refused before anything is allocated.
  long long remaining = kvbase::internal::BytesLeft(file);
  if (remaining >= 0 &&
      static_cast<unsigned long long>(count) * Codec::kFileSize > static_cast<unsigned long long>(remaining)) {
    KSetError(K_ERROR_FILE_READ);
    return;
  }
  SetNumElements(0);
  if (remaining >= 0) {
    SetMaxElements(count);
    if (KGetError() != K_SUCCESS) return;
    numElements_ = static_cast<unsigned int>(Codec::Read(file, data_, count));
    if (numElements_ != count) KSetError(K_ERROR_FILE_READ);
    return;
  }
  // A stream of unknown length: read in bounded steps, so that memory follows what actually arrives.
  while (numElements_ < count) {
    unsigned int step = maxElements_ == 0 ? 4096u : maxElements_;
    unsigned int capacity = (count - maxElements_ < step) ? count : maxElements_ + step;
    SetMaxElements(capacity);
    if (KGetError() != K_SUCCESS) return;
    const unsigned int wanted = capacity - numElements_;
    const size_t got = Codec::Read(file, data_ + numElements_, wanted);
    numElements_ += static_cast<unsigned int>(got);
    if (got != wanted) {
      KSetError(K_ERROR_FILE_READ);
      return;
    }
  }
}

template class KVectorTemplate<unsigned char>;
template class KVectorTemplate<unsigned short>;
template class KVectorTemplate<unsigned int>;
template class KVectorTemplate<KC24>;
template class KVectorTemplate<KRun>;
