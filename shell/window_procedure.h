// The window procedure of both windows: menu commands, the tray icon's clicks, dragging, hiding with a
// double-click or the hot key, and installing files dropped on the character.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Returns 0 for every message it handles and the default window procedure's result for the others.
LRESULT PLATFORM_CALLBACK window_procedure(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam);

// WM_COMMAND: carries out the menu item whose identifier equals command.
void run_menu_command(WPARAM command);

// Hides the character (double-clicks), and its tray icon unless the hot key could not be registered.
void hide_character();
// The hot key and the menu item: hides the character as above, or shows it (and its tray icon) again.
void toggle_hidden();

// WM_DROPFILES: installs every dropped file, holding shell_lock throughout; when anything was
// installed, rescans the catalogue, rebuilds the menu, reports the count and starts the first new
// animation. Returns how many animations were installed.
int32_t install_dropped_files(DropHandle drop);

// The desktop changed (WM_DISPLAYCHANGE, WM_SETTINGCHANGE with SPI_SETWORKAREA, WM_DPICHANGED): reads
// the work area again and places the character against its new corner, as each new animation is
// placed. A character that would then lie off every monitor loses its drag offset. During a drag this
// waits until the button is released.
void follow_work_area();
// A full-screen program came over the character's monitor (true) or left it (false): the character
// window hides, with the animation frozen as when hidden, and shows again unless the user hid it.
void step_aside(bool full_screen);
