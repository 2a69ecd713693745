// A stand-in StatusNotifierWatcher for the tray test: owns org.kde.StatusNotifierWatcher on the session
// bus, takes every RegisterStatusNotifierItem and prints one line a change, so the test can follow it:
//   ready                  the name is ours
//   registered SERVICE     an item registered (SERVICE as given)
//   unregistered SERVICE   the item's name left the bus
#include <gio/gio.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kIntrospection[] = R"(<node><interface name='org.kde.StatusNotifierWatcher'>
 <method name='RegisterStatusNotifierItem'><arg name='service' type='s' direction='in'/></method>
 <method name='RegisterStatusNotifierHost'><arg name='service' type='s' direction='in'/></method>
 <property name='RegisteredStatusNotifierItems' type='as' access='read'/>
 <property name='IsStatusNotifierHostRegistered' type='b' access='read'/>
 <property name='ProtocolVersion' type='i' access='read'/>
</interface></node>)";

std::vector<std::string> items;

void say(const char* what, const char* service) {
  printf("%s%s%s\n", what, service[0] != '\0' ? " " : "", service);
  fflush(stdout);
}

void on_name_owner_changed(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                           GVariant* parameters, gpointer) {
  const gchar *name, *old_owner, *new_owner;
  g_variant_get(parameters, "(&s&s&s)", &name, &old_owner, &new_owner);
  for (auto item = items.begin(); item != items.end(); ++item) {
    if (new_owner[0] == '\0' && (*item == name || *item == old_owner)) {
      say("unregistered", item->c_str());
      items.erase(item);
      return;
    }
  }
}

void on_call(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method,
             GVariant* parameters, GDBusMethodInvocation* invocation, gpointer) {
  const gchar* service;
  g_variant_get(parameters, "(&s)", &service);
  if (strcmp(method, "RegisterStatusNotifierItem") == 0) {
    items.push_back(service[0] == '/' ? sender : service);
    say("registered", service);
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* get_property(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                       GError**, gpointer) {
  if (strcmp(name, "IsStatusNotifierHostRegistered") == 0) return g_variant_new_boolean(TRUE);
  if (strcmp(name, "ProtocolVersion") == 0) return g_variant_new_int32(0);
  GVariantBuilder names;
  g_variant_builder_init(&names, G_VARIANT_TYPE("as"));
  for (const std::string& item : items) g_variant_builder_add(&names, "s", item.c_str());
  return g_variant_builder_end(&names);
}

void on_bus(GDBusConnection* bus, const gchar*, gpointer) {
  static const GDBusInterfaceVTable calls = {on_call, get_property, nullptr, {}};
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  g_dbus_connection_register_object(bus, "/StatusNotifierWatcher", node->interfaces[0], &calls, nullptr,
                                    nullptr, nullptr);
  g_dbus_connection_signal_subscribe(bus, "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
                                     "/org/freedesktop/DBus", nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                     on_name_owner_changed, nullptr, nullptr);
}

void on_acquired(GDBusConnection*, const gchar*, gpointer) { say("ready", ""); }

void on_lost(GDBusConnection*, const gchar*, gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
}

}  // namespace

int main() {
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_bus_own_name(G_BUS_TYPE_SESSION, "org.kde.StatusNotifierWatcher", G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                 on_bus, on_acquired, on_lost, loop, nullptr);
  g_main_loop_run(loop);
  return 1;  // the name was taken or the bus went away
}
