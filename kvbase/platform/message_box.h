#ifndef KVBASE_PLATFORM_MESSAGE_BOX_H
#define KVBASE_PLATFORM_MESSAGE_BOX_H

// MessageBoxA as the library's tracing uses it. There is no window system here: by default a box is
// written to standard error (caption, then text) and answered with IDOK at once. A program or a test
// that wants the boxes installs a hook with KSetMessageBoxHook; every box then goes to the hook instead.

#include "kvbase/platform/export.h"
#include "kvbase/platform/windows_types.h"

constexpr unsigned int MB_OK = 0x0000;
constexpr unsigned int MB_ICONEXCLAMATION = 0x0030;
constexpr unsigned int MB_TASKMODAL = 0x2000;
constexpr int IDOK = 1;

// Receives every box while installed, in the thread that raised it; its result is what MessageBoxA
// returns. The hook is process-wide, so it must be safe to call from several threads at once.
typedef int (*KMessageBoxHook)(const char* text, const char* caption, unsigned int type);

KVBASE_API int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned int type);

// Installs `hook` (null restores the standard-error default) and returns the previous hook.
KVBASE_API KMessageBoxHook KSetMessageBoxHook(KMessageBoxHook hook);

#endif  // KVBASE_PLATFORM_MESSAGE_BOX_H
