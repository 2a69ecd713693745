// The program's entry: the shell does everything; the command line and show state are not used.
#include "shell/shell_state.h"

#ifdef _WIN32
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return shell_main(instance); }
#else
int main() { return shell_main(nullptr); }
#endif
