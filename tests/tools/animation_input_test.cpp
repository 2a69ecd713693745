// velissa-pack create from animations (GIF, APNG, WebP) and folders, and the authoring mistakes it
// refuses or warns about. GIF and WebP files are made by ImageMagick at test time, APNG files by a
// small writer here.
#include <cstdlib>
#include <filesystem>

#include "animation/player_fixture.h"
#include "tool_test_support.h"
#include "tools/picture_input.h"

namespace {

// ImageMagick's convert, run in dir; false when it is missing (the Windows suite under Wine).
bool convert(const TempDir& dir, const std::string& args) {
#ifdef _WIN32
  (void)dir;
  (void)args;
  return false;
#else
  return std::system(("cd '" + dir.path().string() + "' && convert " + args + " 2>/dev/null").c_str()) == 0;
#endif
}

// 40 x 32 frames: a steady body with a small marker that moves and changes colour, so that an
// optimiser keeps only the marker's box from frame to frame.
Picture body_frame(int32_t step) {
  Picture picture = disc_frame(40, 32, 16, 16, 11, 40, 160, 220);
  const Picture marker = disc_frame(40, 32, 28 + step * 3 % 9, 8 + step * 5 % 17, 4, 240, uint8_t(60 * step), 30);
  for (size_t i = 0; i < picture.rgba.size(); i += 4)
    if (marker.rgba[i + 3] != 0) std::copy(&marker.rgba[i], &marker.rgba[i] + 4, &picture.rgba[i]);
  return picture;
}

std::vector<std::string> write_frames(const TempDir& dir, int32_t count) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < count; ++i) {
    names.push_back("f" + std::to_string(i) + ".png");
    write_png(dir, names.back(), body_frame(i));
  }
  return names;
}

// An APNG: every frame is a part of a full picture (box x, y, w, h), stored with its delay in
// hundredths of a second and its disposal (0 none, 1 background, 2 previous); blending replaces.
struct ApngPart {
  const Picture* full;
  int32_t x, y, w, h;
  uint16_t delay_cs;
  uint8_t dispose;
};

std::vector<unsigned char> apng_bytes(const std::vector<ApngPart>& parts, uint32_t plays) {
  const Picture& first = *parts[0].full;
  std::vector<unsigned char> png = png_bytes(first);
  const std::vector<unsigned char> header(png.begin(), png.begin() + 33);  // signature and IHDR
  std::vector<unsigned char> out = header, actl;
  append_be32(actl, uint32_t(parts.size()));
  append_be32(actl, plays);
  append_chunk(out, "acTL", actl);
  uint32_t sequence = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    const ApngPart& p = parts[i];
    Picture crop;
    crop.width = p.w;
    crop.height = p.h;
    for (int32_t y = 0; y < p.h; ++y) {
      const uint8_t* row = p.full->at(p.x, p.y + y);
      crop.rgba.insert(crop.rgba.end(), row, row + size_t(p.w) * 4);
    }
    std::vector<unsigned char> fctl;
    for (uint32_t v : {sequence++, uint32_t(p.w), uint32_t(p.h), uint32_t(p.x), uint32_t(p.y)}) append_be32(fctl, v);
    fctl.insert(fctl.end(), {uint8_t(p.delay_cs >> 8), uint8_t(p.delay_cs), 0, 100, p.dispose, 0});
    append_chunk(out, "fcTL", fctl);
    // The frame's own PNG supplies its compressed data: IDAT for the first, fdAT after.
    const std::vector<unsigned char> own = png_bytes(crop);
    const uint32_t length = uint32_t(own[33]) << 24 | uint32_t(own[34]) << 16 | uint32_t(own[35]) << 8 | own[36];
    std::vector<unsigned char> data(own.begin() + 41, own.begin() + 41 + length);
    if (i > 0) {
      std::vector<unsigned char> numbered;
      append_be32(numbered, sequence++);
      data.insert(data.begin(), numbered.begin(), numbered.end());
    }
    append_chunk(out, i == 0 ? "IDAT" : "fdAT", data);
  }
  append_chunk(out, "IEND", {});
  return out;
}

// The frames that create's reader hands over for a file.
std::vector<Picture> composed_frames(const std::string& path, std::vector<int32_t>* delays = nullptr) {
  std::vector<Picture> frames;
  PictureFileInfo info;
  std::string why;
  const bool read = read_picture_file(
      path.c_str(), 8192,
      [&](const RgbaPicture& frame, int32_t delay_ms, std::string&) {
        frames.push_back(Picture{frame.width, frame.height, frame.pixels});
        if (delays != nullptr) delays->push_back(delay_ms);
        return true;
      },
      info, why);
  EXPECT_TRUE(read) << path << ": " << why;
  return frames;
}

