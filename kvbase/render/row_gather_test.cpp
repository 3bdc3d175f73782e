#include "kvbase/render/internal/row_gather.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

namespace {

using kvbase::internal::KGatherKind;
using kvbase::internal::KGatherPlan;
using kvbase::internal::KGatherPlanBytes;
using kvbase::internal::KGatherRow;
using kvbase::internal::KPlanGather;

struct Table {
  std::vector<std::uint64_t> offsets;  // bytes
  int sourcePixels;
};

// floor(x * ws / wd) pixels, as the resize uses.
Table FloorTable(int ws, int wd, int pixelSize) {
  Table table{std::vector<std::uint64_t>(wd), ws};
  for (int x = 0; x < wd; ++x)
    table.offsets[x] = static_cast<std::uint64_t>(static_cast<long long>(x) * ws / wd) * pixelSize;
  return table;
}

// Non-decreasing steps of 0 to `maxStep` pixels: with small steps the blocks of one row mix one and two
// loads; with larger ones the vector blocks end early and the pixel copies take over mid-row.
Table RandomTable(int wd, int maxStep, int pixelSize, unsigned seed) {
  std::mt19937 random(seed);
  Table table{std::vector<std::uint64_t>(wd), 0};
  int column = 0;
  for (int x = 0; x < wd; ++x) {
    table.offsets[x] = static_cast<std::uint64_t>(column) * pixelSize;
    column += static_cast<int>(random() % (maxStep + 1));
  }
  table.sourcePixels = column + 1;
  return table;
}

// Gathers one row with `kind` from a source row allocated to its exact size (the sanitizer build sees any
// read past it) into a destination with guard bytes on both sides, and compares with pixel copies.
void CheckGather(const Table& table, int pixelSize, KGatherKind kind) {
  const int count = static_cast<int>(table.offsets.size());
  const std::size_t sourceBytes = static_cast<std::size_t>(table.sourcePixels) * pixelSize;
  std::vector<unsigned char> source(sourceBytes), next(sourceBytes);
  for (std::size_t i = 0; i < sourceBytes; ++i) source[i] = static_cast<unsigned char>(i * 131 + i / 256);

  // Plan memory of the exact size asked for, so that the sanitizer build sees any use past it.
  void* memory = nullptr;
  ASSERT_EQ(posix_memalign(&memory, 64, std::max<std::size_t>(KGatherPlanBytes(count, pixelSize), 1)), 0);
  const std::unique_ptr<void, void (*)(void*)> owned(memory, std::free);
  const KGatherPlan plan = KPlanGather(table.offsets.data(), count, pixelSize, sourceBytes, memory, kind);
  ASSERT_LE(static_cast<int>(plan.kind), static_cast<int>(kvbase::internal::KBestGatherKind()));
  constexpr std::size_t kGuard = 64;
  const std::size_t rowBytes = static_cast<std::size_t>(count) * pixelSize;
  std::vector<unsigned char> destination(rowBytes + 2 * kGuard, 0xEE);
  KGatherRow(plan, destination.data() + kGuard, source.data(), next.data());

  for (std::size_t i = 0; i < kGuard; ++i) {
    ASSERT_EQ(destination[i], 0xEE) << "written before the row";
    ASSERT_EQ(destination[kGuard + rowBytes + i], 0xEE) << "written after the row";
  }
  for (int x = 0; x < count; ++x) {
    for (int k = 0; k < pixelSize; ++k) {
      ASSERT_EQ(destination[kGuard + static_cast<std::size_t>(x) * pixelSize + k], source[table.offsets[x] + k])
          << "pixel " << x << " byte " << k << " of " << count;
    }
  }
}

TEST(RowGather, EveryKindMatchesPixelCopies) {
  for (KGatherKind kind : {KGatherKind::kCopy, KGatherKind::kShuffle16, KGatherKind::kPermute64}) {
    for (int pixelSize = 1; pixelSize <= 4; ++pixelSize) {
      SCOPED_TRACE(::testing::Message() << "kind " << static_cast<int>(kind) << ", " << pixelSize << "-byte pixels");
      // Reductions whose blocks just fit or just miss one and two registers, enlargements, copies, and rows
      // shorter than a block.
      for (const auto& sizes : {std::pair<int, int>{4096, 2048},
                                {4096, 3001},
                                {300, 143},
                                {300, 142},
                                {300, 97},
                                {300, 64},
                                {1000, 999},
                                {7, 3000},
                                {333, 333},
                                {5, 3},
                                {64, 63},
                                {1, 200}}) {
        CheckGather(FloorTable(sizes.first, sizes.second, pixelSize), pixelSize, kind);
      }
      for (int maxStep = 1; maxStep <= 5; ++maxStep) {
        CheckGather(RandomTable(777, maxStep, pixelSize, 17u * maxStep + pixelSize), pixelSize, kind);
      }
    }
  }
}

}  // namespace
