#include "kvbase/render/internal/row_gather.h"

#include <cstring>
#include <initializer_list>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KV_HAVE_X86_VECTORS 1
#endif

namespace kvbase {
namespace internal {
namespace {

// Rows are gathered in chunks of about this many destination bytes, each chunk preceded by its requests
// for the next row.
constexpr int kChunkBytes = 256;

// Register width in bytes of each kind (0: no blocks).
int RegisterBytes(KGatherKind kind) {
  switch (kind) {
    case KGatherKind::kShuffle16: return 16;
    case KGatherKind::kPermute64: return 64;
    default: return 0;
  }
}
// Bytes of mask per block: a 16-byte shuffle block has two masks, one per loaded register; a 64-byte
// permute selects from both registers with one.
int MaskBytes(KGatherKind kind) { return kind == KGatherKind::kShuffle16 ? 32 : RegisterBytes(kind); }

std::size_t Align64(std::size_t bytes) { return (bytes + 63) / 64 * 64; }

#ifdef KV_HAVE_X86_VECTORS
// Output byte k = byte masks[k] of the 16 source bytes from the block's base, or byte masks[16 + k] of
// the 16 after them; 0x80 selects nothing.
template <bool kTwoLoads>
__attribute__((target("ssse3"))) void ShuffleBlocks(const std::uint64_t* bases, const unsigned char* masks, int count,
                                                    int blockBytes, unsigned char* destination,
                                                    const unsigned char* source) {
  for (int b = 0; b < count; ++b, destination += blockBytes, masks += 32) {
    const unsigned char* from = source + bases[b];
    __m128i v = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)),
                                 _mm_load_si128(reinterpret_cast<const __m128i*>(masks)));
    if (kTwoLoads) {
      v = _mm_or_si128(v, _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16)),
                                           _mm_load_si128(reinterpret_cast<const __m128i*>(masks + 16))));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), v);
  }
}

// Output byte k = byte masks[k] of the 64 (or 128) source bytes from the block's base.
template <bool kTwoLoads>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void PermuteBlocks(const std::uint64_t* bases,
                                                                          const unsigned char* masks, int count,
                                                                          int blockBytes, unsigned char* destination,
                                                                          const unsigned char* source) {
  for (int b = 0; b < count; ++b, destination += blockBytes, masks += 64) {
    const unsigned char* from = source + bases[b];
    const __m512i index = _mm512_load_si512(masks);
    const __m512i low = _mm512_loadu_si512(from);
    // One register: its indices are below 64, so the second operand is never selected.
    const __m512i high = kTwoLoads ? _mm512_loadu_si512(from + 64) : low;
    const __m512i v = _mm512_permutex2var_epi8(low, index, high);
    _mm512_storeu_si512(destination, v);
  }
}
#endif

// Builds blocks [first, first + count) of the plan into `destination` (the row's first byte).
void BuildBlocks(const KGatherPlan& plan, int first, int count, unsigned char* destination,
                 const unsigned char* source) {
#ifdef KV_HAVE_X86_VECTORS
  const std::uint64_t* bases = plan.bases + first;
  const unsigned char* masks = plan.masks + static_cast<std::size_t>(first) * MaskBytes(plan.kind);
  unsigned char* to = destination + static_cast<std::size_t>(first) * plan.blockBytes;
  if (plan.kind == KGatherKind::kPermute64) {
    if (plan.twoLoads) return PermuteBlocks<true>(bases, masks, count, plan.blockBytes, to, source);
    return PermuteBlocks<false>(bases, masks, count, plan.blockBytes, to, source);
  }
  if (plan.twoLoads) return ShuffleBlocks<true>(bases, masks, count, plan.blockBytes, to, source);
  ShuffleBlocks<false>(bases, masks, count, plan.blockBytes, to, source);
#else
  (void)plan, (void)first, (void)count, (void)destination, (void)source;
#endif
}

