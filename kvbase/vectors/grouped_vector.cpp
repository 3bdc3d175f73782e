#include "kvbase/vectors/grouped_vector.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kvbase/foundation/internal/report.h"

namespace {

// The eight item formats: the codes a vector must carry for an accessor of item type T, and the suffix
// of the accessor's trace name.
template <typename T>
struct KItemFormat;

#define KV_ITEM_FORMAT(T, type, size, suffix)      \
  template <>                                      \
  struct KItemFormat<T> {                          \
    static constexpr int kDataType = type;         \
    static constexpr int kDataSize = size;         \
    static constexpr const char* kSuffix = suffix; \
  }
KV_ITEM_FORMAT(unsigned char, 1, 2, "UINT8");
KV_ITEM_FORMAT(unsigned short, 1, 4, "UINT16");
KV_ITEM_FORMAT(unsigned int, 1, 8, "UINT32");
KV_ITEM_FORMAT(char, 2, 2, "INT8");
KV_ITEM_FORMAT(short, 2, 4, "INT16");
KV_ITEM_FORMAT(int, 2, 8, "INT32");
KV_ITEM_FORMAT(float, 4, 8, "FLOAT32");
KV_ITEM_FORMAT(double, 4, 16, "FLOAT64");
#undef KV_ITEM_FORMAT

// The ready-made shapes of SetType, indexed by vector type - 1.
struct KVectorShape {
  int dataType, dataSize, groups, groupLength, use;
};
constexpr KVectorShape kShapes[] = {
    {2, 8, 2000, 3, 2},  // 1: INT32 triples
    {1, 8, 1, 256, 1},   // 2: UINT32 histogram
    {1, 2, 1, 256, 10},  // 3: UINT8 lookup table
    {2, 8, 512, 3, 5},   // 4: INT32 triples
    {2, 8, 1000, 3, 9},  // 5: INT32 triples
    {2, 8, 50, 4, 3},    // 6: INT32 quadruples
    {4, 8, 1, 1, 10},    // 7: one FLOAT32
};

const KVectorShape* ShapeOf(int vectorType) {
  if (vectorType < 1 || vectorType > 7) return nullptr;
  return &kShapes[vectorType - 1];
}

// The plain getters and setters clear the current error, like every other operation.
template <typename T>
T Cleared(T value) {
  KOk();
  return value;
}

void Assign(int& field, int value) {
  KOk();
  field = value;
}

void TraceTyped(K_ERRORS code, const char* operation, const char* suffix) {
  const std::string name = std::string("KVector::") + operation + " " + suffix;
  KReport(code, name.c_str());
}

}  // namespace

KVector::KVector(int items)
    : allocatedSize_(0),
      dataType_(1),
      nbGroup_(1),
      groupLength_(0),
      nbMaxGroup_(0),
      dataSize_(8),
      vectType_(0),
      use_(0),
      reserved_(),
      data_(nullptr) {
  // The item format is set first, so `items` counts 32-bit items.
  if (items != 0 && SetItemsAllocatedSize(items) != K_SUCCESS) return;
  nbMaxGroup_ = 0;
  KOk();
}

KVector::~KVector() {
  std::free(data_);
  KOk();
}

int KVector::ItemSize() const {
  switch (dataType_) {
    case 1:
    case 2: return dataSize_ == 4 ? 2 : dataSize_ == 8 ? 4 : 1;
    case 4: return dataSize_ == 16 ? 8 : 4;
    default: return 1;
  }
}

short KVector::Allocate(long long bytes, const char* traceName) {
  std::free(data_);
  data_ = nullptr;
  allocatedSize_ = 0;
  if (bytes == 0) return KOk();
  if (bytes < 0 || bytes > INT_MAX) return KReport(K_ERROR_ALLOCATION, traceName);
  data_ = std::calloc(static_cast<size_t>(bytes), 1);
  if (data_ == nullptr) return KReport(K_ERROR_ALLOCATION, traceName);
  allocatedSize_ = static_cast<int>(bytes);
  SetNbMaxGroup();
  return KOk();
}

void* KVector::GetDataPtr() { return Cleared(data_); }

short KVector::SetAllocatedSize(int bytes) { return Allocate(bytes, "KVector::SetAllocatedSize"); }

short KVector::SetItemsAllocatedSize(int items) {
  return Allocate(static_cast<long long>(items) * ItemSize(), "KVector::SetItemsAllocatedSize");
}

short KVector::Reallocate(int bytes) {
  if (bytes == 0) return Allocate(0, "KVector::Reallocate");
  void* block = bytes < 0 ? nullptr : std::realloc(data_, static_cast<size_t>(bytes));
  if (block == nullptr) {
    std::free(data_);  // the size becomes 0, so the old block could never be reached again
    data_ = nullptr;
    allocatedSize_ = 0;
    return KReport(K_ERROR_ALLOCATION, "KVector::Reallocate");
  }
  data_ = block;
  allocatedSize_ = bytes;
  SetNbMaxGroup();
  return KOk();
}

short KVector::AllocateGroups(const char* caller) {
  const long long items = static_cast<long long>(nbGroup_) * groupLength_;
  if (Allocate(items * ItemSize(), "KVector::SetItemsAllocatedSize") != K_SUCCESS) KTraceError(caller);
  return KGetError();
}

void KVector::SetNbMaxGroup() {
  const long long groupBytes = static_cast<long long>(groupLength_) * ItemSize();
  nbMaxGroup_ = groupBytes == 0 ? 0 : static_cast<int>(allocatedSize_ / groupBytes);
}

short KVector::SetStructure(int dataSize, int groups, int groupLength, int dataType) {
  KOk();
  dataSize_ = dataSize;
  nbGroup_ = groups;
  groupLength_ = groupLength;
  dataType_ = dataType;
  vectType_ = 0;
  return AllocateGroups("KVector::SetStructure");
}

