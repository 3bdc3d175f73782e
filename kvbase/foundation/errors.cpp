#include "kvbase/foundation/errors.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kvbase/foundation/internal/error_texts.h"
#include "kvbase/platform/message_box.h"

int bKMacroTrace = 0;

namespace {

// The current error and the text of an unknown code belong to the calling thread: a failure in one
// thread never shows in another, and every thread starts with K_SUCCESS. The trace mode is one
// process-wide setting.
thread_local K_ERRORS gCurrentError = K_SUCCESS;
thread_local char gUnknownCodeText[40];
std::atomic<K_TRACE_MODE> gTraceMode{K_TRACE_ON_ERROR};

constexpr int kFirstFailure = 1000;
constexpr unsigned int kTraceBoxStyle = MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL;  // 0x2030

bool FailurePending() { return gCurrentError >= kFirstFailure; }

void ShowTraceBox(const char* text) { MessageBoxA(nullptr, text, "KTrace", kTraceBoxStyle); }

}  // namespace

K_ERRORS KOk() { return gCurrentError = K_SUCCESS; }

K_ERRORS KSetError(K_ERRORS code) { return gCurrentError = code; }

K_ERRORS KGetError() { return gCurrentError; }

int KSuccess() { return FailurePending() ? 0 : 1; }

int KFailure() { return FailurePending() ? 1 : 0; }

const char* KGetErrorText(K_ERRORS code) {
  if (const char* text = kvbase::internal::FindErrorText(code)) return text;
  std::snprintf(gUnknownCodeText, sizeof gUnknownCodeText, "Unknown error code: %hd", static_cast<short>(code));
  return gUnknownCodeText;
}

const char* KGetErrorText() { return KGetErrorText(KGetError()); }

void KSetTraceMode(K_TRACE_MODE mode) { gTraceMode.store(mode, std::memory_order_relaxed); }

K_TRACE_MODE KGetTraceMode() { return gTraceMode.load(std::memory_order_relaxed); }

K_ERRORS KTraceError(const char* functionName) {
  if (!FailurePending()) return gCurrentError;
  const K_TRACE_MODE mode = KGetTraceMode();
  if (bKMacroTrace != 0 && mode == K_TRACE_ON_FULL_ERROR) return gCurrentError;
  if (mode != K_TRACE_ON_ERROR && mode != K_TRACE_ON_FULL_ERROR) return gCurrentError;

  const char* name = functionName ? functionName : "";
  const char* errorText = KGetErrorText();
  const size_t size = std::strlen(name) + std::strlen(errorText) + 20;
  if (char* text = static_cast<char*>(std::malloc(size))) {
    std::snprintf(text, size, "Function: %s\n%s", name, errorText);
    ShowTraceBox(text);
    std::free(text);
  }
  return gCurrentError;
}

short KTraceFullError(const char* file, int line, const char* text) {
  if (!FailurePending()) return static_cast<short>(gCurrentError);
  if (KGetTraceMode() == K_TRACE_ON_FULL_ERROR) {
    const char* fileName = file ? file : "";
    const char* callerText = text ? text : "";
    const char* errorText = KGetErrorText();
    // Room for the longest line number besides the texts.
    const size_t size = std::strlen(fileName) + std::strlen(callerText) + 5 + std::strlen(errorText) + 20 + 12;
    if (char* box = static_cast<char*>(std::malloc(size))) {
      std::snprintf(box, size, "File %s, line %d\n%s\n%s", fileName, line, callerText, errorText);
      ShowTraceBox(box);
      std::free(box);
    }
  }
  return static_cast<short>(KGetError());
}

char* KGetVersion() {
  static char version[] = "6.0.0";
  return version;
}
