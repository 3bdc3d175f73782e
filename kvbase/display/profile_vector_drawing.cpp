// Draw of the four profile vectors: fit the ranges to the data, draw the annotated frame (KPlot), then
// the elements as a polyline with the context's pen, one per colour byte for KC24Vector.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "kvbase/platform/gdi.h"
#include "kvbase/vectors/profile_vectors.h"

namespace {

int Trunc(float value) {
  if (!(value == value)) return 0;
  if (value >= static_cast<float>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<float>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

// An element read as unsigned, or as a signed number of the same width.
template <typename Element>
double Read(Element value, bool valuesUnsigned) {
  if (valuesUnsigned) return static_cast<double>(value);
  return static_cast<double>(static_cast<typename std::make_signed<Element>::type>(value));
}

// The polyline through (XView(i), YView(value(i))) for every element.
template <typename Value>
void Polyline(HDC dc, const KPlot& plot, unsigned int count, Value value) {
  for (unsigned int i = 0; i < count; ++i) {
    const int x = plot.XView(i), y = plot.YView(value(i));
    if (i == 0) {
      MoveToEx(dc, x, y, nullptr);
    } else {
      LineTo(dc, x, y);
    }
  }
}

}  // namespace

template <typename T>
void KGrayVector<T>::Draw(HDC dc, float width, float height, float left, float top) {
  const unsigned int count = this->GetNumElements();
  const T* data = this->GetDataPtr();
  const bool valuesUnsigned = valuesUnsigned_ != 0;
  xMinimum_ = 0.0;
  xMaximum_ = std::max(static_cast<double>(count) - 1.0, 1.0);
  if (automaticRange_ != 0) {
    yMinimum_ = yMaximum_ = 0.0;
    for (unsigned int i = 0; i < count; ++i) {
      const double value = Read(data[i], valuesUnsigned);
      yMaximum_ = std::max(yMaximum_, value);
      if (!valuesUnsigned) yMinimum_ = std::min(yMinimum_, value);
    }
    if (yMaximum_ == yMinimum_) yMaximum_ += 1.0;
  }
  DrawAnnotations(dc, Trunc(width), Trunc(height), Trunc(left), Trunc(top), "Index", "Value");
  Polyline(dc, *this, count, [&](unsigned int i) { return Read(data[i], valuesUnsigned); });
}

template void KGrayVector<unsigned char>::Draw(HDC, float, float, float, float);
template void KGrayVector<unsigned short>::Draw(HDC, float, float, float, float);
template void KGrayVector<unsigned int>::Draw(HDC, float, float, float, float);

void KC24Vector::Draw(HDC dc, float width, float height, float left, float top, void* pen0, void* pen1, void* pen2) {
  const unsigned int count = GetNumElements();
  const KC24* data = GetDataPtr();
  xMinimum_ = 0.0;
  xMaximum_ = std::max(static_cast<double>(count) - 1.0, 1.0);
  if (automaticRange_ != 0) {
    yMinimum_ = 0.0;
    int largest = 0;
    for (unsigned int i = 0; i < count; ++i)
      largest = std::max({largest, int{data[i].byte0}, int{data[i].byte1}, int{data[i].byte2}});
    yMaximum_ = largest;
    if (yMaximum_ == yMinimum_) yMaximum_ += 1.0;
  }
  DrawAnnotations(dc, Trunc(width), Trunc(height), Trunc(left), Trunc(top), "Index", "Value");
  // Bytes 2, 1 and 0: the components that display code shows as red, green and blue.
  HGDIOBJ remembered = GetCurrentObject(dc, OBJ_PEN);
  if (pen0 != nullptr) SelectObject(dc, pen0);
  Polyline(dc, *this, count, [&](unsigned int i) { return static_cast<double>(data[i].byte2); });
  if (pen1 != nullptr) SelectObject(dc, pen1);
  Polyline(dc, *this, count, [&](unsigned int i) { return static_cast<double>(data[i].byte1); });
  if (pen2 != nullptr) SelectObject(dc, pen2);
  Polyline(dc, *this, count, [&](unsigned int i) { return static_cast<double>(data[i].byte0); });
  SelectObject(dc, remembered);
}
