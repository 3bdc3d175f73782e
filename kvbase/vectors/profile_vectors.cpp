#include "kvbase/vectors/profile_vectors.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "kvbase/foundation/internal/report.h"

namespace {

// Truncation towards zero of a double to a 32-bit integer, saturating instead of leaving the result to
// the processor when the value is out of range; NaN gives 0.
int TruncSaturated(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT_MAX;
  if (value <= -2147483648.0) return INT_MIN;
  return static_cast<int>(value);
}

unsigned char Clamp(int value) { return static_cast<unsigned char>(value < 0 ? 0 : value > 255 ? 255 : value); }

unsigned char ClampHigh(int value) { return static_cast<unsigned char>(value >= 256 ? 255 : value); }

unsigned char GainOffsetEntry(int i, float gain, float offset, float gamma) {
  if (gamma == 1.0f) return Clamp(TruncSaturated(i * static_cast<double>(gain) + offset));
  if (gamma < 1.0f) {
    const float fullScale = static_cast<float>(gain * 255.0);
    const float in = static_cast<float>(i) / 255.0f;
    return Clamp(TruncSaturated(std::pow(static_cast<double>(in), static_cast<double>(gamma)) * fullScale + offset));
  }
  float t = static_cast<float>(i * static_cast<double>(gain) + offset);
  t = std::max(0.0f, t);
  const float in = t / 255.0f;
  const int out = TruncSaturated(std::pow(static_cast<double>(in), static_cast<double>(gamma)) * 255.0);
  return ClampHigh(std::max(out, 0));  // the power of a non-negative number is never negative; NaN gave 0
}

// The weighted centre of elements first ... last of `data` (count elements); see WeighedMoment.
template <typename T>
float WeighedMomentOf(const T* data, unsigned int count, unsigned int first, unsigned int last) {
  if (count == 0) {
    KSetError(K_ERROR_INVALID_NUMBER_OF_VECTOR_ELEMENTS);
    return 0.0f;
  }
  if (first >= count) {
    KSetError(K_ERROR_PARAMETER_1_OUT_OF_RANGE);
    return 0.0f;
  }
  const unsigned long long end = last == 0xFFFFFFFFu ? count : static_cast<unsigned long long>(last) + 1;
  if (end > count) {
    KSetError(K_ERROR_PARAMETER_2_OUT_OF_RANGE);
    return 0.0f;
  }
  if (first >= end) {
    KSetError(K_ERROR_PARAMETERS_OUT_OF_RANGE);
    return 0.0f;
  }
  unsigned int sum = 0;
  double weighted = 0.0;
  for (unsigned int i = first; i < end; ++i) {
    const unsigned int value = data[i];
    sum += value;                                // wraps at 32 bits
    weighted += static_cast<double>(i * value);  // the product wraps at 32 bits too
  }
  if (sum == 0) return 0.0f;
  return static_cast<float>(weighted / sum);
}

}  // namespace

KC24Vector::KC24Vector(unsigned int maxElements) { SetMaxElements(maxElements); }

void KBW8Vector::SetupThreshold(unsigned char threshold, unsigned char below, unsigned char above) {
  KOk();
  SetNumElements(256);
  if (KTraceIfFailed("KBW8Vector::SetupThreshold")) return;
  unsigned char* table = GetDataPtr();
  for (int i = 0; i < 256; ++i) table[i] = i < threshold ? below : above;
}

void KBW8Vector::SetupGainOffset(float gain, float offset, float gamma) {
  KOk();
  SetNumElements(256);
  if (KTraceIfFailed("KBW8Vector::SetupGainOffset")) return;
  unsigned char* table = GetDataPtr();
  for (int i = 0; i < 256; ++i) table[i] = GainOffsetEntry(i, gain, offset, gamma);
}

template <typename T>
float KGrayVector<T>::WeighedMoment(unsigned int first, unsigned int last) {
  return WeighedMomentOf(this->GetDataPtr(), this->GetNumElements(), first, last);
}

template float KGrayVector<unsigned char>::WeighedMoment(unsigned int, unsigned int);
template float KGrayVector<unsigned short>::WeighedMoment(unsigned int, unsigned int);
template float KGrayVector<unsigned int>::WeighedMoment(unsigned int, unsigned int);
