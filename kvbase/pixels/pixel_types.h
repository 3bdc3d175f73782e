#ifndef KVBASE_PIXELS_PIXEL_TYPES_H
#define KVBASE_PIXELS_PIXEL_TYPES_H

// The ten pixel types of images and ROIs, the image type codes, and the facts of each pixel kind.
//
// Images and ROIs are templates over a pixel type T (KImage<T>, KROI<T>). Everything type-independent
// code needs to know about a kind is one KPixelKind row: image type code, short name, sizes, bits-per-
// pixel code (one bit per storage width, so a set of accepted widths is a mask), planes and the bits
// of each, the masks of the 16-bit colour words, data type and default colour system. KPixelTraits<T>
// names the row of a pixel type at compile time; KGetPixelKind and KFindPixelKind find one at run time.
//
// KC24 holds three bytes, byte 0 first. Its three-argument constructor takes them in the order byte 2,
// byte 1, byte 0. Display code and BMP and JPEG files read byte 0 as blue and byte 2 as red.

#include <cstdint>

#include "kvbase/platform/color_masks.h"
#include "kvbase/platform/export.h"

enum K_IMAGE_TYPES : int {
  K_IMAGE_BW1 = 0,
  K_IMAGE_BW8 = 1,
  K_IMAGE_BW16 = 2,
  K_IMAGE_BW32 = 3,
  K_IMAGE_C15 = 4,
  K_IMAGE_C16 = 5,
  K_IMAGE_C24 = 6,
  K_IMAGE_C24A = 7,
  K_IMAGE_SUBPIXEL64 = 9,
  K_IMAGE_COMPLEX64 = 10,
};

// Colour systems. The library only stores and copies them; the values it produces itself are the
// per-type defaults below.
enum K_COLOR_SYSTEM : int {
  K_COLOR_SYSTEM_NONE = 0,
  K_COLOR_SYSTEM_BILEVEL = 1,
  K_COLOR_SYSTEM_GRAY = 2,
  K_COLOR_SYSTEM_RGB = 4,
};

// Bits-per-pixel codes: one bit per storage width.
enum : short {
  K_DEPTH_1 = 1,
  K_DEPTH_8 = 2,
  K_DEPTH_16 = 4,
  K_DEPTH_32 = 8,
  K_DEPTH_64 = 16,
  K_DEPTH_24 = 32,
};

// 15-bit colour word: red 0x7C00, green 0x03E0, blue 0x001F; the top bit carries nothing.
struct KVBASE_API KC15 {
  std::uint16_t word;
};

// 16-bit colour word: red 0xF800, green 0x07E0, blue 0x001F.
struct KVBASE_API KC16 {
  std::uint16_t word;
};

struct KVBASE_API KC24 {
  unsigned char byte0;
  unsigned char byte1;
  unsigned char byte2;

  KC24() = default;
  // Note the order: the first argument goes to byte 2, the last to byte 0.
  constexpr KC24(unsigned char b2, unsigned char b1, unsigned char b0) : byte0(b0), byte1(b1), byte2(b2) {}
};

// A KC24 followed by a fourth byte that display code ignores.
struct KVBASE_API KC24A {
  unsigned char byte0;
  unsigned char byte1;
  unsigned char byte2;
  unsigned char byte3;
};

// Sub-pixel position; moved as an opaque 8-byte value by this library.
union KVBASE_API KSubPixel64 {
  std::uint64_t bits;
  struct {
    float x;
    float y;
  } position;
};

// Complex value; moved as an opaque 8-byte value by this library.
struct KVBASE_API KComplex64 {
  float real;
  float imaginary;
};

static_assert(sizeof(KC15) == 2, "KC15 is one 16-bit word");
static_assert(sizeof(KC16) == 2, "KC16 is one 16-bit word");
static_assert(sizeof(KC24) == 3, "KC24 arrays are packed at 3 bytes per pixel");
static_assert(sizeof(KC24A) == 4, "KC24A is 4 bytes");
static_assert(sizeof(KSubPixel64) == 8, "KSubPixel64 is 8 bytes");
static_assert(sizeof(KComplex64) == 8, "KComplex64 is 8 bytes");

