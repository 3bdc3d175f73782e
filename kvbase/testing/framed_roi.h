#ifndef KVBASE_TESTING_FRAMED_ROI_H
#define KVBASE_TESTING_FRAMED_ROI_H

// The subject of the frame tests: an ROI at (10, 20) of 30 x 40 pixels in a 100 x 100 image, whose
// device rectangle at zoom 1 is 10, 20, 40, 60.

#include "kvbase/image/image.h"

namespace kvbase::testing {

struct KFramedROI {
  KImageBW8 image{100, 100};
  KROIBW8 roi{&image, 10, 20, 30, 40};
};

}  // namespace kvbase::testing

#endif  // KVBASE_TESTING_FRAMED_ROI_H
