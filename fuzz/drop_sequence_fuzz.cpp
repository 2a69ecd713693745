// Fuzz target: the whole program on the headless backend, with drops, hot keys, menu commands and Exit
// arriving inside the message boxes of other drops, as the input orders them. Drops never nest: after
// each input the catalogue holds no file twice, the menu matches it, every drop was finished, a hidden
// character stays hidden, and the player shows from a row of the catalogue or nothing.
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <system_error>

#include "catalogue/archive_writer.h"
#include "fuzz_support.h"
#include "platform/headless/headless.h"
#include "shell/shell_state.h"
#include "shell/window_procedure.h"
#include "support/test_packages.h"

namespace fs = std::filesystem;

namespace {

// The input, read a byte at a time; zeros once it is used up.
struct Script {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t next() { return at < size ? data[at++] : 0; }
  bool done() const { return at >= size; }
};

std::vector<unsigned char> sample_package(const std::string& name) {
  TestAnimation animation;
  animation.name = name;
  animation.canvas_width = animation.canvas_height = 8;
  TestFrame frame;
  frame.width = frame.height = 8;
  animation.frames.push_back(frame);
  std::vector<unsigned char> bytes;
  encode_package(test_package(animation), "pck01", bytes);
  return bytes;
}

// A file to drop: a good package, an archive of two, a damaged package, or the input's own bytes.
std::string drop_file(Script& script, const fs::path& drops, int32_t serial) {
  const uint8_t kind = script.next();
  const std::string stem = (drops / ("d" + std::to_string(serial))).string();
  std::vector<unsigned char> bytes;
  std::string path = stem + ".dat";
  switch (kind % 4) {
    case 0: bytes = sample_package("P" + std::to_string(kind)); break;
    case 1:
      path = stem + ".kar";
      encode_archive({{"a" + std::to_string(serial) + ".dat", sample_package("A" + std::to_string(serial))},
                      {"b" + std::to_string(serial) + ".dat", sample_package("B" + std::to_string(kind))}},
                     bytes);
      break;
    case 2: bytes = sample_package("Cut"); bytes.resize(bytes.size() / 2); break;
    default: {
      const size_t length = script.next();
      for (size_t i = 0; i < length && !script.done(); ++i) bytes.push_back(script.next());
      if (kind & 4) path = stem + ".kar";
    }
  }
  write_input(path, bytes.data(), bytes.size());
  return path;
}

// What the script does: 0 drop, 1 hot key, 2 Exit, 3 an animation's menu item, 4 a pass of the loop.
void act(Script& script, uint8_t action, const fs::path& drops, int32_t& serial) {
  ShellState& shell = the_shell();
  switch (action % 5) {
    case 0: headless_drop_files(shell.character_window, {drop_file(script, drops, ++serial)}); break;
    case 1: headless_press_hot_key(MOD_CONTROL, VK_F1); break;
    case 2: headless_post_message(shell.owner_window, WM_COMMAND, static_cast<WPARAM>(shell.exit_id), 0); break;
    case 3:
      if (shell.menu_ids.count > 0)
        headless_post_message(shell.owner_window, WM_COMMAND,
                              static_cast<WPARAM>(shell.menu_ids.data[script.next() % shell.menu_ids.count]), 0);
      break;
    default: break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fs::path root = scratch_directory() / "program";
  static const fs::path drops = scratch_directory() / "drops";
  static const fs::path home = fs::current_path();
  std::error_code ignored;
  fs::current_path(home, ignored);
  fs::remove_all(root, ignored);
  fs::remove_all(drops, ignored);
  fs::create_directories(root / "anim");
  fs::create_directories(drops);
  static const std::vector<unsigned char> first = sample_package("First");
  write_input((root / "anim" / "first.dat").string(), first.data(), first.size());

  headless_reset();
  release_program_objects();
  headless_set_install_path(root.string().c_str());
  if (!shell_start_up(nullptr)) {
    shell_tear_down(false, 0);
    return 0;
  }
  Script script{data, size};
  int32_t serial = 0;
  // Each box lets the script act inside it, as a user would while it is open.
  headless_set_modal_hook([&](const char*) {
    const uint8_t inside = script.next();
    if (inside & 1) act(script, inside >> 1, drops, serial);
  });
  MainLoop loop;
  for (int32_t step = 0; step < 64 && !script.done() && !loop.quit; ++step) {
    act(script, script.next(), drops, serial);
    main_loop_pass(loop);
  }
  headless_set_modal_hook(nullptr);
  for (int32_t pass = 0; pass < 8 && !loop.quit; ++pass) main_loop_pass(loop);

  const Catalogue& catalogue = the_catalogue();
  const ShellState& shell = the_shell();
  for (int32_t i = 0; i < row_count(catalogue); ++i)
    for (int32_t j = i + 1; j < row_count(catalogue); ++j)
      FUZZ_CHECK(std::string(catalogue.file_names.data[i]) != catalogue.file_names.data[j]);
  FUZZ_CHECK(shell.menu_ids.count == row_count(catalogue));
  FUZZ_CHECK(!shell.installing && headless_live_objects().drops == 0);
  if (shell.hidden && !shell.closing) FUZZ_CHECK(!headless_window_info(shell.character_window).visible);
  const PackFile* shown = the_player().package;
  bool listed = shown == nullptr;
  for (int32_t i = 0; i < row_count(catalogue); ++i) listed = listed || catalogue.rows[i].package == shown;
  FUZZ_CHECK(listed);

  shell_tear_down(true, loop.exit_code);
  release_program_objects();
  fs::current_path(home, ignored);
  return 0;
}
