#include "kvbase/foundation/statistics.h"

#include <cmath>
#include <new>

#include "kvbase/foundation/internal/report.h"

KStatistics::KStatistics(unsigned int windowSize) : windowSize_(0), count_(0), next_(0), values_(nullptr) {
  Reset(windowSize);
}

KStatistics::~KStatistics() { Reset(0); }

void KStatistics::Reset(unsigned int windowSize) {
  delete[] values_;
  values_ = nullptr;
  windowSize_ = count_ = next_ = 0;
  if (windowSize == 0) return;
  values_ = new (std::nothrow) float[windowSize];
  if (values_ == nullptr) {
    KReport(K_ERROR_ALLOCATION, "KStatistics::Reset");
    return;
  }
  windowSize_ = windowSize;
}

void KStatistics::NewElement(float value) {
  if (next_ >= windowSize_) return;
  values_[next_] = value;
  if (count_ < windowSize_) ++count_;
  if (++next_ == windowSize_) next_ = 0;
}

float KStatistics::Average() const {
  if (count_ == 0) return 0.0f;
  float sum = values_[0];
  for (unsigned int i = 1; i < count_; ++i) sum = sum + values_[i];
  return static_cast<float>(static_cast<double>(sum) / count_);
}

float KStatistics::Deviation() const {
  if (count_ < 2) return 0.0f;
  const float mean = Average();
  float acc = 0.0f;
  for (unsigned int i = 0; i < count_; ++i) {
    const double difference = static_cast<float>(values_[i] - mean);
    acc = static_cast<float>(acc + difference * difference);
  }
  return static_cast<float>(std::sqrt(static_cast<float>(static_cast<double>(acc) / count_)));
}

float KStatistics::Minimum() const {
  if (count_ == 0) return 0.0f;
  float smallest = values_[0];
  for (unsigned int i = 1; i < count_; ++i)
    if (values_[i] < smallest) smallest = values_[i];
  return smallest;
}

float KStatistics::Maximum() const {
  if (count_ == 0) return 0.0f;
  float largest = values_[0];
  for (unsigned int i = 1; i < count_; ++i)
    if (values_[i] > largest) largest = values_[i];
  return largest;
}
