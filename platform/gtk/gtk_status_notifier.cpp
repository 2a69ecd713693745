// The StatusNotifierItem and its exported menu, through GDBus: the item lives at /StatusNotifierItem
// under a name of its own ("org.kde.StatusNotifierItem-PID-N"), registered with the watcher; the menu
// at /MenuBar mirrors the program's PlatformMenu item for item, and a host's click on an item reaches
// the program as the WM_COMMAND that TrackPopupMenu would have posted.
#include "platform/gtk/gtk_status_notifier.h"

#include <gio/gio.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gtk/gtk_backend.h"
#include "platform/gtk/gtk_pixels.h"

namespace {

const char kWatcherName[] = "org.kde.StatusNotifierWatcher";
const char kWatcherPath[] = "/StatusNotifierWatcher";
const char kItemInterface[] = "org.kde.StatusNotifierItem";
const char kItemPath[] = "/StatusNotifierItem";
const char kMenuInterface[] = "com.canonical.dbusmenu";
const char kMenuPath[] = "/MenuBar";

const char kIntrospection[] = R"(<node>
<interface name='org.kde.StatusNotifierItem'>
 <property name='Category' type='s' access='read'/>
 <property name='Id' type='s' access='read'/>
 <property name='Title' type='s' access='read'/>
 <property name='Status' type='s' access='read'/>
 <property name='WindowId' type='i' access='read'/>
 <property name='IconName' type='s' access='read'/>
 <property name='IconPixmap' type='a(iiay)' access='read'/>
 <property name='OverlayIconName' type='s' access='read'/>
 <property name='OverlayIconPixmap' type='a(iiay)' access='read'/>
 <property name='AttentionIconName' type='s' access='read'/>
 <property name='AttentionIconPixmap' type='a(iiay)' access='read'/>
 <property name='AttentionMovieName' type='s' access='read'/>
 <property name='IconThemePath' type='s' access='read'/>
 <property name='ToolTip' type='(sa(iiay)ss)' access='read'/>
 <property name='ItemIsMenu' type='b' access='read'/>
 <property name='Menu' type='o' access='read'/>
 <method name='ContextMenu'>
  <arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/>
 </method>
 <method name='Activate'>
  <arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/>
 </method>
 <method name='SecondaryActivate'>
  <arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/>
 </method>
 <method name='Scroll'>
  <arg name='delta' type='i' direction='in'/><arg name='orientation' type='s' direction='in'/>
 </method>
 <signal name='NewTitle'/>
 <signal name='NewIcon'/>
 <signal name='NewToolTip'/>
 <signal name='NewStatus'><arg name='status' type='s'/></signal>
</interface>
<interface name='com.canonical.dbusmenu'>
 <property name='Version' type='u' access='read'/>
 <property name='TextDirection' type='s' access='read'/>
 <property name='Status' type='s' access='read'/>
 <property name='IconThemePath' type='as' access='read'/>
 <method name='GetLayout'>
  <arg name='parentId' type='i' direction='in'/><arg name='recursionDepth' type='i' direction='in'/>
  <arg name='propertyNames' type='as' direction='in'/>
  <arg name='revision' type='u' direction='out'/><arg name='layout' type='(ia{sv}av)' direction='out'/>
 </method>
 <method name='GetGroupProperties'>
  <arg name='ids' type='ai' direction='in'/><arg name='propertyNames' type='as' direction='in'/>
  <arg name='properties' type='a(ia{sv})' direction='out'/>
 </method>
 <method name='GetProperty'>
  <arg name='id' type='i' direction='in'/><arg name='name' type='s' direction='in'/>
  <arg name='value' type='v' direction='out'/>
 </method>
 <method name='Event'>
  <arg name='id' type='i' direction='in'/><arg name='eventId' type='s' direction='in'/>
  <arg name='data' type='v' direction='in'/><arg name='timestamp' type='u' direction='in'/>
 </method>
 <method name='EventGroup'>
  <arg name='events' type='a(isvu)' direction='in'/><arg name='idErrors' type='ai' direction='out'/>
 </method>
 <method name='AboutToShow'>
  <arg name='id' type='i' direction='in'/><arg name='needUpdate' type='b' direction='out'/>
 </method>
 <method name='AboutToShowGroup'>
  <arg name='ids' type='ai' direction='in'/>
  <arg name='updatesNeeded' type='ai' direction='out'/><arg name='idErrors' type='ai' direction='out'/>
 </method>
 <signal name='ItemsPropertiesUpdated'>
  <arg name='updatedProps' type='a(ia{sv})'/><arg name='removedProps' type='a(ias)'/>
 </signal>
 <signal name='LayoutUpdated'><arg name='revision' type='u'/><arg name='parent' type='i'/></signal>
</interface>
</node>)";

