// create: a package from pictures with alpha; each frame becomes a premultiplied colour JPEG and a
// greyscale alpha JPEG, described for the player and catalogued for the menu.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "animation/animation_player.h"
#include "catalogue/archive_writer.h"
#include "catalogue/catalogue.h"
#include "package/pack_writer.h"
#include "tools/commands.h"
#include "tools/images.h"
#include "tools/picture_input.h"

namespace fs = std::filesystem;

namespace {

const char kCreateHelp[] =
    "Every FRAME is a picture with alpha, all of one size: a PNG file, or another kind the image\n"
    "library reads. A FRAME may also be a folder (its PNG files in name order, numbers by value: 2\n"
    "before 10), or one animation given alone: an animated GIF, an APNG (.png) or an animated WebP,\n"
    "each frame as a viewer shows it. An animation's delays give the timing: when they are equal,\n"
    "that duration; when they differ, the largest duration that divides them all (at least 10 ms),\n"
    "each picture repeated for as long as its delay (repeats share their images). An animation that\n"
    "repeats for ever (loop count 0) plays with --loop. GIF and WebP input needs giflib and libwebp:\n"
    "builds without them (the Windows build) say so when given such a file.\n"
    "\n"
    "Refused, the frame named: a picture without alpha (it would be an opaque rectangle; --opaque\n"
    "allows it), frames whose every pixel is transparent, a file that cannot be read. Warned about:\n"
    "a frame whose edges are nearly all opaque (a background left in), a frame with nothing visible\n"
    "among visible ones.\n"
    "\n"
    "Each frame is stored as a colour JPEG premultiplied by its alpha (the character drawn over black)\n"
    "and a greyscale alpha JPEG. Entry 0 holds the catalogue entry (\"c.1.\", a free line, the name,\n"
    "\"X,Y\"), entry 1 the description, and picture i its colour image in entry 2 + 2i and its alpha\n"
    "image in entry 3 + 2i. OUT.dat is written to a temporary file that is then renamed into place.\n"
    "\n"
    "options:\n"
    "  --name NAME       the animation's name, its menu caption (required): one line, cut to 1023\n"
    "                    characters\n"
    "  --position X,Y    where the character stands: its offset in pixels from the bottom-right\n"
    "                    corner of the desktop's work area (default 0,0; negative is up and left)\n"
    "  --duration SECS   how long each frame stays (default 0.1, or an animation's own delays; given\n"
    "                    with an animation, each of its pictures stays this long once)\n"
    "  --loop            start again after the last frame (without it, play once and stay)\n"
    "  --ping-pong       play forward, then backward, and so on (sets --loop too)\n"
    "  --format FORMAT   the description's version: ks01, ks02 (default) or ks03; ks01 keeps\n"
    "                    no loop, ping-pong or duration (each frame stays one tick, played once)\n"
    "  --compress        compress the package body with zlib (flag letter z)\n"
    "  --transpose       store the body square-transposed (flag letter s)\n"
    "  --quality Q       JPEG quality, 1 to 100 (default 90)\n"
    "  --crop            keep only each frame's box of pixels with alpha above 0, placed by its\n"
    "                    rectangle, so that empty margins cost nothing; the bottom-right corner of\n"
    "                    what all frames draw then stands at the position\n"
    "  --opaque          accept pictures without alpha: the character is then a rectangle\n"
    "  --force           replace OUT.dat when it exists\n";

constexpr char kSecondLine[] = "made with velissa-pack";

struct CreateSettings {
  std::string out_path;
  std::vector<std::string> frames;
  std::string name;
  int32_t x = 0, y = 0;
  double duration = 0.1;
  bool loop = false;
  bool ping_pong = false;
  int32_t format = 2;  // description version
  bool compress = false;
  bool transpose = false;
  bool crop = false;
  bool opaque = false;
  bool force = false;
  bool duration_given = false;
  int32_t quality = 90;
};

bool fail(std::string& why, const char* text) {
  why = text;
  return false;
}

// "X,Y": two decimal integers and a comma, nothing else.
bool parse_position(const std::string& text, int32_t* x, int32_t* y) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  return parse_int(text.substr(0, comma).c_str(), INT32_MIN, INT32_MAX, x) &&
         parse_int(text.substr(comma + 1).c_str(), INT32_MIN, INT32_MAX, y);
}