// Equal where it shows: the same alpha, and the same colour wherever alpha is above 0.
void expect_same_pictures(const std::vector<Picture>& got, const std::vector<Picture>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t f = 0; f < got.size(); ++f) {
    ASSERT_EQ(got[f].width, want[f].width);
    ASSERT_EQ(got[f].height, want[f].height);
    int32_t wrong = 0;
    for (size_t i = 0; i < got[f].rgba.size(); i += 4) {
      const bool shown = want[f].rgba[i + 3] != 0;
      for (size_t c = shown ? 0 : 3; c < 4; ++c) wrong += got[f].rgba[i + c] != want[f].rgba[i + c];
    }
    EXPECT_EQ(wrong, 0) << "frame " << f;
  }
}

class AnimationInputTest : public PlayerTest {
 protected:
  // The package's frame duration, loop flag and each frame's colour entry.
  void expect_package(const std::string& path, double duration, bool loop, const std::vector<int32_t>& colour_ids) {
    ASSERT_TRUE(open(pack, path.c_str()));
    load_from_package(player, &pack, 1);
    EXPECT_DOUBLE_EQ(player.frame_duration, duration);
    EXPECT_EQ(player.loop, loop);
    std::vector<int32_t> ids;
    for (int32_t i = 0; i < frame_count(player); ++i) {
      ids.push_back(std::atoi(player.color_images.data[i]));
      EXPECT_EQ(draw_frame(player, i), FRAME_DRAWN);
    }
    EXPECT_EQ(ids, colour_ids);
    player_release(player);
    release(pack);
    const ToolRun verify = run_pack({"verify", path});
    EXPECT_EQ(verify.status, 0) << verify.out;
  }
};

}  // namespace

