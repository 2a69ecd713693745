// The win32 backend against the real services (under Wine in the build): resources and the manifest, the
// install path in the registry, error texts, the drawing surface, windows and their messages, and the
// pop-up menu.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

// ---- Resources linked into this test program, as into the player ----

#pragma pack(push, 2)
struct GroupIconEntry {  // GRPICONDIRENTRY: one image of an icon group
  BYTE width, height, colours, reserved;
  WORD planes, bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST(Win32Resources, IconGroupHoldsThreeSizesOf32Bits) {
  const HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(APP_ICON_RESOURCE_ID), RT_GROUP_ICON);
  ASSERT_NE(found, nullptr);
  const DWORD size = SizeofResource(nullptr, found);
  const BYTE* group = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
  ASSERT_NE(group, nullptr);
  ASSERT_GE(size, 6u);
  WORD count;
  memcpy(&count, group + 4, sizeof count);
  ASSERT_EQ(count, 3);
  ASSERT_GE(size, 6u + count * sizeof(GroupIconEntry));
  std::vector<int> widths;
  for (WORD i = 0; i < count; ++i) {
    GroupIconEntry entry;
    memcpy(&entry, group + 6 + i * sizeof entry, sizeof entry);
    EXPECT_EQ(entry.width, entry.height);
    EXPECT_EQ(entry.bit_count, 32);
    widths.push_back(entry.width);
  }
  EXPECT_EQ(widths, (std::vector<int>{48, 32, 16}));

  for (int side : {16, 32, 48}) {
    const IconHandle icon = platform_load_icon(nullptr, APP_ICON_RESOURCE_ID, side, side);
    ASSERT_NE(icon, nullptr) << side;
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour;
    ASSERT_NE(GetObjectA(info.hbmColor, sizeof colour, &colour), 0);
    EXPECT_EQ(colour.bmWidth, side);
    EXPECT_EQ(colour.bmHeight, side);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_TRUE(platform_destroy_icon(icon));
  }
  EXPECT_EQ(platform_load_icon(nullptr, 999, 16, 16), nullptr);
}

TEST(Win32Resources, ProductNameAndVersion) {
  char name[64] = "";
  EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), 1, name, sizeof name), 11);
  EXPECT_STREQ(name, "VelissaDesk");
  EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION), nullptr);
}

// The manifest Windows reads at start (resource 1 of RT_MANIFEST), and Vista (whose GetTickCount64 the
// runtime imports) as the oldest Windows in the header.
TEST(Win32Resources, ManifestAndSubsystemVersion) {
  const HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
                             SizeofResource(nullptr, found));
  for (const char* setting : {"\"asInvoker\"", "{e2011457-1546-43c5-a5fe-008deee3d3f0}" /* Vista */,
                              "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" /* 10 and 11 */,
                              "\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                              ">PerMonitorV2, PerMonitor<", ">UTF-8</activeCodePage>"})
    EXPECT_NE(manifest.find(setting), std::string::npos) << setting;
  const auto* image = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
  EXPECT_EQ(nt->OptionalHeader.MajorSubsystemVersion, 6);
}

// ---- Install path ----

const char kKey[] = "Software\\Orvant\\VelissaDesk";

// Writes the value "path" for one test, in a key that did not exist before; deletes the key after.
class Win32InstallPath : public ::testing::Test {
 protected:
  void SetUp() override {
    HKEY existing;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &existing) == ERROR_SUCCESS) {
      RegCloseKey(existing);
      GTEST_SKIP() << "the install path is set on this machine; it is left alone";
    }
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key == nullptr) return;
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
  }
  void set(DWORD type, const void* bytes, DWORD size) {
    ASSERT_EQ(RegSetValueExA(key, "path", 0, type, static_cast<const BYTE*>(bytes), size), ERROR_SUCCESS);
  }

  HKEY key = nullptr;
};

