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

// offsets[x] = floor(x * ws / wd) pixels as a byte offset, by exact accumulation.
void FillColumnTable(std::uint32_t* offsets, int ws, int wd, int pixelSize) {
  std::uint64_t columnRest = 0;
  std::uint32_t column = 0;
  for (int x = 0; x < wd; ++x) {
    offsets[x] = column * static_cast<std::uint32_t>(pixelSize);
    columnRest += static_cast<std::uint64_t>(ws);
    while (columnRest >= static_cast<std::uint64_t>(wd)) {
      columnRest -= static_cast<std::uint64_t>(wd);
      ++column;
    }
  }
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
  const std::size_t tableBytes = (static_cast<std::size_t>(wd) * 4 + kAlign - 1) / kAlign * kAlign;
  const std::size_t planBytes = KGatherPlanBytes(wd, N);
  std::unique_ptr<unsigned char[]> memory(new (std::nothrow) unsigned char[tableBytes + planBytes + kAlign - 1]);
  if (!memory) return (void)KReport(K_ERROR_ALLOCATION, kTraceName);
  unsigned char* aligned = reinterpret_cast<unsigned char*>(
      (reinterpret_cast<std::uintptr_t>(memory.get()) + kAlign - 1) & ~static_cast<std::uintptr_t>(kAlign - 1));
  std::uint32_t* offsets = reinterpret_cast<std::uint32_t*>(aligned);
  FillColumnTable(offsets, ws, wd, N);
  const KGatherPlan plan = KPlanGather(offsets, wd, N, static_cast<std::size_t>(ws) * N, aligned + tableBytes);

  const unsigned char* sourceBase = reinterpret_cast<const unsigned char*>(source->GetImagePtr(0, 0));
  unsigned char* destinationRow = reinterpret_cast<unsigned char*>(destination->GetImagePtr(0, 0));
  const std::ptrdiff_t sourcePitch = source->GetRowPitch();
  const std::ptrdiff_t destinationPitch = destination->GetRowPitch();
  const std::size_t rowBytes = static_cast<std::size_t>(wd) * N;

  int sourceRow = 0;  // for the next destination row
  int gatheredRow = -1;
  std::uint64_t rowRest = 0;
  for (int y = 0; y < hd; ++y, destinationRow += destinationPitch) {
    const int currentRow = sourceRow;
    rowRest += static_cast<std::uint64_t>(hs);
    while (rowRest >= static_cast<std::uint64_t>(hd)) {
      rowRest -= static_cast<std::uint64_t>(hd);
      ++sourceRow;
    }
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
