#include "kvbase/vectors/vector_template.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <vector>

#include "kvbase/testing/temp_dir.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The bytes of a vector file saved from `elements`.
template <typename T>
Bytes SavedBytes(const KTempDir& dir, std::vector<T> elements) {
  KVectorTemplate<T> v;
  for (T& e : elements) v.AddElement(e);
  KOk();
  v.Save(dir.Path("saved.vec").c_str());
  EXPECT_EQ(KGetError(), K_SUCCESS);
  return KReadFileBytes(dir.Path("saved.vec"));
}

TEST(VectorTemplate, GrowthByDoublingAndCapacityChanges) {
  KVectorTemplate<unsigned short> v;
  EXPECT_EQ(v.GetDataPtr(), nullptr);
  std::vector<unsigned int> capacities;
  for (unsigned short i = 0; i < 5; ++i) {
    v.AddElement(i * 10);
    capacities.push_back(v.GetMaxElements());
  }
  EXPECT_EQ(capacities, (std::vector<unsigned int>{1, 2, 4, 4, 8}));
  unsigned short fifty = 50;
  v.AddElementByRef(fifty);
  EXPECT_EQ(v.GetNumElements(), 6u);
  EXPECT_EQ(v[4], 40);
  EXPECT_EQ(v[5], 50);
  v.Empty();
  EXPECT_EQ(v.GetNumElements(), 0u);
  EXPECT_EQ(v.GetMaxElements(), 8u);

  KVectorTemplate<unsigned char> w;
  for (unsigned char c : {7, 8, 9}) w.AddElement(c);
  w.SetMaxElements(5);  // the elements fit: kept
  EXPECT_EQ(w.GetNumElements(), 3u);
  EXPECT_EQ(w[2], 9);
  w.SetMaxElements(2);  // they do not: discarded, not truncated
  EXPECT_EQ(w.GetNumElements(), 0u);
  EXPECT_EQ(w.GetMaxElements(), 2u);
  w.SetNumElements(1);  // inside the capacity: only the count changes
  EXPECT_EQ(w.GetMaxElements(), 2u);
  w.SetNumElements(10);  // past it: the buffer is replaced
  EXPECT_EQ(w.GetNumElements(), 10u);
  EXPECT_EQ(w.GetMaxElements(), 10u);
  w.SetMaxElements(0);
  EXPECT_EQ(w.GetDataPtr(), nullptr);
}

TEST(VectorTemplate, OutOfRangeIndexGivesTheDummy) {
  KTraceCapture trace;
  KVectorTemplate<KC24> v;
  v.AddElement(KC24(1, 2, 3));
  KC24& dummy = v[1];
  EXPECT_EQ(KGetError(), K_ERROR_PARAMETER_1_OUT_OF_RANGE);
  EXPECT_EQ(trace.Names(), std::vector<std::string>{"KVector::operator[]"});
  EXPECT_EQ(&dummy, &v[7]);  // one dummy shared by all
  EXPECT_NE(&dummy, v.GetDataPtr());
}

TEST(VectorTemplate, AssignmentHandsTheBufferOver) {
  KVectorTemplate<unsigned int> a, b;
  for (unsigned int i : {1, 2, 3}) b.AddElement(i);
  unsigned int* buffer = b.GetDataPtr();
  a.AddElement(99);
  a = b;
  EXPECT_EQ(a.GetDataPtr(), buffer);
  EXPECT_EQ(a.GetNumElements(), 3u);
  EXPECT_EQ(a.GetMaxElements(), 4u);
  EXPECT_EQ(b.GetNumElements(), 0u);
  EXPECT_EQ(b.GetMaxElements(), 0u);
  EXPECT_EQ(b.GetDataPtr(), nullptr);
  a = a;  // self-assignment empties
  EXPECT_EQ(a.GetDataPtr(), nullptr);
  EXPECT_EQ(a.GetNumElements(), 0u);
}

TEST(VectorTemplate, FileBytesPerElementType) {
  KTempDir dir;
  EXPECT_EQ(SavedBytes<unsigned char>(dir, {}), (Bytes{0x4B, 1, 1, 0x4B, 0, 0, 0, 0}));
  EXPECT_EQ(SavedBytes<unsigned short>(dir, {0x1234}), (Bytes{0x4B, 2, 1, 0x48, 1, 0, 0, 0, 0x34, 0x12}));
  EXPECT_EQ(SavedBytes<unsigned int>(dir, {0x01020304}), (Bytes{0x4B, 3, 1, 0x49, 1, 0, 0, 0, 4, 3, 2, 1}));
  EXPECT_EQ(SavedBytes<KC24>(dir, {KC24(3, 2, 1)}), (Bytes{0x4B, 4, 1, 0x4E, 1, 0, 0, 0, 1, 2, 3}));
  EXPECT_EQ(SavedBytes<KRun>(dir, {KRun{0x10, 0x1A, 3, 0x102}}),
            (Bytes{0x4B, 6, 1, 0x4C, 1, 0, 0, 0, 0x10, 0, 0, 0, 0x1A, 0, 0, 0, 3, 0, 2, 1}));
}