TEST_F(AnimationInputTest, AnimationsBecomePackagesTimedByTheirDelays) {
  const std::vector<std::string> frames = write_frames(dir, 3);
  const Picture full[3] = {body_frame(0), body_frame(1), body_frame(2)};
  write_bytes(dir.file("mixed.png"), apng_bytes({{&full[0], 0, 0, 40, 32, 10, 0},
                                                  {&full[1], 20, 0, 20, 20, 30, 2},  // back to frame 0 after
                                                  {&full[2], 20, 0, 20, 24, 20, 0}},
                                                 0));
  const struct Case {
    const char* file;
    std::string make;  // convert's arguments; empty for a file written above
    double duration;
    bool loop;
    std::vector<int32_t> colour_ids;
  } cases[] = {
      {"equal.gif", "-dispose background -delay 20 f0.png f1.png f2.png -loop 0 equal.gif", 0.2, true, {2, 4, 6}},
      {"mixed.gif", "-dispose background -delay 10 f0.png -delay 30 f1.png -delay 20 f2.png -loop 1 mixed.gif", 0.1,
       false, {2, 4, 4, 4, 6, 6}},
      {"equal.webp", "-delay 5 f0.png f1.png f2.png -loop 0 -define webp:lossless=true equal.webp", 0.05, true,
       {2, 4, 6}},
      {"mixed.png", "", 0.1, true, {2, 4, 4, 4, 6, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    if (!c.make.empty() && !convert(dir, c.make)) continue;  // no ImageMagick here
    const std::string out = dir.file(std::string(c.file) + ".dat");
    const ToolRun run = run_pack({"create", out, "--name", "Cat", dir.file(c.file)});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    expect_package(out, c.duration, c.loop, c.colour_ids);
  }
  // The APNG's partial frames, composed, are the full pictures; its delays are read as written.
  std::vector<int32_t> delays;
  expect_same_pictures(composed_frames(dir.file("mixed.png"), &delays), {full[0], full[1], full[2]});
  EXPECT_EQ(delays, (std::vector<int32_t>{100, 300, 200}));
}

TEST_F(AnimationInputTest, OptimisedGifFramesComposeAsAViewerShowsThem) {
  write_frames(dir, 6);
  // OptimizePlus may add frames of its own; ImageMagick's coalesced frames are the reference.
  for (const std::string optimise : {"Optimize", "OptimizePlus"}) {
    SCOPED_TRACE(optimise);
    if (!convert(dir, "-delay 10 f0.png f1.png f2.png f3.png f4.png f5.png -layers " + optimise + " " + optimise + ".gif") ||
        !convert(dir, optimise + ".gif -coalesce PNG32:" + optimise + "-%d.png"))
      GTEST_SKIP() << "no ImageMagick here";
    std::vector<Picture> full;
    for (int32_t i = 0; std::filesystem::exists(dir.file(optimise + "-" + std::to_string(i) + ".png")); ++i)
      full.push_back(composed_frames(dir.file(optimise + "-" + std::to_string(i) + ".png"))[0]);
    EXPECT_GE(full.size(), 6u);
    expect_same_pictures(composed_frames(dir.file(optimise + ".gif")), full);
  }
}

TEST_F(AnimationInputTest, AFolderGivesItsPngFilesInNameOrder) {
  const std::string folder = dir.file("frames");
  std::filesystem::create_directory(folder);
  // Red, green and blue by the numbers in their names; the text file is passed over.
  write_png(dir, "frames/f10.png", disc_frame(16, 16, 8, 8, 6, 0, 0, 250));
  write_png(dir, "frames/f2.png", disc_frame(16, 16, 8, 8, 6, 0, 250, 0));
  write_png(dir, "frames/f1.PNG", disc_frame(16, 16, 8, 8, 6, 250, 0, 0));
  write_bytes(dir.file("frames/notes.txt"), {'x'});
  const std::string out = dir.file("folder.dat");
  ASSERT_EQ(run_pack({"create", out, "--name", "RGB", folder}).status, 0);
  ASSERT_TRUE(open(pack, out.c_str()));
  load_from_package(player, &pack, 1);
  ASSERT_EQ(frame_count(player), 3);
  for (int32_t i = 0; i < 3; ++i) {
    ASSERT_EQ(draw_frame(player, i), FRAME_DRAWN);
    const uint8_t* centre = player.pixels + (8 * player.canvas_width + 8) * 4;  // B, G, R, A
    EXPECT_GT(centre[2 - i], 200) << "frame " << i;
  }
}

TEST_F(AnimationInputTest, EveryMistakeIsNamed) {
  Picture opaque = disc_frame(16, 16, 8, 8, 6, 200, 0, 0);
  for (size_t i = 3; i < opaque.rgba.size(); i += 4) opaque.rgba[i] = 255;  // a background left in
  Picture empty = opaque;
  for (size_t i = 3; i < empty.rgba.size(); i += 4) empty.rgba[i] = 0;
  write_png(dir, "opaque.png", opaque);
  write_png(dir, "empty.png", empty);
  write_png(dir, "disc.png", disc_frame(16, 16, 8, 8, 6, 200, 0, 0));
  write_bytes(dir.file("photo.jpg"), flat_color_jpeg(16, 16, 200, 100, 50));
  // A 1 x 1 GIF whose only pixel is its transparent colour.
  write_bytes(dir.file("clear.gif"), {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 255, 255, 255, 0, 0, 0,
                                      0x21, 0xF9, 4, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44,
                                      1, 0, 0x3B});
  const bool magick = convert(dir, "-size 16x16 xc:red flat.gif") &&
                      convert(dir, "-dispose background -delay 10 disc.png empty.png -loop 0 blink.gif");
#ifdef _WIN32
  const char* clear_gif = "reads no GIF files";
#else
  const char* clear_gif = "clear.gif: every pixel is transparent: nothing would be visible";
#endif
  const struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;  // in the error stream
    bool needs_magick;
  } cases[] = {
      {{"--crop", "photo.jpg"}, 1, "photo.jpg: no alpha channel: the character would be an opaque rectangle", false},
      {{"--opaque", "photo.jpg"}, 0, "", false},
      {{"flat.gif"}, 1, "flat.gif: no alpha channel", true},
      {{"empty.png", "empty.png"}, 1, "every pixel of every frame is transparent: nothing would be visible", false},
      {{"clear.gif"}, 1, clear_gif, false},
      {{"missing.png"}, 1, "missing.png: No such file or directory", false},
      {{"opaque.png"}, 0, "warning: " + dir.file("opaque.png") + ": nearly every pixel on the edges is opaque", false},
      {{"disc.png", "empty.png"}, 0, "empty.png: every pixel is transparent: the character vanishes there", false},
      {{"blink.gif"}, 0, "blink.gif: frame 2: every pixel is transparent", true},
      {{"blink.gif", "disc.png"}, 1, "blink.gif: an animation (more than one frame): give it alone", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    if (c.needs_magick && !magick) continue;
    std::vector<std::string> args = {"create", dir.file("out.dat"), "--force", "--name", "n"};
    for (const std::string& arg : c.args) args.push_back(arg[0] == '-' ? arg : dir.file(arg));
    const ToolRun run = run_pack(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_TRUE(contains(run.err, c.message)) << run.err;
    if (c.message.empty()) {
      EXPECT_EQ(run.err, "");
    }
  }
}
