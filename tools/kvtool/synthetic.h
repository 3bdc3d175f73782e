#ifndef KVTOOL_SYNTHETIC_H
#define KVTOOL_SYNTHETIC_H

// Built-in test pictures for the tour: no file needed to see the library at work.

#include "kvbase/image/image.h"

namespace kvtool {

// A gray scene: a lit dome on a ramp, with a ring of bars and a dark square.
void MakeGrayScene(KImageBW8& image, int width, int height);
// A colour scene: a hue wheel fading to white at its centre, on a gray-blue ramp.
void MakeColourScene(KImageC24& image, int width, int height);

}  // namespace kvtool

#endif  // KVTOOL_SYNTHETIC_H
