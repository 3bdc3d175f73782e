#include "kvbase/platform/internal/dib_transfer.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "kvbase/platform/color_masks.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KVBASE_HAVE_X86_SHUFFLES 1
#endif

namespace kvgdi {

bool ReadDibLayout(const BITMAPINFO* info, UINT usage, DibLayout* layout) {
  if (info == nullptr || usage != DIB_RGB_COLORS) return false;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0 ||
      header.biHeight == INT32_MIN || header.biPlanes != 1)
    return false;
  const int bits = header.biBitCount;
  if (bits != 1 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  const bool bitfields = header.biCompression == BI_BITFIELDS;
  if (header.biCompression != BI_RGB && !(bitfields && (bits == 16 || bits == 32))) return false;

  DibLayout result;
  result.width = header.biWidth;
  result.height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  result.topDown = header.biHeight < 0;
  result.stride = DibStride(result.width, bits);
  result.format.bitsPerPixel = bits;
  const auto* table = reinterpret_cast<const std::uint8_t*>(info) + header.biSize;
  if (bits <= 8) {
    const DWORD most = 1u << bits;
    const int count = static_cast<int>(header.biClrUsed == 0 ? most : std::min<DWORD>(header.biClrUsed, most));
    result.format.colorCount = count;
    for (int i = 0; i < count; ++i) {
      std::uint32_t entry;
      std::memcpy(&entry, table + 4 * i, 4);
      result.format.colors[i] = entry & 0xFFFFFFu;
    }
  } else if (bitfields) {
    // The masks follow a 40-byte header and lie inside the longer ones, at the same offset.
    std::uint32_t masks[3];
    std::memcpy(masks, reinterpret_cast<const std::uint8_t*>(info) + sizeof(BITMAPINFOHEADER), sizeof masks);
    if (!result.format.SetMasks(masks[0], masks[1], masks[2])) return false;
  } else if (bits == 16) {
    result.format.SetMasks(K_COLOR_MASKS_555.red, K_COLOR_MASKS_555.green, K_COLOR_MASKS_555.blue);
  } else if (bits == 32) {
    result.format.SetMasks(0xFF0000, 0xFF00, 0xFF);
  }
  *layout = result;
  return true;
}

bool BandedSource(const DibLayout& layout, const void* pixels, std::int64_t start, std::int64_t lines,
                  DibSource* source) {
  if (pixels == nullptr || start < 0 || lines <= 0 || start >= layout.height) return false;
  lines = std::min<std::int64_t>(lines, layout.height - start);
  source->format = layout.format;
  source->width = layout.width;
  source->height = layout.height;
  source->base = static_cast<const std::uint8_t*>(pixels);
  if (layout.topDown) {
    source->rowLow = static_cast<int>(start);
    source->rowHigh = static_cast<int>(start + lines);
    source->firstRowOffset = -start * layout.stride;
    source->pitch = layout.stride;
  } else {
    // Memory row j is scan line start + j from the bottom, that is row height - 1 - start - j.
    source->rowLow = static_cast<int>(layout.height - start - lines);
    source->rowHigh = static_cast<int>(layout.height - start);
    source->firstRowOffset = (layout.height - 1 - start) * layout.stride;
    source->pitch = -layout.stride;
  }
  return true;
}

DibSource SurfaceSource(const Surface& surface) {
  DibSource source;
  source.format = surface.Format();
  source.width = surface.Width();
  source.height = surface.Height();
  source.base = surface.Row(0);
  source.pitch = surface.Pitch();
  source.rowLow = 0;
  source.rowHigh = surface.Height();
  return source;
}

namespace {

// Destination columns [first, first + size()) and the source index each one samples.
struct Axis {
  std::int64_t first = 0;
  std::vector<std::int64_t> source;
};

// Maps destination positions [d, d + dn) onto source positions [s, s + sn), keeping the destination
// positions inside [0, destinationLimit) whose source lies inside [sourceLow, sourceHigh).
Axis PlanAxis(std::int64_t d, std::int64_t dn, std::int64_t s, std::int64_t sn, std::int64_t destinationLimit,
              std::int64_t sourceLow, std::int64_t sourceHigh) {
  Axis axis;
  std::int64_t from = std::max<std::int64_t>(d, 0);
  std::int64_t to = std::min<std::int64_t>(d + dn, destinationLimit);
  auto sample = [&](std::int64_t i) {
    const __int128 numerator = static_cast<__int128>(2 * (i - d) + 1) * sn - 1;
    return s + static_cast<std::int64_t>(numerator / (2 * static_cast<__int128>(dn)));
  };
  // The mapping grows with i, so the samples outside the source are at the two ends.
  while (from < to && sample(from) < sourceLow) ++from;
  while (from < to && sample(to - 1) >= sourceHigh) --to;
  if (from >= to) return axis;
  axis.first = from;
  axis.source.resize(static_cast<std::size_t>(to - from));
  for (std::int64_t i = from; i < to; ++i) axis.source[static_cast<std::size_t>(i - from)] = sample(i);
  return axis;
}

struct Plan {
  Axis columns;  // source entries are byte offsets (bit index for 1-bit sources)
  Axis rows;
  std::int64_t step = -1;     // the constant distance between column entries, or -1 if there is none
  std::size_t fastCount = 0;  // leading columns whose pixels may be read with a 4-byte load
};

// Reads one 24-bit pixel with a single load; only where a fourth byte follows inside the row.
inline Bgrx Load24Wide(const std::uint8_t* row, std::int64_t offset) {
  std::uint32_t value;
  std::memcpy(&value, row + offset, 4);
  return value & 0xFFFFFFu;
}
inline Bgrx Load24(const std::uint8_t* row, std::int64_t offset) {
  return static_cast<Bgrx>(row[offset] | (row[offset + 1] << 8) | (row[offset + 2] << 16));
}

// Calls `convert(target, sourceRow, nextRow)` for every destination row of the plan, where `nextRow` is
// the next different source row to be read, or null. A destination row that samples the same source
// row as the row above is copied from it instead (`bytesPerPixel` > 0).
template <typename Convert>
void ForEachRow(const Plan& plan, Surface& destination, const DibSource& source, int bytesPerPixel, Convert convert) {
  const std::size_t width = plan.columns.source.size();
  const std::int64_t x0 = plan.columns.first;
  for (std::size_t j = 0; j < plan.rows.source.size(); ++j) {
    std::uint8_t* target = destination.Row(static_cast<int>(plan.rows.first + static_cast<std::int64_t>(j)));
    if (j > 0 && bytesPerPixel > 0 && plan.rows.source[j] == plan.rows.source[j - 1]) {
      const std::uint8_t* above = target - destination.Pitch();
      std::memcpy(target + x0 * bytesPerPixel, above + x0 * bytesPerPixel, width * bytesPerPixel);
      continue;
    }
    std::size_t k = j + 1;
    while (k < plan.rows.source.size() && plan.rows.source[k] == plan.rows.source[j]) ++k;
    convert(target, source.Row(plan.rows.source[j]),
            k < plan.rows.source.size() ? source.Row(plan.rows.source[k]) : nullptr);
  }
}

// The general pixel loop. `fast(row, entry)` and `safe(row, entry)` give the destination value of a
// source pixel (`fast` only for the first plan.fastCount columns); `store(row, x, value)` writes it.
template <typename Fast, typename Safe, typename Store>
void Run(const Plan& plan, Surface& destination, const DibSource& source, int bytesPerPixel, Fast fast, Safe safe,
         Store store) {
  const std::int64_t* columns = plan.columns.source.data();
  const std::size_t width = plan.columns.source.size();
  const std::size_t fastCount = plan.fastCount;
  const int x0 = static_cast<int>(plan.columns.first);
  ForEachRow(plan, destination, source, bytesPerPixel,
             [&](std::uint8_t* target, const std::uint8_t* row, const std::uint8_t*) {
               std::size_t i = 0;
               for (; i < fastCount; ++i) store(target, x0 + static_cast<int>(i), fast(row, columns[i]));
               for (; i < width; ++i) store(target, x0 + static_cast<int>(i), safe(row, columns[i]));
             });
}

// Hot paths into 32-bit devices for columns at a constant step: no table, one simple loop per row,
// pixels built in blocks of 16. Rows that skip source rows (shrinking) are not foreseen by hardware
// prefetchers, so every block also asks for the same bytes of the next source row to be read.
constexpr std::size_t kBlock = 16;

template <typename Read>
void SteppedTo32(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* next, std::int64_t& offset,
                 std::int64_t step, std::size_t count, Read read) {
  std::size_t i = 0;
  for (; i + kBlock <= count; i += kBlock) {
    if (next != nullptr && step > 1) {
      for (std::int64_t b = 0; b < static_cast<std::int64_t>(kBlock) * step; b += 64)
        __builtin_prefetch(next + offset + b);
    }
    std::uint32_t block[kBlock];
    for (std::size_t k = 0; k < kBlock; ++k, offset += step) block[k] = read(row, offset);
    std::memcpy(out + 4 * i, block, sizeof block);
  }
  for (; i < count; ++i, offset += step) {
    const std::uint32_t value = read(row, offset);
    std::memcpy(out + 4 * i, &value, 4);
  }
}

#ifdef KVBASE_HAVE_X86_SHUFFLES
// Halving a 24-bit row (a step of 6 bytes) into 32-bit pixels, four at a time: two 16-byte loads and
// two byte shuffles. Returns how many pixels it wrote; the loads stay within the row's `rowBytes`.
__attribute__((target("ssse3"))) std::size_t HalveRow24(std::uint8_t* out, const std::uint8_t* row,
                                                        const std::uint8_t* next, std::int64_t offset,
                                                        std::size_t count, std::int64_t rowBytes) {
  const __m128i low = _mm_setr_epi8(0, 1, 2, -1, 6, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i high = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, -1, 6, 7, 8, -1);
  std::size_t i = 0;
  for (; i + 4 <= count && offset + 28 <= rowBytes; i += 4, offset += 24) {
    if (next != nullptr && (i & 15) == 0) {
      __builtin_prefetch(next + offset);
      __builtin_prefetch(next + offset + 64);
    }
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + offset));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + offset + 12));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i),
                     _mm_or_si128(_mm_shuffle_epi8(a, low), _mm_shuffle_epi8(b, high)));
  }
  return i;
}
#endif

