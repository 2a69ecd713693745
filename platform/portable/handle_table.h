// Handles for objects a backend keeps in memory: numbers given out once each, so a closed handle stays
// invalid instead of naming a newer object, and the table holds only what is open.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

// A handle's value is its number (per kind, from 1) shifted past a three-bit kind tag, so handles of
// different kinds never coincide and null (0) is never one. It is never dereferenced.
enum HandleKind : uintptr_t {
  kWindowHandle = 1,
  kMenuHandle,
  kIconHandle,
  kDeviceContextHandle,
  kBitmapHandle,
  kDropHandle,
  kFindHandle,
};
constexpr uintptr_t kHandleKindBits = 3;

template <typename Handle>
Handle handle_value(HandleKind kind, uintptr_t number) {
  return reinterpret_cast<Handle>((number << kHandleKindBits) | kind);
}

// The number a handle of this kind carries; 0 for null or a handle of another kind.
template <typename Handle>
uintptr_t handle_number(HandleKind kind, Handle handle) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  return (value & ((uintptr_t{1} << kHandleKindBits) - 1)) == kind ? value >> kHandleKindBits : 0;
}

// The open objects of one kind by handle value, in the order they were made (std::map: look-ups in
// log time of what is open, and iteration in creation order where the order is observable).
template <typename Object>
struct HandleTable {
  HandleKind kind;
  uintptr_t made = 0;  // handles given out: the newest one's number
  std::map<uintptr_t, std::unique_ptr<Object>> open;

  explicit HandleTable(HandleKind table_kind) : kind(table_kind) {}
};

// Takes the object and gives out a new handle for it.
template <typename Handle, typename Object>
Handle handle_table_add(HandleTable<Object>& table, std::unique_ptr<Object> object) {
  const Handle handle = handle_value<Handle>(table.kind, ++table.made);
  table.open.emplace(reinterpret_cast<uintptr_t>(handle), std::move(object));
  return handle;
}

// The open object of a handle; null for a closed, foreign or unknown handle.
template <typename Object, typename Handle>
Object* handle_table_find(const HandleTable<Object>& table, Handle handle) {
  const auto found = table.open.find(reinterpret_cast<uintptr_t>(handle));
  return found != table.open.end() ? found->second.get() : nullptr;
}

// Frees the object; the handle is invalid from now on.
template <typename Object, typename Handle>
void handle_table_close(HandleTable<Object>& table, Handle handle) {
  table.open.erase(reinterpret_cast<uintptr_t>(handle));
}

// Whether this table gave the handle out at some time (open or closed since).
template <typename Object, typename Handle>
bool handle_table_gave_out(const HandleTable<Object>& table, Handle handle) {
  const uintptr_t number = handle_number(table.kind, handle);
  return number >= 1 && number <= table.made;
}
