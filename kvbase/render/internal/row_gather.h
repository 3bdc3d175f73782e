#ifndef KVBASE_RENDER_INTERNAL_ROW_GATHER_H
#define KVBASE_RENDER_INTERNAL_ROW_GATHER_H

// Gathering one image row from another through a table of byte offsets (the inner loop of KResize):
// destination pixel x = the pixel of `pixelSize` bytes at source row + offsets[x].
//
// Where the processor has byte shuffles (SSSE3), the row is cut into blocks of 16 bytes or less, and each
// block whose source pixels lie within 32 bytes of its first one is built with two 16-byte loads and two
// shuffles through masks prepared once per call. Other blocks, and other processors, copy pixel by pixel.
// Loads stay inside the source row and stores inside the destination row.

#include <cstddef>
#include <cstdint>

namespace kvbase {
namespace internal {

struct KGatherBlock;

struct KGatherPlan {
  const std::uint32_t* offsets;  // per destination pixel, in bytes
  int count;                     // destination pixels per row
  int pixelSize;                 // 1 to 4 bytes
  int blockPixels;               // destination pixels per shuffled block
  int shuffledBlocks;            // leading blocks built by shuffles
  int wideCount;                 // leading 3-byte pixels that may move as 4 bytes
  bool twoLoads;                 // some block needs its second 16 source bytes
  bool sparse;                   // destination pixels lie a cache line or more apart in the source
  const KGatherBlock* blocks;
};

// Bytes of working memory that KPlanGather needs for `count` pixels of `pixelSize` bytes (aligned to 16).
std::size_t KGatherPlanBytes(int count, int pixelSize);

// Prepares the gathering of `count` pixels through `offsets` (non-decreasing) from source rows of
// `sourceRowBytes` bytes; `memory` holds KGatherPlanBytes bytes, 16-byte aligned, and must outlive the plan.
KGatherPlan KPlanGather(const std::uint32_t* offsets, int count, int pixelSize, std::size_t sourceRowBytes,
                        void* memory);

// Writes one destination row from one source row. `nextSource`, when not null, is the source row the
// following call will read: its bytes are requested from memory while this row is gathered.
void KGatherRow(const KGatherPlan& plan, unsigned char* destination, const unsigned char* source,
                const unsigned char* nextSource);

}  // namespace internal
}  // namespace kvbase

#endif  // KVBASE_RENDER_INTERNAL_ROW_GATHER_H
