#include "image_nodes.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <string>

#include "instances.h"
#include "library_call.h"

namespace kvpy {

namespace {

struct NamedUnit {
  const char* name;
  KMeasurementUnit* unit;
};

const NamedUnit kUnits[] = {{"none", &KUnitNone},  {"um", &KUnit_um},    {"mm", &KUnit_mm},     {"cm", &KUnit_cm},
                            {"dm", &KUnit_dm},     {"m", &KUnit_m},      {"dam", &KUnit_dam},   {"hm", &KUnit_hm},
                            {"km", &KUnit_km},     {"mil", &KUnit_mil},  {"inch", &KUnit_inch}, {"foot", &KUnit_foot},
                            {"yard", &KUnit_yard}, {"mile", &KUnit_mile}};

}  // namespace

std::mutex& Node::TreeMutex() {
  Node* root = this;
  while (root->parent != nullptr) root = root->parent.get();
  return root->treeMutex;
}

Node::~Node() {
  // An image's node goes last in its tree, when nothing can reach the tree any more; an ROI's leaves a
  // tree that other threads may be using. Its lock is waited for as it is, the interpreter lock held or
  // not: whoever holds a tree lock gave the interpreter lock up first and takes it back only after, so
  // this cannot deadlock. Giving the interpreter lock up here would mean taking it back in a destructor,
  // where Python's ending of a daemon thread at exit (by unwinding its stack) would abort the process.
  if (parent == nullptr || object == nullptr) return;
  std::lock_guard<std::mutex> lock(TreeMutex());
  object.reset();
}

TreeLock::TreeLock(std::initializer_list<std::mutex*> mutexes) {
  if (!ReleasedInterpreter::Here()) Py_FatalError("kvbase: a tree lock was taken with the interpreter lock held");
  for (std::mutex* mutex : mutexes)
    if (mutex != nullptr && std::find(held_, held_ + count_, mutex) == held_ + count_ && count_ < 4)
      held_[count_++] = mutex;
  // One order for every caller, so that two calls locking the same trees never wait for each other.
  std::sort(held_, held_ + count_, std::less<std::mutex*>());
  for (int i = 0; i < count_; ++i) held_[i]->lock();
}

TreeLock::~TreeLock() {
  for (int i = count_ - 1; i >= 0; --i) held_[i]->unlock();
}

std::unique_ptr<KGenericROI> MakeImage(const KPixelKind& kind, int width, int height) {
  return VisitKind(kind, [&](auto pixel) -> std::unique_ptr<KGenericROI> {
    using T = decltype(pixel);
    return std::make_unique<KImage<T>>(width, height);
  });
}

std::shared_ptr<Node> NewImageNode(const KPixelKind& kind, std::unique_ptr<KGenericROI> image) {
  auto node = std::make_shared<Node>();
  node->kind = &kind;
  node->object = std::move(image);
  return node;
}

Node& NodeOf(const py::handle& object, const char* argument) {
  return *Constructed<GenericROIObject>(object, argument, "a kvbase.Image or kvbase.ROI").node;
}

void RequireKind(const Node& node, std::initializer_list<K_IMAGE_TYPES> kinds, const char* operation) {
  if (std::find(kinds.begin(), kinds.end(), node.kind->type) != kinds.end()) return;
  std::string accepted;
  for (K_IMAGE_TYPES type : kinds) accepted += std::string(accepted.empty() ? "" : ", ") + KGetPixelKind(type)->name;
  throw py::type_error(std::string(operation) + " takes " + accepted + " pixels, not " + node.kind->name);
}

int NonNegative(long long value, const char* what) {
  if (value < 0 || value > INT_MAX) throw py::value_error(std::string(what) + " must lie within 0 to 2147483647");
  return static_cast<int>(value);
}

KMeasurementUnit* UnitNamed(const std::string& name) {
  for (const NamedUnit& named : kUnits)
    if (name == named.name) return named.unit;
  throw py::value_error("unknown unit '" + name + "': use none, um, mm, cm, dm, m, dam, hm, km, mil, inch, foot, " +
                        "yard or mile");
}

std::string UnitName(const KMeasurementUnit* unit) {
  for (const NamedUnit& named : kUnits)
    if (unit == named.unit) return named.name;
  return unit != nullptr ? unit->GetName() : "none";
}

}  // namespace kvpy