// True when the transfer went through one of the hot paths.
bool RunSteppedInto32(const Plan& plan, Surface& destination, const DibSource& source, const std::uint32_t* table) {
  const int bits = source.format.bitsPerPixel;
  if (!destination.Format().plain32 || plan.step < 0 || (bits != 8 && bits != 24)) return false;
  const std::size_t count = plan.columns.source.size();
  const std::int64_t first = plan.columns.source[0], step = plan.step, x0 = plan.columns.first;
  const std::size_t fastCount = plan.fastCount;
  const std::int64_t rowBytes = source.pitch < 0 ? -source.pitch : source.pitch;
#ifdef KVBASE_HAVE_X86_SHUFFLES
  static const bool halveWithShuffles = __builtin_cpu_supports("ssse3");
#endif
  ForEachRow(plan, destination, source, 4,
             [&](std::uint8_t* target, const std::uint8_t* row, const std::uint8_t* next) {
               std::uint8_t* out = target + 4 * x0;
               std::int64_t offset = first;
               if (bits == 8) {
                 SteppedTo32(out, row, next, offset, step, count,
                             [table](const std::uint8_t* r, std::int64_t o) { return table[r[o]]; });
               } else {
                 std::size_t done = 0;
#ifdef KVBASE_HAVE_X86_SHUFFLES
                 if (step == 6 && halveWithShuffles) {
                   done = HalveRow24(out, row, next, offset, fastCount, rowBytes);
                   offset += 6 * static_cast<std::int64_t>(done);
                 }
#endif
                 SteppedTo32(out + 4 * done, row, next, offset, step, fastCount - done,
                             [](const std::uint8_t* r, std::int64_t o) { return Load24Wide(r, o); });
                 SteppedTo32(out + 4 * fastCount, row, nullptr, offset, step, count - fastCount,
                             [](const std::uint8_t* r, std::int64_t o) { return Load24(r, o); });
               }
             });
  return true;
}

