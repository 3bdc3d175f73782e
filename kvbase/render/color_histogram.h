#ifndef KVBASE_RENDER_COLOR_HISTOGRAM_H
#define KVBASE_RENDER_COLOR_HISTOGRAM_H

// KRenderColorHistogram: which colours a C24 ROI holds, drawn as a 3D scatter plot inside the colour cube.
//
// Every source pixel becomes one point of the destination: its bytes 2, 1, 0 are the coordinates X, Y, Z
// (red, green, blue for RGB pixels held blue first), rotated by a tilt angle a and a turn angle b (in the
// current angle unit), scaled per axis and projected so that the cube's centre lands on the destination's
// centre:
//
//   column = X cos b sX + Y sin b sin a sY - Z sin b cos a sZ + column offset
//   row    =              Y cos a sY       + Z sin a sZ       + row offset
//   depth  = X sin b sX - Y cos b sin a sY + Z cos b cos a sZ + depth offset
//
// in 16.16 fixed point, rounded down. A point is painted in the pixel's own colour where its depth beats
// the depth already there (a larger depth is nearer; equal depth never overwrites, so the first point
// drawn keeps its place). Points outside the destination are skipped. The twelve edges of the cube are
// then drawn the same way, each point in its own colour; everything not hit is (128, 128, 128).
//
// The second overload paints the colours of `colours` at the positions given by the pixels of
// `coordinates` (the same picture in another colour system, for instance), so that the distribution is
// shown in that system's axes with the true colours. Both ROIs must have the same size.
//
// Failures, traced "KRenderColorHistogram" or "KRenderColorHistogram (RGB, System)", leave the
// destination untouched: an ROI without pixels (or null) K_ERROR_IMAGE_MEMORY_ACCESS; colours and
// coordinates of different sizes K_ERROR_IMAGE_SIZES_DIFFER; a depth buffer that cannot be allocated
// K_ERROR_ALLOCATION. Calls share no state.

#include "kvbase/image/roi.h"
#include "kvbase/platform/export.h"

KVBASE_API void KRenderColorHistogram(KROI<KC24>* source, KROI<KC24>* destination, float tiltAngle, float turnAngle,
                                      float scaleX, float scaleY, float scaleZ);
KVBASE_API void KRenderColorHistogram(KROI<KC24>* colours, KROI<KC24>* coordinates, KROI<KC24>* destination,
                                      float tiltAngle, float turnAngle, float scaleX, float scaleY, float scaleZ);

#endif  // KVBASE_RENDER_COLOR_HISTOGRAM_H
