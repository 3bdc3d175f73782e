#include "kvbase/display/dc_bitmap_file.h"

#include "kvbase/files/image_files.h"
#include "kvbase/foundation/internal/report.h"
#include "kvbase/image/image.h"
#include "kvbase/platform/gdi.h"

short KSaveDCBitmap(HDC dc, const char* path) {
  constexpr const char* kTrace = "KSaveDCBitmap";
  KOk();
  HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
  BITMAP description{};
  if (GetObject(bitmap, sizeof description, &description) == 0)
    return static_cast<short>(KReport(K_ERROR_WINDOWS_ERROR, kTrace));
  KImage<KC24> image(description.bmWidth, description.bmHeight);
  if (image.GetImagePtr(0, 0) == nullptr) return static_cast<short>(KReport(K_ERROR_ALLOCATION, kTrace));
  // The image's rows are padded to 32 bits, as a 24-bit top-down device-independent bitmap's.
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), description.bmWidth, -description.bmHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  if (GetDIBits(dc, static_cast<HBITMAP>(bitmap), 0, static_cast<UINT>(description.bmHeight), image.GetImagePtr(0, 0),
                &info, DIB_RGB_COLORS) == 0)
    return static_cast<short>(KReport(K_ERROR_WINDOWS_ERROR, kTrace));
  KOk();
  KSaveImage(&image, path, K_FILE_FORMAT_BMP_COLOR);
  if (KTraceIfFailed(kTrace)) return static_cast<short>(KGetError());
  return 0;
}