// Stores the low `kBytes` bytes of `v`, least significant first, as pixel `x` of `row`.
template <int kBytes>
void StoreLowBytes(std::uint8_t* row, int x, std::uint32_t v) {
  std::uint8_t* p = row + kBytes * static_cast<std::int64_t>(x);
  for (int i = 0; i < kBytes; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

template <typename Fast, typename Safe>
void RunToDestination(const Plan& plan, Surface& destination, const DibSource& source, Fast fast, Safe safe) {
  switch (destination.Format().bitsPerPixel) {
    case 32:
      Run(plan, destination, source, 4, fast, safe, [](std::uint8_t* row, int x, std::uint32_t v) {
        std::memcpy(row + 4 * static_cast<std::int64_t>(x), &v, 4);
      });
      break;
    case 24:
      Run(plan, destination, source, 3, fast, safe,
          [](std::uint8_t* row, int x, std::uint32_t v) { StoreLowBytes<3>(row, x, v); });
      break;
    case 16:
      Run(plan, destination, source, 2, fast, safe,
          [](std::uint8_t* row, int x, std::uint32_t v) { StoreLowBytes<2>(row, x, v); });
      break;
    case 8:
      Run(plan, destination, source, 1, fast, safe,
          [](std::uint8_t* row, int x, std::uint32_t v) { row[x] = static_cast<std::uint8_t>(v); });
      break;
    default:
      Run(plan, destination, source, 0, fast, safe, [](std::uint8_t* row, int x, std::uint32_t v) {
        const std::uint8_t bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
        row[x >> 3] = static_cast<std::uint8_t>(v & 1u ? row[x >> 3] | bit : row[x >> 3] & ~bit);
      });
      break;
  }
}

template <typename Fetch>
void RunToDestination(const Plan& plan, Surface& destination, const DibSource& source, Fetch fetch) {
  RunToDestination(plan, destination, source, fetch, fetch);
}

// Sources whose pixels are colours: `read(row, offset)` gives the colour, which is then encoded the
// cheapest way the destination allows.
template <typename Fast, typename Safe>
void RunColourSource(const Plan& plan, Surface& destination, const DibSource& source, Fast fast, Safe safe) {
  const PixelFormat& format = destination.Format();
  if (format.plain32 || format.bitsPerPixel == 24) {
    RunToDestination(plan, destination, source, fast, safe);
  } else if (!format.Indexed()) {
    RunToDestination(plan, destination, source, [&](const std::uint8_t* row, std::int64_t offset) {
      return format.EncodePacked(safe(row, offset));
    });
  } else {
    RunToDestination(plan, destination, source, [&](const std::uint8_t* row, std::int64_t offset) {
      return destination.Encode(safe(row, offset));
    });
  }
}

template <typename Read>
void RunColourSource(const Plan& plan, Surface& destination, const DibSource& source, Read read) {
  RunColourSource(plan, destination, source, read, read);
}

}  // namespace

void Transfer(Surface& destination, std::int64_t dx, std::int64_t dy, std::int64_t dw, std::int64_t dh,
              const DibSource& source, std::int64_t sx, std::int64_t sy, std::int64_t sw, std::int64_t sh) {
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  Plan plan;
  plan.columns = PlanAxis(dx, dw, sx, sw, destination.Width(), 0, source.width);
  plan.rows = PlanAxis(dy, dh, sy, sh, destination.Height(), source.rowLow, source.rowHigh);
  if (plan.columns.source.empty() || plan.rows.source.empty()) return;

  const int bits = source.format.bitsPerPixel;
  std::vector<std::int64_t>& columns = plan.columns.source;
  if (bits >= 8) {
    for (std::int64_t& column : columns) column *= bits / 8;
  }
  plan.step = columns.size() > 1 ? columns[1] - columns[0] : 0;
  for (std::size_t i = 1; i < columns.size() && plan.step >= 0; ++i)
    if (columns[i] - columns[i - 1] != plan.step) plan.step = -1;
  plan.fastCount = columns.size();
  if (bits == 24) {
    // A 4-byte load of the row's last pixel could read past the buffer's end.
    const std::int64_t rowBytes = source.pitch < 0 ? -source.pitch : source.pitch;
    while (plan.fastCount > 0 && columns[plan.fastCount - 1] + 4 > rowBytes) --plan.fastCount;
  }
  const PixelFormat& format = source.format;
  std::uint32_t table[256];
  if (format.Indexed())
    for (int i = 0; i < 256; ++i) table[i] = destination.Encode(format.colors[i]);
  if (RunSteppedInto32(plan, destination, source, table)) return;
  if (format.Indexed()) {
    if (bits == 8) {
      RunToDestination(plan, destination, source,
                       [&](const std::uint8_t* row, std::int64_t x) { return table[row[x]]; });
    } else {
      RunToDestination(plan, destination, source, [&](const std::uint8_t* row, std::int64_t x) {
        return table[(row[x >> 3] >> (7 - (x & 7))) & 1u];
      });
    }
  } else if (bits == 24) {
    RunColourSource(
        plan, destination, source, [](const std::uint8_t* row, std::int64_t offset) { return Load24Wide(row, offset); },
        [](const std::uint8_t* row, std::int64_t offset) { return Load24(row, offset); });
  } else if (bits == 16) {
    RunColourSource(plan, destination, source, [&](const std::uint8_t* row, std::int64_t offset) {
      return format.DecodePacked(static_cast<std::uint32_t>(row[offset] | (row[offset + 1] << 8)));
    });
  } else if (format.plain32) {
    RunColourSource(plan, destination, source, [](const std::uint8_t* row, std::int64_t offset) {
      std::uint32_t value;
      std::memcpy(&value, row + offset, 4);
      return value & 0xFFFFFFu;
    });
  } else {
    RunColourSource(plan, destination, source, [&](const std::uint8_t* row, std::int64_t offset) {
      std::uint32_t value;
      std::memcpy(&value, row + offset, 4);
      return format.DecodePacked(value);
    });
  }
}

}  // namespace kvgdi