TEST(VectorTemplate, RoundTripThroughAFileAndThroughAPipe) {
  KTempDir dir;
  const std::string path = dir.Path("v.vec");
  KVectorTemplate<KRun> runs;
  for (unsigned short i = 0; i < 3000; ++i)
    runs.AddElement(KRun{i * 4u, i * 4u + 8, i, static_cast<unsigned short>(i / 2)});
  runs.Save(path.c_str());
  KVectorTemplate<KRun> loaded;
  loaded.AddElement(KRun{});
  loaded.Load(path.c_str());
  ASSERT_EQ(KGetError(), K_SUCCESS);
  ASSERT_EQ(loaded.GetNumElements(), 3000u);
  EXPECT_EQ(loaded.GetMaxElements(), 3000u);  // exactly the count
  EXPECT_EQ(loaded[2999].start, 2999u * 4);
  EXPECT_EQ(loaded[2999].end, 2999u * 4 + 8);
  EXPECT_EQ(loaded[2999].x, 2999);
  EXPECT_EQ(loaded[2999].y, 1499);

  // A pipe cannot tell how much it holds: the vector grows as elements arrive.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::FILE* writer = fdopen(fds[1], "wb");
  std::FILE* reader = fdopen(fds[0], "rb");
  KVectorTemplate<unsigned int> out, in;
  for (unsigned int i = 0; i < 5000; ++i) out.AddElement(i * 3);
  out.Serialize(writer, 1, 1);
  std::fclose(writer);
  in.Serialize(reader, 0, 1);
  std::fclose(reader);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  ASSERT_EQ(in.GetNumElements(), 5000u);
  EXPECT_EQ(in.GetMaxElements(), 5000u);
  EXPECT_EQ(in[4999], 4999u * 3);
}

TEST(VectorTemplate, LoadAndSaveRefuseBadFiles) {
  KTempDir dir;
  KTraceCapture trace;
  const Bytes good = SavedBytes<unsigned short>(dir, {1, 2});
  struct Case {
    const char* name;
    Bytes bytes;
    K_ERRORS expected;
  } cases[] = {
      {"short header", Bytes(good.begin(), good.begin() + 3), K_ERROR_FILE_READ},
      {"no count", Bytes(good.begin(), good.begin() + 6), K_ERROR_FILE_READ},
      {"cut inside the elements", Bytes(good.begin(), good.end() - 1), K_ERROR_FILE_READ},
      {"bad check byte", Bytes{0x4B, 2, 1, 0x49, 0, 0, 0, 0}, K_ERROR_BAD_FILE_FORMAT},
      {"other version", Bytes{0x4B, 2, 2, 0x4B ^ 2 ^ 2, 0, 0, 0, 0}, K_ERROR_BAD_FILE_FORMAT},
      {"other element type", Bytes{0x4B, 1, 1, 0x4B, 2, 0, 0, 0, 1, 2}, K_ERROR_BAD_FILE_FORMAT},
      {"huge count", Bytes{0x4B, 2, 1, 0x48, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2}, K_ERROR_FILE_READ},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(KWriteFileBytes(dir.Path("bad.vec"), c.bytes));
    KVectorTemplate<unsigned short> target;
    trace.Clear();
    target.Load(dir.Path("bad.vec").c_str());
    EXPECT_EQ(KGetError(), c.expected) << c.name;
    EXPECT_EQ(trace.Names(), std::vector<std::string>{"KVector::Load"}) << c.name;
    EXPECT_LE(target.GetMaxElements(), 2u) << c.name;  // never sized from a count the file cannot hold
  }

  KVectorTemplate<unsigned char> bytes;
  trace.Clear();
  bytes.Load(dir.Path("missing.vec").c_str());
  EXPECT_EQ(KGetError(), K_ERROR_FILE_OPEN);
  bytes.Save(dir.Path("no/such/dir.vec").c_str());
  EXPECT_EQ(KGetError(), K_ERROR_FILE_OPEN);
  EXPECT_EQ(trace.Names(), (std::vector<std::string>{"KVector::Load", "KVector::Save"}));
}

}  // namespace
