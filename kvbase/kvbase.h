#ifndef KVBASE_KVBASE_H
#define KVBASE_KVBASE_H

// kvbase: the one include a client needs. Link with -lkvbase.
//
// Threads: distinct objects may be used from distinct threads at the same time; one object (an image
// with its ROIs, a vector, a device context) is used by one thread at a time. The current error belongs
// to the calling thread. The library starts no thread of its own. What stays process-wide and mutable
// after start-up, and why that is safe:
//   - the settings (trace mode, angle unit, MMX switch, JPEG quality, TIFF threshold and strip size, PNG
//     compression level, message-box hook): atomic, so read and written without a data race; a save
//     reads the file settings once, at its start;
//   - bKMacroTrace: a plain int the library only reads; clients set it before they start threads;
//   - the colour constants and the unit objects: writable by clients, never written by the library;
//   - the GDI's handle table and its stock objects: guarded (platform/internal/gdi_handles.h);
//   - the display's gray and colour-cube palettes: built and selected under a lock;
//   - caches of processor features and fixed tables: built once, by the language's thread-safe
//     initialisation of statics.
// Per thread: the current error and unknown-code text, the stopwatch, the display's bitmap
// descriptions, saved palette and current image device context, and operator[]'s dummy element.

#include "kvbase/display/dc_bitmap_file.h"
#include "kvbase/display/image_dc.h"
#include "kvbase/display/image_drawing.h"
#include "kvbase/files/image_files.h"
#include "kvbase/foundation/errors.h"
#include "kvbase/foundation/statistics.h"
#include "kvbase/foundation/timing.h"
#include "kvbase/foundation/units.h"
#include "kvbase/image/generic_roi.h"
#include "kvbase/image/image.h"
#include "kvbase/image/roi.h"
#include "kvbase/pixels/pixel_types.h"
#include "kvbase/platform/clocks.h"
#include "kvbase/platform/gdi.h"
#include "kvbase/platform/gdi_dib.h"
#include "kvbase/platform/gdi_draw.h"
#include "kvbase/platform/gdi_objects.h"
#include "kvbase/platform/gdi_text.h"
#include "kvbase/platform/message_box.h"
#include "kvbase/render/color_histogram.h"
#include "kvbase/render/relief.h"
#include "kvbase/render/resize.h"
#include "kvbase/render/skew_scale_steps.h"
#include "kvbase/vectors/grouped_vector.h"
#include "kvbase/vectors/plot.h"
#include "kvbase/vectors/profile_vectors.h"
#include "kvbase/vectors/run.h"
#include "kvbase/vectors/vector_template.h"

#endif  // KVBASE_KVBASE_H
