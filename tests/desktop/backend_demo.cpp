// A small program on the platform layer alone, for the desktop tests of a real backend: it sets up the
// two windows as start-up does, shows a known picture at the bottom-right of the work area, puts up the
// tray icon, registers Ctrl+F1, and logs every message its window procedure receives, one a line.
//
// Commands come on standard input, one a line, and are carried out between loop passes:
//   close            post WM_CLOSE to the owner window
//   opacity N        show the picture again at constant opacity N
//   hide | show      hide or show the character window
//   move X Y         move the character window's top-left corner to (X, Y)
//   menu X Y [tray]  the pop-up menu at (X, Y): top-left there, or with "tray" bottom-right there
//   box TEXT         an information box "Velissa" with TEXT; its answer is logged when it closes
// As the program does, a right-button release on the character opens the menu at the click, and the
// left button drags the character (logged as "moved X Y" on release).
//
// "backend_demo --probe-hot-key" only tries to register Ctrl+F1 and says whether it could.
#include <poll.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

const int32_t kWidth = 200;
const int32_t kHeight = 150;

struct Demo {
  WindowHandle owner = nullptr;
  WindowHandle character = nullptr;
  MenuHandle menu = nullptr;
  DeviceContext dc = nullptr;
  uint8_t* pixels = nullptr;  // the picture's surface
  PlatformPoint position{0, 0};  // the character window's top-left corner
  bool dragging = false;
  PlatformPoint last_cursor{0, 0};
  std::string input;  // standard input not yet taken as whole lines
};

Demo demo;

const char* window_name(WindowHandle window) {
  if (window == demo.owner) return "owner";
  if (window == demo.character) return "character";
  return "other";
}

const char* message_name(uint32_t message) {
  switch (message) {
    case WM_DESTROY: return "WM_DESTROY";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_MOUSEMOVE: return "WM_MOUSEMOVE";
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP: return "WM_LBUTTONUP";
    case WM_LBUTTONDBLCLK: return "WM_LBUTTONDBLCLK";
    case WM_RBUTTONDOWN: return "WM_RBUTTONDOWN";
    case WM_RBUTTONUP: return "WM_RBUTTONUP";
    case WM_RBUTTONDBLCLK: return "WM_RBUTTONDBLCLK";
    case WM_DROPFILES: return "WM_DROPFILES";
    case WM_HOTKEY: return "WM_HOTKEY";
    case TRAY_CALLBACK_MESSAGE: return "TRAY_CALLBACK";
    default: return "other";
  }
}

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vprintf(format, arguments);
  va_end(arguments);
  putchar('\n');
  fflush(stdout);  // the test reads the log while the program runs
}

// A 200 x 150 picture, premultiplied: an opaque orange body, a fully transparent hole in the middle
// and a 10-pixel half-transparent white edge.
void draw_picture(uint8_t* pixels) {
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      uint8_t* p = pixels + (static_cast<size_t>(y) * kWidth + x) * 4;
      const bool edge = x < 10 || y < 10 || x >= kWidth - 10 || y >= kHeight - 10;
      const bool hole = x >= 80 && x < 120 && y >= 55 && y < 95;
      const uint8_t orange[4] = {40, 200, 230, 255};
      const uint8_t half_white[4] = {128, 128, 128, 128};
      const uint8_t clear[4] = {0, 0, 0, 0};
      memcpy(p, hole ? clear : edge ? half_white : orange, 4);
    }
  }
}

void present(uint8_t opacity) {
  if (!platform_update_layered_window(demo.character, kWidth, kHeight, demo.dc, opacity, AC_SRC_ALPHA,
                                      ULW_ALPHA))
    say("present failed %u", platform_get_last_error());
}

void move_character(int32_t x, int32_t y) {
  demo.position = PlatformPoint{x, y};
  platform_set_window_pos(demo.character, nullptr, x, y, 0, 0, SWP_NOSIZE);
}

PlatformPoint screen_point(WindowHandle window, LPARAM lparam) {
  PlatformPoint point{platform_lparam_x(lparam), platform_lparam_y(lparam)};
  platform_client_to_screen(window, &point);
  return point;
}

void track_menu(int32_t x, int32_t y, uint32_t flags, WindowHandle owner) {
  say("menu open %d %d", x, y);
  platform_track_popup_menu(demo.menu, flags, x, y, owner);
  say("menu closed");
}

