// Memory drawing surfaces for the backends that draw no GDI of their own (gtk, headless): device contexts
// and 32-bit top-down DIB sections with Windows' selection rules, behind handles of handle_table.h.
#pragma once

#include <vector>

#include "platform/platform.h"
#include "platform/portable/handle_table.h"

struct MemoryBitmap {
  int32_t width, height;
  std::vector<uint8_t> pixels;  // width * height * 4 bytes, B, G, R, A, top row first
  DeviceContext selected_into;  // null while in no device context
};

struct MemoryDeviceContext {
  GdiObject selected;  // the stock bitmap until the program selects its own
};

struct MemorySurfaces {
  HandleTable<MemoryDeviceContext> device_contexts{kDeviceContextHandle};
  HandleTable<MemoryBitmap> bitmaps{kBitmapHandle};  // freed when deleted: a stale pixel pointer is caught
  MemoryBitmap stock{1, 1, std::vector<uint8_t>(4), nullptr};
};

// The 1 x 1 stock bitmap a new memory device context holds; deleting it succeeds and does nothing.
GdiObject memory_stock_bitmap();

// Each returns the Win32 error code of its failure (0 on success), which the backend hands on as its
// last error; out arguments are null on failure.
// CreateCompatibleDC: like is null (the screen) or an open device context.
uint32_t memory_create_dc(MemorySurfaces& surfaces, DeviceContext like, DeviceContext* made);
// CreateDIBSection of width x height zero pixels; *pixels (when given) receives their memory.
uint32_t memory_create_dib_section(MemorySurfaces& surfaces, int32_t width, int32_t height, BitmapHandle* made,
                                   uint8_t** pixels);
// SelectObject: a bitmap is in one device context at a time; *previous is the object dc held before.
uint32_t memory_select_object(MemorySurfaces& surfaces, DeviceContext dc, GdiObject object, GdiObject* previous);
uint32_t memory_delete_dc(MemorySurfaces& surfaces, DeviceContext dc);
// DeleteObject: refused while the bitmap is selected into a device context.
uint32_t memory_delete_object(MemorySurfaces& surfaces, GdiObject object);
// UpdateLayeredWindow's source: the top-left width x height pixels of the bitmap selected into dc, row by
// row into *pixels. ERROR_INVALID_PARAMETER (and *pixels untouched) for an unknown device context, one
// holding the stock bitmap, or a size outside the bitmap.
uint32_t memory_copy_corner(const MemorySurfaces& surfaces, DeviceContext dc, int32_t width, int32_t height,
                            std::vector<uint8_t>* pixels);
// The same corner where it lies, without a copy: its first pixel and the bytes from one row to the next.
uint32_t memory_find_corner(const MemorySurfaces& surfaces, DeviceContext dc, int32_t width, int32_t height,
                            const uint8_t** pixels, size_t* stride);
