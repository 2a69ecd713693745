// FrameCache: the merged B, G, R, A pixels of frames already presented, so that a looping animation
// decodes each picture once; bounded by a byte budget, the least recently used picture going first.
#pragma once

#include <cstddef>
#include <cstdint>

struct PackFile;

// What the cache may hold of one load. An animation larger than this keeps playing at its speed: the
// pictures stored first stay, and those that do not fit are decoded whenever they are shown.
constexpr size_t kFrameCacheBudget = size_t{64} << 20;

// A picture is its package's colour and alpha entries: frames that repeat a pair share one entry.
struct FrameCacheKey {
  const PackFile* package;
  int32_t colour_id, alpha_id;
};

struct CachedFrame {
  FrameCacheKey key;
  int32_t width, height;
  uint8_t* pixels;     // width * height * 4 bytes, rows without padding, top row first; null once lent
  uint64_t last_used;  // the cache's use count when it was last found or stored
  uint64_t picture;    // names these pixels to the platform (see platform_keep_layered_picture); never 0
};

struct FrameCache {
  CachedFrame* entries = nullptr;  // malloc'd; count of them in use
  int32_t count = 0, capacity = 0;
  size_t bytes = 0;                  // pixel bytes held
  size_t budget = kFrameCacheBudget;  // bytes held never exceed it
  uint64_t uses = 0;
  int32_t last_found = 0;  // where the previous look-up ended: the next frame is usually beside it
};

// The picture stored under key, marked as just used; null when it is not held.
CachedFrame* frame_cache_find(FrameCache& cache, const FrameCacheKey& key);
// Room for a width x height picture under key (not held yet), made by dropping the least recently
// used pictures; the caller fills its pixels. Null when it cannot be held: larger than the budget, no
// memory, or the room would take a picture found within the last 2 x count finds and stores (what a
// looping animation larger than the budget shows every round).
CachedFrame* frame_cache_store(FrameCache& cache, const FrameCacheKey& key, int32_t width, int32_t height);
// An entry for key that holds no pixels (as one lent): for a picture a window may keep (see
// frame_cache_lend). Null when the list cannot grow.
CachedFrame* frame_cache_store_lent(FrameCache& cache, const FrameCacheKey& key, int32_t width, int32_t height);
// The lent entry made one that holds pixels (as frame_cache_store would, under the same number): the
// caller fills them. Null, and the entry dropped, when the cache cannot hold them.
CachedFrame* frame_cache_fill(FrameCache& cache, const CachedFrame& lent);
// The window keeps the entry's picture and shows it again by its number: the pixels are freed, the
// entry stays (holding no bytes), and the picture is decoded again if the window lets go of it.
void frame_cache_lend(FrameCache& cache, CachedFrame& entry);
// The entry dropped; it is stored anew when its picture is next drawn.
void frame_cache_drop(FrameCache& cache, const CachedFrame& entry);
// Drops every picture; the budget stays.
void frame_cache_clear(FrameCache& cache);
// Drops every picture and frees the cache's own list.
void frame_cache_release(FrameCache& cache);
