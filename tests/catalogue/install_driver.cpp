// The installer in a process of its own, for tests that kill it mid-copy or hold it to a memory limit.
// Usage: install_driver BASE FILE...: installs each file as a drop would (every box answered at once),
// then prints "installed N" per file, "box: TEXT" per message box and "peak KIB" (peak resident memory).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "animation/animation_player.h"
#include "catalogue/installer.h"
#include "platform/headless/headless.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  headless_reset();
  animation_library_init();
  const InstallContext context{argv[1], nullptr};
  for (int i = 2; i < argc; ++i) {
    char name[kInstallNameSize] = "";
    std::printf("installed %d\n", static_cast<int>(install_file(context, argv[i], name)));
  }
  for (const HeadlessMessageBox& box : headless_message_boxes()) std::printf("box: %s\n", box.text.c_str());
  // This process's own peak (getrusage would count what the parent held when it forked).
  char line[256];
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    while (std::fgets(line, sizeof line, status) != nullptr)
      if (std::strncmp(line, "VmHWM:", 6) == 0) std::printf("peak %ld\n", std::strtol(line + 6, nullptr, 10));
    std::fclose(status);
  }
  animation_library_shutdown();
  return 0;
}
