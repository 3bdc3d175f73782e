#include "kvbase/render/resize.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "kvbase/foundation/internal/report.h"
#include "kvbase/render/internal/row_gather.h"

using kvbase::internal::KGatherPlan;
using kvbase::internal::KGatherPlanBytes;
using kvbase::internal::KGatherRow;
using kvbase::internal::KPlanGather;

namespace {

constexpr const char* kTraceName = "KResize";

// Sets K_ERROR_IMAGE_MEMORY_ACCESS, traced, when `roi` is null or reaches no pixels.
template <typename T>
bool HasPixels(KROI<T>* roi) {
  KOk();
  if (roi == nullptr) {
    KReport(K_ERROR_IMAGE_MEMORY_ACCESS, kTraceName);
    return false;
  }
  roi->NotVoid();
  return !KTraceIfFailed(kTraceName);
}

// floor(i * from / to) for i = 0, 1, 2, ... in exact integer steps: the quotient and the remainder of
// from / to are added once per step, so a step costs the same whatever the ratio.
class KFloorSteps {
 public:
  KFloorSteps(int from, int to) : whole_(from / to), part_(from % to), to_(to) {}
  std::int64_t Value() const { return value_; }
  void Next() {
    value_ += whole_;
    rest_ += part_;
    if (rest_ >= to_) {
      rest_ -= to_;
      ++value_;
    }
  }

 private:
  std::int64_t whole_, part_, to_;
  std::int64_t value_ = 0, rest_ = 0;
};

// offsets[x] = floor(x * ws / wd) pixels as a byte offset. Byte offsets are 64-bit: a lent buffer may
// describe rows of more than 4 GiB.
void FillColumnTable(std::uint64_t* offsets, int ws, int wd, int pixelSize) {
  KFloorSteps column(ws, wd);
  for (int x = 0; x < wd; ++x, column.Next()) offsets[x] = static_cast<std::uint64_t>(column.Value()) * pixelSize;
}

template <typename T>
void Resize(KROI<T>* source, KROI<T>* destination) {
  constexpr int N = sizeof(T);
  if (!HasPixels(source) || !HasPixels(destination)) return;
  const int ws = source->GetWidth();
  const int hs = source->GetHeight();
  const int wd = destination->GetWidth();
  const int hd = destination->GetHeight();
  if (wd <= 0 || hd <= 0) return;
  // Every destination pixel needs a source pixel.
  if (ws <= 0 || hs <= 0) return (void)KReport(K_ERROR_IMAGE_MEMORY_ACCESS, kTraceName);

  // The one allocation, 64-byte aligned: the column table, then the masks of the row gatherer.
  constexpr std::size_t kAlign = 64;
  const std::size_t tableBytes = (static_cast<std::size_t>(wd) * 8 + kAlign - 1) / kAlign * kAlign;
  const std::size_t planBytes = KGatherPlanBytes(wd, N);
  std::unique_ptr<unsigned char[]> memory(new (std::nothrow) unsigned char[tableBytes + planBytes + kAlign - 1]);
  if (!memory) return (void)KReport(K_ERROR_ALLOCATION, kTraceName);
  unsigned char* aligned = reinterpret_cast<unsigned char*>(
      (reinterpret_cast<std::uintptr_t>(memory.get()) + kAlign - 1) & ~static_cast<std::uintptr_t>(kAlign - 1));
  std::uint64_t* offsets = reinterpret_cast<std::uint64_t*>(aligned);
  FillColumnTable(offsets, ws, wd, N);
  const KGatherPlan plan = KPlanGather(offsets, wd, N, static_cast<std::size_t>(ws) * N, aligned + tableBytes);

  const unsigned char* sourceBase = reinterpret_cast<const unsigned char*>(source->GetImagePtr(0, 0));
  unsigned char* destinationRow = reinterpret_cast<unsigned char*>(destination->GetImagePtr(0, 0));
  const std::ptrdiff_t sourcePitch = source->GetRowPitch();
  const std::ptrdiff_t destinationPitch = destination->GetRowPitch();
  const std::size_t rowBytes = static_cast<std::size_t>(wd) * N;

  KFloorSteps row(hs, hd);
  int gatheredRow = -1;
  for (int y = 0; y < hd; ++y, destinationRow += destinationPitch) {
    const int currentRow = static_cast<int>(row.Value());
    row.Next();
    const int sourceRow = static_cast<int>(row.Value());  // the next destination row's
    if (currentRow == gatheredRow) {
      // Same source row as the row above (enlarging): copy that row instead of gathering again.
      std::memmove(destinationRow, destinationRow - destinationPitch, rowBytes);
      continue;
    }
    // The source row gathered next: the next destination row's, or when enlarging the one below.
    const int nextRow = sourceRow > currentRow ? sourceRow : currentRow + 1;
    const unsigned char* next = nextRow < hs && y + 1 < hd ? sourceBase + nextRow * sourcePitch : nullptr;
    KGatherRow(plan, destinationRow, sourceBase + currentRow * sourcePitch, next);
    gatheredRow = currentRow;
  }
}

}  // namespace

void KResize(KROI<unsigned char>* source, KROI<unsigned char>* destination) { Resize(source, destination); }
void KResize(KROI<unsigned short>* source, KROI<unsigned short>* destination) { Resize(source, destination); }
void KResize(KROI<KC15>* source, KROI<KC15>* destination) { Resize(source, destination); }
void KResize(KROI<KC16>* source, KROI<KC16>* destination) { Resize(source, destination); }
void KResize(KROI<KC24>* source, KROI<KC24>* destination) { Resize(source, destination); }
void KResize(KROI<KC24A>* source, KROI<KC24A>* destination) { Resize(source, destination); }
