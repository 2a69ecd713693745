// A stand-in GlobalShortcuts portal for the Wayland test: owns org.freedesktop.portal.Desktop on the
// session bus, grants every session and binding at once (or, with "refuse", answers every binding as
// the user cancelling the desktop's dialog), and prints one line a change:
//   ready                 the name is ours
//   bound ID TRIGGER      a shortcut was bound (its id and preferred trigger)
// A line "activate ID" on standard input sends the Activated signal for that shortcut.
#include <gio/gio.h>
#include <glib-unix.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kIntrospection[] = R"(<node><interface name='org.freedesktop.portal.GlobalShortcuts'>
 <method name='CreateSession'><arg type='a{sv}' direction='in'/><arg type='o' direction='out'/></method>
 <method name='BindShortcuts'><arg type='o' direction='in'/><arg type='a(sa{sv})' direction='in'/>
  <arg type='s' direction='in'/><arg type='a{sv}' direction='in'/><arg type='o' direction='out'/></method>
 <property name='version' type='u' access='read'/>
</interface></node>)";
const char kPath[] = "/org/freedesktop/portal/desktop";

GDBusConnection* bus;
std::string session;
bool refuse_bindings;

std::string caller_path(const char* kind, const char* sender, GVariant* options, const char* key) {
  std::string name = sender + 1;
  for (char& c : name) c = c == '.' ? '_' : c;
  const char* token = "t";
  g_variant_lookup(options, key, "&s", &token);
  return std::string(kPath) + "/" + kind + "/" + name + "/" + token;
}

void respond(const std::string& request, GVariant* results, guint32 response = 0) {
  g_dbus_connection_emit_signal(bus, nullptr, request.c_str(), "org.freedesktop.portal.Request", "Response",
                                g_variant_new("(u@a{sv})", response, results), nullptr);
}

void on_call(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method,
             GVariant* parameters, GDBusMethodInvocation* invocation, gpointer) {
  GVariantDict results;
  g_variant_dict_init(&results, nullptr);
  if (strcmp(method, "CreateSession") == 0) {
    GVariant* options = g_variant_get_child_value(parameters, 0);
    const std::string request = caller_path("request", sender, options, "handle_token");
    session = caller_path("session", sender, options, "session_handle_token");
    g_variant_unref(options);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", request.c_str()));
    g_variant_dict_insert(&results, "session_handle", "s", session.c_str());
    respond(request, g_variant_dict_end(&results));
    return;
  }
  GVariant* shortcuts = g_variant_get_child_value(parameters, 1);
  GVariant* options = g_variant_get_child_value(parameters, 3);
  const std::string request = caller_path("request", sender, options, "handle_token");
  GVariantIter iter;
  g_variant_iter_init(&iter, shortcuts);
  const char* id;
  GVariant* details;
  while (g_variant_iter_next(&iter, "(&s@a{sv})", &id, &details)) {
    const char* trigger = "";
    g_variant_lookup(details, "preferred_trigger", "&s", &trigger);
    printf("bound %s %s\n", id, trigger);
    g_variant_unref(details);
  }
  fflush(stdout);
  g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", request.c_str()));
  if (!refuse_bindings) g_variant_dict_insert_value(&results, "shortcuts", shortcuts);
  respond(request, g_variant_dict_end(&results), refuse_bindings ? 1u : 0u);
  g_variant_unref(shortcuts);
  g_variant_unref(options);
}

GVariant* get_property(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**,
                       gpointer) {
  return g_variant_new_uint32(1);
}

gboolean on_input(gint, GIOCondition, gpointer) {
  char line[128];
  if (fgets(line, sizeof line, stdin) == nullptr) return G_SOURCE_REMOVE;
  char id[100];
  if (sscanf(line, "activate %99s", id) == 1)
    g_dbus_connection_emit_signal(bus, nullptr, kPath, "org.freedesktop.portal.GlobalShortcuts", "Activated",
                                  g_variant_new("(ost@a{sv})", session.c_str(), id, static_cast<guint64>(0),
                                                g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
                                  nullptr);
  return G_SOURCE_CONTINUE;
}

void on_bus(GDBusConnection* connection, const gchar*, gpointer) {
  bus = connection;
  static const GDBusInterfaceVTable calls = {on_call, get_property, nullptr, {}};
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  g_dbus_connection_register_object(bus, kPath, node->interfaces[0], &calls, nullptr, nullptr, nullptr);
}

void on_acquired(GDBusConnection*, const gchar*, gpointer) {
  printf("ready\n");
  fflush(stdout);
}

void on_lost(GDBusConnection*, const gchar*, gpointer loop) { g_main_loop_quit(static_cast<GMainLoop*>(loop)); }

}  // namespace

int main(int argc, char** argv) {
  refuse_bindings = argc > 1 && strcmp(argv[1], "refuse") == 0;
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_bus_own_name(G_BUS_TYPE_SESSION, "org.freedesktop.portal.Desktop", G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                 on_bus, on_acquired, on_lost, loop, nullptr);
  g_unix_fd_add(0, G_IO_IN, on_input, nullptr);
  g_main_loop_run(loop);
  return 1;
}
