#ifndef KVBASE_RENDER_RESIZE_H
#define KVBASE_RENDER_RESIZE_H

// KResize: nearest-neighbour scaling of one ROI's pixels into another ROI of the same pixel type.
//
// The destination keeps its size and place. Destination pixel (x, y) takes source pixel
// (floor(x * Ws / Wd), floor(y * Hs / Hd)), chosen with exact integer arithmetic: the pattern of repeated
// and dropped rows and columns is the same on every machine, with no centring and no rounding.
// Enlarging repeats source rows and columns, reducing drops them, equal sizes copy.
//
//   KImageBW8 thumbnail(160, 120);
//   KResize(&photo, &thumbnail);
//
// Only the destination's rectangle is written. Failures, traced "KResize": a source or destination
// without pixels (or a null pointer), or a source with no rows or columns for a destination that has
// some, give K_ERROR_IMAGE_MEMORY_ACCESS; a column table that cannot be allocated gives
// K_ERROR_ALLOCATION. Nothing is written on failure. Overlapping source and destination give no defined
// picture.

#include "kvbase/image/roi.h"
#include "kvbase/platform/export.h"

KVBASE_API void KResize(KROI<unsigned char>* source, KROI<unsigned char>* destination);
KVBASE_API void KResize(KROI<unsigned short>* source, KROI<unsigned short>* destination);
KVBASE_API void KResize(KROI<KC15>* source, KROI<KC15>* destination);
KVBASE_API void KResize(KROI<KC16>* source, KROI<KC16>* destination);
KVBASE_API void KResize(KROI<KC24>* source, KROI<KC24>* destination);
KVBASE_API void KResize(KROI<KC24A>* source, KROI<KC24A>* destination);

#endif  // KVBASE_RENDER_RESIZE_H