// The program's command identifiers serve as the items' ids on the bus, so an id names one item for
// the whole run and a click on a menu the host shows from before a rebuild finds nothing rather than
// another item. Separators, and identifiers the bus cannot carry or that an earlier item took, get
// ids from this value up, by position.
const int32_t kPositionIds = 0x40000000;

// One item of the menu as exported.
struct MenuEntry {
  int32_t id;
  uintptr_t command;  // the program's identifier; 0 for a separator
  bool separator;
  bool enabled;
  const char* toggle;  // "radio", "checkmark" or "" for none
  std::string label;
};

struct Notifier {
  bool connected = false;  // whether the bus was tried already
  GDBusConnection* bus = nullptr;
  GDBusNodeInfo* node = nullptr;
  std::string watcher;     // the watcher's unique name; empty while there is none
  std::string refused_by;  // a watcher that refused the item
  void (*hosts_changed)() = nullptr;

  bool published = false;
  TrayIconData data = {};
  std::string name;
  uint32_t serial = 0;  // N of the last name
  guint name_owner = 0, item_object = 0, menu_object = 0;
  bool name_acquired = false;

  std::vector<MenuEntry> entries;  // the menu as the host was last told it
  uint32_t revision = 0;
  guint flush_source = 0;
};

Notifier& notifier() {
  static Notifier instance;
  return instance;
}

void tell_hosts_changed() {
  if (notifier().hosts_changed != nullptr) notifier().hosts_changed();
}

// ---- The menu ----

std::string menu_label(const std::string& caption) {
  std::string label;
  for (char c : gtk_text_from_program(caption.c_str())) {
    label += c;
    if (c == '_') label += '_';  // a single underscore marks an access key on the bus
  }
  return label;
}

std::vector<MenuEntry> current_entries() {
  std::vector<MenuEntry> entries;
  const PlatformMenu* menu = gtk_live_menu(notifier().data.menu);
  if (menu == nullptr) return entries;
  for (size_t i = 0; i < menu->items.size() && i < static_cast<size_t>(kPositionIds); ++i) {
    const PlatformMenu::Item& item = menu->items[i];
    MenuEntry entry;
    entry.id = kPositionIds + static_cast<int32_t>(i);
    entry.command = 0;
    entry.separator = (item.flags & MF_SEPARATOR) != 0;
    entry.enabled = (item.flags & MF_GRAYED) == 0;
    entry.toggle = "";
    if (!entry.separator) {
      entry.command = item.id;
      entry.toggle = !item.checked ? "" : item.radio ? "radio" : "checkmark";
      entry.label = menu_label(item.caption);
      bool taken = item.id == 0 || item.id >= static_cast<uintptr_t>(kPositionIds);
      for (const MenuEntry& earlier : entries) taken = taken || earlier.id == static_cast<int32_t>(item.id);
      if (!taken) entry.id = static_cast<int32_t>(item.id);
    }
    entries.push_back(entry);
  }
  return entries;
}