bool read_settings(const ParsedArgs& args, CreateSettings& settings, std::string& why) {
  settings.out_path = args.operands[0];
  settings.frames.assign(args.operands.begin() + 1, args.operands.end());

  const char* name = option_value(args, "--name");
  if (name == nullptr) return fail(why, "--name is required");
  settings.name = name;
  if (settings.name.empty()) return fail(why, "the name is empty");
  // The name is one line of the catalogue entry.
  if (settings.name.find_first_of("\r\n") != std::string::npos) return fail(why, "the name holds a line break");

  if (const char* position = option_value(args, "--position"))
    if (!parse_position(position, &settings.x, &settings.y)) return fail(why, "--position wants X,Y");
  if (const char* duration = option_value(args, "--duration")) {
    char* end = nullptr;
    settings.duration = std::strtod(duration, &end);
    if (end == duration || *end != '\0' || !std::isfinite(settings.duration) || settings.duration <= 0.0)
      return fail(why, "--duration wants a number of seconds above 0");
  }
  if (const char* format = option_value(args, "--format")) {
    const std::string text = format;
    settings.format = text == "ks01" ? 1 : text == "ks02" ? 2 : text == "ks03" ? 3 : 0;
    if (settings.format == 0) return fail(why, "--format wants ks01, ks02 or ks03");
  }
  if (const char* quality = option_value(args, "--quality"))
    if (!parse_int(quality, 1, 100, &settings.quality)) return fail(why, "--quality wants 1 to 100");
  settings.ping_pong = has_option(args, "--ping-pong");
  // The player turns around only while it loops.
  settings.loop = has_option(args, "--loop") || settings.ping_pong;
  if (settings.format == 1 && (settings.loop || has_option(args, "--duration")))
    return fail(why, "ks01 keeps no loop, ping-pong or duration");
  settings.compress = has_option(args, "--compress");
  settings.transpose = has_option(args, "--transpose");
  settings.crop = has_option(args, "--crop");
  settings.opaque = has_option(args, "--opaque");
  settings.duration_given = has_option(args, "--duration");
  settings.force = has_option(args, "--force");
  return true;
}

// Pixels of a frame, right and bottom exclusive.
struct PixelBox {
  int32_t left, top, right, bottom;
};

// The box of pixels with alpha above 0; a frame with none keeps its top-left pixel, so that it still
// has images to decode.
PixelBox visible_box(const RgbaPicture& picture) {
  PixelBox box{picture.width, picture.height, 0, 0};
  for (int32_t row = 0; row < picture.height; ++row) {
    const uint8_t* pixel = picture.pixels.data() + size_t(row) * size_t(picture.width) * 4;
    for (int32_t column = 0; column < picture.width; ++column, pixel += 4) {
      if (pixel[3] == 0) continue;
      if (column < box.left) box.left = column;
      if (column >= box.right) box.right = column + 1;
      if (row < box.top) box.top = row;
      box.bottom = row + 1;
    }
  }
  if (box.right == 0) box = PixelBox{0, 0, 1, 1};
  return box;
}

uint32_t power_of_two_at_least(int32_t value) {
  uint32_t power = 1;
  while (power < static_cast<uint32_t>(value)) power <<= 1;
  return power;
}

struct EncodedFrame {
  float rect[4];  // left, top, right, bottom in area units
  int32_t width, height;
  std::vector<unsigned char> colour;
  std::vector<unsigned char> alpha;
};

// The box of the picture as a colour JPEG premultiplied by alpha and a greyscale alpha JPEG.
bool encode_frame(const RgbaPicture& picture, const PixelBox& box, int32_t quality, EncodedFrame& frame) {
  frame.width = box.right - box.left;
  frame.height = box.bottom - box.top;
  const size_t pixels = size_t(frame.width) * size_t(frame.height);
  std::vector<uint8_t> rgb(pixels * 3);
  std::vector<uint8_t> grey(pixels);
  size_t at = 0;
  for (int32_t row = box.top; row < box.bottom; ++row) {
    const uint8_t* pixel = picture.pixels.data() + (size_t(row) * size_t(picture.width) + size_t(box.left)) * 4;
    for (int32_t column = box.left; column < box.right; ++column, pixel += 4, ++at) {
      const unsigned alpha = pixel[3];
      for (int channel = 0; channel < 3; ++channel)
        rgb[at * 3 + channel] = static_cast<uint8_t>((pixel[channel] * alpha + 127) / 255);
      grey[at] = static_cast<uint8_t>(alpha);
    }
  }
  return encode_jpeg(rgb.data(), frame.width, frame.height, 3, quality, frame.colour) &&
         encode_jpeg(grey.data(), frame.width, frame.height, 1, quality, frame.alpha);
}

