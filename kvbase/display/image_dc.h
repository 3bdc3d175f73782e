#ifndef KVBASE_DISPLAY_IMAGE_DC_H
#define KVBASE_DISPLAY_IMAGE_DC_H

// Device contexts opened on images, so that ordinary GDI calls (lines, shapes, text) draw into an
// image, and the reset of the display's gray palette.
//
//   HDC dc = KOpenImageDC(&image);        // a memory device context holding a copy of the pixels
//   MoveToEx(dc, 0, 0, nullptr);
//   LineTo(dc, 10, 10);
//   KCloseImageDC(&image, dc);            // copies the pixels back and releases the device context
//
// Changes reach the image only at the close. The image must keep its type and size until then, and no
// other bitmap may be selected into the device context. Failures set the current error and trace
// "KOpenImageDC" / "KCloseImageDC": an image without pixels (K_ERROR_IMAGE_MEMORY_ACCESS), a device
// context or bitmap that cannot be made, filled, read or released (K_ERROR_WINDOWS_ERROR).

#include "kvbase/image/image.h"
#include "kvbase/platform/export.h"
#include "kvbase/platform/windows_types.h"

// A memory device context with an 8-bit (gray colour table) or 24-bit bitmap holding a copy of the
// image's pixels selected; null on failure. It becomes the current image device context.
KVBASE_API HDC KOpenImageDC(KImage<unsigned char>* image);
KVBASE_API HDC KOpenImageDC(KImage<KC24>* image);

// Copies the bitmap selected in `dc` back into the image, then deletes the device context and the
// bitmap. A null `dc` means the current image device context (the last one opened).
KVBASE_API void KCloseImageDC(KImage<unsigned char>* image, HDC dc);
KVBASE_API void KCloseImageDC(KImage<KC24>* image, HDC dc);

// Discards the gray palette, so that the next 8-bit draw on a palette device builds it again from the
// colour table of that draw. The colour-cube palette stays.
KVBASE_API void KUpdatePalette();

#endif  // KVBASE_DISPLAY_IMAGE_DC_H
