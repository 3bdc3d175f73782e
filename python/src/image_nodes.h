#ifndef KVBASE_PYTHON_IMAGE_NODES_H
#define KVBASE_PYTHON_IMAGE_NODES_H

// The C++ side of kvbase.Image and kvbase.ROI.
//
// Each Python image or ROI holds a Node: the library's KImage<T> or KROI<T>, its pixel kind, and a
// shared reference to the node of its parent. So an ROI keeps its parent, and through it the root image
// (and the NumPy array an image borrows), alive for as long as the ROI lives; NumPy views keep the
// Python object they were made from alive, and with it the node.
//
// Threads. The library lets one thread at a time use an image and its ROIs, so every binding that reads or
// changes a tree (placement, masks, texts, resolution, pixels read as a whole: files, resizing, rendering,
// drawing, pickling, views) runs as one CallLocked on it. Two rules keep the tree mutexes and the
// interpreter lock (the GIL) from waiting for each other:
//   - a tree mutex is only ever taken with the GIL released, so no thread waits for a tree while it holds
//     the GIL that the tree's holder may need;
//   - no Python code runs while a tree mutex is held: a failure becomes kvbase.Error (whose making runs
//     Python code, which may hand the GIL to another thread) only after the mutexes are given back.
// Destroying an ROI detaches it from its parent, which changes the tree: ~Node takes the lock too.

#include <pybind11/pybind11.h>

#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>

#include "kvbase/foundation/units.h"
#include "kvbase/image/image.h"
#include "kvbase/image/roi.h"
#include "library_call.h"
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

  Node() = default;
  ~Node();
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

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

// Locks the trees of a few nodes and the mutex of a device context, each once, in address order. Taken
// only with the GIL released (CallLocked does so): taking it with the GIL held is a fatal error.
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

// Runs `work` as one library call that holds `mutexes` (tree mutexes, a device context's): the GIL is
// released before they are taken and taken back after they are given back, and a failure is raised as
// kvbase.Error only then. `work` must not touch any Python object. Every binding that locks goes through
// here.
//
//   const int width = CallLocked({&node.TreeMutex()}, [&] { return node.object->GetWidth(); });
template <typename Work>
auto CallLocked(std::initializer_list<std::mutex*> mutexes, Work&& work) -> decltype(work()) {
  return CallReleased([&] {
    TreeLock lock(mutexes);
    return work();
  });
}

// Runs `work` holding `mutexes` with the GIL released, as CallLocked does, but outside any library call: for
// reads that cannot fail and leave the calling thread's current error as it was (repr, argument checks).
template <typename Work>
auto Locked(std::initializer_list<std::mutex*> mutexes, Work&& work) -> decltype(work()) {
  return WithoutInterpreter([&] {
    TreeLock lock(mutexes);
    return work();
  });
}

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
