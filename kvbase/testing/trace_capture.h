#ifndef KVBASE_TESTING_TRACE_CAPTURE_H
#define KVBASE_TESTING_TRACE_CAPTURE_H

// Test helper: while alive, receives every message box instead of standard error, clears the current
// error and sets the trace mode to K_TRACE_ON_ERROR; restores the previous hook, mode and
// bKMacroTrace when destroyed. Each thread keeps the boxes it raised: Boxes and Names are the calling
// thread's.
//
//   KTraceCapture trace;
//   image.SetOrgX(-25);
//   EXPECT_EQ(trace.Names(), (std::vector<std::string>{"KROI::SetOrgX"}));

#include <string>
#include <vector>

#include "kvbase/foundation/errors.h"

struct KCapturedBox {
  std::string text;
  std::string caption;
  unsigned int type;
};

class KTraceCapture {
 public:
  KTraceCapture();
  ~KTraceCapture();
  KTraceCapture(const KTraceCapture&) = delete;
  KTraceCapture& operator=(const KTraceCapture&) = delete;

  const std::vector<KCapturedBox>& Boxes() const;
  // The function name of each "Function: <name>\n..." box of the calling thread, in order; any thread
  // may ask while a capture is alive in one of them.
  static std::vector<std::string> Names();
  static void Clear();

 private:
  K_TRACE_MODE savedMode_;
  int savedMacroTrace_;
};

#endif  // KVBASE_TESTING_TRACE_CAPTURE_H
