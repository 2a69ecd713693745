// The program's entry: the shell does everything. The one option, "--toggle", hides or shows the
// running copy's character as Ctrl+F1 does (for desktops that bind keys to commands); the show state
// is not used.
#include <cstring>

#include "shell/shell_state.h"

#ifdef _WIN32
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  return shell_main(instance, command_line_asks_toggle(command_line) ? HAND_OVER_TOGGLE : HAND_OVER_SHOW);
}
#else
int main(int argc, char** argv) {
  HandOverRequest request = HAND_OVER_SHOW;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--toggle") == 0) request = HAND_OVER_TOGGLE;
  }
  return shell_main(nullptr, request);
}
#endif
