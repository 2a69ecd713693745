// Memory drawing surfaces shared by the gtk and headless backends.
#include "platform/portable/memory_surface.h"

#include <cstring>

namespace {

// The limits keep width * height * 4 far from overflow and the allocation sane.
const int32_t kMaxSide = 32768;
const int64_t kMaxBytes = int64_t{1} << 28;

MemoryBitmap* open_bitmap(MemorySurfaces& surfaces, GdiObject object) {
  if (object == memory_stock_bitmap()) return &surfaces.stock;
  return handle_table_find(surfaces.bitmaps, object);
}

}  // namespace

GdiObject memory_stock_bitmap() { return handle_value<GdiObject>(kBitmapHandle, 0); }

uint32_t memory_create_dc(MemorySurfaces& surfaces, DeviceContext like, DeviceContext* made) {
  *made = nullptr;
  if (like != nullptr && handle_table_find(surfaces.device_contexts, like) == nullptr) return ERROR_INVALID_HANDLE;
  *made = handle_table_add<DeviceContext>(
      surfaces.device_contexts, std::unique_ptr<MemoryDeviceContext>(new MemoryDeviceContext{memory_stock_bitmap()}));
  return ERROR_SUCCESS;
}

uint32_t memory_create_dib_section(MemorySurfaces& surfaces, int32_t width, int32_t height, BitmapHandle* made,
                                   uint8_t** pixels) {
  *made = nullptr;
  if (pixels != nullptr) *pixels = nullptr;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return ERROR_INVALID_PARAMETER;
  const int64_t bytes = int64_t{width} * height * 4;
  if (bytes > kMaxBytes) return ERROR_NOT_ENOUGH_MEMORY;
  auto bitmap = std::unique_ptr<MemoryBitmap>(
      new MemoryBitmap{width, height, std::vector<uint8_t>(static_cast<size_t>(bytes)), nullptr});
  if (pixels != nullptr) *pixels = bitmap->pixels.data();
  *made = handle_table_add<BitmapHandle>(surfaces.bitmaps, std::move(bitmap));
  return ERROR_SUCCESS;
}

uint32_t memory_select_object(MemorySurfaces& surfaces, DeviceContext dc, GdiObject object, GdiObject* previous) {
  *previous = nullptr;
  MemoryDeviceContext* context = handle_table_find(surfaces.device_contexts, dc);
  MemoryBitmap* bitmap = open_bitmap(surfaces, object);
  const bool stock = bitmap == &surfaces.stock;
  if (context == nullptr || bitmap == nullptr ||
      (!stock && bitmap->selected_into != nullptr && bitmap->selected_into != dc))
    return ERROR_INVALID_PARAMETER;
  MemoryBitmap* held = open_bitmap(surfaces, context->selected);
  if (held != &surfaces.stock) held->selected_into = nullptr;
  *previous = context->selected;
  context->selected = object;
  if (!stock) bitmap->selected_into = dc;
  return ERROR_SUCCESS;
}

uint32_t memory_delete_dc(MemorySurfaces& surfaces, DeviceContext dc) {
  MemoryDeviceContext* context = handle_table_find(surfaces.device_contexts, dc);
  if (context == nullptr) return ERROR_INVALID_HANDLE;
  MemoryBitmap* held = open_bitmap(surfaces, context->selected);
  if (held != &surfaces.stock) held->selected_into = nullptr;
  handle_table_close(surfaces.device_contexts, dc);
  return ERROR_SUCCESS;
}

uint32_t memory_delete_object(MemorySurfaces& surfaces, GdiObject object) {
  MemoryBitmap* bitmap = open_bitmap(surfaces, object);
  if (bitmap == nullptr) return ERROR_INVALID_HANDLE;
  if (bitmap == &surfaces.stock) return ERROR_SUCCESS;  // stock objects are never deleted
  if (bitmap->selected_into != nullptr) return ERROR_INVALID_PARAMETER;
  handle_table_close(surfaces.bitmaps, object);
  return ERROR_SUCCESS;
}

uint32_t memory_find_corner(const MemorySurfaces& surfaces, DeviceContext dc, int32_t width, int32_t height,
                            const uint8_t** pixels, size_t* stride) {
  const MemoryDeviceContext* context = handle_table_find(surfaces.device_contexts, dc);
  const MemoryBitmap* bitmap =
      context != nullptr ? handle_table_find(surfaces.bitmaps, context->selected) : nullptr;  // null: stock
  if (bitmap == nullptr || width <= 0 || height <= 0 || width > bitmap->width || height > bitmap->height)
    return ERROR_INVALID_PARAMETER;
  *pixels = bitmap->pixels.data();
  *stride = static_cast<size_t>(bitmap->width) * 4;
  return ERROR_SUCCESS;
}

uint32_t memory_copy_corner(const MemorySurfaces& surfaces, DeviceContext dc, int32_t width, int32_t height,
                            std::vector<uint8_t>* pixels) {
  const uint8_t* corner = nullptr;
  size_t stride = 0;
  const uint32_t error = memory_find_corner(surfaces, dc, width, height, &corner, &stride);
  if (error != ERROR_SUCCESS) return error;
  const size_t row_bytes = static_cast<size_t>(width) * 4;
  pixels->resize(row_bytes * static_cast<size_t>(height));
  for (int32_t row = 0; row < height; ++row) memcpy(&(*pixels)[row_bytes * row], corner + stride * row, row_bytes);
  return ERROR_SUCCESS;
}
