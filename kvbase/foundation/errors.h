#ifndef KVBASE_FOUNDATION_ERRORS_H
#define KVBASE_FOUNDATION_ERRORS_H

// The current error, its texts, tracing and the library version.
//
// Operations report failure by storing a K_ERRORS code in the current error and tracing their own name
// (KTraceError); they never throw. Callers read the outcome with KGetError, KSuccess or KFailure and
// turn a code into a sentence with KGetErrorText. Tracing shows a message box (platform/message_box.h)
// for failures, depending on the trace mode. The current error (and the text of an unknown code) belongs
// to the calling thread, which starts with K_SUCCESS; the trace mode is one process-wide setting.

#include "kvbase/foundation/error_codes.h"
#include "kvbase/platform/export.h"

enum K_TRACE_MODE : int {
  K_TRACE_SILENT = 0,
  K_TRACE_ON_ERROR = 1,
  K_TRACE_ON_FULL_ERROR = 2,
};

// Set to non-zero by client code whose own tracing macro reports failures through KTraceFullError;
// KTraceError then stays quiet in K_TRACE_ON_FULL_ERROR mode. A plain process-wide int that the library
// only reads: set it once, before the program starts threads that call the library.
extern KVBASE_API int bKMacroTrace;

// Sets the current error to K_SUCCESS and returns it.
KVBASE_API K_ERRORS KOk();
// Stores `code` (unchecked) as the current error and returns it.
KVBASE_API K_ERRORS KSetError(K_ERRORS code);
KVBASE_API K_ERRORS KGetError();
// 1 when the current error is below 1000, else 0.
KVBASE_API int KSuccess();
// 1 when the current error is 1000 or more, else 0.
KVBASE_API int KFailure();

// The text of `code`; for a code not in the table, "Unknown error code: %hd" filled with the code cut to
// 16 bits, in a static buffer that the next unknown code overwrites.
KVBASE_API const char* KGetErrorText(K_ERRORS code);
// The text of the current error.
KVBASE_API const char* KGetErrorText();

KVBASE_API void KSetTraceMode(K_TRACE_MODE mode);
KVBASE_API K_TRACE_MODE KGetTraceMode();

// Called by library operations after they set a failure: shows "Function: <name>\n<error text>" in a
// box captioned "KTrace" when the current error is a failure and the mode asks for it. Returns the
// current error.
KVBASE_API K_ERRORS KTraceError(const char* functionName);
// For client macros: in K_TRACE_ON_FULL_ERROR mode shows "File <file>, line <line>\n<text>\n<error
// text>" for a pending failure. Returns the current error cut to 16 bits.
KVBASE_API short KTraceFullError(const char* file, int line, const char* text);

// "6.0.0", in a buffer the caller must not change.
KVBASE_API char* KGetVersion();

#endif  // KVBASE_FOUNDATION_ERRORS_H
