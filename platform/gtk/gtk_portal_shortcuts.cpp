// The hot key on Wayland through org.freedesktop.portal.GlobalShortcuts: a session made at the first
// binding, one shortcut per hot key, whose Activated signal posts WM_HOTKEY. The session's creation is
// waited for (briefly) so start-up learns whether the key works; the binding is asked for and not
// waited for, since the desktop may let the user confirm or change the key in a dialog first. Its
// answer comes later: a refusal, or a shortcut left out of what was bound, loses that hot key.
#include "platform/gtk/gtk_portal_shortcuts.h"

#include <gio/gio.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/gtk/gtk_backend.h"

namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr guint kSessionWaitMs = 3000;
constexpr const char* kBindToken = "velissadesk_bind";

struct Binding {
  WindowHandle window;
  int32_t id;
  std::string shortcut;  // the portal's id of the shortcut
  std::string trigger;   // the key it asks for, as the portal writes keys ("CTRL+F1")
};

struct Portal {
  GDBusConnection* bus = nullptr;
  std::string session;  // the session's object path, once made
  guint activated = 0;  // the Activated subscription
  guint bound = 0;      // the subscription to BindShortcuts' answer
  bool tried = false;
  std::vector<Binding> bindings;
};

Portal& portal() {
  static Portal instance;
  return instance;
}

// The path of the Request object a call with this handle token answers on.
std::string request_path(GDBusConnection* bus, const char* token) {
  std::string sender = g_dbus_connection_get_unique_name(bus) + 1;  // without the leading ':'
  std::replace(sender.begin(), sender.end(), '.', '_');
  return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

struct SessionWait {
  bool done = false;
  std::string session;
};

void on_session_response(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                         gpointer data) {
  SessionWait* wait = static_cast<SessionWait*>(data);
  guint32 response = 1;
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &response, &results);
  const char* session = nullptr;
  if (response == 0 && g_variant_lookup(results, "session_handle", "&s", &session)) wait->session = session;
  if (response == 0 && session == nullptr && g_variant_lookup(results, "session_handle", "&o", &session))
    wait->session = session;
  g_variant_unref(results);
  wait->done = true;
}

void on_activated(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                  gpointer) {
  const char* session = nullptr;
  const char* shortcut = nullptr;
  g_variant_get(parameters, "(&o&sta{sv})", &session, &shortcut, nullptr, nullptr);
  if (portal().session != session) return;
  for (const Binding& binding : portal().bindings) {
    if (binding.shortcut == shortcut) gtk_post(binding.window, WM_HOTKEY, static_cast<WPARAM>(binding.id), 0);
  }
}

// BindShortcuts' answer: a non-zero response (the user cancelled the desktop's dialog, or it failed)
// binds nothing; else the shortcuts it lists are the ones bound, when it lists them.
void on_bind_response(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                      gpointer) {
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) return;
  guint32 response = 1;
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &response, &results);
  GVariant* listed = response == 0 ? g_variant_lookup_value(results, "shortcuts", G_VARIANT_TYPE("a(sa{sv})"))
                                   : nullptr;
  std::vector<Binding> lost;
  for (const Binding& binding : portal().bindings) {
    bool bound = response == 0 && listed == nullptr;
    for (gsize i = 0; listed != nullptr && !bound && i < g_variant_n_children(listed); ++i) {
      const char* id = nullptr;
      g_variant_get_child(listed, i, "(&s@a{sv})", &id, nullptr);
      bound = binding.shortcut == id;
    }
    if (!bound) lost.push_back(binding);
  }
  if (listed != nullptr) g_variant_unref(listed);
  g_variant_unref(results);
  for (const Binding& binding : lost) {
    auto& bindings = portal().bindings;
    bindings.erase(std::remove_if(bindings.begin(), bindings.end(),
                                  [&binding](const Binding& b) { return b.shortcut == binding.shortcut; }),
                   bindings.end());
    gtk_hot_key_lost(binding.window, binding.id);
  }
}

