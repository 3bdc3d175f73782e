#ifndef KVBASE_VECTORS_VECTOR_TEMPLATE_H
#define KVBASE_VECTORS_VECTOR_TEMPLATE_H

// KVectorTemplate<T>: the library's growable array of plain elements, instantiated for unsigned char,
// unsigned short, unsigned int, KC24 and KRun. It owns one buffer, doubles its capacity when elements are
// appended, reports failures through the current error, and saves and loads itself as a vector file:
//
//   offset 0  'K', element type code, version 1, xor of the three bytes
//   offset 4  number of elements N, 32-bit little-endian
//   offset 8  N elements, raw (KC24 three bytes; KRun as start, end as 32-bit words, then x and y)
//
// Assignment hands the buffer over and empties the source. There is no copy constructor.

#include "kvbase/pixels/pixel_types.h"
#include "kvbase/platform/export.h"
#include "kvbase/vectors/run.h"

template <typename T>
class KVBASE_API KVectorTemplate {
 public:
  KVectorTemplate();
  virtual ~KVectorTemplate();
  KVectorTemplate(const KVectorTemplate&) = delete;

  // Takes over `other`'s buffer and counts; `other` is left empty with no buffer.
  KVectorTemplate& operator=(KVectorTemplate& other);

  // The element at `index`; an index at or past the number of elements sets
  // K_ERROR_PARAMETER_1_OUT_OF_RANGE and returns a shared dummy element.
  T& operator[](unsigned int index);

  // Append one element, doubling the capacity when full (1, 2, 4, ...).
  void AddElement(T element);
  void AddElementByRef(T& element);
  // Sets the number of elements to 0 and keeps the buffer.
  void Empty() { numElements_ = 0; }

  T* GetDataPtr() { return data_; }
  const T* GetDataPtr() const { return data_; }
  unsigned int GetNumElements() const { return numElements_; }
  unsigned int GetMaxElements() const { return maxElements_; }

  // Reallocates to exactly `count` elements. The elements are kept when they fit, otherwise discarded
  // (the number of elements becomes 0). On failure the vector is unchanged.
  void SetMaxElements(unsigned int count);
  // Sets the number of elements; growing past the capacity empties the vector first, so none of the
  // previous elements survive.
  void SetNumElements(unsigned int count);

  void Save(const char* path);
  void Load(const char* path);
  // Writes (saving non-zero) or reads the body of a vector file at the stream's position; `file` is a
  // FILE*. Sets K_ERROR_FILE_WRITE / K_ERROR_FILE_READ without tracing.
  void Serialize(void* file, int saving, unsigned int version);

 private:
  bool Grow(const char* traceName);

  unsigned int numElements_;
  unsigned int maxElements_;
  T* data_;
};

#endif  // KVBASE_VECTORS_VECTOR_TEMPLATE_H