LRESULT PLATFORM_CALLBACK procedure(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  say("msg %s %s %ju %d %d", window_name(window), message_name(message), static_cast<uintmax_t>(wparam),
      platform_lparam_x(lparam), platform_lparam_y(lparam));
  switch (message) {
    case WM_DESTROY:
      if (window == demo.owner) platform_post_quit_message(0);
      return 0;
    case WM_RBUTTONUP: {
      const PlatformPoint point = screen_point(window, lparam);
      track_menu(point.x, point.y, 0, window);
      return 0;
    }
    case WM_LBUTTONDOWN:
      platform_set_capture(window);
      demo.dragging = true;
      demo.last_cursor = screen_point(window, lparam);
      return 0;
    case WM_MOUSEMOVE:
      if (demo.dragging) {
        const PlatformPoint point = screen_point(window, lparam);
        move_character(demo.position.x + point.x - demo.last_cursor.x,
                       demo.position.y + point.y - demo.last_cursor.y);
        demo.last_cursor = point;
      }
      return 0;
    case WM_LBUTTONUP:
      if (demo.dragging) say("moved %d %d", demo.position.x, demo.position.y);
      demo.dragging = false;
      platform_release_capture();
      return 0;
    case WM_DROPFILES: {
      DropHandle drop = platform_drop_from_wparam(wparam);
      const uint32_t count = platform_drag_query_file(drop, DROP_QUERY_COUNT, nullptr, 0);
      for (uint32_t i = 0; i < count; ++i) {
        char path[MAX_PATH];
        if (platform_drag_query_file(drop, i, path, sizeof path) > 0) say("drop %s", path);
      }
      platform_drag_finish(drop);
      return 0;
    }
    default: return platform_default_window_procedure(window, message, wparam, lparam);
  }
}

void run_command(const std::string& line) {
  int x = 0, y = 0, value = 0, opacity = 255;
  char word[16] = {};
  if (line == "close") {
    platform_post_message(demo.owner, WM_CLOSE, 0, 0);
  } else if (sscanf(line.c_str(), "opacity %d", &value) == 1) {
    present(static_cast<uint8_t>(value));
  } else if (sscanf(line.c_str(), "keep %d", &value) == 1) {
    platform_keep_layered_picture(demo.character, static_cast<uint64_t>(value));
  } else if (line == "blue") {
    // Another picture, opaque all over: no hole in its shape.
    for (size_t i = 0; i < size_t{kWidth} * kHeight; ++i) memcpy(demo.pixels + 4 * i, "\xC8\x28\x28\xFF", 4);
    present(255);
  } else if (sscanf(line.c_str(), "show kept %d %d", &value, &opacity) >= 1) {
    // As the program does: the picture goes through the surface where the window does not keep it.
    draw_picture(demo.pixels);
    const bool kept = platform_show_kept_picture(demo.character, static_cast<uint64_t>(value), kWidth, kHeight,
                                                 static_cast<uint8_t>(opacity));
    if (!kept) present(static_cast<uint8_t>(opacity));
    say("shown kept %d", kept ? 1 : 0);
  } else if (line == "hide" || line == "show") {
    platform_show_window(demo.character, line == "hide" ? SW_HIDE : SW_SHOW);
  } else if (sscanf(line.c_str(), "move %d %d", &x, &y) == 2) {
    move_character(x, y);
  } else if (sscanf(line.c_str(), "menu %d %d %15s", &x, &y, word) >= 2) {
    const bool tray = strcmp(word, "tray") == 0;
    track_menu(x, y, tray ? TPM_RIGHTALIGN | TPM_BOTTOMALIGN : 0, tray ? demo.owner : demo.character);
  } else if (line.compare(0, 4, "box ") == 0) {
    const int32_t answer = platform_message_box(nullptr, line.c_str() + 4, "Velissa", MB_ICONINFORMATION);
    say("box answer %d", answer);
  } else {
    say("unknown command %s", line.c_str());
  }
}

// Carries out the whole lines that wait on standard input, without blocking.
void read_commands() {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  while (poll(&input, 1, 0) == 1 && (input.revents & POLLIN)) {
    char chunk[256];
    const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
    if (got <= 0) return;
    demo.input.append(chunk, static_cast<size_t>(got));
  }
  size_t end;
  while ((end = demo.input.find('\n')) != std::string::npos) {
    const std::string line = demo.input.substr(0, end);
    demo.input.erase(0, end + 1);
    run_command(line);
  }
}

