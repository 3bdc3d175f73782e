#include "kvbase/platform/internal/gdi_handles.h"

#include <cstdint>
#include <new>
#include <shared_mutex>
#include <unordered_map>

namespace kvgdi {
namespace {

struct Table {
  // Guards the two fields below: lookups share it, so that threads drawing at once do not wait for each
  // other; adding and removing objects take it alone.
  std::shared_mutex lock;
  std::unordered_map<std::uintptr_t, std::unique_ptr<Object>> objects;
  std::uintptr_t next = 0x10000;
};

Table& TheTable() {
  static Table* table = new Table;  // lives to the end of the process, like GDI's own
  return *table;
}

std::mutex gLifetimeLock;
std::mutex gStockSurfaceLock;

std::uintptr_t Key(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

template <typename T>
std::unique_ptr<T> MakeStock() {
  std::unique_ptr<T> object(new (std::nothrow) T);
  if (object) object->stock = true;
  return object;
}

// A stock pen or brush: both are a style and a colour.
template <typename T, typename Style>
void* MakeStockTool(Style style, COLORREF color) {
  auto tool = MakeStock<T>();
  if (!tool) return nullptr;
  tool->style = style;
  tool->color = color;
  return Register(std::move(tool));
}

void* MakeDefaultPalette() {
  auto palette = MakeStock<Palette>();
  if (!palette) return nullptr;
  for (Bgrx c : DefaultPaletteColors())
    palette->entries.push_back({static_cast<BYTE>(c >> 16), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c), 0});
  return Register(std::move(palette));
}

}  // namespace

void* Register(std::unique_ptr<Object> object) {
  if (!object) return nullptr;
  Table& table = TheTable();
  const std::lock_guard<std::shared_mutex> guard(table.lock);
  const std::uintptr_t key = table.next;
  table.next += 4;
  table.objects[key] = std::move(object);
  return reinterpret_cast<void*>(key);
}

void Unregister(const void* handle) {
  std::unique_ptr<Object> removed;  // destroyed after the table is unlocked
  Table& table = TheTable();
  const std::lock_guard<std::shared_mutex> guard(table.lock);
  const auto found = table.objects.find(Key(handle));
  if (found == table.objects.end()) return;
  removed = std::move(found->second);
  table.objects.erase(found);
}

Object* FindObject(const void* handle) {
  if (handle == nullptr) return nullptr;
  Table& table = TheTable();
  const std::shared_lock<std::shared_mutex> guard(table.lock);
  auto found = table.objects.find(Key(handle));
  return found == table.objects.end() ? nullptr : found->second.get();
}

HGDIOBJ StockObject(int index) {
  static void* const stock[] = {
      MakeStockTool<Brush>(BS_SOLID, 0xFFFFFF),  // WHITE_BRUSH
      MakeStockTool<Brush>(BS_SOLID, 0xC0C0C0),  // LTGRAY_BRUSH
      MakeStockTool<Brush>(BS_SOLID, 0x808080),  // GRAY_BRUSH
      MakeStockTool<Brush>(BS_SOLID, 0x404040),  // DKGRAY_BRUSH
      MakeStockTool<Brush>(BS_SOLID, 0x000000),  // BLACK_BRUSH
      MakeStockTool<Brush>(BS_NULL, 0),          // NULL_BRUSH
      MakeStockTool<Pen>(PS_SOLID, 0xFFFFFF),    // WHITE_PEN
      MakeStockTool<Pen>(PS_SOLID, 0x000000),    // BLACK_PEN
      MakeStockTool<Pen>(PS_NULL, 0),            // NULL_PEN
  };
  if (index >= 0 && index <= NULL_PEN) return stock[index];
  if (index == DEFAULT_PALETTE) {
    static void* const palette = MakeDefaultPalette();
    return palette;
  }
  return nullptr;
}

HBITMAP StockBitmap() {
  static void* const bitmap = [] {
    auto object = MakeStock<Bitmap>();
    if (!object) return static_cast<void*>(nullptr);
    PixelFormat format;
    format.bitsPerPixel = 1;
    format.colorCount = 2;
    format.colors[1] = 0xFFFFFF;
    if (!object->surface.Allocate(1, 1, format, true)) return static_cast<void*>(nullptr);
    return Register(std::move(object));
  }();
  return static_cast<HBITMAP>(bitmap);
}

bool FindTarget(HDC dc, Target* target) {
  target->dc = Find<DeviceContext>(dc);
  if (target->dc == nullptr) return false;
  Bitmap* bitmap = Find<Bitmap>(target->dc->bitmap);
  if (bitmap == nullptr) return false;
  target->stockLock = LockIfStock(bitmap);
  target->surface = &bitmap->surface;
  return true;
}

std::unique_lock<std::mutex> LockLifetimes() { return std::unique_lock<std::mutex>(gLifetimeLock); }

std::unique_lock<std::mutex> LockIfStock(const Bitmap* bitmap) {
  if (bitmap == nullptr || !bitmap->stock) return std::unique_lock<std::mutex>();
  return std::unique_lock<std::mutex>(gStockSurfaceLock);
}

}  // namespace kvgdi
