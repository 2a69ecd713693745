// The tray icon as a StatusNotifierItem on the session bus, its menu exported as com.canonical.dbusmenu:
// what KDE, GNOME's AppIndicator extension and most Wayland panels show. One item per program.
#pragma once

#include "platform/platform.h"

// Whether an item can be published now: a session bus is there (one is never launched for this) and a
// StatusNotifierWatcher on it that has not refused the item. The first call connects and starts
// watching; hosts_changed is called, from the GLib main loop, whenever the answer may have changed.
bool status_notifier_available(void (*hosts_changed)());
// Publishes the item for data (its icon, tip, menu and callback); false when it cannot be, or when an
// item is published already.
bool status_notifier_publish(const TrayIconData& data);
// Whether data's icon (window and id) is the item published and the watcher still takes it.
bool status_notifier_shows(const TrayIconData& data);
// NIM_MODIFY of the published item.
void status_notifier_update(const TrayIconData& data);
// Takes the item off the bus (its name released, so the watcher drops it).
void status_notifier_withdraw();
