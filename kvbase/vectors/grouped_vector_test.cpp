#include "kvbase/vectors/grouped_vector.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kvbase/testing/trace_capture.h"

namespace {

bool AllZero(KVector& v) {
  const unsigned char* p = static_cast<const unsigned char*>(v.GetDataPtr());
  for (int i = 0; i < v.GetAllocatedSize(); ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

TEST(GroupedVector, Construction) {
  KVector empty;
  EXPECT_EQ(empty.GetDataPtr(), nullptr);
  EXPECT_EQ(empty.GetAllocatedSize(), 0);
  EXPECT_EQ(empty.GetDataType(), 1);
  EXPECT_EQ(empty.GetDataSize(), 8);
  EXPECT_EQ(empty.GetNbGroup(), 1);
  EXPECT_EQ(empty.GetGroupLength(), 0);
  EXPECT_EQ(empty.GetNbMaxGroup(), 0);
  EXPECT_EQ(empty.GetVectType(), 0);
  EXPECT_EQ(empty.GetUse(), 0);

  KVector sized(10);  // counted in 32-bit items
  EXPECT_EQ(KGetError(), K_SUCCESS);
  EXPECT_EQ(sized.GetAllocatedSize(), 40);
  EXPECT_EQ(sized.GetNbMaxGroup(), 0);  // group length 0
  EXPECT_TRUE(AllZero(sized));

  KTraceCapture trace;
  KVector negative(-1);
  EXPECT_EQ(KGetError(), K_ERROR_ALLOCATION);
  EXPECT_EQ(trace.Names(), std::vector<std::string>{"KVector::SetItemsAllocatedSize"});
  EXPECT_EQ(negative.GetAllocatedSize(), 0);
}

TEST(GroupedVector, SetTypeShapes) {
  struct Case {
    int type, groups, length, dataType, dataSize, use, bytes;
  } cases[] = {
      {1, 2000, 3, 2, 8, 2, 24000}, {2, 1, 256, 1, 8, 1, 1024}, {3, 1, 256, 1, 2, 10, 256},
      {4, 512, 3, 2, 8, 5, 6144},   {5, 1000, 3, 2, 8, 9, 12000}, {6, 50, 4, 2, 8, 3, 800},
      {7, 1, 1, 4, 8, 10, 4},
  };
  for (const Case& c : cases) {
    KVector v;
    v.SetUse(77);
    EXPECT_EQ(v.SetType(c.type, 0, 0), K_SUCCESS);
    EXPECT_EQ(v.GetVectType(), c.type);
    EXPECT_EQ(v.GetNbGroup(), c.groups) << c.type;
    EXPECT_EQ(v.GetGroupLength(), c.length) << c.type;
    EXPECT_EQ(v.GetDataType(), c.dataType) << c.type;
    EXPECT_EQ(v.GetDataSize(), c.dataSize) << c.type;
    EXPECT_EQ(v.GetUse(), c.use) << c.type;
    EXPECT_EQ(v.GetAllocatedSize(), c.bytes) << c.type;
    EXPECT_EQ(v.GetNbMaxGroup(), c.groups) << c.type;
    EXPECT_TRUE(AllZero(v)) << c.type;
  }

  KVector given;
  given.SetType(4, 7, 0);  // only the zero takes the default
  EXPECT_EQ(given.GetNbGroup(), 7);
  EXPECT_EQ(given.GetGroupLength(), 3);
  EXPECT_EQ(given.GetAllocatedSize(), 84);

  KTraceCapture trace;
  KVector unknown;
  unknown.SetStructure(2, 3, 4, 1);
  KSetError(K_ERROR_FILE_READ);
  EXPECT_EQ(unknown.SetType(9, 5, 5), K_SUCCESS);
  EXPECT_EQ(unknown.GetAllocatedSize(), 12);
  EXPECT_EQ(unknown.GetVectType(), 0);
  EXPECT_EQ(unknown.GetGroupLength(), 4);
  EXPECT_EQ(unknown.SetType(0, 0, 0), K_SUCCESS);
  EXPECT_EQ(unknown.GetDataSize(), 2);
  EXPECT_TRUE(trace.Names().empty());
}

TEST(GroupedVector, IsSameVectType) {
  struct Case {
    int dataSize, groups, length, dataType;
    int fits[8];  // result for vector types 0 to 7
  } cases[] = {
      {8, 17, 3, 2, {0, 1, 0, 0, 1, 1, 0, 0}},   // INT32 triples, any number of groups
      {8, 1, 4, 2, {0, 0, 0, 0, 0, 0, 1, 0}},    // INT32 quadruples
      {8, 1, 256, 1, {0, 0, 1, 0, 0, 0, 0, 0}},  // one UINT32 group of 256
      {8, 2, 256, 1, {0, 0, 0, 0, 0, 0, 0, 0}},  // two groups: no histogram
      {2, 1, 256, 1, {0, 0, 0, 1, 0, 0, 0, 0}},  // one UINT8 group of 256
      {8, 1, 3, 1, {0, 0, 0, 0, 0, 0, 0, 0}},    // UINT32 triples fit nothing
      {8, 1, 1, 4, {0, 0, 0, 0, 0, 0, 0, 0}},    // type 7's own shape never fits
  };
  const int uses[8] = {0, 2, 1, 10, 5, 9, 3, 10};
  for (const Case& c : cases) {
    for (int type = 0; type <= 8; ++type) {
      KVector v;
      v.SetStructure(c.dataSize, c.groups, c.length, c.dataType);
      v.SetUse(42);
      const int expected = type < 8 ? c.fits[type] : 0;
      EXPECT_EQ(v.IsSameVectType(type), expected) << "length " << c.length << " type " << type;
      EXPECT_EQ(v.GetVectType(), expected ? type : 0);
      EXPECT_EQ(v.GetUse(), expected ? uses[type] : 42);
    }
  }
}

// Round trip through every format's accessors, and refusal of every other format's overloads.
template <typename T>
void CheckFormat(int dataSize, int dataType, const char* suffix, T a, T b) {
  SCOPED_TRACE(suffix);
  KVector v;
  ASSERT_EQ(v.SetStructure(dataSize, 4, 3, dataType), K_SUCCESS);
  EXPECT_EQ(v.GetAllocatedSize(), static_cast<int>(12 * sizeof(T)));
  EXPECT_EQ(v.SetData(2, 1, a), K_SUCCESS);
  T item{};
  EXPECT_EQ(v.GetData(2, 1, item), K_SUCCESS);
  EXPECT_EQ(item, a);
  EXPECT_EQ(std::memcmp(static_cast<T*>(v.GetDataPtr()) + 7, &a, sizeof(T)), 0);  // item 2 * 3 + 1

  const T in[6] = {a, b, a, b, b, a};
  EXPECT_EQ(v.SetGroups(1, 2, const_cast<T*>(in)), K_SUCCESS);
  T out[9] = {};
  EXPECT_EQ(v.GetGroups(0, 3, out), K_SUCCESS);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(out[i], T{});
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[3 + i], in[i]) << i;
}

TEST(GroupedVector, EveryFormatRoundTrips) {
  CheckFormat<unsigned char>(2, 1, "UINT8", 200, 7);
  CheckFormat<unsigned short>(4, 1, "UINT16", 60000, 7);
  CheckFormat<unsigned int>(8, 1, "UINT32", 4000000000u, 7);
  CheckFormat<char>(2, 2, "INT8", -100, 7);
  CheckFormat<short>(4, 2, "INT16", -30000, 7);
  CheckFormat<int>(8, 2, "INT32", -2000000000, 7);
  CheckFormat<float>(8, 4, "FLOAT32", -1.5f, 3.25f);
  CheckFormat<double>(16, 4, "FLOAT64", 1e300, -2.5);
}

TEST(GroupedVector, OtherFormatsAreRefused) {
  KTraceCapture trace;
  KVector v;
  v.SetStructure(2, 2, 2, 1);  // UINT8
  unsigned char before[4] = {1, 2, 3, 4};
  v.SetGroups(0, 2, before);

  struct Case {
    std::function<short()> call;
    K_ERRORS code;
    const char* name;
  };
  float f = 9.0f;
  unsigned short w = 9;
  char c[4] = {9, 9, 9, 9};
  double d[4] = {9, 9, 9, 9};
  const Case cases[] = {
      {[&] { return v.GetData(0, 0, f); }, K_ERROR_INVALID_DATA_TYPE, "KVector::GetData FLOAT32"},
      {[&] { return v.GetData(0, 0, w); }, K_ERROR_INVALID_DATA_SIZE, "KVector::GetData UINT16"},
      {[&] { return v.SetData(0, 0, 5); }, K_ERROR_INVALID_DATA_TYPE, "KVector::SetData INT32"},
      {[&] { return v.SetData(0, 0, 5u); }, K_ERROR_INVALID_DATA_SIZE, "KVector::SetData UINT32"},
      {[&] { return v.SetGroups(0, 2, c); }, K_ERROR_INVALID_DATA_TYPE, "KVector::SetGroups INT8"},
      {[&] { return v.GetGroups(0, 2, d); }, K_ERROR_INVALID_DATA_TYPE, "KVector::GetGroups FLOAT64"},
  };
  for (const Case& k : cases) {
    trace.Clear();
    EXPECT_EQ(k.call(), k.code) << k.name;
    EXPECT_EQ(KGetError(), k.code);
    EXPECT_EQ(trace.Names(), std::vector<std::string>{k.name});
  }
  EXPECT_EQ(f, 9.0f);
  EXPECT_EQ(w, 9);
  EXPECT_EQ(d[0], 9.0);
  EXPECT_EQ(std::memcmp(v.GetDataPtr(), before, 4), 0);

  // The data type is compared before the size: a FLOAT32 accessor on INT16 items is a type error.
  v.SetStructure(4, 1, 1, 2);
  EXPECT_EQ(v.GetData(0, 0, f), K_ERROR_INVALID_DATA_TYPE);
}

TEST(GroupedVector, AccessOutsideTheBlockIsRefused) {
  KTraceCapture trace;
  KVector v;
  v.SetStructure(8, 2, 3, 2);  // 6 INT32 items
  int value = 5;
  int buffer[9] = {};
  struct Case {
    std::function<short()> call;
    K_ERRORS code;
  } cases[] = {
      {[&] { return v.SetData(1, 2, value); }, K_SUCCESS},     // last item
      {[&] { return v.SetData(0, 5, value); }, K_SUCCESS},     // the index is not checked against the length
      {[&] { return v.SetData(2, 0, value); }, K_ERROR_GROUP_OUT_OF_RANGE},
      {[&] { return v.GetData(0, -1, value); }, K_ERROR_GROUP_OUT_OF_RANGE},
      {[&] { return v.GetData(-1, 0, value); }, K_ERROR_GROUP_OUT_OF_RANGE},
      {[&] { return v.GetData(INT_MAX, INT_MAX, value); }, K_ERROR_GROUP_OUT_OF_RANGE},
      {[&] { return v.GetGroups(0, 2, buffer); }, K_SUCCESS},
      {[&] { return v.GetGroups(1, 2, buffer); }, K_ERROR_GROUP_OUT_OF_RANGE},
      {[&] { return v.SetGroups(0, 3, buffer); }, K_ERROR_GROUP_OUT_OF_RANGE},
      {[&] { return v.SetGroups(2, 0, buffer); }, K_SUCCESS},  // nothing to copy
      {[&] { return v.GetGroups(0, 1, static_cast<int*>(nullptr)); }, K_ERROR_PARAMETER_3_OUT_OF_RANGE},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    EXPECT_EQ(cases[i].call(), cases[i].code) << "case " << i;
  }
  EXPECT_EQ(trace.Names().size(), 7u);
  EXPECT_EQ(trace.Names()[0], "KVector::SetData INT32");

  KVector empty;  // group length 0 and no block: every item is outside
  EXPECT_EQ(empty.SetData(0, 0, 1u), K_ERROR_GROUP_OUT_OF_RANGE);
}

TEST(GroupedVector, AllocationAndReallocation) {
  KTraceCapture trace;
  KVector v;
  v.SetStructure(2, 4, 2, 1);  // 8 UINT8 items, 4 groups
  unsigned char items[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  v.SetGroups(0, 4, items);

  EXPECT_EQ(v.Reallocate(12), K_SUCCESS);
  EXPECT_EQ(v.GetAllocatedSize(), 12);
  EXPECT_EQ(v.GetNbMaxGroup(), 6);
  EXPECT_EQ(std::memcmp(v.GetDataPtr(), items, 8), 0);
  EXPECT_EQ(v.Reallocate(5), K_SUCCESS);
  EXPECT_EQ(v.GetNbMaxGroup(), 2);  // signed division, rounded down
  EXPECT_EQ(std::memcmp(v.GetDataPtr(), items, 5), 0);

  EXPECT_EQ(v.Reallocate(0), K_SUCCESS);
  EXPECT_EQ(v.GetAllocatedSize(), 0);
  EXPECT_EQ(v.GetDataPtr(), nullptr);

  EXPECT_EQ(v.SetAllocatedSize(10), K_SUCCESS);
  EXPECT_EQ(v.GetNbMaxGroup(), 5);
  EXPECT_TRUE(AllZero(v));
  EXPECT_EQ(v.SetItemsAllocatedSize(3), K_SUCCESS);
  EXPECT_EQ(v.GetAllocatedSize(), 3);
  EXPECT_TRUE(trace.Names().empty());

  struct Case {
    std::function<short()> call;
    std::vector<std::string> names;
  } failures[] = {
      {[&] { return v.SetAllocatedSize(-1); }, {"KVector::SetAllocatedSize"}},
      {[&] { return v.Reallocate(-8); }, {"KVector::Reallocate"}},
      {[&] { return v.SetStructure(16, 100000, 100000, 4); },
       {"KVector::SetItemsAllocatedSize", "KVector::SetStructure"}},
      {[&] { return v.SetType(1, INT_MAX, 0); }, {"KVector::SetItemsAllocatedSize", "KVector::SetType"}},
  };
  for (const Case& c : failures) {
    v.SetAllocatedSize(4);
    trace.Clear();
    EXPECT_EQ(c.call(), K_ERROR_ALLOCATION) << c.names.back();
    EXPECT_EQ(trace.Names(), c.names);
    EXPECT_EQ(v.GetAllocatedSize(), 0);
    EXPECT_EQ(v.GetDataPtr(), nullptr);
  }

  // A plain getter clears an earlier error.
  v.SetAllocatedSize(-1);
  EXPECT_EQ(v.GetAllocatedSize(), 0);
  EXPECT_EQ(KGetError(), K_SUCCESS);
}

TEST(GroupedVector, StructureSetsFormatAndKeepsUse) {
  KVector v;
  v.SetType(5, 0, 0);
  ASSERT_EQ(v.SetStructure(8, 10, 3, 2), K_SUCCESS);
  EXPECT_EQ(v.GetVectType(), 0);
  EXPECT_EQ(v.GetUse(), 9);
  EXPECT_EQ(v.GetAllocatedSize(), 120);
  EXPECT_EQ(v.SetData(2, 1, 7), K_SUCCESS);
  int value = 0;
  EXPECT_EQ(v.GetData(2, 1, value), K_SUCCESS);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(static_cast<int*>(v.GetDataPtr())[7], 7);

  // Item sizes of unusual codes: anything unknown counts as one byte, floats default to four.
  struct Case {
    int dataSize, dataType, bytes;
  } sizes[] = {{2, 1, 6}, {4, 2, 12}, {8, 1, 24}, {16, 1, 6}, {3, 2, 6}, {2, 4, 24}, {16, 4, 48}, {8, 3, 6}};
  for (const Case& c : sizes) {
    v.SetStructure(c.dataSize, 2, 3, c.dataType);
    EXPECT_EQ(v.GetAllocatedSize(), c.bytes) << c.dataSize << "/" << c.dataType;
    EXPECT_EQ(v.GetNbMaxGroup(), 2);
  }
  v.SetGroupLength(0);
  v.SetNbMaxGroup();
  EXPECT_EQ(v.GetNbMaxGroup(), 0);
}

}  // namespace