// Three float components; no library operation takes or returns one.
struct KVBASE_API KColor {
  float first;
  float second;
  float third;
  KColor() {}
  KColor(float a, float b, float c) : first(a), second(b), third(c) {}
};

// Colour constants, built at load in this order.
extern KVBASE_API KC24 KBlack24;
extern KVBASE_API KC24 KRed24;
extern KVBASE_API KC24 KGreen24;
extern KVBASE_API KC24 KBlue24;
extern KVBASE_API KC24 KCyan24;
extern KVBASE_API KC24 KMagenta24;
extern KVBASE_API KC24 KYellow24;
extern KVBASE_API KC24 KWhite24;
extern KVBASE_API KC24 KGray24;

// The facts of one pixel kind, written once for every subsystem: sizes, planes and the bits of each
// plane (what the image file front calls the kind of a source or target), the masks of the 16-bit
// colour words, the default colour system, and whether the kind has files at all.
struct KPixelKind {
  K_IMAGE_TYPES type;
  const char* name;            // the kind's short name, as trace names use it ("BW8", "C24A")
  int elementSize;             // sizeof(T); 4 for BW1, whose pixels are bits
  int bitsPerPixel;            // storage bits of one pixel
  short bitsPerPixelCode;      // one bit per storage width (K_DEPTH_...)
  int planesPerPixel;          // 0 for SubPixel64, which has no planes
  int bitsPerPlane[4];         // 0 past the planes; C15 5, 5, 5, C16 5, 6, 5
  KColorMasks masks;           // red, green and blue of the C15 and C16 words; all 0 for other kinds
  short dataType;              // 1 for every kind of this library
  K_COLOR_SYSTEM colorSystem;  // what SetColorSystem() stores
  int hasFiles;                // 1 for the kinds KSaveImage and KLoadImage take: BW1, BW8, BW16, C15, C16, C24

  // The bits that carry a value: 15 for C15, whose top bit carries nothing.
  constexpr int TotalBits() const { return bitsPerPlane[0] + bitsPerPlane[1] + bitsPerPlane[2] + bitsPerPlane[3]; }
};

constexpr KColorMasks kNoMasks = {0, 0, 0};
inline constexpr KPixelKind K_PIXEL_KIND_BW1 = {
    K_IMAGE_BW1, "BW1", 4, 1, K_DEPTH_1, 1, {1}, kNoMasks, 1, K_COLOR_SYSTEM_BILEVEL, 1};
inline constexpr KPixelKind K_PIXEL_KIND_BW8 = {K_IMAGE_BW8,         "BW8", 1, 8, K_DEPTH_8, 1, {8}, kNoMasks, 1,
                                                K_COLOR_SYSTEM_GRAY, 1};
inline constexpr KPixelKind K_PIXEL_KIND_BW16 = {K_IMAGE_BW16,        "BW16", 2, 16, K_DEPTH_16, 1, {16}, kNoMasks, 1,
                                                 K_COLOR_SYSTEM_GRAY, 1};
inline constexpr KPixelKind K_PIXEL_KIND_BW32 = {K_IMAGE_BW32,        "BW32", 4, 32, K_DEPTH_32, 1, {32}, kNoMasks, 1,
                                                 K_COLOR_SYSTEM_GRAY, 0};
inline constexpr KPixelKind K_PIXEL_KIND_C15 = {
    K_IMAGE_C15, "C15", 2, 16, K_DEPTH_16, 3, {5, 5, 5}, K_COLOR_MASKS_555, 1, K_COLOR_SYSTEM_RGB, 1};
inline constexpr KPixelKind K_PIXEL_KIND_C16 = {
    K_IMAGE_C16, "C16", 2, 16, K_DEPTH_16, 3, {5, 6, 5}, K_COLOR_MASKS_565, 1, K_COLOR_SYSTEM_RGB, 1};