int probe_hot_key() {
  if (!platform_register_class(nullptr, "VelissaDeskClass", CS_DBLCLKS, procedure)) return 1;
  demo.owner = platform_create_window_ex(0, "VelissaDeskClass", "VelissaDesk", WS_POPUP, CW_USEDEFAULT,
                                         CW_USEDEFAULT, 544, 375, nullptr, nullptr);
  if (demo.owner == nullptr) return 1;
  if (platform_register_hot_key(demo.owner, 0, MOD_CONTROL, VK_F1))
    say("hot key registered");
  else
    say("hot key refused %u", platform_get_last_error());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "--probe-hot-key") == 0) return probe_hot_key();

  if (!platform_register_class(nullptr, "VelissaDeskClass", CS_DBLCLKS, procedure)) return 1;
  demo.owner = platform_create_window_ex(0, "VelissaDeskClass", "VelissaDesk", WS_POPUP, CW_USEDEFAULT,
                                         CW_USEDEFAULT, 544, 375, nullptr, nullptr);
  if (demo.owner == nullptr) {
    say("no window: %u", platform_get_last_error());
    return 1;
  }
  platform_show_window(demo.owner, SW_HIDE);
  demo.character = platform_create_window_ex(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
                                             "VelissaDeskClass", "VelissaDesk", WS_POPUP, CW_USEDEFAULT,
                                             CW_USEDEFAULT, 544, 375, demo.owner, nullptr);
  if (demo.character == nullptr) return 1;

  demo.menu = platform_create_popup_menu();
  platform_append_menu(demo.menu, MF_STRING, 3, "First");
  platform_append_menu(demo.menu, MF_STRING, 4, "Second");
  platform_append_menu(demo.menu, MF_SEPARATOR, 0, nullptr);
  platform_append_menu(demo.menu, MF_STRING, 5, "Caf\xE9 (Windows-1252)");
  platform_check_menu_radio_item(demo.menu, 3, 4, 4, MF_BYCOMMAND);

  IconHandle icon = platform_load_icon(nullptr, APP_ICON_RESOURCE_ID, 16, 16);
  TrayIconData tray{demo.owner, 101, NIF_MESSAGE | NIF_ICON | NIF_TIP, TRAY_CALLBACK_MESSAGE,
                    icon,       "VelissaDesk", demo.menu};
  platform_notify_icon(NIM_ADD, &tray);

  demo.dc = platform_create_compatible_dc(nullptr);
  uint8_t* pixels = nullptr;
  BitmapHandle bitmap = platform_create_dib_section(demo.dc, kWidth, kHeight, &pixels);
  GdiObject stock = platform_select_object(demo.dc, bitmap);
  demo.pixels = pixels;
  draw_picture(pixels);

  PlatformRect area{};
  platform_get_work_area(&area);
  const int32_t x = area.right - kWidth, y = area.bottom - kHeight;
  demo.position = PlatformPoint{x, y};
  platform_set_window_pos(demo.character, nullptr, x, y, kWidth, kHeight, SWP_NOZORDER | SWP_NOOWNERZORDER);
  present(255);
  platform_show_window(demo.character, SW_SHOW);
  platform_drag_accept_files(demo.character, true);
  const bool hot_key = platform_register_hot_key(demo.owner, 0, MOD_CONTROL, VK_F1);
  say("ready %d %d %d %d hot_key=%d", x, y, kWidth, kHeight, hot_key ? 1 : 0);

  // The program's loop: pump, dispatch until the queue is empty, sleep 1 ms, stop after WM_QUIT.
  int32_t exit_code = 0;
  bool quit = false;
  while (!quit) {
    read_commands();
    PlatformMessage message;
    while (platform_peek_message(&message, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        exit_code = static_cast<int32_t>(message.wparam);
      }
      platform_translate_message(&message);
      platform_dispatch_message(&message);
    }
    platform_sleep(1);
  }
  say("quit %d", exit_code);

  platform_unregister_hot_key(demo.owner, 0);
  platform_notify_icon(NIM_DELETE, &tray);
  platform_destroy_icon(icon);
  platform_destroy_menu(demo.menu);
  platform_select_object(demo.dc, stock);
  platform_delete_object(bitmap);
  platform_delete_dc(demo.dc);
  return exit_code;
}
