// The installer as a process that the machine treats badly: killed in the middle of a copy, held to a
// memory limit while it reads bombs, and run twice at once on one folder (install_driver).
#ifndef _WIN32
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/installer.h"
#include "platform/headless/headless.h"
#include "support/bytes.h"
#include "support/temp_dir.h"
#include "support/test_archives.h"

namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Starts the driver on base and files; with limit_mb, allocations past it fail (an address-space limit,
// or, under AddressSanitizer, which needs the whole address space, its largest allocation).
pid_t start_driver(const std::string& base, const std::vector<std::string>& files, int limit_mb, int* out_fd) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipe_fds[1], 1);
    close(pipe_fds[0]);
    std::string options = "allocator_may_return_null=1:quarantine_size_mb=0:detect_leaks=0";
    if (limit_mb > 0) options += ":max_allocation_size_mb=" + std::to_string(limit_mb);
    setenv("ASAN_OPTIONS", options.c_str(), 1);
    if (limit_mb > 0 && !kSanitized) {
      const rlimit limit{rlim_t(limit_mb) << 20, rlim_t(limit_mb) << 20};
      setrlimit(RLIMIT_AS, &limit);
    }
    std::vector<char*> argv{const_cast<char*>(INSTALL_DRIVER), const_cast<char*>(base.c_str())};
    for (const std::string& file : files) argv.push_back(const_cast<char*>(file.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  *out_fd = pipe_fds[0];
  return pid;
}

struct DriverRun {
  int status = -1;
  std::string output;
};

DriverRun run_driver(const std::string& base, const std::vector<std::string>& files, int limit_mb = 0) {
  DriverRun run;
  int fd = -1;
  const pid_t pid = start_driver(base, files, limit_mb, &fd);
  if (pid < 0) return run;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) run.output.append(buffer, static_cast<size_t>(n));
  close(fd);
  waitpid(pid, &run.status, 0);
  return run;
}

// A zlib stream of the pieces, each repeated as often as given, made without holding the whole body.
Bytes zlib_of(const std::vector<std::pair<Bytes, size_t>>& pieces) {
  z_stream stream{};
  deflateInit(&stream, Z_BEST_SPEED);
  Bytes out;
  unsigned char buffer[65536];
  auto pump = [&](const Bytes& in, int flush) {
    stream.next_in = const_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(in.size());
    do {
      stream.next_out = buffer;
      stream.avail_out = sizeof buffer;
      deflate(&stream, flush);
      out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
    } while (stream.avail_out == 0);
  };
  for (const auto& piece : pieces)
    for (size_t i = 0; i < piece.second; ++i) pump(piece.first, Z_NO_FLUSH);
  pump(Bytes(), Z_FINISH);
  deflateEnd(&stream);
  return out;
}

Bytes compressed_package(uint32_t claimed, const Bytes& stored) { return le32(6) + str("pck01z") + le32(static_cast<int32_t>(claimed)) + stored; }

class InstallProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    headless_reset();
    fs::create_directories(base / "anim");
  }
  std::set<std::string> anim_files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(base / "anim")) names.insert(entry.path().filename().string());
    return names;
  }
  TempDir dir;
  fs::path base = dir.path() / "base";
  std::string base_text = base.string();
};

// Killed by a signal in the middle of a copy: anim/ holds no partial package, the next start removes what
// the copy left, and the same file then installs.
TEST_F(InstallProcess, AKillInMidCopyLeavesNoBrokenPackage) {
  const Bytes package = package_with_entry(catalogue_text("c.1.", "Big", "0,0"), size_t{24} << 20);
  const std::string source = dir.file("big.dat");
  write_bytes(source, package);
  int fd = -1;
  const pid_t pid = start_driver(base_text, {source}, 0, &fd);
  ASSERT_GT(pid, 0);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (anim_files().empty() && std::chrono::steady_clock::now() < give_up) std::this_thread::sleep_for(std::chrono::microseconds(200));
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  close(fd);
  ASSERT_TRUE(WIFSIGNALED(status));

  auto packages_are_whole = [&] {
    for (const std::string& name : anim_files()) {
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dat") == 0) {
        EXPECT_EQ(fs::file_size(base / "anim" / name), package.size()) << name;
      }
    }
  };
  packages_are_whole();
  remove_install_leftovers(base_text.c_str());
  packages_are_whole();
  if (anim_files().empty()) {
    char name[kInstallNameSize] = "";
    const InstallContext context{base_text.c_str(), nullptr};
    EXPECT_EQ(install_file(context, source.c_str(), name), 1);
  }
  EXPECT_EQ(anim_files(), std::set<std::string>{"big.dat"});
  EXPECT_EQ(read_bytes((base / "anim" / "big.dat").string()), package);
}

