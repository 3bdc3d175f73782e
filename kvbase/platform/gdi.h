#ifndef KVBASE_PLATFORM_GDI_H
#define KVBASE_PLATFORM_GDI_H

// The library's software GDI in one include: objects and device contexts (gdi_objects.h), device-
// independent bitmaps and their transfers (gdi_dib.h), lines and shapes (gdi_draw.h) and text
// (gdi_text.h). The functions carry their Windows names and arguments; they draw into pixel memory
// that can be read back with GetPixel or GetDIBits.

#include "kvbase/platform/gdi_dib.h"
#include "kvbase/platform/gdi_draw.h"
#include "kvbase/platform/gdi_objects.h"
#include "kvbase/platform/gdi_text.h"

#endif  // KVBASE_PLATFORM_GDI_H
