#ifndef KVBASE_PIXELS_PIXEL_TYPES_H
#define KVBASE_PIXELS_PIXEL_TYPES_H

// The ten pixel types of images and ROIs, the image type codes, and the per-type descriptors.
//
// Images and ROIs are templates over a pixel type T (KImage<T>, KROI<T>). KPixelTraits<T> holds what
// type-independent code needs to know about T: image type code, bits per pixel, bits-per-pixel code
// (one bit per storage width, so a set of accepted widths is a mask), planes per pixel, data type,
// default colour system, and the short kind name used in trace names ("BW8", "C24A", ...).
//
// KC24 holds three bytes, byte 0 first. Its three-argument constructor takes them in the order byte 2,
// byte 1, byte 0. Display code and BMP and JPEG files read byte 0 as blue and byte 2 as red.

#include <cstdint>

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
struct KC15 {
  std::uint16_t word;
};

// 16-bit colour word: red 0xF800, green 0x07E0, blue 0x001F.
struct KC16 {
  std::uint16_t word;
};

struct KC24 {
  unsigned char byte0;
  unsigned char byte1;
  unsigned char byte2;

  KC24() = default;
  // Note the order: the first argument goes to byte 2, the last to byte 0.
  KC24(unsigned char b2, unsigned char b1, unsigned char b0) : byte0(b0), byte1(b1), byte2(b2) {}
};

// A KC24 followed by a fourth byte that display code ignores.
struct KC24A {
  unsigned char byte0;
  unsigned char byte1;
  unsigned char byte2;
  unsigned char byte3;
};

// Sub-pixel position; moved as an opaque 8-byte value by this library.
union KSubPixel64 {
  std::uint64_t bits;
  struct {
    float x;
    float y;
  } position;
};

// Complex value; moved as an opaque 8-byte value by this library.
struct KComplex64 {
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
struct KColor {
  float first;
  float second;
  float third;
  KColor() {}
  KColor(float a, float b, float c) : first(a), second(b), third(c) {}
};

// Colour constants, built at load in this order.
extern KC24 KBlack24;
extern KC24 KRed24;
extern KC24 KGreen24;
extern KC24 KBlue24;
extern KC24 KCyan24;
extern KC24 KMagenta24;
extern KC24 KYellow24;
extern KC24 KWhite24;
extern KC24 KGray24;

// Per-type descriptors. `int` is the bilevel type: its pixels are bits, leftmost in the most
// significant bit; the template argument only fixes the element size (4) of typed pointers and runs.
template <typename T>
struct KPixelTraits;

#define KVBASE_PIXEL_TRAITS(T, kind, type, bits, code, planes, colorSystem) \
  template <>                                                               \
  struct KPixelTraits<T> {                                                  \
    static constexpr const char* kKind = kind;                              \
    static constexpr K_IMAGE_TYPES kType = type;                            \
    static constexpr int kBitsPerPixel = bits;                              \
    static constexpr short kBitsPerPixelCode = code;                        \
    static constexpr int kPlanesPerPixel = planes;                          \
    static constexpr short kDataType = 1;                                   \
    static constexpr K_COLOR_SYSTEM kColorSystem = colorSystem;             \
  };

KVBASE_PIXEL_TRAITS(int, "BW1", K_IMAGE_BW1, 1, K_DEPTH_1, 1, K_COLOR_SYSTEM_BILEVEL)
KVBASE_PIXEL_TRAITS(unsigned char, "BW8", K_IMAGE_BW8, 8, K_DEPTH_8, 1, K_COLOR_SYSTEM_GRAY)
KVBASE_PIXEL_TRAITS(unsigned short, "BW16", K_IMAGE_BW16, 16, K_DEPTH_16, 1, K_COLOR_SYSTEM_GRAY)
KVBASE_PIXEL_TRAITS(unsigned int, "BW32", K_IMAGE_BW32, 32, K_DEPTH_32, 1, K_COLOR_SYSTEM_GRAY)
KVBASE_PIXEL_TRAITS(KC15, "C15", K_IMAGE_C15, 16, K_DEPTH_16, 3, K_COLOR_SYSTEM_RGB)
KVBASE_PIXEL_TRAITS(KC16, "C16", K_IMAGE_C16, 16, K_DEPTH_16, 3, K_COLOR_SYSTEM_RGB)
KVBASE_PIXEL_TRAITS(KC24, "C24", K_IMAGE_C24, 24, K_DEPTH_24, 3, K_COLOR_SYSTEM_RGB)
KVBASE_PIXEL_TRAITS(KC24A, "C24A", K_IMAGE_C24A, 32, K_DEPTH_32, 4, K_COLOR_SYSTEM_RGB)
KVBASE_PIXEL_TRAITS(KSubPixel64, "SubPixel64", K_IMAGE_SUBPIXEL64, 64, K_DEPTH_64, 0, K_COLOR_SYSTEM_NONE)
KVBASE_PIXEL_TRAITS(KComplex64, "Complex64", K_IMAGE_COMPLEX64, 64, K_DEPTH_64, 1, K_COLOR_SYSTEM_GRAY)

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
