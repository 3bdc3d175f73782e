#ifndef KVBASE_KVBASE_H
#define KVBASE_KVBASE_H

// kvbase: the one include a client needs. Link with -lkvbase.

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
