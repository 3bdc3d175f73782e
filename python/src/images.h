#ifndef KVBASE_PYTHON_IMAGES_H
#define KVBASE_PYTHON_IMAGES_H

// Shared by images.cpp and image_arrays.cpp, which bind kvbase.GenericROI, kvbase.Image and kvbase.ROI.

#include <pybind11/pybind11.h>

#include "image_nodes.h"

namespace kvpy {

namespace py = pybind11;

// image_arrays.cpp: pixels as NumPy arrays.
// numpy.asarray(image) and memoryview(image): the buffer protocol on the class `type`.
void InstallPixelBuffer(const py::handle& type);
// to_numpy().
void DefineArrayMethods(py::class_<GenericROIObject>& cls);
// Image.from_numpy() and pickling.
void DefineImageArrays(py::class_<ImageObject, GenericROIObject>& cls);

}  // namespace kvpy

#endif  // KVBASE_PYTHON_IMAGES_H
