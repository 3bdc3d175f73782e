// kvbase.Error, the trace collector behind every library call, and the error and trace functions of the
// module.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include <pybind11/stl.h>

#include "bindings.h"
#include "kvbase/foundation/errors.h"
#include "kvbase/platform/message_box.h"
#include "library_call.h"

namespace kvpy {

namespace {

// Per thread: how deeply the thread is inside library calls, and the trace names collected meanwhile.
thread_local int tCallDepth = 0;
thread_local std::vector<std::string> tTraces;
// Per thread: how many ReleasedInterpreter are alive.
thread_local int tReleases = 0;

// The hook that was installed before the module's, which receives the boxes raised outside library
// calls (by C++ code of the same process, say).
KMessageBoxHook gPreviousHook = nullptr;

// kvbase.Error, kept for the life of the process.
PyObject* gErrorType = nullptr;

// "Function: <name>\n<error text>" gives <name>; any other box its first line.
std::string TraceName(const char* text) {
  static const char kPrefix[] = "Function: ";
  if (text == nullptr) return {};
  const char* start = std::strncmp(text, kPrefix, sizeof kPrefix - 1) == 0 ? text + sizeof kPrefix - 1 : text;
  const char* end = std::strchr(start, '\n');
  return end != nullptr ? std::string(start, end) : std::string(start);
}

// A test aid: while armed, the boxes of `parties` threads wait in the hook until all of them have
// arrived (or until the timeout), which can only happen when that many threads are inside library calls
// at once, the interpreter lock released by each.
struct Rendezvous {
  std::mutex mutex;
  std::condition_variable allArrived;
  int parties = 0;  // 0: not armed
  int arrived = 0;
  bool met = false;
  std::chrono::milliseconds timeout{0};

  void Arm(int count, std::chrono::milliseconds wait) {
    std::lock_guard<std::mutex> lock(mutex);
    parties = count;
    arrived = 0;
    met = false;
    timeout = wait;
  }

  void Arrive() {
    std::unique_lock<std::mutex> lock(mutex);
    if (parties == 0) return;
    if (++arrived == parties) {
      met = true;
      parties = 0;
      allArrived.notify_all();
      return;
    }
    if (!allArrived.wait_for(lock, timeout, [this] { return met; })) parties = 0;  // give up; stay disarmed
  }

  bool Met() {
    std::lock_guard<std::mutex> lock(mutex);
    return met;
  }
};

Rendezvous gRendezvous;

int CollectBox(const char* text, const char* caption, unsigned int type) {
  if (tCallDepth == 0) {
    if (gPreviousHook != nullptr) return gPreviousHook(text, caption, type);
    std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
    return IDOK;
  }
  tTraces.push_back(TraceName(text));
  gRendezvous.Arrive();
  return IDOK;
}

K_TRACE_MODE TraceModeFromInt(int mode) {
  if (mode < K_TRACE_SILENT || mode > K_TRACE_ON_FULL_ERROR)
    throw py::value_error("trace mode must be TRACE_SILENT, TRACE_ON_ERROR or TRACE_ON_FULL_ERROR");
  return static_cast<K_TRACE_MODE>(mode);
}

}  // namespace

LibraryCall::LibraryCall() {
  if (tCallDepth++ == 0) tTraces.clear();
  KOk();
}

LibraryCall::~LibraryCall() { --tCallDepth; }

void LibraryCall::Check() const {
  if (KFailure()) RaiseCurrentError();
}

ReleasedInterpreter::ReleasedInterpreter() : state_(PyEval_SaveThread()) { ++tReleases; }
ReleasedInterpreter::~ReleasedInterpreter() noexcept(false) {
  --tReleases;
  PyEval_RestoreThread(state_);
}
bool ReleasedInterpreter::Here() { return tReleases > 0; }

std::vector<std::string>& ThreadTraces() { return tTraces; }

void RaiseCurrentError() {
  const K_ERRORS code = KGetError();
  py::list traces;
  for (const std::string& name : tTraces) traces.append(py::str(name));
  py::object error =
      py::reinterpret_borrow<py::object>(gErrorType)(static_cast<int>(code), py::str(KGetErrorText(code)), traces);
  PyErr_SetObject(gErrorType, error.ptr());
  throw py::error_already_set();
}

void RegisterErrors(py::module_& m) {
  py::object error = py::module_::import("kvbase._error").attr("Error");
  gErrorType = error.inc_ref().ptr();
  m.attr("Error") = error;
  gPreviousHook = KSetMessageBoxHook(CollectBox);

  m.attr("TRACE_SILENT") = static_cast<int>(K_TRACE_SILENT);
  m.attr("TRACE_ON_ERROR") = static_cast<int>(K_TRACE_ON_ERROR);
  m.attr("TRACE_ON_FULL_ERROR") = static_cast<int>(K_TRACE_ON_FULL_ERROR);

  m.def(
      "get_error", [] { return static_cast<int>(KGetError()); },
      "The calling thread's current error: 0 after every binding that succeeded.");
  m.def(
      "get_error_text",
      [](std::optional<int> code) {
        return py::str(code ? KGetErrorText(static_cast<K_ERRORS>(*code)) : KGetErrorText());
      },
      py::arg("code") = py::none(), "The text of `code`, or of the current error when `code` is None.");
  m.def(
      "set_trace_mode", [](int mode) { KSetTraceMode(TraceModeFromInt(mode)); }, py::arg("mode"),
      "Sets the process-wide trace mode. With TRACE_SILENT failures raise kvbase.Error with empty traces.");
  m.def(
      "get_trace_mode", [] { return static_cast<int>(KGetTraceMode()); }, "The process-wide trace mode.");
  m.def(
      "get_version", [] { return py::str(KGetVersion()); }, "The library's version string.");

  m.def(
      "_arm_trace_rendezvous",
      [](int parties, double timeoutSeconds) {
        if (parties < 1 || !(timeoutSeconds >= 0.0)) throw py::value_error("parties >= 1 and a timeout >= 0");
        gRendezvous.Arm(parties, std::chrono::milliseconds(static_cast<long long>(timeoutSeconds * 1000.0)));
      },
      py::arg("parties"), py::arg("timeout"),
      "Test aid: the next trace boxes of `parties` threads wait for each other, for at most `timeout` "
      "seconds.");
  m.def(
      "_trace_rendezvous_met", [] { return gRendezvous.Met(); },
      "Test aid: whether the armed rendezvous saw all its threads at once.");
}

}  // namespace kvpy
