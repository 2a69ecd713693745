// The shell on the win32 backend, under Wine: what only the real services show. With Ctrl+F1 held by
// another program the user is warned and hiding keeps the tray icon; the tray's "TaskbarCreated"
// broadcast brings the icon back. A stand-in for Explorer's tray window receives the icon's records as
// Shell_NotifyIconA sends them to Explorer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/shell_state.h"
#include "shell/window_procedure.h"
#include "support/temp_dir.h"

namespace {

std::vector<DWORD> tray_actions;         // NIM_ADD, NIM_DELETE, ... as the tray received them
std::vector<std::string> box_captions;  // message boxes, answered at once

LRESULT CALLBACK tray_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_COPYDATA) return DefWindowProcA(window, message, wparam, lparam);
  // Windows sends {signature, action, record}; Wine puts the action in dwData.
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
  const auto* words = static_cast<const DWORD*>(data->lpData);
  const bool windows_form = data->cbData >= 8 && words[0] == 0x34753423;
  tray_actions.push_back(windows_form ? words[1] : static_cast<DWORD>(data->dwData));
  return TRUE;
}

HHOOK box_hook = nullptr;

LRESULT CALLBACK answer_boxes(int code, WPARAM wparam, LPARAM lparam) {
  char class_name[16] = "";
  const HWND window = reinterpret_cast<HWND>(wparam);
  if (code == HCBT_ACTIVATE && GetClassNameA(window, class_name, sizeof class_name) > 0 &&
      std::string(class_name) == "#32770") {
    char caption[64] = "";
    GetWindowTextA(window, caption, sizeof caption);
    box_captions.push_back(caption);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(box_hook, code, wparam, lparam);
}

TEST(Win32Shell, WithoutTheHotKeyTheTrayIconStaysAndComesBackAfterATrayRestart) {
  WNDCLASSA tray_class{};
  tray_class.lpfnWndProc = tray_procedure;
  tray_class.hInstance = GetModuleHandleA(nullptr);
  tray_class.lpszClassName = "Shell_TrayWnd";
  ASSERT_NE(RegisterClassA(&tray_class), 0);
  const HWND tray = CreateWindowExA(0, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                    tray_class.hInstance, nullptr);
  ASSERT_EQ(FindWindowA("Shell_TrayWnd", nullptr), tray) << "a tray of Wine's own is running";
  box_hook = SetWindowsHookExA(WH_CBT, answer_boxes, nullptr, GetCurrentThreadId());
  ASSERT_NE(box_hook, nullptr);

  // No animations (one notice), and Ctrl+F1 held by another program (a warning).
  TempDir dir;
  ASSERT_TRUE(SetCurrentDirectoryA(dir.path().string().c_str()));
  ASSERT_TRUE(CreateDirectoryA("anim", nullptr));
  ASSERT_TRUE(RegisterHotKey(nullptr, 1, MOD_CONTROL, VK_F1));
  ASSERT_TRUE(shell_start_up(GetModuleHandleA(nullptr)));
  const ShellState& shell = the_shell();
  EXPECT_FALSE(shell.hot_key_registered);
  EXPECT_EQ(box_captions, (std::vector<std::string>{"Velissa", "Warning"}));
  EXPECT_EQ(tray_actions, std::vector<DWORD>{NIM_ADD});

  // Hidden, the character keeps its icon; the restarted tray gets it again.
  SendMessageA(shell.character_window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_TRUE(shell.hidden);
  EXPECT_FALSE(IsWindowVisible(shell.character_window));
  EXPECT_EQ(tray_actions, std::vector<DWORD>{NIM_ADD});
  const UINT restarted = RegisterWindowMessageA("TaskbarCreated");
  DWORD_PTR ignored;
  SendMessageTimeoutA(HWND_BROADCAST, restarted, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  EXPECT_EQ(tray_actions, (std::vector<DWORD>{NIM_ADD, NIM_ADD}));

  // The menu's Quick Hide/Show brings the character back.
  run_menu_command(static_cast<WPARAM>(shell.hide_show_id));
  EXPECT_FALSE(shell.hidden);
  EXPECT_EQ(tray_actions.size(), 2u);

  run_menu_command(static_cast<WPARAM>(shell.exit_id));
  MainLoop loop;
  for (int pass = 0; pass < 100 && main_loop_pass(loop); ++pass) {
  }
  EXPECT_TRUE(loop.quit);
  EXPECT_EQ(shell_tear_down(true, loop.exit_code), 0);
  EXPECT_EQ(tray_actions.back(), static_cast<DWORD>(NIM_DELETE));
  UnhookWindowsHookEx(box_hook);
  UnregisterHotKey(nullptr, 1);
  DestroyWindow(tray);
  SetCurrentDirectoryA("\\");
}

}  // namespace
