// Placeholder: the display subsystem replaces these with the real drawing members.

#include "kvbase/foundation/internal/report.h"
#include "kvbase/image/image.h"

template <typename T>
void KROI<T>::Draw(HDC, float, float) {
  KReport(K_ERROR_NOT_IMPLEMENTED, "KROI::Draw");
}

template <typename T>
void KROI<T>::DrawMask(HDC, float, float, float, float) {
  KReport(K_ERROR_NOT_IMPLEMENTED, "KROI::DrawMask");
}

template <typename T>
void KImage<T>::Draw(HDC, float, float) {
  KReport(K_ERROR_NOT_IMPLEMENTED, "KImage::Draw");
}

template <typename T>
void KImage<T>::DrawMask(HDC, float, float, float, float) {
  KReport(K_ERROR_NOT_IMPLEMENTED, "KImage::DrawMask");
}

#define KVBASE_DEFINE_DRAW(T)                                            \
  template void KROI<T>::Draw(HDC, float, float);                        \
  template void KROI<T>::DrawMask(HDC, float, float, float, float);      \
  template void KImage<T>::Draw(HDC, float, float);                      \
  template void KImage<T>::DrawMask(HDC, float, float, float, float);
KVBASE_FOR_EACH_PIXEL_TYPE(KVBASE_DEFINE_DRAW)
#undef KVBASE_DEFINE_DRAW
