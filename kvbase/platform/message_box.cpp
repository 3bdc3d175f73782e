#include "kvbase/platform/message_box.h"

#include <cstdio>

namespace {
KMessageBoxHook gHook = nullptr;
}

int MessageBoxA(HWND, const char* text, const char* caption, unsigned int type) {
  if (gHook != nullptr) return gHook(text, caption, type);
  std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
  return IDOK;
}

KMessageBoxHook KSetMessageBoxHook(KMessageBoxHook hook) {
  KMessageBoxHook previous = gHook;
  gHook = hook;
  return previous;
}