// Bombs cost what their data proves, never what they claim, and a limit turns into a refusal, never an
// abort. The peak resident memory of each run is printed for the record.
TEST_F(InstallProcess, BombsAreRefusedWithinTheirMemory) {
  Bytes garbage(1100 * 1024);
  uint32_t seed = 12345;
  for (unsigned char& byte : garbage) byte = static_cast<unsigned char>((seed = seed * 1103515245u + 12345u) >> 24);

  // A real body of 300 MiB (a valid package's lists, then zeros in one entry).
  PackBuilder valid;
  const std::string entry = catalogue_text("c.1.", "Bomb", "0,0");
  add_entry(valid, 0, entry.data(), static_cast<int32_t>(entry.size()));
  add_row(valid, 9, static_cast<int32_t>(valid.data.size()), 300 << 20);
  const Bytes head = encode_body(valid);
  const Bytes zeros(1 << 20, 0);

  // Ten million rows, each one valid (offset 0, size 0): 160 MB of lists from a small file.
  const int32_t rows = 10000000;
  const Bytes list_zeros(4000000, 0);  // a tenth of a list's values

  const struct {
    const char* title;
    Bytes file;
    int limit_mb;
    long peak_kib;
  } bombs[] = {
      {"garbage.dat", compressed_package(1u << 30, garbage), 0, 100 * 1024},
      {"valid.dat", compressed_package(static_cast<uint32_t>(head.size()) + (300u << 20), zlib_of({{head, 1}, {zeros, 300}})), 400, 0},
      {"rows.dat", compressed_package(16u + 16u * static_cast<uint32_t>(rows),
                                      zlib_of({{le32(rows), 1}, {list_zeros, 10}, {le32(rows), 1}, {list_zeros, 10},
                                               {le32(rows), 1}, {list_zeros, 10}, {le32(rows), 1}, {list_zeros, 10}})),
       300, 0},
  };
  for (const auto& bomb : bombs) {
    const std::string path = dir.file(bomb.title);
    write_bytes(path, bomb.file);
    const DriverRun run = run_driver(base_text, {path}, bomb.limit_mb);
    ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << bomb.title << "\n" << run.output;
    EXPECT_NE(run.output.find("installed 0\nbox: Animation file \"" + std::string(bomb.title) + "\" is Corrupted"), std::string::npos)
        << run.output;
    const size_t peak_at = run.output.find("peak ");
    ASSERT_NE(peak_at, std::string::npos);
    const long peak = std::atol(run.output.c_str() + peak_at + 5);
    std::printf("%s (%zu bytes): peak resident memory %ld KiB%s\n", bomb.title, bomb.file.size(), peak,
                kSanitized ? " (AddressSanitizer build)" : "");
    if (bomb.peak_kib > 0) {
      EXPECT_LT(peak, bomb.peak_kib) << bomb.title;
    }
  }
  EXPECT_TRUE(anim_files().empty());
}

// A second instance unpacking into the same base while the first is inside a message box leaves the
// first one's folder alone: both install all they hold.
TEST_F(InstallProcess, TwoInstancesOnOneFolderKeepToTheirOwnUnpacking) {
  const std::string first = dir.file("first.kar");
  write_bytes(first, test_archive({{"bad.dat", str("no package")}, {"x.dat", test_package("X")}, {"y.dat", test_package("Y")}}));
  const std::string second = dir.file("second.kar");
  write_bytes(second, test_archive({{"p.dat", test_package("P")}, {"q.dat", test_package("Q")}}));
  DriverRun other;
  headless_set_modal_hook([&](const char*) {
    headless_set_modal_hook(nullptr);
    other = run_driver(base_text, {second});
  });
  char name[kInstallNameSize] = "";
  const InstallContext context{base_text.c_str(), nullptr};
  EXPECT_EQ(install_file(context, first.c_str(), name), 2);
  EXPECT_NE(other.output.find("installed 2\n"), std::string::npos) << other.output;
  EXPECT_EQ(anim_files(), (std::set<std::string>{"p.dat", "q.dat", "x.dat", "y.dat"}));
  EXPECT_FALSE(fs::exists(base / "tmp"));
}

}  // namespace
#endif  // not _WIN32
