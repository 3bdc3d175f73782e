#ifndef KVBASE_PLATFORM_INTERNAL_GDI_HANDLES_H
#define KVBASE_PLATFORM_INTERNAL_GDI_HANDLES_H

// The software GDI's objects and the table that hands out their handles.
//
// A handle is a number that is never reused, shown to callers as a pointer. Every API function looks
// its handles up in the table, so a null, deleted or wrong-kind handle is found missing instead of
// being followed.
//
// Threads: the table is guarded, so that threads may create, find and delete objects at the same time.
// An object is used by one thread at a time, like any object of the library, but for the stock objects
// and shared palettes, which never change once made (their selection counts are atomic), and the stock
// bitmap, which every new device context starts with: drawing into it takes its own lock. Selecting and
// deleting objects take the lifetime lock, so that no object is deleted between its lookup and the
// selection that would keep it alive.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "kvbase/platform/gdi_objects.h"
#include "kvbase/platform/internal/surface.h"

namespace kvgdi {

enum class Kind { kPen, kBrush, kBitmap, kPalette, kDeviceContext };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  const Kind kind;
  bool stock = false;
  // Device contexts that have it selected; a selected object is not deleted. Atomic: stock objects and
  // shared palettes are selected into device contexts of many threads.
  std::atomic<int> selections{0};
};

struct Pen : Object {
  static constexpr Kind kKind = Kind::kPen;
  Pen() : Object(kKind) {}
  int style = PS_SOLID;
  int width = 1;
  COLORREF color = 0;
};

struct Brush : Object {
  static constexpr Kind kKind = Kind::kBrush;
  Brush() : Object(kKind) {}
  UINT style = BS_SOLID;
  COLORREF color = 0;
};

struct Palette : Object {
  static constexpr Kind kKind = Kind::kPalette;
  Palette() : Object(kKind) {}
  std::vector<PALETTEENTRY> entries;
};

struct Bitmap : Object {
  static constexpr Kind kKind = Kind::kBitmap;
  Bitmap() : Object(kKind) {}
  Surface surface;
  HDC owner = nullptr;  // the device context that deletes it (KCreateMemoryDC)
  // The bitmap of an 8-bit device made by KCreateMemoryDC: its colour table is the device's palette,
  // which RealizePalette loads. A DIB section keeps the colour table it was made with.
  bool devicePalette = false;
};

struct DeviceContext : Object {
  static constexpr Kind kKind = Kind::kDeviceContext;
  DeviceContext() : Object(kKind) {}
  HPEN pen = nullptr;
  HBRUSH brush = nullptr;
  HPALETTE palette = nullptr;
  HBITMAP bitmap = nullptr;
  POINT position{0, 0};
  POINT viewport{0, 0};
  int backgroundMode = 2;  // OPAQUE
  COLORREF textColor = 0x000000;
  COLORREF backgroundColor = 0xFFFFFF;
  UINT textAlign = 0;
  int stretchMode = 1;  // BLACKONWHITE
};

// Puts `object` in the table and returns its handle; null if it could not be stored.
void* Register(std::unique_ptr<Object> object);
// Removes and destroys the object of `handle`.
void Unregister(const void* handle);
Object* FindObject(const void* handle);

// The object of `handle` when it is a T (a Pen, Brush, Palette, Bitmap or DeviceContext), else null.
template <typename T>
T* Find(const void* handle) {
  Object* object = FindObject(handle);
  return object != nullptr && object->kind == T::kKind ? static_cast<T*>(object) : nullptr;
}

// The stock object of `index` (the GetStockObject indexes), created on first use; null for others.
HGDIOBJ StockObject(int index);
// The 1 x 1 monochrome bitmap every new memory device context starts with.
HBITMAP StockBitmap();

// Replaces the object in `slot` by `next`, keeping the selection counts, and returns the old one.
template <typename H>
H Reselect(H& slot, H next) {
  H previous = slot;
  if (Object* old = FindObject(previous)) --old->selections;
  if (Object* now = FindObject(next)) ++now->selections;
  slot = next;
  return previous;
}

// What a drawing call works on: the device context and the surface of its bitmap, with the
// viewport origin to add to logical coordinates.
struct Target {
  DeviceContext* dc = nullptr;
  Surface* surface = nullptr;
  std::unique_lock<std::mutex> stockLock;  // held while the surface is the shared stock bitmap's
  std::int64_t X(int logicalX) const { return static_cast<std::int64_t>(logicalX) + dc->viewport.x; }
  std::int64_t Y(int logicalY) const { return static_cast<std::int64_t>(logicalY) + dc->viewport.y; }
};
// False for a handle that is not a live device context.
bool FindTarget(HDC dc, Target* target);

// Held by the functions that select and delete objects (see the threads note above).
std::unique_lock<std::mutex> LockLifetimes();
// Held while a bitmap's surface is used, when that bitmap is the shared stock bitmap; an empty lock for
// any other.
std::unique_lock<std::mutex> LockIfStock(const Bitmap* bitmap);

}  // namespace kvgdi

#endif  // KVBASE_PLATFORM_INTERNAL_GDI_HANDLES_H
