// Presenting a 256 x 256 and a 512 x 512 frame (colour JPEG at quality 90, greyscale alpha JPEG) on the
// headless backend, against libjpeg-turbo decoding the same two JPEGs plus a plain merge loop, measured
// in the same run. draw/N is the decode and merge alone, without the window calls.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "animation/animation_player.h"
#include "package/pack_writer.h"
#include "platform/headless/headless.h"
#include "support/test_packages.h"

namespace {

struct JpegPair {
  Bytes colour, alpha;
};

// A character-like picture: a soft-edged disc with shaded, textured colour, premultiplied over black.
void draw_character(int size, std::vector<unsigned char>& rgb, std::vector<unsigned char>& grey) {
  rgb.assign(static_cast<size_t>(size) * size * 3, 0);
  grey.assign(static_cast<size_t>(size) * size, 0);
  const double centre = size / 2.0, radius = size * 0.42;
  uint32_t noise = 12345;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      noise = noise * 1103515245u + 12345u;
      const double distance = std::hypot(x - centre, y - centre);
      const double coverage = std::fmin(1.0, std::fmax(0.0, (radius - distance) / 3.0));
      const double shade = 0.55 + 0.45 * std::sin(x * 0.05) * std::cos(y * 0.07);
      const int texture = static_cast<int>((noise >> 16) % 24);
      const size_t i = static_cast<size_t>(y) * size + x;
      grey[i] = static_cast<unsigned char>(255 * coverage);
      rgb[i * 3 + 0] = static_cast<unsigned char>(coverage * std::fmin(255.0, 220 * shade + texture));
      rgb[i * 3 + 1] = static_cast<unsigned char>(coverage * std::fmin(255.0, 150 * shade + texture));
      rgb[i * 3 + 2] = static_cast<unsigned char>(coverage * std::fmin(255.0, 90 + 60 * shade));
    }
  }
}

Bytes compress(const unsigned char* pixels, int size, int format, int subsampling) {
  tjhandle handle = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long length = 0;
  tjCompress2(handle, pixels, size, 0, size, format, &jpeg, &length, subsampling, 90, 0);
  Bytes bytes(jpeg, jpeg + length);
  tjFree(jpeg);
  tjDestroy(handle);
  return bytes;
}

JpegPair make_pair(int size) {
  std::vector<unsigned char> rgb, grey;
  draw_character(size, rgb, grey);
  return {compress(rgb.data(), size, TJPF_RGB, TJSAMP_420), compress(grey.data(), size, TJPF_GRAY, TJSAMP_GRAY)};
}

// A "ks02" description of one full-area frame whose images are entries 2 and 3.
Bytes description(int size) {
  TestDescription d;
  d.canvas_width = d.canvas_height = size;
  d.rects = {-1.0f, 1.0f, 1.0f, -1.0f};
  d.color_names = {"2"};
  d.alpha_names = {"3"};
  return description_bytes(d);
}

LRESULT PLATFORM_CALLBACK window_procedure(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  return platform_default_window_procedure(window, message, wparam, lparam);
}

// One player per size, each on its own package; the headless backend holds one window for all.
struct Subject {
  PackFile pack;
  AnimationPlayer player;
  JpegPair jpegs;
};

bool set_up(Subject& subject, int size, WindowHandle window, const std::string& path) {
  subject.jpegs = make_pair(size);
  PackBuilder builder;
  add_entry(builder, 1, description(size));
  add_entry(builder, 2, subject.jpegs.colour);
  add_entry(builder, 3, subject.jpegs.alpha);
  if (!write_package(builder, "pck01", path.c_str()) || !open(subject.pack, path.c_str())) return false;
  player_init(subject.player);
  subject.player.window = window;
  load_from_package(subject.player, &subject.pack, 1);
  return frame_count(subject.player) == 1 && draw_frame(subject.player, 0) == FRAME_DRAWN;
}

void present(benchmark::State& state, AnimationPlayer* player) {
  int64_t presents = 0;
  for (auto _ : state) {
    present_frame(*player);
    benchmark::ClobberMemory();
    if (++presents % 256 == 0) headless_clear_calls();  // the call log would grow without end
  }
}

