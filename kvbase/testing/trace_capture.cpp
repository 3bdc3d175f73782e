#include "kvbase/testing/trace_capture.h"

#include "kvbase/platform/message_box.h"

namespace {

// Boxes arrive in the thread that raised them, and each thread keeps its own.
thread_local std::vector<KCapturedBox> gBoxes;
KMessageBoxHook gPreviousHook = nullptr;

int Record(const char* text, const char* caption, unsigned int type) {
  gBoxes.push_back({text ? text : "", caption ? caption : "", type});
  return IDOK;
}

}  // namespace

KTraceCapture::KTraceCapture() : savedMode_(KGetTraceMode()), savedMacroTrace_(bKMacroTrace) {
  gBoxes.clear();
  gPreviousHook = KSetMessageBoxHook(Record);
  KSetTraceMode(K_TRACE_ON_ERROR);
  bKMacroTrace = 0;
  KOk();
}

KTraceCapture::~KTraceCapture() {
  KSetMessageBoxHook(gPreviousHook);
  KSetTraceMode(savedMode_);
  bKMacroTrace = savedMacroTrace_;
  gBoxes.clear();
}

const std::vector<KCapturedBox>& KTraceCapture::Boxes() const { return gBoxes; }

void KTraceCapture::Clear() { gBoxes.clear(); }

std::vector<std::string> KTraceCapture::Names() {
  static const std::string kPrefix = "Function: ";
  std::vector<std::string> names;
  for (const KCapturedBox& box : gBoxes) {
    if (box.text.compare(0, kPrefix.size(), kPrefix) != 0) continue;
    const size_t end = box.text.find('\n');
    names.push_back(
        box.text.substr(kPrefix.size(), end == std::string::npos ? std::string::npos : end - kPrefix.size()));
  }
  return names;
}
