#ifndef KVBASE_VECTORS_GROUPED_VECTOR_H
#define KVBASE_VECTORS_GROUPED_VECTOR_H

// KVector: the older, untyped vector. One block of memory seen as groups of items, every group holding
// the same number of items of one numeric format (8-, 16- or 32-bit unsigned or signed integers, 32- or
// 64-bit floats). A vector type code (1 to 7) gives ready-made shapes; items are read and written through
// typed accessors that refuse any format but the vector's own.
//
//   KVector v;
//   v.SetStructure(8, 10, 3, 2);   // 10 groups of 3 signed 32-bit items
//   v.SetData(2, 1, 7);            // item 2 * 3 + 1
//   int x; v.GetData(2, 1, x);     // 7
//
// Every operation starts by clearing the current error (even the plain getters); those returning
// `short` return the current error after the call. The block comes from the C allocator.
//
// Codes: data type 1 = unsigned integer, 2 = signed integer, 4 = floating point; data size 2 = 8-bit,
// 4 = 16-bit, 8 = 32-bit, 16 = 64-bit items.

#include "kvbase/platform/export.h"

class KVBASE_API KVector {
 public:
  // An empty vector of unsigned 32-bit items with group length 0, holding `items` zeroed items when
  // `items` is positive. A failed allocation leaves K_ERROR_ALLOCATION as the current error.
  explicit KVector(int items = 0);
  virtual ~KVector();
  // The block is owned: copying would share it.
  KVector(const KVector&) = delete;
  KVector& operator=(const KVector&) = delete;

  void* GetDataPtr();

  // Replaces the block by `bytes` zeroed bytes (none for 0). Failure, including a negative size:
  // K_ERROR_ALLOCATION, allocated size 0.
  short SetAllocatedSize(int bytes);
  // The same for `items` items of the current item size.
  short SetItemsAllocatedSize(int items);
  // Resizes the block, keeping its leading bytes; new bytes are not cleared. 0 frees the block. On
  // failure the block is released and the allocated size is 0 (K_ERROR_ALLOCATION).
  short Reallocate(int bytes);

  // Takes the given item format and shape, vector type 0 (the use code is kept), and a new zeroed block
  // of groups x groupLength items.
  short SetStructure(int dataSize, int groups, int groupLength, int dataType);
  // Takes the shape of vector type 1 to 7 (a 0 in `groups` or `groupLength` takes the type's default)
  // with a new zeroed block. Any other type changes nothing and succeeds.
  short SetType(int vectorType, int groups, int groupLength);
  // 1, and takes the type and use code of `vectorType`, when the present structure fits that type;
  // otherwise 0 and nothing changes.
  int IsSameVectType(int vectorType);
  // Maximum number of groups = allocated size / (group length x item size); 0 when that is 0.
  void SetNbMaxGroup();

  // Plain setters: no check, no reallocation.
  void SetVectType(int vectorType);
  void SetDataSize(int dataSize);
  void SetNbGroup(int groups);
  void SetGroupLength(int groupLength);
  void SetUse(int use);
  void SetDataType(int dataType);

  int GetAllocatedSize();
  int GetDataType();
  int GetDataSize();
  int GetVectType();
  int GetNbGroup();
  int GetNbMaxGroup();
  int GetGroupLength();
  int GetUse();

  // Typed access. The overload must match the vector's item format, else K_ERROR_INVALID_DATA_TYPE or
  // K_ERROR_INVALID_DATA_SIZE (traced "KVector::GetData INT16" and so on). Groups and indices are not
  // checked against the number of groups, but an access reaching outside the allocated block is refused
  // with K_ERROR_GROUP_OUT_OF_RANGE, as is a null buffer for a non-empty copy
  // (K_ERROR_PARAMETER_3_OUT_OF_RANGE). Nothing is read or written when an access is refused.
  //
  // GetGroups / SetGroups copy groupCount whole groups starting at group firstGroup.
  short GetGroups(int firstGroup, int groupCount, unsigned char* destination);
  short GetGroups(int firstGroup, int groupCount, unsigned short* destination);
  short GetGroups(int firstGroup, int groupCount, unsigned int* destination);
  short GetGroups(int firstGroup, int groupCount, char* destination);
  short GetGroups(int firstGroup, int groupCount, short* destination);
  short GetGroups(int firstGroup, int groupCount, int* destination);
  short GetGroups(int firstGroup, int groupCount, float* destination);
  short GetGroups(int firstGroup, int groupCount, double* destination);

  short SetGroups(int firstGroup, int groupCount, unsigned char* source);
  short SetGroups(int firstGroup, int groupCount, unsigned short* source);
  short SetGroups(int firstGroup, int groupCount, unsigned int* source);
  short SetGroups(int firstGroup, int groupCount, char* source);
  short SetGroups(int firstGroup, int groupCount, short* source);
  short SetGroups(int firstGroup, int groupCount, int* source);
  short SetGroups(int firstGroup, int groupCount, float* source);
  short SetGroups(int firstGroup, int groupCount, double* source);

  // GetData / SetData reach item group x group length + index.
  short GetData(int group, int index, unsigned char& value);
  short GetData(int group, int index, unsigned short& value);
  short GetData(int group, int index, unsigned int& value);
  short GetData(int group, int index, char& value);
  short GetData(int group, int index, short& value);
  short GetData(int group, int index, int& value);
  short GetData(int group, int index, float& value);
  short GetData(int group, int index, double& value);

  short SetData(int group, int index, unsigned char value);
  short SetData(int group, int index, unsigned short value);
  short SetData(int group, int index, unsigned int value);
  short SetData(int group, int index, char value);
  short SetData(int group, int index, short value);
  short SetData(int group, int index, int value);
  short SetData(int group, int index, float value);
  short SetData(int group, int index, double value);

 private:
  int ItemSize() const;
  // Replaces the block by `bytes` zeroed bytes; `bytes` may be any 64-bit count.
  short Allocate(long long bytes, const char* traceName);
  // Replaces the block by groups x group length zeroed items; a failure is traced as
  // "KVector::SetItemsAllocatedSize", then as `caller`.
  short AllocateGroups(const char* caller);
  // Checks the overload's format and that items [first, first + count) lie inside the block.
  template <typename T>
  bool CheckAccess(const char* operation, long long first, long long count, const void* buffer);
  template <typename T>
  short CopyGroups(const char* operation, int firstGroup, int groupCount, T* buffer, bool toVector);
  template <typename T>
  short AccessItem(const char* operation, int group, int index, T* value, bool toVector);

  int allocatedSize_;
  int dataType_;
  int nbGroup_;
  int groupLength_;
  int nbMaxGroup_;
  int dataSize_;
  int vectType_;
  int use_;
  [[maybe_unused]] unsigned char reserved_[32];  // carried for layout compatibility; never read
  void* data_;
};

#endif  // KVBASE_VECTORS_GROUPED_VECTOR_H
