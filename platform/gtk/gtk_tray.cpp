// The tray icon (Shell_NotifyIconA): a StatusNotifierItem where a watcher runs on the session bus,
// else an XEmbed icon (GtkStatusIcon). An icon moves between the two when a watcher comes or goes.
#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/gtk/gtk_backend.h"
#include "platform/gtk/gtk_wayland.h"
#include "platform/gtk/gtk_pixels.h"
#include "platform/gtk/gtk_status_notifier.h"

namespace {

struct TrayIcon {
  TrayIconData data;
  GtkStatusIcon* status_icon;  // the XEmbed icon, or null
  bool on_bus;                 // shown as the StatusNotifierItem
};

std::vector<std::unique_ptr<TrayIcon>>& tray_icons() {
  static std::vector<std::unique_ptr<TrayIcon>> icons;
  return icons;
}

bool fail(uint32_t error) {
  platform_set_last_error(error);
  return false;
}

TrayIcon* find_tray_icon(const TrayIconData* data) {
  for (const auto& icon : tray_icons()) {
    if (icon->data.window == data->window && icon->data.id == data->id) return icon.get();
  }
  return nullptr;
}

gboolean on_tray_button(GtkStatusIcon*, GdkEventButton* event, TrayIcon* icon) {
  if (event->button != 1 && event->button != 3) return TRUE;
  gtk_remember_pointer_event(reinterpret_cast<GdkEvent*>(event));
  const bool left = event->button == 1;
  uint32_t mouse_message;
  switch (event->type) {
    case GDK_BUTTON_PRESS: mouse_message = left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN; break;
    case GDK_2BUTTON_PRESS: mouse_message = left ? WM_LBUTTONDBLCLK : WM_RBUTTONDBLCLK; break;
    case GDK_BUTTON_RELEASE: mouse_message = left ? WM_LBUTTONUP : WM_RBUTTONUP; break;
    default: return TRUE;
  }
  if (icon->data.flags & NIF_MESSAGE)
    gtk_post(icon->data.window, icon->data.callback_message, icon->data.id,
             static_cast<LPARAM>(mouse_message));
  return TRUE;
}

G_GNUC_BEGIN_IGNORE_DEPRECATIONS  // GtkStatusIcon is deprecated, yet it is GTK 3's XEmbed tray icon

    void
    show_tray_data(TrayIcon* icon) {
  const TrayIconData& data = icon->data;
  GdkPixbuf* pixbuf = gtk_live_icon_pixbuf(data.icon);
  if ((data.flags & NIF_ICON) && pixbuf != nullptr)
    gtk_status_icon_set_from_pixbuf(icon->status_icon, pixbuf);
  if (data.flags & NIF_TIP) {
    char tip[sizeof data.tip + 1] = {};
    memcpy(tip, data.tip, sizeof data.tip);
    gtk_status_icon_set_tooltip_text(icon->status_icon, gtk_text_from_program(tip).c_str());
  }
}

void show_status_icon(TrayIcon* icon) {
  icon->status_icon = gtk_status_icon_new();
  gtk_status_icon_set_title(icon->status_icon, "VelissaDesk");
  // No gtk_status_icon_set_name: on an icon a tray has already embedded it unrealizes the icon while
  // a resize is pending, and GTK then reports Gdk-CRITICAL gdk_window_thaw_toplevel_updates. The
  // name it would set is the program's name, which the icon's window carries anyway (g_set_prgname).
  show_tray_data(icon);
  g_signal_connect(icon->status_icon, "button-press-event", G_CALLBACK(on_tray_button), icon);
  g_signal_connect(icon->status_icon, "button-release-event", G_CALLBACK(on_tray_button), icon);
  gtk_status_icon_set_visible(icon->status_icon, TRUE);
}

void hide_status_icon(TrayIcon* icon) {
  gtk_status_icon_set_visible(icon->status_icon, FALSE);
  g_object_unref(icon->status_icon);
  icon->status_icon = nullptr;
}

G_GNUC_END_IGNORE_DEPRECATIONS

void place_all();

// Puts the icon where it can be seen: on the bus while a watcher takes it, else in an XEmbed tray.
void place(TrayIcon* icon) {
  if (icon->on_bus && !status_notifier_shows(icon->data)) {
    status_notifier_withdraw();
    icon->on_bus = false;
  }
  if (!icon->on_bus && status_notifier_available(place_all) && status_notifier_publish(icon->data))
    icon->on_bus = true;
  if (icon->on_bus && icon->status_icon != nullptr) hide_status_icon(icon);
  // XEmbed trays are X11's: on Wayland the icon waits for a watcher. GTK's XEmbed icon lays itself out
  // with the theme's font metrics when it is made, which loads fonts and their caches (about 3 MB)
  // even where no tray will ever show it, so it waits for a tray manager too.
  if (!icon->on_bus && icon->status_icon == nullptr && !gtk_on_wayland() && gtk_x11_tray_manager_present(place_all))
    show_status_icon(icon);
}

void place_all() {
  for (const auto& icon : tray_icons()) place(icon.get());
}

}  // namespace

bool platform_notify_icon(uint32_t action, const TrayIconData* data) {
  if (data == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (!gtk_backend_ready()) return fail(ERROR_GEN_FAILURE);
  TrayIcon* shown = find_tray_icon(data);
  switch (action) {
    case NIM_ADD:
      if (shown != nullptr) return fail(ERROR_ALREADY_EXISTS);
      tray_icons().push_back(std::unique_ptr<TrayIcon>(new TrayIcon{*data, nullptr, false}));
      place(tray_icons().back().get());
      return true;
    case NIM_MODIFY:
      if (shown == nullptr) return fail(ERROR_FILE_NOT_FOUND);
      shown->data = *data;
      if (shown->on_bus) status_notifier_update(*data);
      if (shown->status_icon != nullptr) show_tray_data(shown);
      return true;
    case NIM_DELETE:
      if (shown == nullptr) return fail(ERROR_FILE_NOT_FOUND);
      if (shown->on_bus) status_notifier_withdraw();
      if (shown->status_icon != nullptr) hide_status_icon(shown);
      tray_icons().erase(
          std::find_if(tray_icons().begin(), tray_icons().end(),
                       [shown](const std::unique_ptr<TrayIcon>& icon) { return icon.get() == shown; }));
      return true;
    default: return fail(ERROR_INVALID_PARAMETER);
  }
}
