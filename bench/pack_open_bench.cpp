// Opening a package of about 16 MiB of decoded body under each flag combination, against references
// measured in the same run: reading the file plus memcpy of the body, and reading plus zlib's uncompress.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "package/pack_file.h"
#include "package/pack_writer.h"

namespace {

struct Xorshift {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  uint32_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<uint32_t>(state >> 32);
  }
};

// A JPEG-like image: a structured header, entropy-coded noise with byte stuffing, an end marker.
void add_image(std::vector<unsigned char>& out, Xorshift& random, size_t size, bool greyscale) {
  static const unsigned char kHeader[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  out.insert(out.end(), kHeader, kHeader + sizeof kHeader);
  for (int table = 0; table < 64 * 2; ++table) out.push_back(static_cast<unsigned char>(table * 3 / 2 + 1));
  size_t end = out.size() + size;
  while (out.size() < end) {
    unsigned char byte = static_cast<unsigned char>(random.next());
    if (greyscale && (random.next() & 3) == 0) byte &= 0x0F;  // alpha masks code fewer distinct values
    out.push_back(byte);
    if (byte == 0xFF) out.push_back(0);
  }
  out.push_back(0xFF);
  out.push_back(0xD9);
}

// About 16 MiB of frames: colour and alpha images in pairs, with the occasional long flat run
// (blank alpha masks, padding) that compresses well.
PackBuilder realistic_package() {
  PackBuilder builder;
  Xorshift random;
  std::vector<unsigned char> image;
  const size_t target = 16u << 20;
  std::string description(4096, 'd');
  add_entry(builder, 0, "c.1.\r\n\r\nBench\r\n0,0\r\n", 22);
  add_entry(builder, 1, description.data(), static_cast<int32_t>(description.size()));
  for (int32_t id = 2; builder.data.size() < target; ++id) {
    image.clear();
    bool alpha = id % 2 == 1;
    if (alpha && id % 10 == 1) {
      image.assign(20000 + random.next() % 20000, 0x00);
    } else {
      add_image(image, random, alpha ? 15000 + random.next() % 20000 : 60000 + random.next() % 50000, alpha);
    }
    add_entry(builder, id, image.data(), static_cast<int32_t>(image.size()));
  }
  return builder;
}

std::vector<unsigned char> read_whole(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  std::fseek(file, 0, SEEK_END);
  long length = std::ftell(file);
  std::fseek(file, 0, SEEK_SET);
  std::vector<unsigned char> bytes(static_cast<size_t>(length));
  size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  bytes.resize(got);
  return bytes;
}

// Reads the whole file into a block that is already there, as a lower bound on reading it.
size_t read_into(const std::string& path, std::vector<unsigned char>& block) {
  FILE* file = std::fopen(path.c_str(), "rb");
  std::fseek(file, 0, SEEK_END);
  auto length = static_cast<size_t>(std::ftell(file));
  std::fseek(file, 0, SEEK_SET);
  length = std::fread(block.data(), 1, length, file);
  std::fclose(file);
  return length;
}

void open_package(benchmark::State& state, std::string path) {
  PackFile pack;
  for (auto _ : state) {
    bool opened = open(pack, path.c_str());
    benchmark::DoNotOptimize(opened);
    benchmark::DoNotOptimize(pack.data);
    release(pack);
  }
}

// The references work in blocks allocated (and touched) once, outside the timing.
void read_and_copy(benchmark::State& state, std::string path) {
  std::vector<unsigned char> file = read_whole(path), body(file.size());
  for (auto _ : state) {
    size_t length = read_into(path, file);
    std::memcpy(body.data(), file.data(), length);
    benchmark::DoNotOptimize(body.data());
    benchmark::ClobberMemory();
  }
}

void read_and_uncompress(benchmark::State& state, std::string path, size_t header, size_t body_size) {
  std::vector<unsigned char> file = read_whole(path), body(body_size);
  for (auto _ : state) {
    size_t length = read_into(path, file);
    uLongf produced = body_size;
    int result = uncompress(body.data(), &produced, file.data() + header, length - header);
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("velissa-bench-" + std::to_string(static_cast<long>(getpid())));
  std::filesystem::create_directories(dir);
  PackBuilder builder = realistic_package();
  size_t body_size = encode_body(builder).size();
  std::fprintf(stderr, "decoded body: %zu bytes\n", body_size);

  for (const char* flags : {"plain", "z", "s", "zs"}) {
    std::string tag = std::string("pck01") + (std::strcmp(flags, "plain") == 0 ? "" : flags);
    std::string path = (dir / (std::string(flags) + ".dat")).string();
    if (!write_package(builder, tag.c_str(), path.c_str())) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    size_t header = 4 + tag.size() + (tag.find('z') != std::string::npos ? 4 : 0);
    std::fprintf(stderr, "%s: %zu bytes stored\n", flags, read_whole(path).size() - header);
    benchmark::RegisterBenchmark((std::string("open/") + flags).c_str(), open_package, path)->Unit(benchmark::kMillisecond);
    if (tag.find('z') != std::string::npos) {
      benchmark::RegisterBenchmark((std::string("read+uncompress/") + flags).c_str(), read_and_uncompress, path, header,
                                   body_size)
          ->Unit(benchmark::kMillisecond);
    } else {
      benchmark::RegisterBenchmark((std::string("read+memcpy/") + flags).c_str(), read_and_copy, path)
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(dir);
  return 0;
}
