#ifndef KVBASE_VECTORS_PROFILE_VECTORS_H
#define KVBASE_VECTORS_PROFILE_VECTORS_H

// The four profile vectors: typed vectors that image operations fill (grey-level profiles, histograms,
// colour lists) and that draw themselves as curves. Each is a KVectorTemplate of its element type joined
// with a KPlot holding the ranges used for drawing (the grey-level ones through KGrayVector<T>):
//
//   KBW8Vector   8-bit values; a 256-element one is a display lookup table (SetupThreshold,
//                SetupGainOffset)
//   KBW16Vector  16-bit values
//   KBW32Vector  32-bit values
//   KC24Vector   KC24 colours; drawn as one curve per byte
//
//   KBW8Vector table;
//   table.SetupGainOffset(1.0f, 0.0f, 0.5f);   // a gamma curve: table[64] == 127
//
// The values-unsigned flag of the grey-level vectors only says how Draw reads the elements: as unsigned
// numbers, or as signed numbers of the same width. SetYRange (from KPlot) fixes the drawn Y range.

#include "kvbase/pixels/pixel_types.h"
#include "kvbase/platform/export.h"
#include "kvbase/platform/windows_types.h"
#include "kvbase/vectors/plot.h"
#include "kvbase/vectors/vector_template.h"

// The part the three grey-level vectors share: the values-unsigned flag, the weighed moment and Draw.
template <typename T>
class KVBASE_API KGrayVector : public KVectorTemplate<T>, public KPlot {
 public:
  // Capacity `maxElements`, no elements, automatic Y range.
  explicit KGrayVector(unsigned int maxElements = 0, int valuesUnsigned = 1) : valuesUnsigned_(valuesUnsigned) {
    this->SetMaxElements(maxElements);
  }

  int GetValuesUnsigned() const { return valuesUnsigned_; }

  // Centre of mass of elements first ... last (last = 0xFFFFFFFF: to the end), indices weighted by values;
  // 0 when the values sum to 0. The value sum and each product wrap at 32 bits. Bad arguments return 0
  // and set, without tracing, K_ERROR_INVALID_NUMBER_OF_VECTOR_ELEMENTS (empty vector),
  // K_ERROR_PARAMETER_1_OUT_OF_RANGE (first past the end), K_ERROR_PARAMETER_2_OUT_OF_RANGE (last past
  // the end) or K_ERROR_PARAMETERS_OUT_OF_RANGE (first after last).
  float WeighedMoment(unsigned int first, unsigned int last);

  // Draws the vector as a polyline with its annotated frame into the given area of `dc`, using the pen
  // selected in `dc`.
  void Draw(HDC dc, float width, float height, float left, float top);

 private:
  int valuesUnsigned_;
};

class KVBASE_API KBW8Vector : public KGrayVector<unsigned char> {
 public:
  explicit KBW8Vector(unsigned int maxElements = 0, int valuesUnsigned = 1)
      : KGrayVector(maxElements, valuesUnsigned) {}

  // 256 entries: `below` for indices under `threshold`, `above` from `threshold` on. Fails only when the
  // vector cannot hold 256 elements (traced "KBW8Vector::SetupThreshold").
  void SetupThreshold(unsigned char threshold, unsigned char below, unsigned char above);
  // 256 entries out = f(in), clamped to 0 ... 255:
  //   gamma == 1  f(i) = i x gain + offset
  //   gamma <  1  f(i) = (i / 255)^gamma x (gain x 255) + offset   (gain scales the output)
  //   gamma >  1  f(i) = (max(0, i x gain + offset) / 255)^gamma x 255   (gain and offset act on the input)
  // Fails only when the vector cannot hold 256 elements (traced "KBW8Vector::SetupGainOffset").
  void SetupGainOffset(float gain, float offset, float gamma);
};

class KVBASE_API KBW16Vector : public KGrayVector<unsigned short> {
 public:
  explicit KBW16Vector(unsigned int maxElements = 0, int valuesUnsigned = 1)
      : KGrayVector(maxElements, valuesUnsigned) {}
};

class KVBASE_API KBW32Vector : public KGrayVector<unsigned int> {
 public:
  explicit KBW32Vector(unsigned int maxElements = 0, int valuesUnsigned = 1)
      : KGrayVector(maxElements, valuesUnsigned) {}
};

class KVBASE_API KC24Vector : public KVectorTemplate<KC24>, public KPlot {
 public:
  explicit KC24Vector(unsigned int maxElements = 0);

  // Draws bytes 2, 1 and 0 of the elements as three polylines with the GDI pens `pen0`, `pen1` and
  // `pen2` (a null pen keeps the one selected before); the context's pen is restored afterwards.
  void Draw(HDC dc, float width, float height, float left, float top, void* pen0, void* pen1, void* pen2);
};

#endif  // KVBASE_VECTORS_PROFILE_VECTORS_H
