// The cache of presented frames: a short list searched from where the last look-up ended, pictures
// in blocks of their own, dropped least recently used first.
#include "animation/frame_cache.h"

#include <cstdlib>

namespace {

bool same_key(const FrameCacheKey& a, const FrameCacheKey& b) {
  return a.package == b.package && a.colour_id == b.colour_id && a.alpha_id == b.alpha_id;
}

size_t picture_bytes(const CachedFrame& frame) {
  return static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height) * 4;
}

size_t held_bytes(const CachedFrame& frame) { return frame.pixels != nullptr ? picture_bytes(frame) : 0; }

bool make_room_in_list(FrameCache& cache) {
  if (cache.count < cache.capacity) return true;
  const int32_t larger = cache.capacity < 16 ? 16 : cache.capacity * 2;
  if (larger <= cache.capacity) return false;
  auto* grown = static_cast<CachedFrame*>(std::realloc(cache.entries, sizeof(CachedFrame) * static_cast<size_t>(larger)));
  if (grown == nullptr) return false;
  cache.entries = grown;
  cache.capacity = larger;
  return true;
}

int32_t least_recently_used(const FrameCache& cache) {
  int32_t oldest = 0;
  for (int32_t i = 1; i < cache.count; ++i) {
    if (cache.entries[i].last_used < cache.entries[oldest].last_used) oldest = i;
  }
  return oldest;
}

// Drops entry at, keeping its pixel block when keep is given (*keep receives it), freeing it otherwise.
void drop_entry(FrameCache& cache, int32_t at, uint8_t** keep) {
  CachedFrame& entry = cache.entries[at];
  if (keep != nullptr) {
    *keep = entry.pixels;
  } else {
    std::free(entry.pixels);
  }
  cache.bytes -= held_bytes(entry);
  cache.entries[at] = cache.entries[--cache.count];
}

// The entry made last in the list; the caller adds the bytes of its pixels.
CachedFrame* add_entry(FrameCache& cache, const FrameCacheKey& key, int32_t width, int32_t height, uint8_t* pixels) {
  // Numbers go on across caches and clears, so a picture kept under one elsewhere is never taken for
  // another. The cache is used on the one thread.
  static uint64_t pictures_stored = 0;
  CachedFrame& entry = cache.entries[cache.count];
  entry = CachedFrame{key, width, height, pixels, ++cache.uses, ++pictures_stored};
  cache.last_found = cache.count++;
  return &entry;
}

}  // namespace

CachedFrame* frame_cache_find(FrameCache& cache, const FrameCacheKey& key) {
  // Frames play in order, forwards or backwards, so the next one is usually stored beside the last.
  const int32_t start = cache.last_found < cache.count ? cache.last_found : 0;
  for (int32_t step = 0; step < cache.count; ++step) {
    const int32_t distance = (step + 1) / 2;
    int32_t at = step % 2 == 1 ? start + distance : start - distance;
    at = ((at % cache.count) + cache.count) % cache.count;
    CachedFrame& entry = cache.entries[at];
    if (!same_key(entry.key, key)) continue;
    entry.last_used = ++cache.uses;
    cache.last_found = at;
    return &entry;
  }
  return nullptr;
}

CachedFrame* frame_cache_store(FrameCache& cache, const FrameCacheKey& key, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return nullptr;
  const size_t needed = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  if (needed > cache.budget || !make_room_in_list(cache)) return nullptr;
  // A picture of the same size that has to go lends its block: once the budget is reached, a long
  // animation swaps blocks instead of allocating one per frame.
  // Plain LRU would make a looping animation larger than the budget drop each picture just before it
  // is shown again and never find one. A picture found within the last two rounds of the cache's
  // pictures stays; the new one is then decoded whenever it is shown, and the others are found.
  if (cache.count > 0 && cache.bytes + needed > cache.budget &&
      cache.uses - cache.entries[least_recently_used(cache)].last_used < 2 * static_cast<uint64_t>(cache.count))
    return nullptr;
  uint8_t* pixels = nullptr;
  while (cache.count > 0 && cache.bytes + needed > cache.budget) {
    const int32_t oldest = least_recently_used(cache);
    const bool reuse = pixels == nullptr && held_bytes(cache.entries[oldest]) == needed;
    drop_entry(cache, oldest, reuse ? &pixels : nullptr);
  }
  if (pixels == nullptr) pixels = static_cast<uint8_t*>(std::malloc(needed));
  if (pixels == nullptr) return nullptr;
  CachedFrame* entry = add_entry(cache, key, width, height, pixels);
  cache.bytes += needed;
  return entry;
}

CachedFrame* frame_cache_store_lent(FrameCache& cache, const FrameCacheKey& key, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || !make_room_in_list(cache)) return nullptr;
  return add_entry(cache, key, width, height, nullptr);
}

CachedFrame* frame_cache_fill(FrameCache& cache, const CachedFrame& lent) {
  const CachedFrame was = lent;
  frame_cache_drop(cache, lent);
  CachedFrame* entry = frame_cache_store(cache, was.key, was.width, was.height);
  if (entry != nullptr) entry->picture = was.picture;
  return entry;
}

void frame_cache_lend(FrameCache& cache, CachedFrame& entry) {
  cache.bytes -= held_bytes(entry);
  std::free(entry.pixels);
  entry.pixels = nullptr;
}

void frame_cache_drop(FrameCache& cache, const CachedFrame& entry) {
  const auto at = static_cast<int32_t>(&entry - cache.entries);
  if (at >= 0 && at < cache.count) drop_entry(cache, at, nullptr);
}

void frame_cache_clear(FrameCache& cache) {
  for (int32_t i = 0; i < cache.count; ++i) std::free(cache.entries[i].pixels);
  cache.count = 0;
  cache.bytes = 0;
  cache.last_found = 0;
}

void frame_cache_release(FrameCache& cache) {
  frame_cache_clear(cache);
  std::free(cache.entries);
  cache.entries = nullptr;
  cache.capacity = 0;
}