inline constexpr KPixelKind K_PIXEL_KIND_C24 = {K_IMAGE_C24,        "C24", 3, 24, K_DEPTH_24, 3, {8, 8, 8}, kNoMasks, 1,
                                                K_COLOR_SYSTEM_RGB, 1};
inline constexpr KPixelKind K_PIXEL_KIND_C24A = {
    K_IMAGE_C24A, "C24A", 4, 32, K_DEPTH_32, 4, {8, 8, 8, 8}, kNoMasks, 1, K_COLOR_SYSTEM_RGB, 0};
inline constexpr KPixelKind K_PIXEL_KIND_SUBPIXEL64 = {
    K_IMAGE_SUBPIXEL64, "SubPixel64", 8, 64, K_DEPTH_64, 0, {}, kNoMasks, 1, K_COLOR_SYSTEM_NONE, 0};
inline constexpr KPixelKind K_PIXEL_KIND_COMPLEX64 = {
    K_IMAGE_COMPLEX64, "Complex64", 8, 64, K_DEPTH_64, 1, {64}, kNoMasks, 1, K_COLOR_SYSTEM_GRAY, 0};

// The kind of an image type code, or null for a code of no kind (8, or outside 0 to 10).
KVBASE_API const KPixelKind* KGetPixelKind(K_IMAGE_TYPES type);
// The kind of a short name ("BW8", exactly as in KPixelKind::name), or null.
KVBASE_API const KPixelKind* KFindPixelKind(const char* name);

// The kind of each pixel type T: KPixelTraits<T>::kKind, and its facts as constants of their own.
// `int` is the bilevel type: its pixels are bits, leftmost in the most significant bit; the template
// argument only fixes the element size (4) of typed pointers and runs.
template <const KPixelKind& kind>
struct KPixelTraitsOf {
  static constexpr const KPixelKind& kKind = kind;
  static constexpr K_IMAGE_TYPES kType = kind.type;
  static constexpr int kBitsPerPixel = kind.bitsPerPixel;
  static constexpr short kBitsPerPixelCode = kind.bitsPerPixelCode;
  static constexpr int kPlanesPerPixel = kind.planesPerPixel;
  static constexpr short kDataType = kind.dataType;
  static constexpr K_COLOR_SYSTEM kColorSystem = kind.colorSystem;
};

template <typename T>
struct KPixelTraits;
#define KVBASE_PIXEL_TRAITS(T, kind) \
  template <>                        \
  struct KPixelTraits<T> : KPixelTraitsOf<kind> {};
KVBASE_PIXEL_TRAITS(int, K_PIXEL_KIND_BW1)
KVBASE_PIXEL_TRAITS(unsigned char, K_PIXEL_KIND_BW8)
KVBASE_PIXEL_TRAITS(unsigned short, K_PIXEL_KIND_BW16)
KVBASE_PIXEL_TRAITS(unsigned int, K_PIXEL_KIND_BW32)
KVBASE_PIXEL_TRAITS(KC15, K_PIXEL_KIND_C15)
KVBASE_PIXEL_TRAITS(KC16, K_PIXEL_KIND_C16)
KVBASE_PIXEL_TRAITS(KC24, K_PIXEL_KIND_C24)
KVBASE_PIXEL_TRAITS(KC24A, K_PIXEL_KIND_C24A)
KVBASE_PIXEL_TRAITS(KSubPixel64, K_PIXEL_KIND_SUBPIXEL64)
KVBASE_PIXEL_TRAITS(KComplex64, K_PIXEL_KIND_COMPLEX64)
#undef KVBASE_PIXEL_TRAITS

// Applies a macro to each of the ten pixel types, for explicit instantiations.
#define KVBASE_FOR_EACH_PIXEL_TYPE(X) \
  X(int)                              \
  X(unsigned char)                    \
  X(unsigned short)                   \
  X(unsigned int)                     \
  X(KC15)                             \
  X(KC16)                             \
  X(KC24)                             \
  X(KC24A)                            \
  X(KSubPixel64)                      \
  X(KComplex64)

#endif  // KVBASE_PIXELS_PIXEL_TYPES_H