// Writes one block's mask: `positions` holds, for each of its output bytes, the source byte's offset from
// the block's first source byte (below two register widths).
void EncodeMask(const KGatherPlan& plan, unsigned char* masks, const std::uint32_t* positions) {
  const int width = RegisterBytes(plan.kind);
  if (plan.kind == KGatherKind::kShuffle16) {
    for (int k = 0; k < 16; ++k) {
      const bool used = k < plan.blockBytes;
      masks[k] = used && positions[k] < 16 ? static_cast<unsigned char>(positions[k]) : 0x80;
      masks[16 + k] = used && positions[k] >= 16 ? static_cast<unsigned char>(positions[k] - 16) : 0x80;
    }
    return;
  }
  // Bytes past the block's pixels are overwritten by the next block or by the pixels copied after the
  // last one: any index will do.
  for (int k = 0; k < width; ++k) masks[k] = k < plan.blockBytes ? static_cast<unsigned char>(positions[k]) : 0;
}

// Plans the leading blocks that stay inside both rows and reach at most two registers of source bytes.
void PlanBlocks(KGatherPlan& plan, std::size_t sourceRowBytes, void* memory) {
  const int width = RegisterBytes(plan.kind);
  const int pixelSize = plan.pixelSize;
  plan.blockPixels = width / pixelSize;
  plan.blockBytes = plan.blockPixels * pixelSize;
  const int candidates = plan.count / plan.blockPixels;
  std::uint64_t* bases = static_cast<std::uint64_t*>(memory);
  unsigned char* masks = static_cast<unsigned char*>(memory) + Align64(static_cast<std::size_t>(candidates) * 8);
  plan.bases = bases;
  plan.masks = masks;
  const std::size_t rowBytes = static_cast<std::size_t>(plan.count) * pixelSize;
  std::uint32_t positions[64];
  int planned = 0;
  for (int b = 0; b < candidates; ++b) {
    const int first = b * plan.blockPixels;
    const std::uint64_t base = plan.offsets[first];
    const std::uint64_t span =
        plan.offsets[first + plan.blockPixels - 1] + static_cast<std::uint64_t>(pixelSize) - base;
    // Each block stores a whole register; the destination row must have room for it.
    if (static_cast<std::size_t>(b) * plan.blockBytes + width > rowBytes || span > 2ull * width) break;
    if (base + (span > static_cast<std::uint64_t>(width) ? 2ull * width : width) > sourceRowBytes) break;
    if (span > static_cast<std::uint64_t>(width)) plan.twoLoads = true;
    for (int k = 0; k < plan.blockBytes; ++k) {
      positions[k] = static_cast<std::uint32_t>(plan.offsets[first + k / pixelSize] + k % pixelSize - base);
    }
    EncodeMask(plan, masks + static_cast<std::size_t>(b) * MaskBytes(plan.kind), positions);
    bases[b] = base;
    planned = b + 1;
  }
  // With two loads everywhere, every block's two registers of source bytes must be inside the row.
  while (plan.twoLoads && planned > 0 && bases[planned - 1] + 2ull * width > sourceRowBytes) --planned;
  plan.blockCount = planned;
}

// Requests, chunk by chunk, the bytes of the next source row that the next row's gather will read, so
// that they arrive while this row is gathered. Rows apart in memory defeat the hardware's own streaming;
// requesting a whole row at once overflows the processor's queue of outstanding loads.
class KNextRowFetcher {
 public:
  KNextRowFetcher(const KGatherPlan& plan, const unsigned char* next) : plan_(plan), next_(next) {}

  // Requests what destination pixels [first, end) will read from the next row.
  void Fetch(int first, int end) {
    if (next_ == nullptr || first >= end) return;
    const std::uint64_t* offsets = plan_.offsets;
    if (plan_.sparse) {  // pixels more than a cache line apart: one request each
      for (int x = first; x < end; ++x) Prefetch(next_ + offsets[x]);
      return;
    }
    const std::uint64_t last = offsets[end - 1] + static_cast<std::uint64_t>(plan_.pixelSize) - 1;
    std::uint64_t at = offsets[first] > fetched_ ? offsets[first] : fetched_;
    for (; at <= last; at += kLine) Prefetch(next_ + at);
    if (at - kLine < last) Prefetch(next_ + last);  // the last line, if the steps stepped over it
    fetched_ = at;
  }

 private:
  static constexpr std::uint64_t kLine = 64;
  static void Prefetch(const unsigned char* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
  }
  const KGatherPlan& plan_;
  const unsigned char* next_;
  std::uint64_t fetched_ = 0;  // next-row bytes below this offset are requested
};