const MenuEntry* find_entry(int32_t id) {
  for (const MenuEntry& entry : notifier().entries) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

bool wanted(const gchar* const* names, const char* name) {
  return names == nullptr || names[0] == nullptr || g_strv_contains(names, name);
}

GVariant* entry_properties(const MenuEntry* entry, const gchar* const* names) {
  GVariantBuilder properties;
  g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
  auto add = [&](const char* name, GVariant* value) {
    if (wanted(names, name))
      g_variant_builder_add(&properties, "{sv}", name, value);
    else
      g_variant_unref(g_variant_ref_sink(value));
  };
  if (entry == nullptr) {  // the root
    add("children-display", g_variant_new_string("submenu"));
  } else if (entry->separator) {
    add("type", g_variant_new_string("separator"));
  } else {
    add("label", g_variant_new_string(entry->label.c_str()));
    add("enabled", g_variant_new_boolean(entry->enabled));
    if (entry->toggle[0] != '\0') {
      add("toggle-type", g_variant_new_string(entry->toggle));
      add("toggle-state", g_variant_new_int32(1));
    }
  }
  return g_variant_builder_end(&properties);
}

GVariant* layout_node(const MenuEntry* entry, int32_t depth, const gchar* const* names) {
  GVariantBuilder children;
  g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
  if (entry == nullptr && depth != 0) {
    for (const MenuEntry& child : notifier().entries)
      g_variant_builder_add(&children, "v", layout_node(&child, 0, names));
  }
  return g_variant_new("(i@a{sv}@av)", entry != nullptr ? entry->id : 0, entry_properties(entry, names),
                       g_variant_builder_end(&children));
}

void emit_menu_signal(const char* name, GVariant* parameters) {
  g_dbus_connection_emit_signal(notifier().bus, nullptr, kMenuPath, kMenuInterface, name, parameters,
                                nullptr);
}

// Brings the exported menu up to the program's: a new layout when items came or went, else the
// properties that changed (a radio mark that moved).
void flush_menu() {
  Notifier& n = notifier();
  if (n.flush_source != 0) g_source_remove(n.flush_source);
  n.flush_source = 0;
  if (!n.published) return;
  std::vector<MenuEntry> now = current_entries();
  bool same_layout = now.size() == n.entries.size();
  for (size_t i = 0; same_layout && i < now.size(); ++i) same_layout = now[i].id == n.entries[i].id;
  if (!same_layout) {
    n.entries = std::move(now);
    emit_menu_signal("LayoutUpdated", g_variant_new("(ui)", ++n.revision, 0));
    return;
  }
  GVariantBuilder updated, removed;
  g_variant_builder_init(&updated, G_VARIANT_TYPE("a(ia{sv})"));
  g_variant_builder_init(&removed, G_VARIANT_TYPE("a(ias)"));
  bool changed = false;
  for (size_t i = 0; i < now.size(); ++i) {
    const MenuEntry& was = n.entries[i];
    const MenuEntry& is = now[i];
    if (was.label == is.label && was.enabled == is.enabled && strcmp(was.toggle, is.toggle) == 0) continue;
    changed = true;
    g_variant_builder_add(&updated, "(i@a{sv})", is.id, entry_properties(&is, nullptr));
    if (was.toggle[0] != '\0' && is.toggle[0] == '\0') {
      const char* const gone[] = {"toggle-type", "toggle-state", nullptr};
      g_variant_builder_add(&removed, "(i^as)", is.id, gone);
    }
  }
  n.entries = std::move(now);
  GVariant* signal = g_variant_new("(a(ia{sv})a(ias))", &updated, &removed);
  if (changed)
    emit_menu_signal("ItemsPropertiesUpdated", signal);
  else
    g_variant_unref(g_variant_ref_sink(signal));
}

gboolean on_flush(gpointer) {
  notifier().flush_source = 0;
  flush_menu();
  return G_SOURCE_REMOVE;
}

// A host's click on an item: the command the program's own menu would have posted to the icon's window.
bool click(int32_t id) {
  const MenuEntry* entry = find_entry(id);
  if (entry == nullptr) return false;
  if (!entry->separator && entry->enabled && entry->command <= 0xFFFFFFFFu)
    gtk_post(notifier().data.window, WM_COMMAND, LOWORD(entry->command), 0);
  return true;
}

// An event of the host's on an item: a click chooses it; the others ("opened", "hovered", ...) only
// need a known item.
bool handle_event(int32_t id, const char* event) {
  return strcmp(event, "clicked") == 0 ? click(id) : id == 0 || find_entry(id) != nullptr;
}

void return_error(GDBusMethodInvocation* invocation, const char* text) {
  g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.InvalidArgs", text);
}

void on_menu_call(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                  GVariant* parameters, GDBusMethodInvocation* invocation, gpointer) {
  flush_menu();  // the host sees the menu as the program has it now
  const Notifier& n = notifier();
  if (strcmp(method, "GetLayout") == 0) {
    gint32 parent, depth;
    const gchar** names = nullptr;
    g_variant_get(parameters, "(ii^a&s)", &parent, &depth, &names);
    const MenuEntry* entry = parent == 0 ? nullptr : find_entry(parent);
    if (parent != 0 && entry == nullptr)
      return_error(invocation, "no such item");
    else
      g_dbus_method_invocation_return_value(
          invocation, g_variant_new("(u@(ia{sv}av))", n.revision, layout_node(entry, depth, names)));
    g_free(names);
  } else if (strcmp(method, "GetGroupProperties") == 0) {
    GVariantIter* ids;
    const gchar** names = nullptr;
    g_variant_get(parameters, "(ai^a&s)", &ids, &names);
    GVariantBuilder found;
    g_variant_builder_init(&found, G_VARIANT_TYPE("a(ia{sv})"));
    gint32 id;
    if (g_variant_iter_n_children(ids) == 0) {  // none asked: all of them
      for (const MenuEntry& entry : n.entries)
        g_variant_builder_add(&found, "(i@a{sv})", entry.id, entry_properties(&entry, names));
    }
    while (g_variant_iter_next(ids, "i", &id)) {
      if (id == 0 || find_entry(id) != nullptr)
        g_variant_builder_add(&found, "(i@a{sv})", id, entry_properties(find_entry(id), names));
    }
    g_variant_iter_free(ids);
    g_free(names);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(a(ia{sv}))", &found));
  } else if (strcmp(method, "GetProperty") == 0) {
    gint32 id;
    const gchar* name;
    g_variant_get(parameters, "(i&s)", &id, &name);
    const MenuEntry* entry = find_entry(id);
    GVariant* properties =
        id == 0 || entry != nullptr ? g_variant_ref_sink(entry_properties(entry, nullptr)) : nullptr;
    GVariant* value = properties != nullptr ? g_variant_lookup_value(properties, name, nullptr) : nullptr;
    if (value == nullptr)
      return_error(invocation, "no such item or property");
    else
      g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
    if (value != nullptr) g_variant_unref(value);
    if (properties != nullptr) g_variant_unref(properties);
  } else if (strcmp(method, "Event") == 0) {
    gint32 id;
    const gchar* event;
    g_variant_get(parameters, "(i&svu)", &id, &event, nullptr, nullptr);
    if (handle_event(id, event))
      g_dbus_method_invocation_return_value(invocation, nullptr);
    else
      return_error(invocation, "no such item");
  } else if (strcmp(method, "EventGroup") == 0) {
    GVariantIter* events;
    g_variant_get(parameters, "(a(isvu))", &events);
    GVariantBuilder errors;
    g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
    gint32 id;
    const gchar* event;
    while (g_variant_iter_next(events, "(i&svu)", &id, &event, nullptr, nullptr)) {
      if (!handle_event(id, event)) g_variant_builder_add(&errors, "i", id);
    }
    g_variant_iter_free(events);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(ai)", &errors));
  } else if (strcmp(method, "AboutToShow") == 0) {
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", FALSE));
  } else if (strcmp(method, "AboutToShowGroup") == 0) {
    g_dbus_method_invocation_return_value(
        invocation, g_variant_new("(@ai@ai)", g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0),
                                  g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0)));
  } else {
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod",
                                               method);
  }
}