// The box's rectangle in units of an area of area_width x area_height pixels whose top-left is the
// picture's. With power-of-two area sides every edge is exact in a float and the player's placement
// arithmetic is exact too, so each frame lands on its own pixels.
void set_rect(const PixelBox& box, uint32_t area_width, uint32_t area_height, EncodedFrame& frame) {
  frame.rect[0] = static_cast<float>(-1.0 + 2.0 * box.left / area_width);
  frame.rect[1] = static_cast<float>(1.0 - 2.0 * box.top / area_height);
  frame.rect[2] = static_cast<float>(-1.0 + 2.0 * box.right / area_width);
  frame.rect[3] = static_cast<float>(1.0 - 2.0 * box.bottom / area_height);
}

void append_float32(std::vector<unsigned char>& out, float value) { append_bytes(out, &value, sizeof value); }

// The description: one frame per slot, each naming its picture's rectangle and images, so that a
// picture repeated for a long delay is stored once.
std::vector<unsigned char> description_bytes(const CreateSettings& settings, const std::vector<EncodedFrame>& pictures,
                                             const std::vector<int32_t>& slots) {
  std::vector<unsigned char> out;
  append_text(out, "ks0" + std::to_string(settings.format));
  if (settings.format >= 2) {
    out.push_back(settings.loop ? 1 : 0);
    out.push_back(settings.ping_pong ? 1 : 0);
    append_bytes(out, &settings.duration, sizeof settings.duration);  // hosts are little-endian, like the files
  }
  int32_t canvas_width = 0, canvas_height = 0;
  for (const EncodedFrame& picture : pictures) {
    if (picture.width > canvas_width) canvas_width = picture.width;
    if (picture.height > canvas_height) canvas_height = picture.height;
  }
  append_int32(out, canvas_width);
  append_int32(out, canvas_height);
  const auto count = static_cast<int32_t>(slots.size());
  append_int32(out, count * 4);
  for (int32_t slot : slots)
    for (float edge : pictures[size_t(slot)].rect) append_float32(out, edge);
  for (int32_t first_id : {2, 3}) {
    append_int32(out, count);
    for (int32_t slot : slots) append_text(out, std::to_string(first_id + 2 * slot));
  }
  if (settings.format == 3) out.push_back(0);  // no extra integers
  return out;
}

std::string catalogue_entry_text(const CreateSettings& settings) {
  return "c." + std::to_string(kCatalogueVersion) + ".\r\n" + kSecondLine + "\r\n" + settings.name + "\r\n" +
         std::to_string(settings.x) + "," + std::to_string(settings.y) + "\r\n";
}

// ---- Frame files ----