// Pixel-by-pixel copies of pixels [first, end).
void CopyPixels(const KGatherPlan& plan, int first, int end, unsigned char* destination, const unsigned char* source) {
  const std::uint64_t* offsets = plan.offsets;
  int x = first;
  switch (plan.pixelSize) {
    case 1:
      for (; x + 4 <= end; x += 4) {  // four pixels per store
        const std::uint32_t quad = static_cast<std::uint32_t>(source[offsets[x]]) |
                                   static_cast<std::uint32_t>(source[offsets[x + 1]]) << 8 |
                                   static_cast<std::uint32_t>(source[offsets[x + 2]]) << 16 |
                                   static_cast<std::uint32_t>(source[offsets[x + 3]]) << 24;
        std::memcpy(destination + x, &quad, 4);
      }
      for (; x < end; ++x) destination[x] = source[offsets[x]];
      break;
    case 2:
      for (; x < end; ++x) std::memcpy(destination + 2 * x, source + offsets[x], 2);
      break;
    case 3:
      // Four-byte moves where the extra byte is read inside the source row and written over the next
      // destination pixel, which follows.
      for (const int wideEnd = plan.wideCount < end ? plan.wideCount : end; x < wideEnd; ++x) {
        std::memcpy(destination + 3 * x, source + offsets[x], 4);
      }
      for (; x < end; ++x) std::memcpy(destination + 3 * x, source + offsets[x], 3);
      break;
    default:
      for (; x < end; ++x) std::memcpy(destination + 4 * x, source + offsets[x], 4);
      break;
  }
}

}  // namespace

KGatherKind KBestGatherKind() {
#ifdef KV_HAVE_X86_VECTORS
  static const KGatherKind best = __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw")
                                      ? KGatherKind::kPermute64
                                  : __builtin_cpu_supports("ssse3") ? KGatherKind::kShuffle16
                                                                    : KGatherKind::kCopy;
  return best;
#else
  return KGatherKind::kCopy;
#endif
}

std::size_t KGatherPlanBytes(int count, int pixelSize) {
  std::size_t most = 0;
  for (KGatherKind kind : {KGatherKind::kShuffle16, KGatherKind::kPermute64}) {
    const std::size_t blocks = static_cast<std::size_t>(count) / (RegisterBytes(kind) / pixelSize);
    const std::size_t bytes = Align64(blocks * 8) + blocks * MaskBytes(kind);
    if (bytes > most) most = bytes;
  }
  return most;
}

KGatherPlan KPlanGather(const std::uint64_t* offsets, int count, int pixelSize, std::size_t sourceRowBytes,
                        void* memory, KGatherKind kind) {
  KGatherPlan plan{offsets, count, pixelSize, KGatherKind::kCopy, 0, 0, 0, 0, false, false, nullptr, nullptr};
  plan.sparse = sourceRowBytes >= 64 * static_cast<std::size_t>(count);
  // 3-byte pixels that may move as 4 bytes: not the row's last, and not from the source row's last.
  plan.wideCount = count - 1;
  while (plan.wideCount > 0 && offsets[plan.wideCount - 1] + 4ull > sourceRowBytes) --plan.wideCount;

  const KGatherKind best = KBestGatherKind();
  plan.kind = kind < best ? kind : best;
  if (plan.kind != KGatherKind::kCopy) PlanBlocks(plan, sourceRowBytes, memory);
  return plan;
}

void KGatherRow(const KGatherPlan& plan, unsigned char* destination, const unsigned char* source,
                const unsigned char* nextSource) {
  KNextRowFetcher fetcher(plan, nextSource);
  if (plan.blockCount > 0) {
    const int chunkBlocks = plan.blockBytes < kChunkBytes ? kChunkBytes / plan.blockBytes : 1;
    for (int b = 0; b < plan.blockCount; b += chunkBlocks) {
      const int blocks = plan.blockCount - b < chunkBlocks ? plan.blockCount - b : chunkBlocks;
      fetcher.Fetch(b * plan.blockPixels, (b + blocks) * plan.blockPixels);
      BuildBlocks(plan, b, blocks, destination, source);
    }
  }
  const int chunkPixels = kChunkBytes / plan.pixelSize;
  for (int first = plan.blockCount * plan.blockPixels; first < plan.count; first += chunkPixels) {
    const int end = plan.count - first < chunkPixels ? plan.count : first + chunkPixels;
    fetcher.Fetch(first, end);
    CopyPixels(plan, first, end, destination, source);
  }
}

}  // namespace internal
}  // namespace kvbase
