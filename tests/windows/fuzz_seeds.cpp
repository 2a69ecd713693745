// Runs one fuzz target on every seed of a folder in the Windows build, where libFuzzer and the
// sanitizers do not exist: the frames decode through DevIL.dll. Each seed goes in as it is, cut in half,
// and with bytes of its second half damaged, so that truncated and broken images reach the decoder too.
// A crash ends the program and a hang runs into the test's time limit; no seed at all is a failure.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
    return 2;
  }
  std::vector<std::filesystem::path> seeds;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1], ec))
    if (entry.is_regular_file()) seeds.push_back(entry.path());
  std::sort(seeds.begin(), seeds.end());
  for (const auto& seed : seeds) {
    std::ifstream file(seed, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    // The name first: a crash then says which seed.
    std::printf("%s (%zu bytes)\n", seed.filename().string().c_str(), bytes.size());
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size() / 2);
    for (size_t i = bytes.size() / 2; i < bytes.size(); i += 13) bytes[i] ^= 0xA5;
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("%zu seeds from %s\n", seeds.size(), argv[1]);
  return seeds.empty() || ec ? 1 : 0;
}