GVariant* get_menu_property(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                            GError** error, gpointer) {
  if (strcmp(name, "Version") == 0) return g_variant_new_uint32(3);
  if (strcmp(name, "TextDirection") == 0) return g_variant_new_string("ltr");
  if (strcmp(name, "Status") == 0) return g_variant_new_string("normal");
  if (strcmp(name, "IconThemePath") == 0) return g_variant_new_strv(nullptr, 0);
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "%s", name);
  return nullptr;
}

// ---- The item ----

// The icon's picture as the item carries it: width, height and ARGB32 pixels in network byte order.
GVariant* icon_pixmaps() {
  GVariantBuilder pixmaps;
  g_variant_builder_init(&pixmaps, G_VARIANT_TYPE("a(iiay)"));
  const TrayIconData& data = notifier().data;
  GdkPixbuf* pixbuf = (data.flags & NIF_ICON) ? gtk_live_icon_pixbuf(data.icon) : nullptr;
  if (pixbuf != nullptr && gdk_pixbuf_get_bits_per_sample(pixbuf) == 8 &&
      gdk_pixbuf_get_colorspace(pixbuf) == GDK_COLORSPACE_RGB && gdk_pixbuf_get_n_channels(pixbuf) >= 3) {
    const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf), stride = gdk_pixbuf_get_rowstride(pixbuf);
    const guint8* pixels = gdk_pixbuf_read_pixels(pixbuf);
    std::vector<guint8> argb(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const guint8* in = pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * channels;
        guint8* out = &argb[(static_cast<size_t>(y) * width + x) * 4];
        out[0] = channels == 4 ? in[3] : 255;
        out[1] = in[0];
        out[2] = in[1];
        out[3] = in[2];
      }
    }
    g_variant_builder_add(&pixmaps, "(ii@ay)", width, height,
                          g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, argb.data(), argb.size(), 1));
  }
  return g_variant_builder_end(&pixmaps);
}