short KVector::SetType(int vectorType, int groups, int groupLength) {
  const KVectorShape* shape = ShapeOf(vectorType);
  if (shape == nullptr) return KOk();
  if (groups == 0) groups = shape->groups;
  if (groupLength == 0) groupLength = shape->groupLength;
  dataSize_ = shape->dataSize;
  dataType_ = shape->dataType;
  nbGroup_ = groups;
  groupLength_ = groupLength;
  vectType_ = vectorType;
  use_ = shape->use;
  return AllocateGroups("KVector::SetType");
}

int KVector::IsSameVectType(int vectorType) {
  KOk();
  const KVectorShape* shape = ShapeOf(vectorType);
  if (shape == nullptr || vectorType == 7) return 0;
  if (dataType_ != shape->dataType || dataSize_ != shape->dataSize) return 0;
  if (groupLength_ != shape->groupLength) return 0;
  // The single-group shapes (2 and 3) also need their one group; the record lists do not count groups.
  if (shape->groups == 1 && nbGroup_ != 1) return 0;
  vectType_ = vectorType;
  use_ = shape->use;
  return 1;
}

void KVector::SetVectType(int vectorType) { Assign(vectType_, vectorType); }
void KVector::SetDataSize(int dataSize) { Assign(dataSize_, dataSize); }
void KVector::SetNbGroup(int groups) { Assign(nbGroup_, groups); }
void KVector::SetGroupLength(int groupLength) { Assign(groupLength_, groupLength); }
void KVector::SetUse(int use) { Assign(use_, use); }
void KVector::SetDataType(int dataType) { Assign(dataType_, dataType); }

int KVector::GetAllocatedSize() { return Cleared(allocatedSize_); }
int KVector::GetDataType() { return Cleared(dataType_); }
int KVector::GetDataSize() { return Cleared(dataSize_); }
int KVector::GetVectType() { return Cleared(vectType_); }
int KVector::GetNbGroup() { return Cleared(nbGroup_); }
int KVector::GetNbMaxGroup() { return Cleared(nbMaxGroup_); }
int KVector::GetGroupLength() { return Cleared(groupLength_); }
int KVector::GetUse() { return Cleared(use_); }

template <typename T>
bool KVector::CheckAccess(const char* operation, long long first, long long count, const void* buffer) {
  using Format = KItemFormat<T>;
  if (dataType_ != Format::kDataType) {
    TraceTyped(K_ERROR_INVALID_DATA_TYPE, operation, Format::kSuffix);
    return false;
  }
  if (dataSize_ != Format::kDataSize) {
    TraceTyped(K_ERROR_INVALID_DATA_SIZE, operation, Format::kSuffix);
    return false;
  }
  if (count == 0) return true;
  if (buffer == nullptr) {
    TraceTyped(K_ERROR_PARAMETER_3_OUT_OF_RANGE, operation, Format::kSuffix);
    return false;
  }
  const long long items = allocatedSize_ / static_cast<long long>(sizeof(T));
  if (data_ == nullptr || first < 0 || count < 0 || first > items || count > items - first) {
    TraceTyped(K_ERROR_GROUP_OUT_OF_RANGE, operation, Format::kSuffix);
    return false;
  }
  return true;
}

template <typename T>
short KVector::CopyGroups(const char* operation, int firstGroup, int groupCount, T* buffer, bool toVector) {
  KOk();
  const long long first = static_cast<long long>(firstGroup) * groupLength_;
  const long long count = static_cast<long long>(groupCount) * groupLength_;
  if (!CheckAccess<T>(operation, first, count, buffer)) return KGetError();
  if (count == 0) return KOk();
  T* items = static_cast<T*>(data_) + first;
  const size_t bytes = static_cast<size_t>(count) * sizeof(T);
  if (toVector) {
    std::memmove(items, buffer, bytes);
  } else {
    std::memmove(buffer, items, bytes);
  }
  return KOk();
}

template <typename T>
short KVector::AccessItem(const char* operation, int group, int index, T* value, bool toVector) {
  KOk();
  const long long item = static_cast<long long>(group) * groupLength_ + index;
  if (!CheckAccess<T>(operation, item, 1, value)) return KGetError();
  T* slot = static_cast<T*>(data_) + item;
  if (toVector) {
    std::memcpy(slot, value, sizeof(T));
  } else {
    std::memcpy(value, slot, sizeof(T));
  }
  return KOk();
}

// The four typed accessors of one item type, all on the generic implementation above.
#define KV_TYPED_ACCESS(T)                                                         \
  short KVector::GetGroups(int firstGroup, int groupCount, T* destination) {       \
    return CopyGroups<T>("GetGroups", firstGroup, groupCount, destination, false); \
  }                                                                                \
  short KVector::SetGroups(int firstGroup, int groupCount, T* source) {            \
    return CopyGroups<T>("SetGroups", firstGroup, groupCount, source, true);       \
  }                                                                                \
  short KVector::GetData(int group, int index, T& value) {                         \
    return AccessItem<T>("GetData", group, index, &value, false);                  \
  }                                                                                \
  short KVector::SetData(int group, int index, T value) { return AccessItem<T>("SetData", group, index, &value, true); }
KV_TYPED_ACCESS(unsigned char)
KV_TYPED_ACCESS(unsigned short)
KV_TYPED_ACCESS(unsigned int)
KV_TYPED_ACCESS(char)
KV_TYPED_ACCESS(short)
KV_TYPED_ACCESS(int)
KV_TYPED_ACCESS(float)
KV_TYPED_ACCESS(double)
#undef KV_TYPED_ACCESS
