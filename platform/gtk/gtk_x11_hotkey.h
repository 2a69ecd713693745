// Inside the GTK backend: the hot key on X11, a key grab on the root window (with the NumLock and
// CapsLock variants), whose presses post WM_HOTKEY.
#pragma once

#include "platform/platform.h"

// Grabs modifiers + key for window: ERROR_SUCCESS, ERROR_INVALID_PARAMETER for a key X has no code for,
// or ERROR_HOTKEY_ALREADY_REGISTERED where another program holds it.
uint32_t gtk_x11_grab_hot_key(WindowHandle window, int32_t id, uint32_t modifiers, uint32_t key);
void gtk_x11_ungrab_hot_key(WindowHandle window, int32_t id);
