// The extension module kvbase._kvbase, which the package kvbase re-exports.

#include <pybind11/pybind11.h>

#include "bindings.h"

PYBIND11_MODULE(_kvbase, m) {
  m.doc() =
      "kvbase: images of eight pixel kinds as NumPy arrays without copies, image files, resizing, relief and "
      "colour-histogram rendering, and drawing into memory device contexts. Failures raise kvbase.Error.";
  kvpy::RegisterErrors(m);
  kvpy::RegisterImages(m);
  kvpy::RegisterFiles(m);
  kvpy::RegisterOperations(m);
  kvpy::RegisterDeviceContexts(m);
}
