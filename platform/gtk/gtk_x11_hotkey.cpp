// The hot key on X11: XGrabKey of the key on the root window, once for each combination of NumLock and
// CapsLock, and a filter on the root window's events that turns its presses into WM_HOTKEY.
#include "platform/gtk/gtk_x11_hotkey.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <vector>

#include "platform/gtk/gtk_backend.h"

namespace {

struct Grab {
  WindowHandle window;
  int32_t id;
  uint32_t modifiers, key;
  KeyCode keycode;
  unsigned int mask;
  bool held;  // pressed and not yet released: with MOD_NOREPEAT the key's repeats are passed over
};

struct Grabs {
  std::vector<Grab> keys;
  bool filter_added = false;
};

Grabs& grabs() {
  static Grabs instance;
  return instance;
}

Display* x_display() { return gdk_x11_display_get_xdisplay(gdk_display_get_default()); }

// What NumLock and CapsLock add to a key's state: a grab names its modifiers exactly, so each
// combination is grabbed, and ignored when a key arrives.
const unsigned int kLockVariants[] = {0, Mod2Mask, LockMask, Mod2Mask | LockMask};
const unsigned int kModifierMasks = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

KeySym keysym_of(uint32_t key) {
  if (key >= VK_F1 && key < VK_F1 + 24) return XK_F1 + (key - VK_F1);
  if (key >= 'A' && key <= 'Z') return XK_a + (key - 'A');
  if (key >= '0' && key <= '9') return XK_0 + (key - '0');
  return NoSymbol;
}

unsigned int mask_of(uint32_t modifiers) {
  return ((modifiers & MOD_ALT) ? Mod1Mask : 0) | ((modifiers & MOD_CONTROL) ? ControlMask : 0) |
         ((modifiers & MOD_SHIFT) ? ShiftMask : 0);
}

void ungrab(const Grab& grab) {
  Window root = DefaultRootWindow(x_display());
  for (unsigned int lock : kLockVariants) XUngrabKey(x_display(), grab.keycode, grab.mask | lock, root);
}

// GDK asks X for detectable auto-repeat, so a held key repeats its KeyPress without KeyRelease between.
GdkFilterReturn on_root_event(GdkXEvent* native, GdkEvent*, gpointer) {
  const XEvent* event = static_cast<const XEvent*>(native);
  if (event->type == KeyRelease) {
    for (Grab& grab : grabs().keys) {
      if (event->xkey.keycode == grab.keycode) grab.held = false;
    }
    return GDK_FILTER_CONTINUE;
  }
  if (event->type != KeyPress) return GDK_FILTER_CONTINUE;
  for (Grab& grab : grabs().keys) {
    if (event->xkey.keycode == grab.keycode && (event->xkey.state & kModifierMasks) == grab.mask) {
      const bool repeat = grab.held && (grab.modifiers & MOD_NOREPEAT) != 0;
      grab.held = true;
      if (!repeat)
        gtk_post(grab.window, WM_HOTKEY, static_cast<WPARAM>(grab.id),
                 MAKELPARAM(grab.modifiers & ~static_cast<uint32_t>(MOD_NOREPEAT), grab.key));
      return GDK_FILTER_REMOVE;
    }
  }
  return GDK_FILTER_CONTINUE;
}

}  // namespace

uint32_t gtk_x11_grab_hot_key(WindowHandle window, int32_t id, uint32_t modifiers, uint32_t key) {
  const KeySym symbol = keysym_of(key);
  const KeyCode keycode = symbol != NoSymbol ? XKeysymToKeycode(x_display(), symbol) : 0;
  if (keycode == 0) return ERROR_INVALID_PARAMETER;
  const Grab grab{window, id, modifiers, key, keycode, mask_of(modifiers), false};
  // Another program holding the key (a second instance) makes X answer BadAccess: caught, not fatal.
  GdkDisplay* display = gdk_display_get_default();
  gdk_x11_display_error_trap_push(display);
  for (unsigned int lock : kLockVariants)
    XGrabKey(x_display(), keycode, grab.mask | lock, DefaultRootWindow(x_display()), False, GrabModeAsync,
             GrabModeAsync);
  if (gdk_x11_display_error_trap_pop(display) != 0) {
    gdk_x11_display_error_trap_push(display);
    ungrab(grab);  // the variants that were granted
    gdk_x11_display_error_trap_pop_ignored(display);
    return ERROR_HOTKEY_ALREADY_REGISTERED;
  }
  Grabs& g = grabs();
  if (!g.filter_added) {
    gdk_window_add_filter(gdk_get_default_root_window(), on_root_event, nullptr);
    g.filter_added = true;
  }
  g.keys.push_back(grab);
  return ERROR_SUCCESS;
}

void gtk_x11_ungrab_hot_key(WindowHandle window, int32_t id) {
  auto& keys = grabs().keys;
  auto known = std::find_if(keys.begin(), keys.end(),
                            [window, id](const Grab& grab) { return grab.window == window && grab.id == id; });
  if (known == keys.end()) return;
  ungrab(*known);
  keys.erase(known);
}