// Names compared as people number their frames: runs of digits by value ("f2" before "f10"), the rest
// byte by byte; equal values keep their text's order ("f02" and "f2" both stay, in byte order).
bool name_order(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  while (i < a.size() && j < b.size()) {
    if (is_digit(a[i]) && is_digit(b[j])) {
      size_t end_a = i, end_b = j;
      while (end_a < a.size() && is_digit(a[end_a])) ++end_a;
      while (end_b < b.size() && is_digit(b[end_b])) ++end_b;
      size_t start_a = i, start_b = j;  // leading zeros aside, the longer number is the larger
      while (start_a + 1 < end_a && a[start_a] == '0') ++start_a;
      while (start_b + 1 < end_b && b[start_b] == '0') ++start_b;
      if (end_a - start_a != end_b - start_b) return end_a - start_a < end_b - start_b;
      const int order = a.compare(start_a, end_a - start_a, b, start_b, end_b - start_b);
      if (order != 0) return order < 0;
      i = end_a;
      j = end_b;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
  return a < b;
}

// The frame files: each operand as it is, a folder as its PNG files in name order.
bool frame_files(const std::vector<std::string>& operands, std::vector<std::string>& files, std::string& why) {
  for (const std::string& operand : operands) {
    std::error_code error;
    if (!fs::is_directory(operand, error)) {
      files.push_back(operand);
      continue;
    }
    std::vector<std::string> names;
    for (fs::directory_iterator entry(operand, error), end; !error && entry != end; entry.increment(error)) {
      const std::string name = entry->path().filename().string();
      if (name.size() > 4 && ascii_lower(name.substr(name.size() - 4)) == ".png" && !entry->is_directory(error))
        names.push_back(name);
    }
    if (error) {
      why = operand + ": " + error.message();
      return false;
    }
    if (names.empty()) {
      why = operand + ": a folder without PNG files";
      return false;
    }
    std::sort(names.begin(), names.end(), name_order);
    for (const std::string& name : names) files.push_back((fs::path(operand) / name).string());
  }
  return true;
}

// ---- Checks of each frame ----

// A frame whose edges are at least this share opaque most likely kept its background.
constexpr double kBackgroundEdgeShare = 0.9;

struct FrameLook {
  bool visible = false;      // some alpha above 0
  bool translucent = false;  // some alpha below 255
  double opaque_edges = 0;   // share of the edge pixels with alpha 255
};

FrameLook look_at(const RgbaPicture& picture) {
  FrameLook look;
  for (size_t i = 3; i < picture.pixels.size(); i += 4) {
    look.visible = look.visible || picture.pixels[i] != 0;
    look.translucent = look.translucent || picture.pixels[i] != 255;
  }
  int64_t edge = 0, opaque = 0;
  for (int32_t y = 0; y < picture.height; ++y) {
    const bool full_row = y == 0 || y == picture.height - 1;
    const int32_t step = full_row || picture.width < 2 ? 1 : picture.width - 1;
    for (int32_t x = 0; x < picture.width; x += step) {
      ++edge;
      opaque += picture.pixels[(size_t(y) * size_t(picture.width) + size_t(x)) * 4 + 3] == 255;
    }
  }
  look.opaque_edges = edge > 0 ? double(opaque) / double(edge) : 0.0;
  return look;
}

// "frame 3", "frames 3, 4 and 9", "frames 1, 2, 3, 4, 5 and 7 more"; counted from 1.
std::string frame_list(const std::vector<int32_t>& frames) {
  constexpr size_t kNamed = 5;
  std::string text = frames.size() == 1 ? "frame " : "frames ";
  const size_t named = frames.size() > kNamed + 1 ? kNamed : frames.size();
  for (size_t i = 0; i < named; ++i)
    text += (i == 0 ? "" : i + 1 == named && named == frames.size() ? " and " : ", ") + std::to_string(frames[i]);
  if (named < frames.size()) text += " and " + std::to_string(frames.size() - named) + " more";
  return text;
}

// ---- Timing from an animation's delays ----

constexpr int32_t kMaxSlots = 100000;  // frames of the description

int64_t greatest_divisor(int64_t a, int64_t b) { return b == 0 ? a : greatest_divisor(b, a % b); }

struct Timing {
  int32_t unit_ms = 0;           // the frame duration
  std::vector<int32_t> repeats;  // per picture, how many frames it stays
  bool rounded = false;          // delays had to be rounded to units
};

Timing timing_of(const std::vector<int32_t>& delays) {
  Timing timing;
  std::vector<int64_t> steps(delays.begin(), delays.end());
  int64_t unit = 0, total = 0;
  for (int64_t step : steps) {
    unit = greatest_divisor(step, unit);
    total += step;
  }
  // A unit under 10 ms, or so many frames that the description swells, gives way to a coarser one.
  if (unit < 10 || total / unit > kMaxSlots) {
    int64_t coarse = 10;
    while (total / coarse > kMaxSlots) coarse *= 2;
    unit = 0;
    for (int64_t& step : steps) {
      step = std::max(coarse, (step + coarse / 2) / coarse * coarse);
      unit = greatest_divisor(step, unit);
    }
    timing.rounded = true;
  }
  timing.unit_ms = static_cast<int32_t>(unit);
  for (int64_t step : steps) timing.repeats.push_back(static_cast<int32_t>(step / unit));
  return timing;
}

// ---- The command ----

// What create gathered from the frame files.
struct Gathered {
  std::vector<EncodedFrame> pictures;
  std::vector<int32_t> delays;  // per picture, in ms; 0 for a still picture
  std::vector<int32_t> slots;   // the description's frames, as picture indexes
  bool visible = false;         // some frame shows something
  bool animation = false;       // an animation's frames, timed by its delays
  bool loops = false;           // that animation repeats for ever
  int32_t width = 0, height = 0;
  uint32_t area_width = 0, area_height = 0;
  std::vector<std::string> warnings;  // printed once the package is made
};

// Reads one frame file into gathered; false with the refusal's message in why.
bool gather_file(const CreateSettings& settings, const std::string& path, size_t file_count, Gathered& gathered,
                 std::string& why) {
  PictureFileInfo info;
  std::vector<int32_t> blank, backdrop;  // frames with nothing visible, frames with opaque edges
  bool translucent = false;
  const FrameSink sink = [&](const RgbaPicture& picture, int32_t delay_ms, std::string& frame_why) {
    const bool several = info.kind != PICTURE_OTHER && info.kind != PICTURE_PNG;  // frames of an animation
    const std::string frame = several ? "frame " + std::to_string(info.frames) + ": " : "";
    if (several && info.frames == 2 && file_count > 1) {
      frame_why = "an animation (more than one frame): give it alone, or its frames as separate pictures";
      return false;
    }
    if (gathered.pictures.empty()) {
      gathered.width = picture.width;
      gathered.height = picture.height;
      gathered.area_width = settings.crop ? power_of_two_at_least(picture.width) : uint32_t(picture.width);
      gathered.area_height = settings.crop ? power_of_two_at_least(picture.height) : uint32_t(picture.height);
    } else if (picture.width != gathered.width || picture.height != gathered.height) {
      frame_why = frame + std::to_string(picture.width) + "x" + std::to_string(picture.height) +
                  ", but the first frame is " + std::to_string(gathered.width) + "x" + std::to_string(gathered.height);
      return false;
    }
    const FrameLook look = look_at(picture);
    translucent = translucent || look.translucent;
    if (!look.visible) blank.push_back(info.frames);
    if (look.opaque_edges >= kBackgroundEdgeShare && !settings.opaque) backdrop.push_back(info.frames);
    gathered.visible = gathered.visible || look.visible;

    EncodedFrame encoded;
    const PixelBox box = settings.crop ? visible_box(picture) : PixelBox{0, 0, picture.width, picture.height};
    set_rect(box, gathered.area_width, gathered.area_height, encoded);
    if (!encode_frame(picture, box, settings.quality, encoded)) {
      frame_why = frame + "the image library cannot encode it as JPEG";
      return false;
    }
    gathered.slots.push_back(static_cast<int32_t>(gathered.pictures.size()));
    gathered.pictures.push_back(std::move(encoded));
    gathered.delays.push_back(delay_ms);
    return true;
  };
  if (!read_picture_file(path.c_str(), kMaxCanvasSide, sink, info, why)) {
    why = path + ": " + why;
    return false;
  }
  if (!info.has_alpha && !translucent && !settings.opaque) {
    why = path + ": no alpha channel: the character would be an opaque rectangle; save the picture with " +
          "transparency (a PNG with alpha, a GIF with a transparent colour), or give --opaque to keep it so";
    return false;
  }
  const bool animation = info.timed && info.frames > 1;
  gathered.animation = gathered.animation || animation;
  gathered.loops = gathered.loops || (animation && info.loops);
  if (!blank.empty())
    gathered.warnings.push_back(path + ": " + (animation ? frame_list(blank) + ": " : "") +
                                "every pixel is transparent: the character vanishes there");
  if (!backdrop.empty())
    gathered.warnings.push_back(path + ": " + (animation ? frame_list(backdrop) + ": " : "") +
                                "nearly every pixel on the edges is opaque: a background left in? It would show "
                                "as a rectangle (make it transparent, or give --opaque)");
  return true;
}

int run_create(const Command& self, int argc, char** argv, const ToolStreams& io) {
  ParsedArgs args;
  int status = 0;
  const std::vector<OptionSpec> specs = {
      {"--name", true},     {"--position", true}, {"--duration", true},  {"--loop", false},
      {"--ping-pong", false}, {"--format", true}, {"--compress", false}, {"--transpose", false},
      {"--quality", true},  {"--crop", false},    {"--opaque", false},   {"--force", false}};
  if (!start_command(self, argc, argv, io, specs, 2, SIZE_MAX, args, status)) return status;
  CreateSettings settings;
  std::string why;
  if (!read_settings(args, settings, why)) return usage_error(self, io, why);
  if (settings.name.size() > size_t{FixedString::kMaxLength}) {
    settings.name.resize(FixedString::kMaxLength);
    std::fprintf(io.err, "velissa-pack create: warning: the name is cut to %d characters\n", FixedString::kMaxLength);
  }
  if (const char* problem = package_name_problem(file_title(settings.out_path.c_str()).c_str()))
    std::fprintf(io.err, "velissa-pack create: warning: %s: %s\n", settings.out_path.c_str(), problem);

  std::vector<std::string> files;
  if (!frame_files(settings.frames, files, why)) return refuse(self, io, why);
  Gathered gathered;
  // A file named again reuses its pictures: frames may name the same entries.
  std::map<std::string, std::pair<size_t, size_t>> read_before;  // path: first slot, slot count
  for (const std::string& path : files) {
    const auto before = read_before.find(path);
    if (before != read_before.end()) {
      for (size_t i = 0; i < before->second.second; ++i) {
        const int32_t slot = gathered.slots[before->second.first + i];
        gathered.slots.push_back(slot);
      }
      continue;
    }
    const size_t first_slot = gathered.slots.size();
    if (!gather_file(settings, path, files.size(), gathered, why)) return refuse(self, io, why);
    read_before[path] = {first_slot, gathered.slots.size() - first_slot};
  }
  if (!gathered.visible)
    return refuse(self, io, (files.size() == 1 ? files[0] + ": every pixel is transparent"
                                                : std::string("every pixel of every frame is transparent")) +
                                ": nothing would be visible");

  // An animation's own timing, unless a duration was given or the format keeps none.
  if (gathered.animation && settings.format == 1) {
    std::fprintf(io.err, "velissa-pack create: warning: ks01 keeps no timing: the animation's delays are dropped\n");
  } else if (gathered.animation) {
    settings.loop = settings.loop || gathered.loops;
  }
  if (gathered.animation && settings.format != 1 && !settings.duration_given) {
    const Timing timing = timing_of(gathered.delays);
    settings.duration = timing.unit_ms / 1000.0;
    gathered.slots.clear();
    for (size_t picture = 0; picture < timing.repeats.size(); ++picture)
      gathered.slots.insert(gathered.slots.end(), size_t(timing.repeats[picture]), static_cast<int32_t>(picture));
    if (timing.rounded)
      std::fprintf(io.err, "velissa-pack create: warning: the delays are rounded to multiples of %d ms\n",
                   timing.unit_ms);
  }

  PackBuilder builder;
  const std::string entry = catalogue_entry_text(settings);
  add_entry(builder, 0, entry.data(), static_cast<int32_t>(entry.size()));
  const std::vector<unsigned char> description = description_bytes(settings, gathered.pictures, gathered.slots);
  add_entry(builder, 1, description.data(), static_cast<int32_t>(description.size()));
  for (size_t i = 0; i < gathered.pictures.size(); ++i) {
    const auto id = static_cast<int32_t>(2 + 2 * i);
    const EncodedFrame& picture = gathered.pictures[i];
    add_entry(builder, id, picture.colour.data(), static_cast<int32_t>(picture.colour.size()));
    add_entry(builder, id + 1, picture.alpha.data(), static_cast<int32_t>(picture.alpha.size()));
  }
  std::string tag = "pck01";
  if (settings.compress) tag += 'z';
  if (settings.transpose) tag += 's';
  std::vector<unsigned char> package;
  if (!encode_package(builder, tag.c_str(), package))
    return refuse(self, io, "the package would be larger than 1 GiB");
  if (!write_file_atomically(settings.out_path, package, settings.force, why))
    return refuse(self, io, settings.out_path + ": " + why);
  for (const std::string& warning : gathered.warnings)
    std::fprintf(io.err, "velissa-pack create: warning: %s\n", warning.c_str());
  return kExitSuccess;
}

}  // namespace

const Command kCreateCommand = {
    "create",
    "OUT.dat --name NAME [--position X,Y] [--duration SECS] [--loop] [--ping-pong] [--format ks01|ks02|ks03] "
    "[--compress] [--transpose] [--quality Q] [--crop] [--opaque] [--force] FRAME ... | FOLDER | ANIMATION",
    "make a package from pictures with alpha (PNG), a folder of them, or an animated GIF, APNG or WebP", kCreateHelp, run_create};
