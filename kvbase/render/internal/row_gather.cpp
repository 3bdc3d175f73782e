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

// Pixel-by-pixel copies of pixels [first, count).
void CopyPixels(const KGatherPlan& plan, int first, unsigned char* destination, const unsigned char* source) {
  const std::uint32_t* offsets = plan.offsets;
  int x = first;
  switch (plan.pixelSize) {
    case 1:
      for (; x + 4 <= plan.count; x += 4) {  // four pixels per store
        const std::uint32_t quad = static_cast<std::uint32_t>(source[offsets[x]]) |
                                   static_cast<std::uint32_t>(source[offsets[x + 1]]) << 8 |
                                   static_cast<std::uint32_t>(source[offsets[x + 2]]) << 16 |
                                   static_cast<std::uint32_t>(source[offsets[x + 3]]) << 24;
        std::memcpy(destination + x, &quad, 4);
      }
      for (; x < plan.count; ++x) destination[x] = source[offsets[x]];
      break;
    case 2:
      for (; x < plan.count; ++x) std::memcpy(destination + 2 * x, source + offsets[x], 2);
      break;
    case 3:
      // Four-byte moves where the extra byte is read inside the source row and written over the next
      // destination pixel, which follows.
      for (; x < plan.wideCount; ++x) std::memcpy(destination + 3 * x, source + offsets[x], 4);
      for (; x < plan.count; ++x) std::memcpy(destination + 3 * x, source + offsets[x], 3);
      break;
    default:
      for (; x < plan.count; ++x) std::memcpy(destination + 4 * x, source + offsets[x], 4);
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
  KGatherPlan plan{offsets, count, pixelSize, 16 / pixelSize, 0, 0, false, static_cast<KGatherBlock*>(memory)};
  const std::size_t rowBytes = static_cast<std::size_t>(count) * pixelSize;

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

void KGatherRow(const KGatherPlan& plan, unsigned char* destination, const unsigned char* source) {
  int first = 0;
#ifdef KV_HAVE_X86_SHUFFLE
  if (plan.shuffledBlocks > 0) {
    const int blockBytes = plan.blockPixels * plan.pixelSize;
    if (plan.twoLoads) {
      ShuffleBlocks<true>(plan.blocks, plan.shuffledBlocks, blockBytes, destination, source);
    } else {
      ShuffleBlocks<false>(plan.blocks, plan.shuffledBlocks, blockBytes, destination, source);
    }
    first = plan.shuffledBlocks * plan.blockPixels;
  }
#endif
  CopyPixels(plan, first, destination, source);
}

}  // namespace internal
}  // namespace kvbase
