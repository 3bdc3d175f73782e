#ifndef KVBASE_PYTHON_BINDINGS_H
#define KVBASE_PYTHON_BINDINGS_H

// The parts of the module _kvbase, one per subject, each adding its classes and functions.

#include <pybind11/pybind11.h>

namespace kvpy {

namespace py = pybind11;

// errors.cpp: kvbase.Error, the trace collector, trace mode, current error and version.
void RegisterErrors(py::module_& m);
// images.cpp and image_arrays.cpp: GenericROI, Image and ROI, their pixels as NumPy arrays, masks.
void RegisterImages(py::module_& m);
// files.cpp: load, save and the file settings.
void RegisterFiles(py::module_& m);
// operations.cpp: resize and the renderers.
void RegisterOperations(py::module_& m);
// device_contexts.cpp: MemoryDC and drawing.
void RegisterDeviceContexts(py::module_& m);

}  // namespace kvpy

#endif  // KVBASE_PYTHON_BINDINGS_H
