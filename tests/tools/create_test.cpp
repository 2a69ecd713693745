// velissa-pack create: packages made from PNG frames, read back with the program's own code (package,
// catalogue entry, installer's test, player's loader, presentation) for every format and flag.
#include <cmath>
#include <cstring>
#include <filesystem>

#include "animation/player_fixture.h"
#include "catalogue/installer.h"
#include "tool_test_support.h"

namespace {

struct Box {
  int32_t left, top, right, bottom;  // right and bottom exclusive
};

Box visible_box(const Picture& picture) {
  Box box{picture.width, picture.height, 0, 0};
  for (int32_t y = 0; y < picture.height; ++y)
    for (int32_t x = 0; x < picture.width; ++x)
      if (picture.at(x, y)[3] != 0) {
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1), std::max(box.bottom, y + 1)};
      }
  return box;
}

struct Settings {
  const char* format;
  bool compress, transpose, crop;
};

std::string describe(const Settings& s) {
  return std::string(s.format) + (s.compress ? " --compress" : "") + (s.transpose ? " --transpose" : "") +
         (s.crop ? " --crop" : "");
}

class CreateTest : public PlayerTest {
 protected:
  // create on the pictures, keeping the run; returns the package's path.
  std::string create(const std::vector<Picture>& pictures, const std::vector<std::string>& options,
                     const std::string& name = "made.dat") {
    const std::string path = dir.file(name);
    last_run = run_create(dir, path, pictures, options);
    EXPECT_EQ(last_run.status, 0) << last_run.err;
    return path;
  }

  ToolRun last_run;
};

}  // namespace

TEST_F(CreateTest, EveryFormatAndFlagRoundTripsThroughThePlayer) {
  const std::vector<Picture> pictures = moving_discs();
  Box used{40, 32, 0, 0};
  for (const Picture& picture : pictures) {
    const Box box = visible_box(picture);
    used = {std::min(used.left, box.left), std::min(used.top, box.top), std::max(used.right, box.right),
            std::max(used.bottom, box.bottom)};
  }
  int32_t made = 0;
  for (const char* format : {"ks01", "ks02", "ks03"})
    for (bool compress : {false, true})
      for (bool transpose : {false, true})
        for (bool crop : {false, true}) {
          const Settings settings{format, compress, transpose, crop};
          SCOPED_TRACE(describe(settings));
          std::vector<std::string> options = {"--name", "Disc Dance", "--position", "-40,-20", "--format", format};
          if (std::string(format) != "ks01") options.insert(options.end(), {"--loop", "--duration", "0.25"});
          if (compress) options.push_back("--compress");
          if (transpose) options.push_back("--transpose");
          if (crop) options.push_back("--crop");
          const std::string path = create(pictures, options, "made" + std::to_string(++made) + ".dat");

          PackDetails details;
          ASSERT_TRUE(open(pack, path.c_str(), &details));
          EXPECT_EQ(std::string(details.tag.text),
                    std::string("pck01") + (compress ? "z" : "") + (transpose ? "s" : ""));
          EXPECT_EQ(details.dropped_rows, 0);
          EXPECT_FALSE(details.decompress_failed);

          CatalogueLines lines;
          ASSERT_EQ(check_catalogue_entry(pack, lines), ENTRY_INSTALLABLE);
          EXPECT_STREQ(lines.header.text, "c.1.");
          EXPECT_STREQ(lines.name.text, "Disc Dance");
          EXPECT_EQ(lines.x, -40);
          EXPECT_EQ(lines.y, -20);

          load_from_package(player, &pack, 1);
          ASSERT_EQ(frame_count(player), 3);
          const bool v1 = std::string(format) == "ks01";
          EXPECT_EQ(player.loop, !v1);
          EXPECT_FALSE(player.ping_pong);
          EXPECT_EQ(player.frame_duration, v1 ? 0.0 : 0.25);

          for (int32_t i = 0; i < 3; ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            const Picture& source = pictures[size_t(i)];
            const Box box = crop ? visible_box(source) : Box{0, 0, 40, 32};
            player.frame_index = i;
            // Drawn means a 3-byte colour JPEG and a 1-byte greyscale alpha JPEG of one size.
            ASSERT_EQ(draw_frame(player, i), FRAME_DRAWN);
            present_frame(player);
            const HeadlessPresentation shown = headless_last_presentation(window);
            ASSERT_EQ(shown.width, box.right - box.left);
            ASSERT_EQ(shown.height, box.bottom - box.top);
            // The anchor (0, 0) is the bottom-right corner of what the frames cover: the whole picture,
            // or with --crop the box of every visible pixel.
            const int32_t right = crop ? used.right : 40, bottom = crop ? used.bottom : 32;
            EXPECT_EQ(shown.x, box.left - right);
            EXPECT_EQ(shown.y, box.top - bottom);

            double error = 0.0;
            int32_t worst_alpha = 0;
            for (int32_t y = 0; y < shown.height; ++y)
              for (int32_t x = 0; x < shown.width; ++x) {
                const uint8_t* want = source.at(box.left + x, box.top + y);
                const uint8_t* got = &shown.pixels[(size_t(y) * size_t(shown.width) + size_t(x)) * 4];
                for (int channel = 0; channel < 3; ++channel)
                  error += std::abs(int(got[2 - channel]) - int(premultiplied(want, channel)));
                error += std::abs(int(got[3]) - int(want[3]));
                worst_alpha = std::max(worst_alpha, std::abs(int(got[3]) - int(want[3])));
              }
            // JPEG rings at the disc's edge; a misplaced or mismatched image is far off everywhere.
            EXPECT_LT(error / (shown.width * shown.height * 4.0), 8.0);
            EXPECT_LT(worst_alpha, 48);
          }
          player_release(player);
          release(pack);
        }
}

