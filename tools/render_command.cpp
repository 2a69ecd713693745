// render: one frame exactly as the player merges it into its drawing surface, as a PNG for previews.
#include <string>
#include <vector>

#include "animation/animation_player.h"
#include "package/pack_file.h"
#include "tools/commands.h"
#include "tools/images.h"

namespace {

const char kRenderHelp[] =
    "The frame is decoded and merged by the player's own code and written as a PNG of the frame's\n"
    "image size holding the surface's bytes as they are: red, green, blue and alpha, the colour\n"
    "premultiplied by alpha as the layered window shows it (so a viewer that takes PNG alpha as\n"
    "straight shows soft edges a little dark).\n"
    "\n"
    "options:\n"
    "  --frame N              the frame, counted from 0 (default 0)\n"
    "  -o, --output OUT.png   where to write the picture (required)\n"
    "  --force                replace OUT.png when it exists\n";

int run_render(const Command& self, int argc, char** argv, const ToolStreams& io) {
  ParsedArgs args;
  int status = 0;
  const std::vector<OptionSpec> specs = {{"--frame", true}, {"--output", true, "-o"}, {"--force", false}};
  if (!start_command(self, argc, argv, io, specs, 1, 1, args, status)) return status;
  int32_t frame = 0;
  if (const char* text = option_value(args, "--frame"))
    if (!parse_int(text, 0, INT32_MAX, &frame)) return usage_error(self, io, "--frame wants a number from 0");
  const char* output = option_value(args, "--output");
  if (output == nullptr) return usage_error(self, io, "no -o OUT.png given");
  const std::string path = args.operands[0];
  std::string why;

  use_image_library();
  PackFile pack;
  PackDetails details;
  if (!open(pack, path.c_str(), &details)) return refuse(self, io, path + ": " + details.problem);
  AnimationPlayer player;
  player_init(player);
  load_from_package(player, &pack, 1);
  FrameResult result = FRAME_NOT_LOADED;
  if (frame < frame_count(player)) result = draw_frame(player, frame);
  std::vector<unsigned char> png;
  if (result == FRAME_DRAWN) {
    // The surface's top-left image_width x image_height pixels, B, G, R, A, to R, G, B, A.
    const int32_t width = player.image_width, height = player.image_height;
    std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
    for (int32_t row = 0; row < height; ++row) {
      const uint8_t* in = player.pixels + size_t(row) * size_t(player.canvas_width) * 4;
      uint8_t* out = rgba.data() + size_t(row) * size_t(width) * 4;
      for (int32_t column = 0; column < width; ++column, in += 4, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = in[3];
      }
    }
    if (!encode_png(rgba.data(), width, height, png)) why = "the image library cannot write a PNG";
  } else if (frame_count(player) == 0) {
    why = "the player cannot load the description (velissa-pack verify says why)";
  } else if (frame >= frame_count(player)) {
    why = "no frame " + std::to_string(frame) + ": the animation has " + std::to_string(frame_count(player)) +
          " (0 to " + std::to_string(frame_count(player) - 1) + ")";
  } else {
    why = "frame " + std::to_string(frame) + ": " + frame_result_text(result);
  }
  player_destroy(player);
  if (!why.empty()) return refuse(self, io, path + ": " + why);
  if (!write_file_atomically(output, png, has_option(args, "--force"), why)) return refuse(self, io, std::string(output) + ": " + why);
  return kExitSuccess;
}

}  // namespace

const Command kRenderCommand = {"render", "FILE.dat [--frame N] -o OUT.png [--force]",
                                "write one frame as the player merges it, as a PNG with alpha", kRenderHelp,
                                run_render};
