// create: a package from pictures with alpha; each frame becomes a premultiplied colour JPEG and a
// greyscale alpha JPEG, described for the player and catalogued for the menu.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "animation/animation_player.h"
#include "catalogue/archive_writer.h"
#include "catalogue/catalogue.h"
#include "package/pack_writer.h"
#include "tools/commands.h"
#include "tools/images.h"

namespace {

const char kCreateHelp[] =
    "Every FRAME is a picture with alpha (PNG, or another kind the image library reads), all of one\n"
    "size. Each is stored as a colour JPEG premultiplied by its alpha (the character drawn over black)\n"
    "and a greyscale alpha JPEG. Entry 0 holds the catalogue entry (\"c.1.\", a free line, the name,\n"
    "\"X,Y\"), entry 1 the description, and frame i its colour image in entry 2 + 2i and its alpha image\n"
    "in entry 3 + 2i. OUT.dat is written to a temporary file that is then renamed into place.\n"
    "\n"
    "options:\n"
    "  --name NAME       the animation's name, its menu caption (required): one line, cut to 1023\n"
    "                    characters\n"
    "  --position X,Y    where the character stands: its offset in pixels from the bottom-right\n"
    "                    corner of the desktop's work area (default 0,0; negative is up and left)\n"
    "  --duration SECS   how long each frame stays (default 0.1)\n"
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
  bool force = false;
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

std::vector<unsigned char> description_bytes(const CreateSettings& settings, const std::vector<EncodedFrame>& frames) {
  std::vector<unsigned char> out;
  append_text(out, "ks0" + std::to_string(settings.format));
  if (settings.format >= 2) {
    out.push_back(settings.loop ? 1 : 0);
    out.push_back(settings.ping_pong ? 1 : 0);
    append_bytes(out, &settings.duration, sizeof settings.duration);  // hosts are little-endian, like the files
  }
  int32_t canvas_width = 0, canvas_height = 0;
  for (const EncodedFrame& frame : frames) {
    if (frame.width > canvas_width) canvas_width = frame.width;
    if (frame.height > canvas_height) canvas_height = frame.height;
  }
  append_int32(out, canvas_width);
  append_int32(out, canvas_height);
  const auto count = static_cast<int32_t>(frames.size());
  append_int32(out, count * 4);
  for (const EncodedFrame& frame : frames)
    for (float edge : frame.rect) append_float32(out, edge);
  for (int32_t first_id : {2, 3}) {
    append_int32(out, count);
    for (int32_t i = 0; i < count; ++i) append_text(out, std::to_string(first_id + 2 * i));
  }
  if (settings.format == 3) out.push_back(0);  // no extra integers
  return out;
}

std::string catalogue_entry_text(const CreateSettings& settings) {
  return "c." + std::to_string(kCatalogueVersion) + ".\r\n" + kSecondLine + "\r\n" + settings.name + "\r\n" +
         std::to_string(settings.x) + "," + std::to_string(settings.y) + "\r\n";
}

int run_create(const Command& self, int argc, char** argv, const ToolStreams& io) {
  ParsedArgs args;
  int status = 0;
  const std::vector<OptionSpec> specs = {
      {"--name", true},     {"--position", true}, {"--duration", true},  {"--loop", false},
      {"--ping-pong", false}, {"--format", true}, {"--compress", false}, {"--transpose", false},
      {"--quality", true},  {"--crop", false},    {"--force", false}};
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

  std::vector<EncodedFrame> frames(settings.frames.size());
  int32_t width = 0, height = 0;
  uint32_t area_width = 0, area_height = 0;
  for (size_t i = 0; i < settings.frames.size(); ++i) {
    const char* path = settings.frames[i].c_str();
    RgbaPicture picture;
    if (!load_picture(path, kMaxCanvasSide, picture, why)) return refuse(self, io, std::string(path) + ": " + why);
    if (i == 0) {
      width = picture.width;
      height = picture.height;
      area_width = settings.crop ? power_of_two_at_least(width) : static_cast<uint32_t>(width);
      area_height = settings.crop ? power_of_two_at_least(height) : static_cast<uint32_t>(height);
    } else if (picture.width != width || picture.height != height) {
      return refuse(self, io,
                    std::string(path) + ": " + std::to_string(picture.width) + "x" + std::to_string(picture.height) +
                        ", but the first frame is " + std::to_string(width) + "x" + std::to_string(height));
    }
    const PixelBox box = settings.crop ? visible_box(picture) : PixelBox{0, 0, width, height};
    set_rect(box, area_width, area_height, frames[i]);
    if (!encode_frame(picture, box, settings.quality, frames[i]))
      return refuse(self, io, std::string(path) + ": the image library cannot encode it as JPEG");
  }

  PackBuilder builder;
  const std::string entry = catalogue_entry_text(settings);
  add_entry(builder, 0, entry.data(), static_cast<int32_t>(entry.size()));
  const std::vector<unsigned char> description = description_bytes(settings, frames);
  add_entry(builder, 1, description.data(), static_cast<int32_t>(description.size()));
  for (size_t i = 0; i < frames.size(); ++i) {
    const auto id = static_cast<int32_t>(2 + 2 * i);
    add_entry(builder, id, frames[i].colour.data(), static_cast<int32_t>(frames[i].colour.size()));
    add_entry(builder, id + 1, frames[i].alpha.data(), static_cast<int32_t>(frames[i].alpha.size()));
  }
  std::string tag = "pck01";
  if (settings.compress) tag += 'z';
  if (settings.transpose) tag += 's';
  std::vector<unsigned char> package;
  if (!encode_package(builder, tag.c_str(), package))
    return refuse(self, io, "the package would be larger than 1 GiB");
  if (!write_file_atomically(settings.out_path, package, settings.force, why))
    return refuse(self, io, settings.out_path + ": " + why);
  return kExitSuccess;
}

}  // namespace

const Command kCreateCommand = {
    "create",
    "OUT.dat --name NAME [--position X,Y] [--duration SECS] [--loop] [--ping-pong] [--format ks01|ks02|ks03] "
    "[--compress] [--transpose] [--quality Q] [--crop] [--force] FRAME ...",
    "make a package from pictures with alpha (PNG), one per frame", kCreateHelp, run_create};
