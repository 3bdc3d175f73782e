#ifndef KVBASE_DISPLAY_IMAGE_DRAWING_H
#define KVBASE_DISPLAY_IMAGE_DRAWING_H

// Drawing images and ROIs into a device context: one device-independent-bitmap transfer of the pixels,
// at a zoom factor per axis, with its top-left corner at logical (0, 0) of the device context.
//
// BW1, BW8, C15, C16, C24 and C24A pixels are handed to the device in place; BW16 pixels are shown by
// their most significant byte. An ROI shows its own area of its root image. BW8 pixels may go through a
// 256-entry lookup table: gray levels (KBW8Vector) or colours (KC24Vector). On a palette device (an
// 8-bit one) BW8 and BW16 draws use a gray palette built from the colour table of the first such draw
// (see KUpdatePalette in image_dc.h), colour draws a 6 x 6 x 6 colour cube.
//
// A zoomY of 0 means zoomY = zoomX. Both factors exactly 1 draw unscaled; any other pair stretches to
// trunc(width x zoomX) by trunc(height x zoomY) device pixels, sampling the nearest source pixel.
//
//   KImageBW8 image(640, 480);
//   KDrawImageInWindow(&image, dc, 0.5f, 0.0f);   // 320 x 240 device pixels at (0, 0)
//
// Failures set the current error and trace the overload's name: a source without pixel buffer
// (K_ERROR_IMAGE_MEMORY_ACCESS), an ROI attached to no image (K_ERROR_ROI_HAS_NO_PARENT), a lookup
// table that is missing (K_ERROR_VECTOR_MEMORY_ACCESS) or has not 256 elements
// (K_ERROR_INVALID_NUMBER_OF_VECTOR_ELEMENTS). What the device context does is not checked.

#include "kvbase/image/image.h"
#include "kvbase/image/roi.h"
#include "kvbase/platform/export.h"
#include "kvbase/platform/windows_types.h"
#include "kvbase/vectors/profile_vectors.h"

// Trace names: "KDrawImageInWindow (BW1 Image)", "(BW1 ROI)", "(BW8 Image)", "(BW8 ROI)",
// "(BW16 Image)", "(C15 ROI)", "(C16 ROI)", "(C24 ROI)", "(C24A ROI)".
KVBASE_API void KDrawImageInWindow(KImage<int>* image, HDC dc, float zoomX, float zoomY);
KVBASE_API void KDrawImageInWindow(KROI<int>* roi, HDC dc, float zoomX, float zoomY);
// 0 after a successful draw, otherwise the current error code.
KVBASE_API short KDrawImageInWindow(KImage<unsigned char>* image, HDC dc, float zoomX, float zoomY);
KVBASE_API void KDrawImageInWindow(KImage<unsigned char>* image, HDC dc, KBW8Vector* lut, float zoomX, float zoomY);
KVBASE_API void KDrawImageInWindow(KImage<unsigned char>* image, HDC dc, KC24Vector* lut, float zoomX, float zoomY);
KVBASE_API void KDrawImageInWindow(KROI<unsigned char>* roi, HDC dc, float zoomX, float zoomY);
KVBASE_API void KDrawImageInWindow(KROI<unsigned char>* roi, HDC dc, KBW8Vector* lut, float zoomX, float zoomY);
KVBASE_API void KDrawImageInWindow(KROI<unsigned char>* roi, HDC dc, KC24Vector* lut, float zoomX, float zoomY);
KVBASE_API void KDrawImageInWindow(KROI<unsigned short>* roi, HDC dc, float zoomX, float zoomY);
KVBASE_API void KDrawImageInWindow(KROI<KC15>* roi, HDC dc, float zoomX, float zoomY);
KVBASE_API void KDrawImageInWindow(KROI<KC16>* roi, HDC dc, float zoomX, float zoomY);
KVBASE_API void KDrawImageInWindow(KROI<KC24>* roi, HDC dc, float zoomX, float zoomY);
KVBASE_API void KDrawImageInWindow(KROI<KC24A>* roi, HDC dc, float zoomX, float zoomY);

#endif  // KVBASE_DISPLAY_IMAGE_DRAWING_H
