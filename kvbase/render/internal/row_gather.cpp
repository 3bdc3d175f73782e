#include "kvbase/render/internal/row_gather.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KV_HAVE_X86_SHUFFLE 1
#endif

namespace kvbase {
namespace internal {

// Masks for one block: output byte k = low-half byte low[k] or high-half byte high[k] of the 32 source
// bytes from `base`; 0x80 selects nothing.
struct KGatherBlock {
  alignas(16) unsigned char low[16];
  alignas(16) unsigned char high[16];
  std::uint32_t base;
};

namespace {

// Rows are gathered in chunks of this many blocks, each chunk preceded by its requests for the next row.
constexpr int kChunkBlocks = 16;

bool HasShuffle() {
#ifdef KV_HAVE_X86_SHUFFLE
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
#else
  return false;
#endif
}

#ifdef KV_HAVE_X86_SHUFFLE
template <bool kTwoLoads>
__attribute__((target("ssse3"))) void ShuffleBlocks(const KGatherBlock* blocks, int count, int blockBytes,
                                                    unsigned char* destination, const unsigned char* source) {
  for (int b = 0; b < count; ++b, destination += blockBytes) {
    const KGatherBlock& block = blocks[b];
    const unsigned char* from = source + block.base;
    __m128i v = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)),
                                 _mm_load_si128(reinterpret_cast<const __m128i*>(block.low)));
    if (kTwoLoads) {
      v = _mm_or_si128(v, _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16)),
                                           _mm_load_si128(reinterpret_cast<const __m128i*>(block.high))));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), v);
  }
}
#endif

// Requests, chunk by chunk, the bytes of the next source row that the next row's gather will read, so
// that they arrive while this row is gathered. Rows apart in memory defeat the hardware's own streaming;
// requesting a whole row at once overflows the processor's queue of outstanding loads.
class KNextRowFetcher {
 public:
  KNextRowFetcher(const KGatherPlan& plan, const unsigned char* next) : plan_(plan), next_(next) {}

  // Requests what destination pixels [first, end) will read from the next row.
  void Fetch(int first, int end) {
    if (next_ == nullptr || first >= end) return;
    const std::uint32_t* offsets = plan_.offsets;
    if (plan_.sparse) {  // pixels more than a cache line apart: one request each
      for (int x = first; x < end; ++x) Prefetch(next_ + offsets[x]);
      return;
    }
    const std::uint32_t last = offsets[end - 1] + static_cast<std::uint32_t>(plan_.pixelSize) - 1;
    std::uint32_t at = offsets[first] > fetched_ ? offsets[first] : fetched_;
    for (; at <= last; at += kLine) Prefetch(next_ + at);
    if (at - kLine < last) Prefetch(next_ + last);  // the last line, if the steps stepped over it
    fetched_ = at;
  }

 private:
  static constexpr std::uint32_t kLine = 64;
  static void Prefetch(const unsigned char* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
  }
  const KGatherPlan& plan_;
  const unsigned char* next_;
  std::uint32_t fetched_ = 0;  // next-row bytes below this offset are requested
};

// Pixel-by-pixel copies of pixels [first, end).
void CopyPixels(const KGatherPlan& plan, int first, int end, unsigned char* destination,
                const unsigned char* source) {
  const std::uint32_t* offsets = plan.offsets;
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

std::size_t KGatherPlanBytes(int count, int pixelSize) {
  const int blockPixels = 16 / pixelSize;
  return static_cast<std::size_t>(count / blockPixels) * sizeof(KGatherBlock);
}

KGatherPlan KPlanGather(const std::uint32_t* offsets, int count, int pixelSize, std::size_t sourceRowBytes,
                        void* memory) {
  KGatherPlan plan{offsets, count, pixelSize, 16 / pixelSize, 0, 0, false, false, static_cast<KGatherBlock*>(memory)};
  const std::size_t rowBytes = static_cast<std::size_t>(count) * pixelSize;
  plan.sparse = sourceRowBytes >= 64 * static_cast<std::size_t>(count);

  // 3-byte pixels that may move as 4 bytes: not the row's last, and not from the source row's last.
  plan.wideCount = count - 1;
  while (plan.wideCount > 0 && offsets[plan.wideCount - 1] + 4ull > sourceRowBytes) --plan.wideCount;

  if (!HasShuffle()) return plan;
  KGatherBlock* blocks = static_cast<KGatherBlock*>(memory);
  const int blockBytes = plan.blockPixels * pixelSize;
  const int blockCount = count / plan.blockPixels;
  int shuffled = 0;
  for (int b = 0; b < blockCount; ++b) {
    const int first = b * plan.blockPixels;
    const std::uint32_t base = offsets[first];
    const std::uint64_t span = offsets[first + plan.blockPixels - 1] + static_cast<std::uint64_t>(pixelSize) - base;
    // Each block stores 16 bytes; the row must have room for them.
    if (static_cast<std::size_t>(b) * blockBytes + 16 > rowBytes || span > 32) break;
    if (base + (span > 16 ? 32ull : 16ull) > sourceRowBytes) break;
    if (span > 16) plan.twoLoads = true;
    KGatherBlock& block = blocks[b];
    for (int k = 0; k < 16; ++k) {
      unsigned char low = 0x80, high = 0x80;
      if (k < blockBytes) {
        const std::uint32_t at = offsets[first + k / pixelSize] + static_cast<std::uint32_t>(k % pixelSize) - base;
        if (at < 16) {
          low = static_cast<unsigned char>(at);
        } else {
          high = static_cast<unsigned char>(at - 16);
        }
      }
      block.low[k] = low;
      block.high[k] = high;
    }
    block.base = base;
    shuffled = b + 1;
  }
  // With two loads everywhere, every block's 32 source bytes must be inside the row.
  while (plan.twoLoads && shuffled > 0 && blocks[shuffled - 1].base + 32ull > sourceRowBytes) --shuffled;
  plan.shuffledBlocks = shuffled;
  return plan;
}

void KGatherRow(const KGatherPlan& plan, unsigned char* destination, const unsigned char* source,
                const unsigned char* nextSource) {
  KNextRowFetcher fetcher(plan, nextSource);
  const int chunkPixels = kChunkBlocks * plan.blockPixels;
  int first = 0;
#ifdef KV_HAVE_X86_SHUFFLE
  const int blockBytes = plan.blockPixels * plan.pixelSize;
  for (int b = 0; b < plan.shuffledBlocks; b += kChunkBlocks, first += chunkPixels) {
    const int blocks = plan.shuffledBlocks - b < kChunkBlocks ? plan.shuffledBlocks - b : kChunkBlocks;
    fetcher.Fetch(first, first + blocks * plan.blockPixels);
    unsigned char* to = destination + static_cast<std::size_t>(b) * blockBytes;
    if (plan.twoLoads) {
      ShuffleBlocks<true>(plan.blocks + b, blocks, blockBytes, to, source);
    } else {
      ShuffleBlocks<false>(plan.blocks + b, blocks, blockBytes, to, source);
    }
  }
  first = plan.shuffledBlocks * plan.blockPixels;
#endif
  for (; first < plan.count; first += chunkPixels) {
    const int end = plan.count - first < chunkPixels ? plan.count : first + chunkPixels;
    fetcher.Fetch(first, end);
    CopyPixels(plan, first, end, destination, source);
  }
}

}  // namespace internal
}  // namespace kvbase