TEST_F(Win32InstallPath, ReadsTheValueTerminatedAndWithinTheBuffer) {
  // Without the value (or with an empty one): the current folder when it holds anim, else the
  // program's own folder.
  char program[520];
  ASSERT_GT(GetModuleFileNameA(nullptr, program, sizeof program), 0u);
  *strrchr(program, '\\') = '\0';
  char path[520] = "stale";
  for (const DWORD empty_value : {DWORD{0}, DWORD{1}}) {
    if (empty_value != 0) set(REG_SZ, "", 1);
    ASSERT_TRUE(platform_read_install_path(path, sizeof path));
    EXPECT_STREQ(path, program);
    ASSERT_TRUE(CreateDirectoryA("anim", nullptr));
    EXPECT_FALSE(platform_read_install_path(path, sizeof path));
    EXPECT_STREQ(path, "");
    RemoveDirectoryA("anim");
  }

  const char install[] = "C:\\Program Files\\VelissaDesk";
  set(REG_SZ, install, sizeof install);
  ASSERT_TRUE(platform_read_install_path(path, sizeof path));
  EXPECT_STREQ(path, install);

  // Stored without its terminator, or with a type other than text: the bytes are the path all the same.
  set(REG_BINARY, "D:\\x", 4);
  memset(path, 'z', sizeof path);
  ASSERT_TRUE(platform_read_install_path(path, sizeof path));
  EXPECT_STREQ(path, "D:\\x");

  // Too long for the buffer, with or without a terminator: refused, never cut.
  char small[8] = "stale";
  set(REG_SZ, install, sizeof install);
  EXPECT_FALSE(platform_read_install_path(small, sizeof small));
  EXPECT_STREQ(small, "");
  set(REG_BINARY, "12345678", 8);
  EXPECT_FALSE(platform_read_install_path(small, sizeof small));
  EXPECT_STREQ(small, "");

}

// ---- Errors ----

TEST(Win32Errors, TextAsTheSystemWordsItCutToTheBuffer) {
  char text[256];
  const uint32_t length = platform_error_text(ERROR_FILE_NOT_FOUND, text, sizeof text);
  ASSERT_GT(length, 7u);
  EXPECT_EQ(length, strlen(text));

  char cut[8];
  EXPECT_EQ(platform_error_text(ERROR_FILE_NOT_FOUND, cut, sizeof cut), 7u);
  EXPECT_EQ(std::string(cut), std::string(text, 7));

  EXPECT_EQ(platform_error_text(0x20001234u, text, sizeof text), 0u);  // no such system message
  EXPECT_STREQ(text, "");

  platform_set_last_error(ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
}

// ---- Drawing surface ----

TEST(Win32Surface, TopDownDibSectionInAMemoryDc) {
  const DeviceContext dc = platform_create_compatible_dc(nullptr);
  ASSERT_NE(dc, nullptr);
  uint8_t* pixels = nullptr;
  const BitmapHandle bitmap = platform_create_dib_section(dc, 3, 2, &pixels);
  ASSERT_NE(bitmap, nullptr);
  ASSERT_NE(pixels, nullptr);
  for (int i = 0; i < 3 * 2 * 4; ++i) ASSERT_EQ(pixels[i], 0) << i;

  DIBSECTION section;
  ASSERT_EQ(GetObjectA(bitmap, sizeof section, &section), static_cast<int>(sizeof section));
  EXPECT_EQ(section.dsBm.bmBits, pixels);
  EXPECT_EQ(section.dsBmih.biWidth, 3);
  EXPECT_EQ(section.dsBmih.biBitCount, 32);
  EXPECT_EQ(section.dsBm.bmWidthBytes, 12);

  const GdiObject previous = platform_select_object(dc, bitmap);
  ASSERT_NE(previous, nullptr);
  // Top-down: pixel (row 0, column 1) is what GDI reads in the top row.
  pixels[4] = 30;  // blue
  pixels[5] = 20;  // green
  pixels[6] = 10;  // red
  GdiFlush();
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(10, 20, 30));
  EXPECT_EQ(platform_select_object(dc, previous), bitmap);
  EXPECT_TRUE(platform_delete_object(bitmap));
  EXPECT_TRUE(platform_delete_dc(dc));

  pixels = reinterpret_cast<uint8_t*>(1);
  EXPECT_EQ(platform_create_dib_section(nullptr, 0, 5, &pixels), nullptr);
  EXPECT_EQ(pixels, nullptr);
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
}

// ---- Windows and messages ----

struct Delivered {
  WindowHandle window;
  uint32_t message;
  WPARAM wparam;
  LPARAM lparam;
};
std::vector<Delivered> delivered;

LRESULT PLATFORM_CALLBACK recording_procedure(WindowHandle window, uint32_t message, WPARAM wparam,
                                              LPARAM lparam) {
  if (message == WM_DESTROY || message == WM_CLOSE || message >= WM_USER)
    delivered.push_back({window, message, wparam, lparam});
  if (message == WM_DESTROY) {
    platform_post_quit_message(3);
    return 0;
  }
  if (message == WM_USER + 1) return 42;
  return platform_default_window_procedure(window, message, wparam, lparam);
}

