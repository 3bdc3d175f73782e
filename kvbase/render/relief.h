#ifndef KVBASE_RENDER_RELIEF_H
#define KVBASE_RENDER_RELIEF_H

// KRender3D: a gray image shown as a landscape. Every pixel (column c, row r, gray level h) becomes a
// point in space, rotated by a tilt angle a (about the horizontal screen axis) and a turn angle b (about
// the vertical one), scaled per axis and projected orthographically onto the destination, centred, where
// it is drawn as a small dot on a gray (128) background:
//
//   screen column = c cos b sX - r sin b sin a sY + h sin b cos a sZ + column offset
//   screen row    =              r cos a sY      + h sin a sZ        + row offset
//
// in 16.16 fixed point, rounded down. Hidden parts are handled by painting back to front: the source
// is visited in the order given by the signs of the depth coefficients (sin b sX for columns,
// -cos b sin a sY for rows; columns and rows run backwards when theirs is negative), and later dots
// overwrite earlier ones. dotMode is the number of pixels in a dot:
//
//   1  (x, y)            4  the 2 x 2 square from (x, y)
//   5  a plus sign centred at (x + 1, y + 1)      9  the 3 x 3 square from (x, y)
//
// A dot that would leave the destination is skipped whole. Only the destination rectangle is written.
//
// The gray overload paints each dot with its height and takes its angles in the current angle unit; the
// colour overload takes its heights from `heights` and its colours from `colours` (the traversed ROI; the
// heights ROI must be at least as large), and takes its angles in radians whatever the unit.
//
// Failures, traced "KRender3D (Gray level)" or "KRender3D (Color)":
//   destination without pixels (or null)      K_ERROR_IMAGE_MEMORY_ACCESS, destination untouched
//   heights ROI smaller than the colours ROI  K_ERROR_IMAGE_SIZES_DIFFER, destination untouched
//   a source without pixels (or null)         K_ERROR_IMAGE_MEMORY_ACCESS, destination left gray
//   dotMode not 1, 4, 5 or 9                  K_ERROR_PARAMETER_8_OUT_OF_RANGE (gray) or
//                                             K_ERROR_PARAMETER_9_OUT_OF_RANGE (colour), left gray
// Success leaves the current error as it was. Renderings share no state and may run in parallel.

#include "kvbase/image/roi.h"
#include "kvbase/platform/export.h"

KVBASE_API void KRender3D(KROI<unsigned char>* heights, KROI<unsigned char>* destination, float tiltAngle,
                          float turnAngle, float scaleX, float scaleY, float scaleZ, int dotMode);
KVBASE_API void KRender3D(KROI<KC24>* colours, KROI<unsigned char>* heights, KROI<KC24>* destination, float tiltAngle,
                          float turnAngle, float scaleX, float scaleY, float scaleZ, int dotMode);

#endif  // KVBASE_RENDER_RELIEF_H
