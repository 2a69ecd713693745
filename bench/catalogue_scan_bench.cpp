// The catalogue scan of 100 packages of 1 MiB each, against the sum of their opens measured in the same
// run: the scan's own work (directory search, catalogue lines, rows) should add little to the opens.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "package/pack_file.h"
#include "package/pack_writer.h"
#include "platform/headless/headless.h"

namespace {

constexpr int kPackages = 100;
constexpr size_t kPackageBytes = 1u << 20;

// Frame-like bytes that do not compress, behind a catalogue entry.
bool write_packages(const std::filesystem::path& dir, std::vector<std::string>& names) {
  uint32_t state = 0x9E3779B9u;
  std::vector<unsigned char> frames(kPackageBytes - 256);
  for (int i = 0; i < kPackages; ++i) {
    for (unsigned char& byte : frames) {
      state = state * 1664525u + 1013904223u;
      byte = static_cast<unsigned char>(state >> 24);
    }
    const std::string entry = "c.1.\r\nbench\r\nAnimation " + std::to_string(i) + "\r\n-120,-300\r\n";
    PackBuilder builder;
    add_entry(builder, 0, entry.data(), static_cast<int32_t>(entry.size()));
    add_entry(builder, 1, frames.data(), static_cast<int32_t>(frames.size()));
    names.push_back("anim" + std::to_string(i) + ".dat");
    if (!write_package(builder, "pck01", (dir / names.back()).c_str())) return false;
  }
  return true;
}

void scan(benchmark::State& state) {
  auto catalogue = std::make_unique<Catalogue>();
  IntArray menu_ids;
  int32_t install_match = -1;
  for (auto _ : state) {
    scan_catalogue(*catalogue, menu_ids, "", install_match);
    benchmark::DoNotOptimize(catalogue->rows[0].package);
    state.PauseTiming();
    if (row_count(*catalogue) != kPackages) state.SkipWithError("packages missing from the catalogue");
    release_rows(*catalogue);
    headless_clear_calls();
    state.ResumeTiming();
  }
}

// Each package opened into a PackFile of its own and kept, as the rows keep them.
void opens(benchmark::State& state, std::vector<std::string> names) {
  std::vector<PackFile> packs(names.size());
  for (auto _ : state) {
    for (size_t i = 0; i < names.size(); ++i) benchmark::DoNotOptimize(open(packs[i], names[i].c_str()));
    state.PauseTiming();
    for (PackFile& pack : packs) release(pack);
    state.ResumeTiming();
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("velissa-scan-bench-" + std::to_string(static_cast<long>(getpid())));
  std::filesystem::create_directories(dir);
  std::vector<std::string> names;
  if (!write_packages(dir, names)) {
    std::fprintf(stderr, "cannot write the packages in %s\n", dir.c_str());
    return 1;
  }
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);  // the scan reads the current directory
  headless_reset();
  benchmark::RegisterBenchmark("scan/100x1MiB", scan)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("opens/100x1MiB", opens, names)->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(dir);
  return 0;
}
