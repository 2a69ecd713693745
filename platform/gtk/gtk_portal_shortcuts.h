// Inside the GTK backend: the hot key on Wayland, bound through the desktop's GlobalShortcuts portal
// (org.freedesktop.portal.GlobalShortcuts) on the session bus where the session offers it.
#pragma once

#include "platform/platform.h"

// Binds modifiers + key for window: its activations post WM_HOTKEY (wparam = id). False where no
// portal offers global shortcuts, or it refused them.
bool gtk_portal_bind_shortcut(WindowHandle window, int32_t id, uint32_t modifiers, uint32_t key);
void gtk_portal_unbind_shortcut(WindowHandle window, int32_t id);
