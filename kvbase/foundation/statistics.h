#ifndef KVBASE_FOUNDATION_STATISTICS_H
#define KVBASE_FOUNDATION_STATISTICS_H

// KStatistics: the last N values of a stream of measurements in a ring, with their mean, population
// standard deviation, minimum and maximum. A window of 0 ignores every value.

#include "kvbase/platform/export.h"

class KVBASE_API KStatistics {
 public:
  explicit KStatistics(unsigned int windowSize = 0);
  ~KStatistics();
  KStatistics(const KStatistics&) = delete;
  KStatistics& operator=(const KStatistics&) = delete;

  // Forgets every value and takes a new window size. On allocation failure the window becomes 0
  // (K_ERROR_ALLOCATION, traced "KStatistics::Reset").
  void Reset(unsigned int windowSize);
  // Adds a value, replacing the oldest once the window is full.
  void NewElement(float value);

  unsigned int Count() const { return count_; }
  // Sum of the held values in slot order, rounded to float after each addition, divided by the count.
  float Average() const;
  // Population standard deviation; 0 for fewer than two values.
  float Deviation() const;
  float Minimum() const;
  float Maximum() const;

 private:
  unsigned int windowSize_;
  unsigned int count_;
  unsigned int next_;
  float* values_;
};

#endif  // KVBASE_FOUNDATION_STATISTICS_H