std::string tip_text() {
  const TrayIconData& data = notifier().data;
  if (!(data.flags & NIF_TIP)) return "";
  char tip[sizeof data.tip + 1] = {};
  memcpy(tip, data.tip, sizeof data.tip);
  return gtk_text_from_program(tip);
}

GVariant* get_item_property(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                            GError** error, gpointer) {
  if (strcmp(name, "Category") == 0) return g_variant_new_string("ApplicationStatus");
  if (strcmp(name, "Id") == 0) return g_variant_new_string("velissadesk");
  if (strcmp(name, "Title") == 0) return g_variant_new_string("VelissaDesk");
  if (strcmp(name, "Status") == 0) return g_variant_new_string("Active");
  if (strcmp(name, "WindowId") == 0) return g_variant_new_int32(0);
  if (strcmp(name, "IconPixmap") == 0) return icon_pixmaps();
  if (strcmp(name, "OverlayIconPixmap") == 0 || strcmp(name, "AttentionIconPixmap") == 0)
    return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
  if (strcmp(name, "IconName") == 0 || strcmp(name, "OverlayIconName") == 0 ||
      strcmp(name, "AttentionIconName") == 0 || strcmp(name, "AttentionMovieName") == 0 ||
      strcmp(name, "IconThemePath") == 0)
    return g_variant_new_string("");
  if (strcmp(name, "ToolTip") == 0)
    return g_variant_new("(s@a(iiay)ss)", "", g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0),
                         tip_text().c_str(), "");
  // The host shows the menu on any click, as the program does for either button on Windows.
  if (strcmp(name, "ItemIsMenu") == 0) return g_variant_new_boolean(TRUE);
  if (strcmp(name, "Menu") == 0) return g_variant_new_object_path(kMenuPath);
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "%s", name);
  return nullptr;
}

// A host that does not show the menu itself reports the clicks instead: they reach the icon's window
// as the tray callback with the button's release, and the program tracks its menu as on Windows.
void on_item_call(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant*,
                  GDBusMethodInvocation* invocation, gpointer) {
  const TrayIconData& data = notifier().data;
  uint32_t mouse = 0;
  if (strcmp(method, "Activate") == 0) mouse = WM_LBUTTONUP;
  if (strcmp(method, "ContextMenu") == 0) mouse = WM_RBUTTONUP;
  if (mouse != 0 && (data.flags & NIF_MESSAGE))
    gtk_post(data.window, data.callback_message, data.id, static_cast<LPARAM>(mouse));
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

const GDBusInterfaceVTable kItemCalls = {on_item_call, get_item_property, nullptr, {}};
const GDBusInterfaceVTable kMenuCalls = {on_menu_call, get_menu_property, nullptr, {}};

void on_registered(GObject* bus, GAsyncResult* result, gpointer watcher) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
  Notifier& n = notifier();
  if (reply != nullptr) {
    g_variant_unref(reply);
  } else {
    g_error_free(error);
    if (n.published && n.watcher == static_cast<const char*>(watcher)) {
      n.refused_by = n.watcher;
      tell_hosts_changed();
    }
  }
  g_free(watcher);
}

void register_item() {
  Notifier& n = notifier();
  g_dbus_connection_call(n.bus, kWatcherName, kWatcherPath, kWatcherName, "RegisterStatusNotifierItem",
                         g_variant_new("(s)", n.name.c_str()), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
                         on_registered, g_strdup(n.watcher.c_str()));
}

void on_name_acquired(GDBusConnection*, const gchar*, gpointer) {
  Notifier& n = notifier();
  n.name_acquired = true;
  if (!n.watcher.empty()) register_item();
}

// Another program holds the name, or the bus went away: the item cannot be shown.
void on_name_lost(GDBusConnection*, const gchar*, gpointer) {
  Notifier& n = notifier();
  n.refused_by = n.watcher;
  tell_hosts_changed();
}

void on_watcher_appeared(GDBusConnection*, const gchar*, const gchar* owner, gpointer) {
  Notifier& n = notifier();
  if (n.watcher == owner) return;
  n.watcher = owner;
  if (n.published && n.name_acquired) register_item();  // a watcher started anew knows no items
  tell_hosts_changed();
}

void on_watcher_vanished(GDBusConnection*, const gchar*, gpointer) {
  Notifier& n = notifier();
  if (n.watcher.empty()) return;
  n.watcher.clear();
  tell_hosts_changed();
}

