#ifndef KVBASE_PYTHON_LIBRARY_CALL_H
#define KVBASE_PYTHON_LIBRARY_CALL_H

// How every binding calls the library. Before the call the calling thread's current error is cleared
// (KOk) and so is its trace list; the trace boxes raised during the call are collected into that list,
// never printed; after the call a failure left in the current error (a code of 1000 or more) becomes
// kvbase.Error(code, text, traces).
//
//   return Call([&] { return roi.GetWidth(); });                     // the GIL held
//   CallReleased([&] { KResize(source, destination); });              // the GIL released meanwhile
//
// Work run by CallReleased must not touch any Python object: it runs without the interpreter lock.

#include <pybind11/pybind11.h>

#include <exception>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace kvpy {

namespace py = pybind11;

// While alive, the calling thread is inside a library call: its current error and trace list were
// cleared when the call began, and the boxes it raises are collected.
class LibraryCall {
 public:
  LibraryCall();
  ~LibraryCall();
  LibraryCall(const LibraryCall&) = delete;
  LibraryCall& operator=(const LibraryCall&) = delete;

  // Raises kvbase.Error when the current error is a failure. Needs the GIL.
  void Check() const;
};

// The interpreter lock (GIL) released by this module on the calling thread while it lives. The tree locks
// ask Here() whether the calling thread let the lock go (image_nodes.h): PyGILState_Check cannot tell
// once a subinterpreter has existed, and Python 3.11's current thread state belongs to whichever thread
// holds the lock.
//
// The destructor may throw: when the interpreter is exiting, Python ends a daemon thread that asks for the
// lock back by unwinding its stack (pthread_exit), and that unwinding must be let through, not end the
// process as it would from a destructor that may not throw.
class ReleasedInterpreter {
 public:
  ReleasedInterpreter();
  ~ReleasedInterpreter() noexcept(false);
  ReleasedInterpreter(const ReleasedInterpreter&) = delete;
  ReleasedInterpreter& operator=(const ReleasedInterpreter&) = delete;

  static bool Here();

 private:
  PyThreadState* state_;
};

// The trace names collected in the calling thread since its library call began, in order.
std::vector<std::string>& ThreadTraces();

// Raises kvbase.Error with the calling thread's current error and traces.
[[noreturn]] void RaiseCurrentError();

template <typename Work>
auto Call(Work&& work) -> decltype(work()) {
  LibraryCall call;
  if constexpr (std::is_void_v<decltype(work())>) {
    work();
    call.Check();
  } else {
    auto result = work();
    call.Check();
    return result;
  }
}

// Runs `work` with the GIL released. An exception from `work` is carried past the taking back of the GIL
// and thrown again after it: at exit Python may end a daemon thread there by unwinding its stack, which
// must not meet another exception on its way.
template <typename Work>
auto WithoutInterpreter(Work&& work) -> decltype(work()) {
  using Result = decltype(work());
  std::exception_ptr failure;
  if constexpr (std::is_void_v<Result>) {
    {
      ReleasedInterpreter released;
      try {
        work();
      } catch (...) {
        failure = std::current_exception();
      }
    }
    if (failure) std::rethrow_exception(failure);
  } else {
    std::optional<Result> result;
    {
      ReleasedInterpreter released;
      try {
        result.emplace(work());
      } catch (...) {
        failure = std::current_exception();
      }
    }
    if (failure) std::rethrow_exception(failure);
    return std::move(*result);
  }
}

template <typename Work>
auto CallReleased(Work&& work) -> decltype(work()) {
  return Call([&]() -> decltype(auto) { return WithoutInterpreter(work); });
}

}  // namespace kvpy

#endif  // KVBASE_PYTHON_LIBRARY_CALL_H
