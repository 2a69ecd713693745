// CPU time of the whole program's main loop over 10 seconds of wall time, on the headless backend with
// the machine's clock and real waits: playing a 256 x 256 animation at 10 frames a second, and with the
// character hidden. Reported as cpu_percent, the percent of one core (getrusage), the baseline for the
// desktop backends, beside the loop's wake-ups and the frames it presented per second.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/headless/headless.h"
#include "shell/shell_state.h"
#include "support/test_packages.h"

namespace {

constexpr auto kWallTime = std::chrono::seconds(10);

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Ten frames in distinct colours, a soft disc of alpha in each.
TestAnimation ten_frames_a_second() {
  TestAnimation animation;
  animation.name = "Bench";
  animation.x = -50;
  animation.y = -50;
  animation.frame_duration = 0.1;
  animation.canvas_width = animation.canvas_height = 256;
  for (int i = 0; i < 10; ++i) {
    TestFrame frame;
    frame.width = frame.height = 256;
    frame.red = static_cast<uint8_t>(20 * i);
    frame.green = 120;
    frame.blue = static_cast<uint8_t>(200 - 15 * i);
    frame.alpha = 220;
    animation.frames.push_back(frame);
  }
  return animation;
}

void main_loop(benchmark::State& state, bool hidden) {
  const std::filesystem::path saved_directory = std::filesystem::current_path();
  const std::filesystem::path base =
      std::filesystem::temp_directory_path() / ("velissa-main-loop-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(base / "anim");
  write_test_package((base / "anim" / "bench.dat").string(), ten_frames_a_second());

  headless_reset();
  headless_set_clock_mode(HEADLESS_CLOCK_REAL);
  headless_set_install_path(base.c_str());
  if (!shell_start_up(nullptr)) state.SkipWithError("start-up failed");
  MainLoop loop;
  if (hidden) {
    headless_press_hot_key(MOD_CONTROL, VK_F1);
    main_loop_pass(loop);
  }
  for (auto _ : state) {
    const double cpu_before = cpu_seconds();
    const uint64_t waits_before = headless_counters().waits;
    const size_t presents_before = headless_calls_named("update_layered_window").size();
    const auto start = std::chrono::steady_clock::now();
    // The loop ends when its wait reaches this moment: hidden, nothing else would wake it.
    bool done = false;
    const auto wall_ms = static_cast<uint32_t>(std::chrono::milliseconds(kWallTime).count());
    headless_at(platform_time_ms() + wall_ms, [&done] { done = true; });
    while (!done) main_loop_pass(loop);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["cpu_percent"] = 100.0 * (cpu_seconds() - cpu_before) / wall;
    state.counters["wakeups_per_second"] = (headless_counters().waits - waits_before) / wall;
    state.counters["presents_per_second"] =
        (headless_calls_named("update_layered_window").size() - presents_before) / wall;
  }

  shell_tear_down(true, 0);
  release_program_objects();
  std::filesystem::current_path(saved_directory);
  std::filesystem::remove_all(base);
}

}  // namespace

BENCHMARK_CAPTURE(main_loop, playing, false)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(main_loop, hidden, true)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
