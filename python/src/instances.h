#ifndef KVBASE_PYTHON_INSTANCES_H
#define KVBASE_PYTHON_INSTANCES_H

// The C++ object behind a Python instance of a bound class, checked before it is used.
//
// An instance made by __new__ alone (Image.__new__(Image), or a pickle whose NEWOBJ is never followed by
// BUILD) has no C++ object: neither __init__ nor __setstate__ ran on it. pybind11 would still hand a
// binding that takes `T&` a block of uninitialised memory, so the bindings take the instance as a handle
// and fetch the object here.

#include <pybind11/pybind11.h>

#include <string>

namespace kvpy {

namespace py = pybind11;

// The object of `object`, an instance of the class bound for T (or of a subclass). TypeError naming
// `argument` when it is not one ("<argument> must be <expected>"), or when it was never initialised.
template <typename T>
T& Constructed(const py::handle& object, const char* argument, const char* expected) {
  if (!py::isinstance<T>(object)) throw py::type_error(std::string(argument) + " must be " + expected);
  auto* instance = reinterpret_cast<py::detail::instance*>(object.ptr());
  // Every bound class of the module has one C++ base at most: the instance's first value is its object.
  const py::detail::value_and_holder held = instance->get_value_and_holder(nullptr, false);
  if (held.inst == nullptr || !held.holder_constructed())
    throw py::type_error(std::string(argument) + ": this " +
                         py::str(py::type::handle_of(object).attr("__name__")).cast<std::string>() +
                         " is not initialised (made by __new__ without __init__ or __setstate__)");
  return object.cast<T&>();
}

}  // namespace kvpy

#endif  // KVBASE_PYTHON_INSTANCES_H
