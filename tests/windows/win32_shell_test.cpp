// The shell on the win32 backend under Wine, with a stand-in for Explorer's tray window (Wine's null
// driver has none) that receives the icon's records as Shell_NotifyIconA sends them: with Ctrl+F1 held
// elsewhere hiding keeps the icon, and the tray's "TaskbarCreated" broadcast brings it back; the app
// bar's full-screen notice and a display change reach the shell through the system's messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/shell_state.h"
#include "shell/window_procedure.h"
#include "support/temp_dir.h"

namespace {

std::vector<DWORD> tray_actions;         // NIM_ADD, NIM_DELETE as the tray received them
std::vector<std::string> box_captions;  // message boxes, answered at once
HHOOK box_hook = nullptr;

LRESULT CALLBACK tray_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_COPYDATA) return DefWindowProcA(window, message, wparam, lparam);
  // Windows sends {signature, action, record}; Wine puts the action in dwData.
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
  const auto* words = static_cast<const DWORD*>(data->lpData);
  tray_actions.push_back(data->cbData >= 8 && words[0] == 0x34753423 ? words[1] : DWORD(data->dwData));
  return TRUE;
}

LRESULT CALLBACK answer_boxes(int code, WPARAM wparam, LPARAM lparam) {
  char text[64] = "";
  const HWND window = reinterpret_cast<HWND>(wparam);
  if (code == HCBT_ACTIVATE && GetClassNameA(window, text, sizeof text) > 0 && std::string(text) == "#32770") {
    GetWindowTextA(window, text, sizeof text);
    box_captions.push_back(text);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(box_hook, code, wparam, lparam);
}

TEST(Win32Shell, WithoutTheHotKeyTheTrayIconStaysAndComesBackAfterATrayRestart) {
  WNDCLASSA tray_class{};
  tray_class.lpfnWndProc = tray_procedure;
  tray_class.lpszClassName = "Shell_TrayWnd";
  tray_class.hInstance = GetModuleHandleA(nullptr);
  ASSERT_NE(RegisterClassA(&tray_class), 0);
  const HWND tray = CreateWindowExA(0, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                    tray_class.hInstance, nullptr);
  ASSERT_EQ(FindWindowA("Shell_TrayWnd", nullptr), tray) << "a tray of Wine's own is running";
  box_hook = SetWindowsHookExA(WH_CBT, answer_boxes, nullptr, GetCurrentThreadId());

  // No animations (a notice), and Ctrl+F1 held by another program (a warning).
  TempDir dir;
  ASSERT_TRUE(SetCurrentDirectoryA(dir.path().string().c_str()));
  ASSERT_TRUE(CreateDirectoryA("anim", nullptr));
  ASSERT_TRUE(RegisterHotKey(nullptr, 1, MOD_CONTROL, VK_F1));
  ASSERT_TRUE(shell_start_up(GetModuleHandleA(nullptr)));
  const ShellState& shell = the_shell();
  EXPECT_EQ(box_captions, (std::vector<std::string>{"Velissa", "Warning"}));

  SendMessageA(shell.character_window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_TRUE(shell.hidden);
  EXPECT_EQ(tray_actions, std::vector<DWORD>{NIM_ADD});  // the icon stays
  DWORD_PTR ignored;
  SendMessageTimeoutA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 5000,
                      &ignored);
  EXPECT_EQ(tray_actions, (std::vector<DWORD>{NIM_ADD, NIM_ADD}));
  run_menu_command(static_cast<WPARAM>(shell.hide_show_id));
  EXPECT_FALSE(shell.hidden);

  EXPECT_EQ(shell_tear_down(true, 0), 0);
  EXPECT_EQ(tray_actions.back(), static_cast<DWORD>(NIM_DELETE));
  UnhookWindowsHookEx(box_hook);
  UnregisterHotKey(nullptr, 1);
  DestroyWindow(shell.owner_window);
  DestroyWindow(tray);
  SetCurrentDirectoryA("\\");
}

// With nothing installed the player is empty at the work area's corner, which is enough to follow.
TEST(Win32Shell, AFullScreenNoticeAndADisplayChangeReachTheShell) {
  UnregisterClassA(kWindowClassName, GetModuleHandleA(nullptr));  // left by a run before this one
  release_program_objects();
  box_hook = SetWindowsHookExA(WH_CBT, answer_boxes, nullptr, GetCurrentThreadId());
  TempDir dir;
  ASSERT_TRUE(SetCurrentDirectoryA(dir.path().string().c_str()));
  ASSERT_TRUE(CreateDirectoryA("anim", nullptr));
  ASSERT_EQ(shell_start_up(GetModuleHandleA(nullptr)), kStartUpRunning);
  ShellState& shell = the_shell();
  ASSERT_TRUE(IsWindowVisible(shell.character_window));

  SendMessageA(shell.character_window, APP_BAR_CALLBACK_MESSAGE, ABN_FULLSCREENAPP, TRUE);
  EXPECT_TRUE(shell.stepped_aside);
  EXPECT_FALSE(IsWindowVisible(shell.character_window));
  EXPECT_FALSE(shell.hidden);
  SendMessageA(shell.character_window, APP_BAR_CALLBACK_MESSAGE, ABN_FULLSCREENAPP, FALSE);
  EXPECT_TRUE(IsWindowVisible(shell.character_window));

  // Dragged far onto a monitor that is gone: the display change brings it back to its corner.
  RECT area{};
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
  shell.drag_offset = {100000, 0};
  SendMessageA(shell.owner_window, WM_DISPLAYCHANGE, 32, MAKELPARAM(area.right, area.bottom));
  EXPECT_EQ(shell.drag_offset.x, 0);
  RECT window{};
  ASSERT_TRUE(GetWindowRect(shell.character_window, &window));
  EXPECT_EQ(window.left, area.right);
  EXPECT_EQ(window.top, area.bottom);

  EXPECT_EQ(shell_tear_down(true, 0), 0);
  UnhookWindowsHookEx(box_hook);
  DestroyWindow(shell.owner_window);
  SetCurrentDirectoryA("\\");
}

}  // namespace
