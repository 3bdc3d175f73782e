#include "kvbase/platform/message_box.h"

#include <atomic>
#include <cstdio>

namespace {
// Process-wide; a hook receives the boxes of every thread, and must be safe to call from any of them.
std::atomic<KMessageBoxHook> gHook{nullptr};
}  // namespace

int MessageBoxA(HWND, const char* text, const char* caption, unsigned int type) {
  if (KMessageBoxHook hook = gHook.load()) return hook(text, caption, type);
  std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
  return IDOK;
}

KMessageBoxHook KSetMessageBoxHook(KMessageBoxHook hook) { return gHook.exchange(hook); }