// The session bus if one is there. GIO would launch one for the X display when none is known; a tray
// icon is no reason to, so without an address or the user's bus socket there is no bus.
GDBusConnection* session_bus() {
  Notifier& n = notifier();
  if (n.connected) return n.bus;
  n.connected = true;
  const char* address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
  gchar* socket = g_build_filename(g_get_user_runtime_dir(), "bus", nullptr);
  const bool known = (address != nullptr && address[0] != '\0') || g_file_test(socket, G_FILE_TEST_EXISTS);
  g_free(socket);
  n.bus = known ? g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr) : nullptr;
  n.node = n.bus != nullptr ? g_dbus_node_info_new_for_xml(kIntrospection, nullptr) : nullptr;
  if (n.node == nullptr) {
    if (n.bus != nullptr) g_object_unref(n.bus);
    n.bus = nullptr;
    return nullptr;
  }
  g_dbus_connection_set_exit_on_close(n.bus, FALSE);  // the character outlives the bus
  // Asked once here, so the first icon goes to the right tray at once; the watch follows the changes.
  GVariant* reply =
      g_dbus_connection_call_sync(n.bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "GetNameOwner", g_variant_new("(s)", kWatcherName),
                                  G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
  if (reply != nullptr) {
    const gchar* owner;
    g_variant_get(reply, "(&s)", &owner);
    n.watcher = owner;
    g_variant_unref(reply);
  }
  g_bus_watch_name_on_connection(n.bus, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE, on_watcher_appeared,
                                 on_watcher_vanished, nullptr, nullptr);
  return n.bus;
}

}  // namespace

bool status_notifier_available(void (*hosts_changed)()) {
  Notifier& n = notifier();
  n.hosts_changed = hosts_changed;
  return session_bus() != nullptr && !n.watcher.empty() && n.watcher != n.refused_by;
}

bool status_notifier_publish(const TrayIconData& data) {
  Notifier& n = notifier();
  if (n.published || n.bus == nullptr) return false;
  n.item_object = g_dbus_connection_register_object(n.bus, kItemPath,
                                                    g_dbus_node_info_lookup_interface(n.node, kItemInterface),
                                                    &kItemCalls, nullptr, nullptr, nullptr);
  n.menu_object = g_dbus_connection_register_object(n.bus, kMenuPath,
                                                    g_dbus_node_info_lookup_interface(n.node, kMenuInterface),
                                                    &kMenuCalls, nullptr, nullptr, nullptr);
  if (n.item_object == 0 || n.menu_object == 0) {
    if (n.item_object != 0) g_dbus_connection_unregister_object(n.bus, n.item_object);
    if (n.menu_object != 0) g_dbus_connection_unregister_object(n.bus, n.menu_object);
    n.item_object = n.menu_object = 0;
    return false;
  }
  n.published = true;
  n.data = data;
  n.entries = current_entries();
  ++n.revision;
  // A new name for each showing: the watcher drops the item when its name goes, at hiding.
  n.name = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-" + std::to_string(++n.serial);
  n.name_acquired = false;
  n.name_owner = g_bus_own_name_on_connection(n.bus, n.name.c_str(), G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                                              on_name_acquired, on_name_lost, nullptr, nullptr);
  return true;
}

bool status_notifier_shows(const TrayIconData& data) {
  const Notifier& n = notifier();
  return n.published && n.data.window == data.window && n.data.id == data.id && !n.watcher.empty() &&
         n.watcher != n.refused_by;
}

void status_notifier_update(const TrayIconData& data) {
  Notifier& n = notifier();
  if (!n.published) return;
  n.data = data;
  for (const char* signal : {"NewIcon", "NewToolTip", "NewTitle"})
    g_dbus_connection_emit_signal(n.bus, nullptr, kItemPath, kItemInterface, signal, nullptr, nullptr);
  flush_menu();  // the menu may be another
}

void status_notifier_withdraw() {
  Notifier& n = notifier();
  if (!n.published) return;
  g_bus_unown_name(n.name_owner);
  g_dbus_connection_unregister_object(n.bus, n.item_object);
  g_dbus_connection_unregister_object(n.bus, n.menu_object);
  if (n.flush_source != 0) g_source_remove(n.flush_source);
  n.name_owner = n.item_object = n.menu_object = n.flush_source = 0;
  n.published = n.name_acquired = false;
  n.entries.clear();
}

// Many changes come at once (a rebuilt menu deletes and appends every item): the host hears of them
// once, when the program next runs the GLib loop.
void gtk_tray_menu_changed(MenuHandle menu) {
  Notifier& n = notifier();
  if (n.published && menu == n.data.menu && n.flush_source == 0)
    n.flush_source = g_idle_add(on_flush, nullptr);
}
