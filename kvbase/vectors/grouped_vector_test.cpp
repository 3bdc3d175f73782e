#include "kvbase/vectors/grouped_vector.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kvbase/testing/trace_capture.h"

namespace {

using Names = std::vector<std::string>;

// Data type, data size, groups, group length, maximum groups, use, allocated bytes, vector type.
std::vector<int> Shape(KVector& v) {
  return {v.GetDataType(),   v.GetDataSize(), v.GetNbGroup(),       v.GetGroupLength(),
          v.GetNbMaxGroup(), v.GetUse(),      v.GetAllocatedSize(), v.GetVectType()};
}

TEST(GroupedVector, ConstructionAndTypes) {
  KVector sized(10);  // 32-bit items; group length 0 gives no whole group
  EXPECT_EQ(Shape(sized), (std::vector<int>{1, 8, 1, 0, 0, 0, 40, 0}));
  const std::vector<int> shapes[] = {
      {2, 8, 2000, 3, 2000, 2, 24000, 1}, {1, 8, 1, 256, 1, 1, 1024, 2},      {1, 2, 1, 256, 1, 10, 256, 3},
      {2, 8, 512, 3, 512, 5, 6144, 4},    {2, 8, 1000, 3, 1000, 9, 12000, 5}, {2, 8, 50, 4, 50, 3, 800, 6},
      {4, 8, 1, 1, 1, 10, 4, 7},
  };
  for (int type = 1; type <= 7; ++type) {
    KVector v;
    v.SetType(type, 0, 0);
    EXPECT_EQ(Shape(v), shapes[type - 1]) << type;
    const std::vector<unsigned char> zeros(v.GetAllocatedSize(), 0);
    EXPECT_EQ(std::memcmp(v.GetDataPtr(), zeros.data(), zeros.size()), 0);
  }
  KVector unknown;
  unknown.SetStructure(2, 3, 4, 1);
  KSetError(K_ERROR_FILE_READ);
  EXPECT_EQ(unknown.SetType(9, 5, 5), K_SUCCESS);  // changes nothing
  EXPECT_EQ(Shape(unknown), (std::vector<int>{1, 2, 3, 4, 3, 0, 12, 0}));

  struct Fit {
    int dataSize, groups, length, dataType;
    int fits[9];  // IsSameVectType for types 0 to 8
  } fits[] = {
      {8, 17, 3, 2, {0, 1, 0, 0, 1, 1, 0, 0, 0}},   // INT32 triples, any number of groups
      {8, 1, 4, 2, {0, 0, 0, 0, 0, 0, 1, 0, 0}},    // INT32 quadruples
      {8, 1, 256, 1, {0, 0, 1, 0, 0, 0, 0, 0, 0}},  // one UINT32 group of 256
      {8, 2, 256, 1, {0, 0, 0, 0, 0, 0, 0, 0, 0}},  // two groups: not a histogram
      {2, 1, 256, 1, {0, 0, 0, 1, 0, 0, 0, 0, 0}},  // one UINT8 group of 256
      {8, 1, 1, 4, {0, 0, 0, 0, 0, 0, 0, 0, 0}},    // type 7's own shape never fits
  };
  for (const Fit& f : fits) {
    for (int type = 0; type <= 8; ++type) {
      KVector v;
      v.SetStructure(f.dataSize, f.groups, f.length, f.dataType);
      v.SetUse(42);
      EXPECT_EQ(v.IsSameVectType(type), f.fits[type]) << "length " << f.length << " type " << type;
      EXPECT_EQ(v.GetVectType(), f.fits[type] ? type : 0);
      EXPECT_EQ(v.GetUse(), f.fits[type] ? shapes[type - 1][5] : 42);
    }
  }
}

// One format: item group x length + index, and whole groups in order.
template <typename T>
void CheckFormat(int dataSize, int dataType, T a, T b) {
  SCOPED_TRACE(::testing::Message() << "data size " << dataSize << ", type " << dataType);
  KVector v;
  v.SetStructure(dataSize, 4, 3, dataType);
  EXPECT_EQ(v.GetAllocatedSize(), static_cast<int>(12 * sizeof(T)));
  T item{}, in[6] = {a, b, a, b, b, a}, out[9] = {};
  EXPECT_EQ(v.SetData(2, 1, a), K_SUCCESS);
  EXPECT_EQ(v.GetData(2, 1, item), K_SUCCESS);
  EXPECT_EQ(item, a);
  EXPECT_EQ(std::memcmp(static_cast<T*>(v.GetDataPtr()) + 7, &a, sizeof(T)), 0);
  EXPECT_EQ(v.SetGroups(1, 2, in), K_SUCCESS);
  EXPECT_EQ(v.GetGroups(0, 3, out), K_SUCCESS);
  EXPECT_EQ(std::memcmp(out + 3, in, sizeof in), 0);
}

TEST(GroupedVector, EveryFormatRoundTrips) {
  CheckFormat<unsigned char>(2, 1, 200, 7);
  CheckFormat<unsigned short>(4, 1, 60000, 7);
  CheckFormat<unsigned int>(8, 1, 4000000000u, 7);
  CheckFormat<char>(2, 2, -100, 7);
  CheckFormat<short>(4, 2, -30000, 7);
  CheckFormat<int>(8, 2, -2000000000, 7);
  CheckFormat<float>(8, 4, -1.5f, 3.25f);
  CheckFormat<double>(16, 4, 1e300, -2.5);
}

TEST(GroupedVector, RefusedAccessesTouchNothing) {
  KTraceCapture trace;
  KVector v;
  v.SetStructure(8, 2, 3, 2);  // 6 INT32 items
  int values[6] = {1, 2, 3, 4, 5, 6}, buffer[9] = {}, i = 9;
  v.SetGroups(0, 2, values);
  float f = 9.0f;
  unsigned int u = 9;
  double d[6] = {};
  struct Case {
    std::function<short()> call;
    K_ERRORS code;
    const char* name;  // traced when refused
  } cases[] = {
      {[&] { return v.GetData(0, 0, f); }, K_ERROR_INVALID_DATA_TYPE, "KVector::GetData FLOAT32"},
      {[&] { return v.SetData(0, 0, u); }, K_ERROR_INVALID_DATA_TYPE, "KVector::SetData UINT32"},
      {[&] { return v.GetGroups(0, 2, d); }, K_ERROR_INVALID_DATA_TYPE, "KVector::GetGroups FLOAT64"},
      {[&] { return v.SetData(1, 2, i); }, K_SUCCESS, ""},  // the last item
      {[&] { return v.GetData(0, 5, i); }, K_SUCCESS, ""},  // indices are not checked against the length
      {[&] { return v.SetData(2, 0, i); }, K_ERROR_GROUP_OUT_OF_RANGE, "KVector::SetData INT32"},
      {[&] { return v.GetData(0, -1, i); }, K_ERROR_GROUP_OUT_OF_RANGE, "KVector::GetData INT32"},
      {[&] { return v.GetData(INT_MAX, INT_MAX, i); }, K_ERROR_GROUP_OUT_OF_RANGE, "KVector::GetData INT32"},
      {[&] { return v.GetGroups(1, 2, buffer); }, K_ERROR_GROUP_OUT_OF_RANGE, "KVector::GetGroups INT32"},
      {[&] { return v.SetGroups(-1, 1, buffer); }, K_ERROR_GROUP_OUT_OF_RANGE, "KVector::SetGroups INT32"},
      {[&] { return v.GetGroups(0, 1, static_cast<int*>(nullptr)); }, K_ERROR_PARAMETER_3_OUT_OF_RANGE,
       "KVector::GetGroups INT32"},
  };
  for (const Case& c : cases) {
    trace.Clear();
    EXPECT_EQ(c.call(), c.code) << c.name;
    EXPECT_EQ(trace.Names(), c.code == K_SUCCESS ? Names{} : Names{c.name});
  }
  EXPECT_EQ(f, 9.0f);
  EXPECT_EQ(d[0], 0.0);
  EXPECT_EQ(std::memcmp(v.GetDataPtr(), values, 20), 0);  // only the last item was written
  v.SetStructure(4, 1, 1, 2);                             // INT16: the data type is checked before the size
  EXPECT_EQ(v.GetData(0, 0, f), K_ERROR_INVALID_DATA_TYPE);
  EXPECT_EQ(v.GetData(0, 0, i), K_ERROR_INVALID_DATA_SIZE);
}

TEST(GroupedVector, AllocationAndReallocation) {
  KTraceCapture trace;
  KVector v;
  v.SetStructure(2, 4, 2, 1);  // 8 UINT8 items in 4 groups
  unsigned char items[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  v.SetGroups(0, 4, items);
  EXPECT_EQ(v.Reallocate(12), K_SUCCESS);
  EXPECT_EQ(v.GetNbMaxGroup(), 6);
  EXPECT_EQ(v.Reallocate(5), K_SUCCESS);
  EXPECT_EQ(v.GetNbMaxGroup(), 2);  // rounded down
  EXPECT_EQ(std::memcmp(v.GetDataPtr(), items, 5), 0);
  EXPECT_EQ(v.Reallocate(0), K_SUCCESS);
  EXPECT_EQ(v.GetDataPtr(), nullptr);

  struct Case {
    std::function<short()> call;
    Names names;
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
    EXPECT_EQ(v.GetDataPtr(), nullptr);
    EXPECT_EQ(v.GetAllocatedSize(), 0);  // a plain getter also clears the error
    EXPECT_EQ(KGetError(), K_SUCCESS);
  }
  KVector negative(-1);  // the constructor's failure stays reported
  EXPECT_EQ(KGetError(), K_ERROR_ALLOCATION);
}

}  // namespace