class Win32Windows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(platform_register_class(nullptr, "VelissaDeskTestClass", CS_DBLCLKS, recording_procedure));
  }
  void SetUp() override {
    delivered.clear();
    owner = platform_create_window_ex(0, "VelissaDeskTestClass", "VelissaDesk", WS_POPUP, CW_USEDEFAULT,
                                      CW_USEDEFAULT, 544, 375, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    character = platform_create_window_ex(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
                                          "VelissaDeskTestClass", "VelissaDesk", WS_POPUP, CW_USEDEFAULT,
                                          CW_USEDEFAULT, 544, 375, owner, nullptr);
    ASSERT_NE(character, nullptr);
  }
  void TearDown() override {
    if (IsWindow(owner)) platform_destroy_window(owner);
    PlatformMessage message;
    while (platform_peek_message(&message, PM_REMOVE)) {
    }
  }

  WindowHandle owner = nullptr;
  WindowHandle character = nullptr;
};

TEST_F(Win32Windows, ClassIsRegisteredOnce) {
  EXPECT_FALSE(platform_register_class(nullptr, "VelissaDeskTestClass", CS_DBLCLKS, recording_procedure));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_CLASS_ALREADY_EXISTS));
  WNDCLASSEXA known{};
  known.cbSize = sizeof known;
  ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), "VelissaDeskTestClass", &known));
  EXPECT_EQ(known.style, static_cast<UINT>(CS_DBLCLKS));
  EXPECT_EQ(platform_create_window_ex(0, "NoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr), nullptr);
}

TEST_F(Win32Windows, StylesAndOwnerAsCreated) {
  EXPECT_EQ(static_cast<uint32_t>(GetWindowLongA(character, GWL_EXSTYLE)) &
                (WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
            static_cast<uint32_t>(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST));
  EXPECT_EQ(GetWindow(character, GW_OWNER), owner);
  EXPECT_FALSE(platform_show_window(owner, SW_HIDE));  // returns whether it was visible
  EXPECT_FALSE(IsWindowVisible(owner));

  EXPECT_TRUE(
      platform_set_window_pos(character, nullptr, 100, 200, 30, 40, SWP_NOZORDER | SWP_NOOWNERZORDER));
  RECT rect;
  ASSERT_TRUE(GetWindowRect(character, &rect));
  EXPECT_EQ(rect.left, 100);
  EXPECT_EQ(rect.top, 200);
  EXPECT_EQ(rect.right - rect.left, 30);
  EXPECT_TRUE(platform_set_window_pos(character, nullptr, 110, 220, 0, 0, SWP_NOSIZE));
  ASSERT_TRUE(GetWindowRect(character, &rect));
  EXPECT_EQ(rect.left, 110);
  EXPECT_EQ(rect.bottom - rect.top, 40);

  PlatformPoint point{5, -7};  // a captured mouse left of and above the window
  ASSERT_TRUE(platform_client_to_screen(character, &point));
  EXPECT_EQ(point.x, 115);
  EXPECT_EQ(point.y, 213);

  PlatformRect area{};
  ASSERT_TRUE(platform_get_work_area(&area));
  EXPECT_GT(area.right, area.left);
  EXPECT_GT(area.bottom, area.top);
}

TEST_F(Win32Windows, PostedMessagesArriveInOrderAndQuitComesLast) {
  ASSERT_TRUE(platform_post_message(character, WM_USER + 1, 7, platform_make_lparam(-3, 9)));
  ASSERT_TRUE(platform_post_message(owner, WM_USER + 2, 0xFFFFFFFFu, -1));
  PlatformMessage message;
  ASSERT_TRUE(platform_peek_message(&message, PM_NOREMOVE));
  EXPECT_EQ(message.message, static_cast<uint32_t>(WM_USER + 1));
  ASSERT_TRUE(platform_peek_message(&message, PM_REMOVE));
  EXPECT_EQ(message.window, character);
  EXPECT_EQ(platform_lparam_x(message.lparam), -3);
  EXPECT_EQ(platform_lparam_y(message.lparam), 9);
  platform_translate_message(&message);
  EXPECT_EQ(platform_dispatch_message(&message), 42);
  ASSERT_TRUE(platform_peek_message(&message, PM_REMOVE));
  EXPECT_EQ(platform_dispatch_message(&message), 0);
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered[0].wparam, 7u);
  EXPECT_EQ(delivered[1].window, owner);
  EXPECT_EQ(delivered[1].wparam, 0xFFFFFFFFu);
  EXPECT_EQ(delivered[1].lparam, -1);

  // Close the owner as the Exit command does: the default handling destroys it and the window it owns.
  delivered.clear();
  ASSERT_TRUE(platform_post_message(owner, WM_CLOSE, 0, 0));
  std::vector<uint32_t> taken;
  int32_t exit_code = -1;
  while (platform_peek_message(&message, PM_REMOVE)) {
    taken.push_back(message.message);
    if (message.message == WM_QUIT) {
      exit_code = static_cast<int32_t>(message.wparam);
      break;
    }
    platform_dispatch_message(&message);
  }
  EXPECT_EQ(taken, (std::vector<uint32_t>{WM_CLOSE, WM_QUIT}));
  EXPECT_EQ(exit_code, 3);
  ASSERT_EQ(delivered.size(), 3u);
  EXPECT_EQ(delivered[0].message, static_cast<uint32_t>(WM_CLOSE));
  EXPECT_EQ(delivered[1].window, character);  // owned windows go first
  EXPECT_EQ(delivered[1].message, static_cast<uint32_t>(WM_DESTROY));
  EXPECT_EQ(delivered[2].window, owner);
  EXPECT_FALSE(IsWindow(character));
}

TEST_F(Win32Windows, LayeredWindowShowsTheSurface) {
  const DeviceContext dc = platform_create_compatible_dc(nullptr);
  uint8_t* pixels = nullptr;
  const BitmapHandle bitmap = platform_create_dib_section(dc, 8, 6, &pixels);
  ASSERT_NE(bitmap, nullptr);
  const GdiObject previous = platform_select_object(dc, bitmap);
  for (int i = 0; i < 8 * 6; ++i) pixels[i * 4 + 3] = 255;
  ASSERT_TRUE(platform_set_window_pos(character, nullptr, 10, 20, 8, 6, SWP_NOZORDER | SWP_NOOWNERZORDER));
  EXPECT_TRUE(platform_update_layered_window(character, 8, 6, dc, 128, AC_SRC_ALPHA, ULW_ALPHA));
  RECT rect;
  ASSERT_TRUE(GetWindowRect(character, &rect));
  EXPECT_EQ(rect.left, 10);  // no destination point: the position stays
  EXPECT_EQ(rect.right - rect.left, 8);
  // A window that is not layered refuses.
  EXPECT_FALSE(platform_update_layered_window(owner, 8, 6, dc, 255, AC_SRC_ALPHA, ULW_ALPHA));
  platform_select_object(dc, previous);
  platform_delete_object(bitmap);
  platform_delete_dc(dc);
}

// ---- Pop-up menu ----

TEST(Win32Menu, AppendMarkAndEmptyByPosition) {
  const MenuHandle menu = platform_create_popup_menu();
  ASSERT_NE(menu, nullptr);
  ASSERT_TRUE(platform_append_menu(menu, MF_STRING, 3, "First"));
  ASSERT_TRUE(platform_append_menu(menu, MF_SEPARATOR, 0, nullptr));
  for (uintptr_t id = 4; id <= 7; ++id) ASSERT_TRUE(platform_append_menu(menu, MF_STRING, id, "Repeat"));
  EXPECT_TRUE(platform_check_menu_radio_item(menu, 4, 7, 5, MF_BYCOMMAND));
  MENUITEMINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STATE | MIIM_FTYPE;
  ASSERT_TRUE(GetMenuItemInfoA(menu, 5, FALSE, &info));
  EXPECT_TRUE(info.fState & MFS_CHECKED);
  EXPECT_TRUE(info.fType & MFT_RADIOCHECK);
  ASSERT_TRUE(GetMenuItemInfoA(menu, 4, FALSE, &info));
  EXPECT_FALSE(info.fState & MFS_CHECKED);

  EXPECT_FALSE(platform_delete_menu(menu, 99, MF_BYCOMMAND));
  int removed = 0;
  while (platform_delete_menu(menu, 0, MF_BYPOSITION)) ++removed;  // how the menu is emptied
  EXPECT_EQ(removed, 6);
  EXPECT_TRUE(platform_destroy_menu(menu));
}

TEST(Win32Priorities, RaisedAndRestored) {
  EXPECT_TRUE(platform_set_thread_priority(THREAD_PRIORITY_HIGHEST));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_HIGHEST);
  EXPECT_TRUE(platform_set_thread_priority(THREAD_PRIORITY_NORMAL));
  EXPECT_TRUE(platform_set_priority_class(HIGH_PRIORITY_CLASS));
  EXPECT_TRUE(platform_set_priority_class(NORMAL_PRIORITY_CLASS));
}

}  // namespace