TEST_F(CreateTest, ColourIsPremultipliedByAlpha) {
  Picture half;
  half.width = half.height = 16;
  for (int32_t i = 0; i < 256; ++i) half.rgba.insert(half.rgba.end(), {200, 100, 50, 128});
  Picture clear = half;  // white where nothing shows: stored black
  for (int32_t i = 0; i < 256; ++i) std::memcpy(&clear.rgba[size_t(i) * 4], "\xff\xff\xff\x00", 4);
  const std::string path = create({half, clear}, {"--name", "Half"});
  ASSERT_TRUE(open(pack, path.c_str()));
  load_from_package(player, &pack, 1);
  const uint8_t expected[2][4] = {{25, 50, 100, 128}, {0, 0, 0, 0}};  // B, G, R, A
  for (int32_t frame = 0; frame < 2; ++frame) {
    ASSERT_EQ(draw_frame(player, frame), FRAME_DRAWN);
    for (int32_t i = 0; i < 16 * 16; ++i)
      for (int channel = 0; channel < 4; ++channel)
        ASSERT_NEAR(player.pixels[(i / 16 * player.canvas_width + i % 16) * 4 + channel], expected[frame][channel], 2)
            << "frame " << frame << " pixel " << i << " channel " << channel;
  }
}

TEST_F(CreateTest, PlayFlagsAndThePlayersSteps) {
  const std::vector<Picture> pictures = moving_discs();
  struct Case {
    std::vector<std::string> options;
    bool loop, ping_pong;
  } cases[] = {{{}, false, false}, {{"--loop"}, true, false}, {{"--ping-pong"}, true, true},
               {{"--ping-pong", "--loop"}, true, true}};
  for (const Case& c : cases) {
    std::vector<std::string> options = {"--name", "Steps", "--duration", "0.1"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const std::string path = create(pictures, options, "steps.dat");
    ASSERT_TRUE(open(pack, path.c_str()));
    load_from_package(player, &pack, 1);
    EXPECT_EQ(player.loop, c.loop);
    EXPECT_EQ(player.ping_pong, c.ping_pong);
    std::filesystem::remove(path);
  }

  // The last one plays back and forth on the clock, as the program plays it; the turns show no step.
  headless_set_time(1000);
  std::vector<int32_t> frames;
  for (const auto& present : run_until(1000 + 750)) frames.push_back(present.second);
  EXPECT_EQ(frames, (std::vector<int32_t>{0, 1, 2, 1, 0, 1}));
}

TEST_F(CreateTest, NameIsOneLineCutAt1023Characters) {
  const std::vector<Picture> pictures = {moving_discs()[0]};
  const std::string long_name(1500, 'n');
  const std::string path = create(pictures, {"--name", long_name});
  EXPECT_TRUE(contains(last_run.err, "cut to 1023"));
  ASSERT_TRUE(open(pack, path.c_str()));
  CatalogueLines lines;
  ASSERT_EQ(check_catalogue_entry(pack, lines), ENTRY_INSTALLABLE);
  EXPECT_EQ(std::string(lines.name.text), long_name.substr(0, 1023));

  const std::string exact(1023, 'e');
  const std::string exact_path = create(pictures, {"--name", exact}, "exact.dat");
  EXPECT_FALSE(contains(last_run.err, "cut"));
  ASSERT_TRUE(open(pack, exact_path.c_str()));
  ASSERT_EQ(check_catalogue_entry(pack, lines), ENTRY_INSTALLABLE);
  EXPECT_EQ(std::string(lines.name.text), exact);
}

TEST_F(CreateTest, BadOptionsAreUsageErrors) {
  const std::string frame = write_png(dir, "f.png", moving_discs()[0]);
  const std::string out = dir.file("out.dat");
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {out},
      {out, frame},                                          // no name
      {out, "--name", "", frame},                            // empty name
      {out, "--name", "two\nlines", frame},                  // a line break would shift the entry's lines
      {out, "--name", "a\rb", frame},
      {out, "--name", "n", "--position", "12", frame},
      {out, "--name", "n", "--position", "1,2,3", frame},
      {out, "--name", "n", "--position", " 1,2", frame},
      {out, "--name", "n", "--position", "1,99999999999", frame},
      {out, "--name", "n", "--duration", "0", frame},
      {out, "--name", "n", "--duration", "-1", frame},
      {out, "--name", "n", "--duration", "nan", frame},
      {out, "--name", "n", "--duration", "1s", frame},
      {out, "--name", "n", "--quality", "0", frame},
      {out, "--name", "n", "--quality", "101", frame},
      {out, "--name", "n", "--format", "ks04", frame},
      {out, "--name", "n", "--format", "ks01", "--loop", frame},  // ks01 has no play flags
      {out, "--name", "n", "--format", "ks01", "--duration", "1", frame},
      {out, "--name", "n", "--colour", frame},
      {out, "--name"},
  };
  for (const auto& args : wrong) {
    std::vector<std::string> command = {"create"};
    command.insert(command.end(), args.begin(), args.end());
    const ToolRun run = run_pack(command);
    EXPECT_EQ(run.status, 2) << (args.size() > 2 ? args[2] + " " + args[3] : "short");
    EXPECT_TRUE(contains(run.err, "usage: velissa-pack create"));
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CreateTest, RefusedFramesAndOutputsLeaveNothingBehind) {
  const std::string good = write_png(dir, "good.png", moving_discs()[0]);
  const std::string other_size = write_png(dir, "big.png", disc_frame(41, 32, 10, 10, 5, 1, 2, 3));
  const std::string junk = dir.file("junk.png");
  write_bytes(junk, {0x89, 'P', 'N', 'G', 1, 2, 3});
  // A header that asks for 10^10 pixels is refused before anything is allocated for them.
  std::vector<unsigned char> huge = png_bytes(disc_frame(1, 1, 0, 0, 1, 1, 2, 3));
  const unsigned char hundred_thousand[4] = {0x00, 0x01, 0x86, 0xA0};
  std::copy(hundred_thousand, hundred_thousand + 4, huge.begin() + 16);
  std::copy(hundred_thousand, hundred_thousand + 4, huge.begin() + 20);
  const std::string huge_path = dir.file("huge.png");
  write_bytes(huge_path, huge);
  const std::string wide = write_png(dir, "wide.png", disc_frame(8193, 1, 0, 0, 1, 1, 2, 3));
  const std::string out = dir.file("out.dat");
  for (const std::vector<std::string>& frames :
       {std::vector<std::string>{good, other_size}, {junk}, {dir.file("missing.png")}, {good, dir.path().string()},
        {huge_path}, {wide}}) {
    std::vector<std::string> args = {"create", out, "--name", "n"};
    args.insert(args.end(), frames.begin(), frames.end());
    const ToolRun run = run_pack(args);
    EXPECT_EQ(run.status, 1) << frames.back();
    EXPECT_EQ(count_lines(run.err), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("velissa-pack create: ", 0), 0u);
  }
  EXPECT_FALSE(std::filesystem::exists(out));

  // An existing file stays as it is unless --force; nothing temporary is left either way.
  write_bytes(out, {'k', 'e', 'e', 'p'});
  EXPECT_EQ(run_pack({"create", out, "--name", "n", good}).status, 1);
  EXPECT_EQ(read_text(out), "keep");
  EXPECT_EQ(run_pack({"create", out, "--name", "n", "--force", good}).status, 0);
  EXPECT_TRUE(open(pack, out.c_str()));
  EXPECT_EQ(run_pack({"create", dir.path().string(), "--name", "n", "--force", good}).status, 1);
  EXPECT_EQ(run_pack({"create", dir.file("no/such/dir.dat"), "--name", "n", good}).status, 1);
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_FALSE(contains(entry.path().filename().string(), "partial")) << entry.path();
}

TEST_F(CreateTest, CropKeepsAFrameWithNothingVisible) {
  Picture empty = moving_discs()[0];
  std::fill(empty.rgba.begin(), empty.rgba.end(), 0);
  const std::string path = create({moving_discs()[1], empty}, {"--name", "Blink", "--crop", "--loop"});
  ASSERT_TRUE(open(pack, path.c_str()));
  load_from_package(player, &pack, 1);
  ASSERT_EQ(draw_frame(player, 1), FRAME_DRAWN);
  EXPECT_EQ(player.image_width, 1);
  EXPECT_EQ(player.image_height, 1);
  EXPECT_EQ(player.pixels[3], 0);
  EXPECT_EQ(run_pack({"verify", path}).status, 0);
}

TEST_F(CreateTest, WarnsAboutNamesTheCatalogueSkips) {
  const std::vector<Picture> pictures = {moving_discs()[0]};
  create(pictures, {"--name", "n"}, "frames.bin");
  EXPECT_TRUE(contains(last_run.err, "warning")) << last_run.err;
  create(pictures, {"--name", "n"}, "unins001.dat");
  EXPECT_TRUE(contains(last_run.err, "unins")) << last_run.err;
  create(pictures, {"--name", "n"}, "Fine.DAT");
  EXPECT_TRUE(last_run.err.empty()) << last_run.err;
}