void draw(benchmark::State& state, AnimationPlayer* player) {
  for (auto _ : state) {
    FrameResult result = draw_frame(*player, 0);
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
}

// The merge as anyone would write it first.
void plain_merge(const unsigned char* rgb, const unsigned char* grey, int size, unsigned char* bgra) {
  for (int i = 0; i < size * size; ++i) {
    bgra[i * 4 + 0] = rgb[i * 3 + 2];
    bgra[i * 4 + 1] = rgb[i * 3 + 1];
    bgra[i * 4 + 2] = rgb[i * 3 + 0];
    bgra[i * 4 + 3] = grey[i];
  }
}

// libjpeg-turbo's own decode of both JPEGs into buffers made once, then the plain merge.
void reference(benchmark::State& state, const JpegPair* jpegs, int size) {
  tjhandle handle = tjInitDecompress();
  std::vector<unsigned char> rgb(static_cast<size_t>(size) * size * 3), grey(static_cast<size_t>(size) * size),
      bgra(static_cast<size_t>(size) * size * 4);
  for (auto _ : state) {
    tjDecompress2(handle, jpegs->colour.data(), jpegs->colour.size(), rgb.data(), size, 0, size, TJPF_RGB, 0);
    tjDecompress2(handle, jpegs->alpha.data(), jpegs->alpha.size(), grey.data(), size, 0, size, TJPF_GRAY, 0);
    plain_merge(rgb.data(), grey.data(), size, bgra.data());
    benchmark::ClobberMemory();
  }
  tjDestroy(handle);
}

// The two decoders must agree on the picture (orientation and channel order included) for the
// comparison to mean anything.
int largest_difference(const AnimationPlayer& player, const JpegPair& jpegs, int size) {
  tjhandle handle = tjInitDecompress();
  std::vector<unsigned char> rgb(static_cast<size_t>(size) * size * 3), grey(static_cast<size_t>(size) * size),
      bgra(static_cast<size_t>(size) * size * 4);
  tjDecompress2(handle, jpegs.colour.data(), jpegs.colour.size(), rgb.data(), size, 0, size, TJPF_RGB, 0);
  tjDecompress2(handle, jpegs.alpha.data(), jpegs.alpha.size(), grey.data(), size, 0, size, TJPF_GRAY, 0);
  tjDestroy(handle);
  plain_merge(rgb.data(), grey.data(), size, bgra.data());
  int largest = 0;
  for (size_t i = 0; i < bgra.size(); ++i) largest = std::max(largest, std::abs(bgra[i] - player.pixels[i]));
  return largest;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  animation_library_init();
  headless_reset();
  platform_register_class(nullptr, "VelissaDeskClass", CS_DBLCLKS, window_procedure);
  WindowHandle window = platform_create_window_ex(WS_EX_LAYERED | WS_EX_TOPMOST, "VelissaDeskClass", "VelissaDesk",
                                                  WS_POPUP, 0, 0, 544, 375, nullptr, nullptr);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("velissa-bench-" + std::to_string(static_cast<long>(getpid())));
  std::filesystem::create_directories(dir);

  const int sizes[] = {256, 512};
  std::unique_ptr<Subject> subjects[2];
  for (int i = 0; i < 2; ++i) {
    const int size = sizes[i];
    subjects[i].reset(new Subject);
    Subject& subject = *subjects[i];
    if (!set_up(subject, size, window, (dir / (std::to_string(size) + ".dat")).string())) {
      std::fprintf(stderr, "cannot set up the %d x %d frame\n", size, size);
      return 1;
    }
    std::fprintf(stderr, "%d x %d: colour %zu bytes, alpha %zu bytes, decoders differ by at most %d\n", size, size,
                 subject.jpegs.colour.size(), subject.jpegs.alpha.size(),
                 largest_difference(subject.player, subject.jpegs, size));
    const std::string suffix = "/" + std::to_string(size);
    benchmark::RegisterBenchmark(("present" + suffix).c_str(), present, &subject.player)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("draw" + suffix).c_str(), draw, &subject.player)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("reference" + suffix).c_str(), reference, &subject.jpegs, size)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (auto& subject : subjects) player_destroy(subject->player);
  animation_library_shutdown();
  std::filesystem::remove_all(dir);
  return 0;
}
