#include "kvbase/vectors/vector_template.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>
#include <vector>

#include "kvbase/testing/temp_dir.h"
#include "kvbase/testing/trace_capture.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(VectorTemplate, GrowthByDoubling) {
  KVectorTemplate<unsigned short> v;
  EXPECT_EQ(v.GetDataPtr(), nullptr);
  std::vector<unsigned int> capacities;
  for (unsigned short i = 0; i < 5; ++i) {
    v.AddElement(i * 10);
    capacities.push_back(v.GetMaxElements());
  }
  EXPECT_EQ(capacities, (std::vector<unsigned int>{1, 2, 4, 4, 8}));
  EXPECT_EQ(v.GetNumElements(), 5u);
  unsigned short forty = 40;
  v.AddElementByRef(forty);
  EXPECT_EQ(v[5], 40);
  EXPECT_EQ(v[4], 40);
  v.Empty();
  EXPECT_EQ(v.GetNumElements(), 0u);
  EXPECT_EQ(v.GetMaxElements(), 8u);
}

TEST(VectorTemplate, SettingCapacityAndCount) {
  KVectorTemplate<unsigned char> v;
  for (unsigned char c : {7, 8, 9}) v.AddElement(c);
  v.SetMaxElements(5);  // the elements fit: kept
  EXPECT_EQ(v.GetNumElements(), 3u);
  EXPECT_EQ(v[2], 9);
  v.SetMaxElements(2);  // they do not: discarded, not truncated
  EXPECT_EQ(v.GetNumElements(), 0u);
  EXPECT_EQ(v.GetMaxElements(), 2u);

  KVectorTemplate<unsigned int> w;
  w.SetMaxElements(4);
  w.SetNumElements(3);  // inside the capacity: only the count changes
  EXPECT_EQ(w.GetMaxElements(), 4u);
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
  b.AddElement(1);
  b.AddElement(2);
  b.AddElement(3);
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
  KVectorTemplate<unsigned char> empty;
  empty.Save(dir.Path("empty.vec").c_str());
  EXPECT_EQ(KReadFileBytes(dir.Path("empty.vec")), (Bytes{0x4B, 1, 1, 0x4B, 0, 0, 0, 0}));

  KVectorTemplate<unsigned short> words;
  words.AddElement(0x1234);
  words.Save(dir.Path("words.vec").c_str());
  EXPECT_EQ(KReadFileBytes(dir.Path("words.vec")), (Bytes{0x4B, 2, 1, 0x48, 1, 0, 0, 0, 0x34, 0x12}));

  KVectorTemplate<unsigned int> longs;
  longs.Save(dir.Path("longs.vec").c_str());
  EXPECT_EQ(KReadFileBytes(dir.Path("longs.vec"))[3], 0x49);

  KVectorTemplate<KC24> colours;
  colours.AddElement(KC24(3, 2, 1));
  colours.Save(dir.Path("colours.vec").c_str());
  EXPECT_EQ(KReadFileBytes(dir.Path("colours.vec")), (Bytes{0x4B, 4, 1, 0x4E, 1, 0, 0, 0, 1, 2, 3}));

  KVectorTemplate<KRun> runs;
  runs.AddElement(KRun{0x10, 0x1A, 3, 0x102});
  runs.Save(dir.Path("runs.vec").c_str());
  EXPECT_EQ(KReadFileBytes(dir.Path("runs.vec")),
            (Bytes{0x4B, 6, 1, 0x4C, 1, 0, 0, 0, 0x10, 0, 0, 0, 0x1A, 0, 0, 0, 3, 0, 2, 1}));
}

TEST(VectorTemplate, SaveAndLoadRoundTrip) {
  KTempDir dir;
  const std::string path = dir.Path("v.vec");
  KVectorTemplate<KRun> runs;
  for (unsigned short i = 0; i < 3000; ++i) runs.AddElement(KRun{i * 4u, i * 4u + 8, i, static_cast<unsigned short>(i / 2)});
  KOk();
  runs.Save(path.c_str());
  ASSERT_EQ(KGetError(), K_SUCCESS);

  KVectorTemplate<KRun> loaded;
  loaded.AddElement(KRun{});
  loaded.Load(path.c_str());
  ASSERT_EQ(KGetError(), K_SUCCESS);
  ASSERT_EQ(loaded.GetNumElements(), 3000u);
  EXPECT_EQ(loaded.GetMaxElements(), 3000u);  // exactly the count
  EXPECT_EQ(loaded[2999].start, 2999u * 4);
  EXPECT_EQ(loaded[2999].end, 2999u * 4 + 8);
  EXPECT_EQ(loaded[2999].y, 1499);
}

TEST(VectorTemplate, LoadRefusesBadFiles) {
  KTempDir dir;
  KTraceCapture trace;
  KVectorTemplate<unsigned short> words;
  words.AddElement(1);
  words.AddElement(2);
  words.Save(dir.Path("words.vec").c_str());
  Bytes good = KReadFileBytes(dir.Path("words.vec"));

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

  // A file of another element type is refused.
  KVectorTemplate<unsigned char> bytes;
  bytes.Load(dir.Path("words.vec").c_str());
  EXPECT_EQ(KGetError(), K_ERROR_BAD_FILE_FORMAT);
  bytes.Load(dir.Path("missing.vec").c_str());
  EXPECT_EQ(KGetError(), K_ERROR_FILE_OPEN);
  KVectorTemplate<unsigned char> unsaved;
  unsaved.Save(dir.Path("no/such/dir.vec").c_str());
  EXPECT_EQ(KGetError(), K_ERROR_FILE_OPEN);
}

TEST(VectorTemplate, SerializeOnAStreamOfUnknownLength) {
  // A pipe cannot tell how much it holds: the vector grows as elements arrive.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::FILE* writer = fdopen(fds[1], "wb");
  std::FILE* reader = fdopen(fds[0], "rb");
  KVectorTemplate<unsigned int> out;
  for (unsigned int i = 0; i < 5000; ++i) out.AddElement(i * 3);
  KOk();
  out.Serialize(writer, 1, 1);
  std::fclose(writer);
  KVectorTemplate<unsigned int> in;
  in.Serialize(reader, 0, 1);
  std::fclose(reader);
  EXPECT_EQ(KGetError(), K_SUCCESS);
  ASSERT_EQ(in.GetNumElements(), 5000u);
  EXPECT_EQ(in.GetMaxElements(), 5000u);
  EXPECT_EQ(in[4999], 4999u * 3);
}

}  // namespace
