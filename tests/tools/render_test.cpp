// velissa-pack render: the PNG holds exactly the pixels the player merges into its surface.
#include <IL/il.h>

#include "animation/player_fixture.h"
#include "tool_test_support.h"

namespace {

// The PNG's pixels as DevIL reads them with the player's settings (top row first), as R, G, B, A.
std::vector<uint8_t> read_png_rgba(const std::string& path, int32_t* width, int32_t* height) {
  ILuint image = 0;
  ilGenImages(1, &image);
  ilBindImage(image);
  std::vector<uint8_t> pixels;
  if (ilLoadImage(path.c_str()) && ilGetInteger(IL_IMAGE_FORMAT) == IL_RGBA && ilGetInteger(IL_IMAGE_BPP) == 4) {
    *width = ilGetInteger(IL_IMAGE_WIDTH);
    *height = ilGetInteger(IL_IMAGE_HEIGHT);
    pixels.assign(ilGetData(), ilGetData() + size_t(*width) * size_t(*height) * 4);
  }
  ilDeleteImages(1, &image);
  return pixels;
}

}  // namespace

class RenderTest : public PlayerTest {};

TEST_F(RenderTest, EveryFrameMatchesThePlayersMergeByteForByte) {
  for (const char* crop : {"--loop", "--crop"}) {
    SCOPED_TRACE(crop);
    const std::string package = create_package(dir, "render.dat", moving_discs(), {"--name", "R", crop});
    ASSERT_TRUE(open(pack, package.c_str()));
    load_from_package(player, &pack, 1);
    ASSERT_EQ(frame_count(player), 3);
    for (int32_t frame = 0; frame < 3; ++frame) {
      const std::string png = dir.file("frame.png");
      const ToolRun run = run_pack({"render", package, "--frame", std::to_string(frame), "-o", png, "--force"});
      ASSERT_EQ(run.status, 0) << run.err;
      int32_t width = 0, height = 0;
      const std::vector<uint8_t> rendered = read_png_rgba(png, &width, &height);

      ASSERT_EQ(draw_frame(player, frame), FRAME_DRAWN);
      ASSERT_EQ(width, player.image_width);
      ASSERT_EQ(height, player.image_height);
      std::vector<uint8_t> merged;
      for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
          const uint8_t* bgra = player.pixels + (size_t(y) * size_t(player.canvas_width) + size_t(x)) * 4;
          merged.insert(merged.end(), {bgra[2], bgra[1], bgra[0], bgra[3]});
        }
      EXPECT_EQ(rendered, merged) << "frame " << frame;
    }
    player_release(player);
    std::filesystem::remove(package);
  }
}

TEST_F(RenderTest, RefusesWhatCannotBeRendered) {
  const std::string package = create_package(dir, "r.dat", moving_discs(), {"--name", "R"});
  const std::string png = dir.file("out.png");
  ToolRun run = run_pack({"render", package, "--frame", "3", "-o", png});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.err, "no frame 3: the animation has 3 (0 to 2)")) << run.err;
  EXPECT_FALSE(std::filesystem::exists(png));

  // A frame whose colour image is gone.
  PackBuilder builder = test_package(coloured_frames(2));
  builder.ids[2] = 77;
  const std::string broken = dir.file("broken.dat");
  ASSERT_TRUE(write_package(builder, "pck01", broken.c_str()));
  run = run_pack({"render", broken, "-o", png});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.err, "frame 0: colour image missing")) << run.err;
  EXPECT_EQ(run_pack({"render", broken, "--frame", "1", "-o", png}).status, 0);

  write_bytes(png, str("keep"));
  EXPECT_EQ(run_pack({"render", package, "-o", png}).status, 1);
  EXPECT_EQ(read_text(png), "keep");
  EXPECT_EQ(run_pack({"render", dir.file("none.dat"), "-o", png}).status, 1);

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"render", package}, {"render", package, "--frame", "-1", "-o", png}, {"render", "-o", png},
           {"render", package, package, "-o", png}, {"render", package, "--frame", "x", "-o", png}}) {
    EXPECT_EQ(run_pack(args).status, 2) << args.back();
  }
}
