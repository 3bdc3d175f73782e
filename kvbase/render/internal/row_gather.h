#ifndef KVBASE_RENDER_INTERNAL_ROW_GATHER_H
#define KVBASE_RENDER_INTERNAL_ROW_GATHER_H

// Gathering one image row from another through a table of byte offsets (the inner loop of KResize):
// destination pixel x = the pixel of `pixelSize` bytes at source row + offsets[x].
//
// The row is cut into blocks of as many whole pixels as fit in a vector register. The leading blocks whose
// source pixels lie within two registers' width of their first one are built with one or two loads and a
// byte permutation through a mask prepared once per call: 16-byte blocks with SSSE3 shuffles, 64-byte
// blocks with AVX-512 VBMI permutes. The pixels after them, and all pixels on other processors, are
// copied one by one. Loads stay inside the source row and stores inside the destination row.

#include <cstddef>
#include <cstdint>

namespace kvbase {
namespace internal {

// How blocks are built, narrowest first.
enum class KGatherKind { kCopy, kShuffle16, kPermute64 };

// The widest kind this processor runs.
KGatherKind KBestGatherKind();

struct KGatherPlan {
  const std::uint64_t* offsets;  // per destination pixel, in bytes
  int count;                     // destination pixels per row
  int pixelSize;                 // 1 to 4 bytes
  KGatherKind kind;
  int blockPixels;             // destination pixels per block
  int blockBytes;              // destination bytes per block
  int blockCount;              // leading blocks built by permutation
  int wideCount;               // leading 3-byte pixels that may move as 4 bytes
  bool twoLoads;               // some block needs its second register of source bytes
  bool sparse;                 // destination pixels lie a cache line or more apart in the source
  const std::uint64_t* bases;  // per block, the source offset of its first pixel
  const unsigned char* masks;  // per block, its permutation mask
};

// Bytes of working memory that KPlanGather needs for `count` pixels of `pixelSize` bytes, of any kind.
std::size_t KGatherPlanBytes(int count, int pixelSize);

// Prepares the gathering of `count` pixels through `offsets` (non-decreasing) from source rows of
// `sourceRowBytes` bytes, with `kind` or the widest narrower kind the processor runs; `memory` holds
// KGatherPlanBytes bytes, 64-byte aligned, and must outlive the plan.
KGatherPlan KPlanGather(const std::uint64_t* offsets, int count, int pixelSize, std::size_t sourceRowBytes,
                        void* memory, KGatherKind kind = KBestGatherKind());

// Writes one destination row from one source row. `nextSource`, when not null, is the source row the
// following call will read: its bytes are requested from memory while this row is gathered.
void KGatherRow(const KGatherPlan& plan, unsigned char* destination, const unsigned char* source,
                const unsigned char* nextSource);

}  // namespace internal
}  // namespace kvbase

#endif  // KVBASE_RENDER_INTERNAL_ROW_GATHER_H
