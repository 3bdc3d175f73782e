#ifndef KVBASE_PYTHON_IMAGE_NODES_H
#define KVBASE_PYTHON_IMAGE_NODES_H

// The C++ side of kvbase.Image and kvbase.ROI.
//
// Each Python image or ROI holds a Node: the library's KImage<T> or KROI<T>, its pixel kind, and a
// shared reference to the node of its parent. So an ROI keeps its parent, and through it the root image
// (and the NumPy array an image borrows), alive for as long as the ROI lives; NumPy views keep the
// Python object they were made from alive, and with it the node.
//
// Threads. The library lets one thread at a time use an image and its ROIs. The calls that release the
// interpreter lock (files, resizing, rendering, drawing) lock the trees they touch, and so do the
// bindings that change what such a call reads (placement, masks, texts, resolution); all of this
// happens in C++, so bindings holding the interpreter lock never wait for one that needs it.

#include <pybind11/pybind11.h>

#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>

#include "kvbase/foundation/units.h"
#include "kvbase/image/image.h"
#include "kvbase/image/roi.h"
#include "pixel_kinds.h"

namespace kvpy {

namespace py = pybind11;

struct Node {
  std::shared_ptr<Node> parent;       // null for an image
  py::object lender;                  // the array whose memory an image borrows, or null
  std::shared_ptr<void> pixelMemory;  // or the block the module allocated for it (loads)
  const KPixelKind* kind = nullptr;
  int format = -1;                      // the format code of the file an image was loaded from; -1 for none
  std::mutex treeMutex;                 // used in the root node only: guards the tree
  std::unique_ptr<KGenericROI> object;  // destroyed first, so that an ROI leaves a living parent

  bool IsImage() const { return parent == nullptr; }
  std::mutex& TreeMutex();
  template <typename T>
  KROI<T>* As() const {
    return static_cast<KROI<T>*>(object.get());
  }
  template <typename T>
  KImage<T>* AsImage() const {
    return static_cast<KImage<T>*>(object.get());
  }
};

// The classes bound as kvbase.GenericROI, kvbase.Image and kvbase.ROI.
struct GenericROIObject {
  std::shared_ptr<Node> node;
};
struct ImageObject : GenericROIObject {};
struct ROIObject : GenericROIObject {};

// Locks the trees of a few nodes and the mutex of a device context, each once, in address order.
class TreeLock {
 public:
  TreeLock(std::initializer_list<std::mutex*> mutexes);
  ~TreeLock();
  TreeLock(const TreeLock&) = delete;
  TreeLock& operator=(const TreeLock&) = delete;

 private:
  std::mutex* held_[4] = {};
  int count_ = 0;
};

// A new owned KImage<T> of `kind` (its pixels uninitialised; an empty image with the current error set
// when the library cannot make it), and a root node holding one. MakeImage touches no Python object.
std::unique_ptr<KGenericROI> MakeImage(const KPixelKind& kind, int width, int height);
std::shared_ptr<Node> NewImageNode(const KPixelKind& kind, std::unique_ptr<KGenericROI> image);

// The node of a Python argument (or self) that must be an image or ROI: TypeError for anything else, and
// for an instance that was never initialised (see instances.h). Every binding fetches its nodes here.
Node& NodeOf(const py::handle& object, const char* argument);
// TypeError unless `node` is of one of the kinds listed.
void RequireKind(const Node& node, std::initializer_list<K_IMAGE_TYPES> kinds, const char* operation);

// The library's units by the names Python gives them ("none", "um", "mm", ... "mile"); ValueError for
// another name.
KMeasurementUnit* UnitNamed(const std::string& name);
std::string UnitName(const KMeasurementUnit* unit);

// Raises ValueError unless 0 <= value; used for sizes and positions given by callers.
int NonNegative(long long value, const char* what);

}  // namespace kvpy

#endif  // KVBASE_PYTHON_IMAGE_NODES_H
