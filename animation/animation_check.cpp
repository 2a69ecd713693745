// Whether an animation can be shown before it is: the checks the installer makes on a package and the
// authoring tool's verify reports one by one, made with the player's own loader and decoder.
#include <cmath>

#include "animation/animation_player.h"

void description_problem(PackFile& pack, FixedString& why) {
  clear(why);
  ByteReader* entry = find_entry(pack, 1);
  if (entry == nullptr) {
    format(why, "no description (entry 1)");
    return;
  }
  AnimationPlayer fields;
  player_init(fields);
  FixedString magic;
  if (read_description(fields, *entry, &magic) == 0)
    format(why, "description magic \"%s\" is not ks01, ks02 or ks03", magic.text);
  else if (fields.canvas_width <= 0 || fields.canvas_height <= 0 || fields.canvas_width > kMaxCanvasSide ||
           fields.canvas_height > kMaxCanvasSide)
    format(why, "canvas %dx%d is outside 1 to %d pixels a side", fields.canvas_width, fields.canvas_height,
           kMaxCanvasSide);
  else if (frame_count(fields) == 0)
    format(why, "the description has no frames");
  else
    format(why, "the player cannot make a drawing surface for the canvas");
  player_destroy(fields);
}

bool frame_duration_stalls(const AnimationPlayer& player) {
  return frame_count(player) > 1 && !(player.frame_duration < INFINITY);
}

int32_t check_frames(AnimationPlayer& player, FrameProblem on_problem, void* context) {
  int32_t drawn = 0;
  for (int32_t i = 0; i < frame_count(player); ++i) {
    const bool placed = frame_rectangle(player, i, nullptr);
    const FrameResult result = placed ? draw_frame(player, i) : FRAME_NOT_LOADED;
    if (result == FRAME_DRAWN)
      ++drawn;
    else if (on_problem != nullptr)
      on_problem(context, i, placed, result);
  }
  return drawn;
}

bool package_is_showable(PackFile& pack) {
  AnimationPlayer player;
  player_init(player);
  load_from_package(player, &pack, 1);
  const bool showable = frame_count(player) > 0 && !frame_duration_stalls(player) &&
                        check_frames(player, nullptr, nullptr) == frame_count(player);
  player_destroy(player);
  return showable;
}