bool offers_shortcuts(GDBusConnection* bus) {
  GVariant* version = g_dbus_connection_call_sync(
      bus, kPortalName, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
      g_variant_new("(ss)", kShortcutsInterface, "version"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
      static_cast<gint>(kSessionWaitMs), nullptr, nullptr);
  if (version == nullptr) return false;
  g_variant_unref(version);
  return true;
}

// CreateSession, and its answer waited for on a context of its own, so nothing else of the program
// runs meanwhile.
std::string create_session(GDBusConnection* bus) {
  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  SessionWait wait;
  const std::string path = request_path(bus, "velissadesk_session");
  const guint subscription =
      g_dbus_connection_signal_subscribe(bus, kPortalName, "org.freedesktop.portal.Request", "Response",
                                         path.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE, on_session_response,
                                         &wait, nullptr);
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string("velissadesk_session"));
  g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string("velissadesk"));
  GVariant* reply = g_dbus_connection_call_sync(bus, kPortalName, kPortalPath, kShortcutsInterface,
                                                "CreateSession", g_variant_new("(a{sv})", &options),
                                                G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE,
                                                static_cast<gint>(kSessionWaitMs), nullptr, nullptr);
  if (reply != nullptr) {
    g_variant_unref(reply);
    bool expired = false;
    GSource* timer = g_timeout_source_new(kSessionWaitMs);
    g_source_set_callback(timer, [](gpointer flag) {
      *static_cast<bool*>(flag) = true;
      return G_SOURCE_REMOVE;
    }, &expired, nullptr);
    g_source_attach(timer, context);
    while (!wait.done && !expired) g_main_context_iteration(context, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
  }
  g_dbus_connection_signal_unsubscribe(bus, subscription);
  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
  return wait.session;
}

// The portal's name for a key ("CTRL+F1").
std::string trigger_of(uint32_t modifiers, uint32_t key) {
  std::string trigger;
  if (modifiers & MOD_CONTROL) trigger += "CTRL+";
  if (modifiers & MOD_ALT) trigger += "ALT+";
  if (modifiers & MOD_SHIFT) trigger += "SHIFT+";
  char name[8];
  if (key >= VK_F1 && key < VK_F1 + 24)
    snprintf(name, sizeof name, "F%u", key - VK_F1 + 1);
  else
    snprintf(name, sizeof name, "%c", static_cast<char>(key));
  return trigger + name;
}

bool session_ready() {
  Portal& p = portal();
  if (p.tried) return !p.session.empty();
  p.tried = true;
  p.bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (p.bus == nullptr || !offers_shortcuts(p.bus)) return false;
  p.session = create_session(p.bus);
  if (p.session.empty()) return false;
  p.activated = g_dbus_connection_signal_subscribe(p.bus, kPortalName, kShortcutsInterface, "Activated",
                                                   kPortalPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, on_activated,
                                                   nullptr, nullptr);
  p.bound = g_dbus_connection_signal_subscribe(p.bus, kPortalName, "org.freedesktop.portal.Request", "Response",
                                               request_path(p.bus, kBindToken).c_str(), nullptr,
                                               G_DBUS_SIGNAL_FLAGS_NONE, on_bind_response, nullptr, nullptr);
  return true;
}

// BindShortcuts with every binding the program holds: the portal replaces the session's shortcuts.
bool bind_all() {
  Portal& p = portal();
  GVariantBuilder shortcuts;
  g_variant_builder_init(&shortcuts, G_VARIANT_TYPE("a(sa{sv})"));
  for (const Binding& binding : p.bindings) {
    GVariantBuilder details;
    g_variant_builder_init(&details, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&details, "{sv}", "description", g_variant_new_string("Hide or show the character"));
    g_variant_builder_add(&details, "{sv}", "preferred_trigger", g_variant_new_string(binding.trigger.c_str()));
    g_variant_builder_add(&shortcuts, "(sa{sv})", binding.shortcut.c_str(), &details);
  }
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(kBindToken));
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(
      p.bus, kPortalName, kPortalPath, kShortcutsInterface, "BindShortcuts",
      g_variant_new("(oa(sa{sv})sa{sv})", p.session.c_str(), &shortcuts, "", &options), G_VARIANT_TYPE("(o)"),
      G_DBUS_CALL_FLAGS_NONE, static_cast<gint>(kSessionWaitMs), nullptr, &error);
  if (error != nullptr) g_error_free(error);
  if (reply == nullptr) return false;
  g_variant_unref(reply);
  return true;
}

}  // namespace

bool gtk_portal_bind_shortcut(WindowHandle window, int32_t id, uint32_t modifiers, uint32_t key) {
  if (!session_ready()) return false;
  Portal& p = portal();
  char shortcut[32];
  snprintf(shortcut, sizeof shortcut, "hide-show-%d", id);
  p.bindings.push_back(Binding{window, id, shortcut, trigger_of(modifiers, key)});
  if (bind_all()) return true;
  p.bindings.pop_back();
  return false;
}

void gtk_portal_unbind_shortcut(WindowHandle window, int32_t id) {
  Portal& p = portal();
  const auto before = p.bindings.size();
  p.bindings.erase(std::remove_if(p.bindings.begin(), p.bindings.end(),
                                  [window, id](const Binding& binding) {
                                    return binding.window == window && binding.id == id;
                                  }),
                   p.bindings.end());
  if (p.bindings.size() != before && !p.session.empty()) bind_all();
}
