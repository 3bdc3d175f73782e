#ifndef KVBASE_DISPLAY_DC_BITMAP_FILE_H
#define KVBASE_DISPLAY_DC_BITMAP_FILE_H

// Saving what a device context shows: the bitmap selected into it goes to a 24-bit BMP file through the
// library's own BMP writer, so that a person can look at any picture drawn.
//
//   HDC dc = KCreateMemoryDC(320, 200, 32);
//   ... draw ...
//   KSaveDCBitmap(dc, "picture.bmp");

#include "kvbase/platform/export.h"
#include "kvbase/platform/windows_types.h"

// Copies the bitmap selected into `dc` into a colour image (GetDIBits) and saves it as a colour BMP
// file. Returns 0, or the error code: K_ERROR_WINDOWS_ERROR when the device context or its bitmap cannot
// be read, or what the BMP writer reports; a failure traces "KSaveDCBitmap".
KVBASE_API short KSaveDCBitmap(HDC dc, const char* path);

#endif  // KVBASE_DISPLAY_DC_BITMAP_FILE_H
