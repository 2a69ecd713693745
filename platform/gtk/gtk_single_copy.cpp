// One running copy per install path: a unique GApplication on the session bus, named after the path,
// or, with no bus, a lock file under $XDG_RUNTIME_DIR holding the running copy's process id. A later
// start asks the running copy to show its character (D-Bus activation, or SIGUSR1), or to hide or show
// it as the hot key does (the application's "toggle" action, or SIGUSR2), and ends.
#include <fcntl.h>
#include <glib-unix.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/gtk/gtk_backend.h"
#include "platform/portable/portable_files.h"

namespace {

constexpr uint32_t kShowRequest = WM_APP + 1;
constexpr uint32_t kToggleRequest = WM_APP + 2;

struct SingleCopy {
  WindowHandle owner = nullptr;
  GApplication* application = nullptr;  // held for the whole run: it keeps the name on the bus
  int lock_file = -1;                   // held open (and locked) for the whole run
  bool claimed = false;
};

SingleCopy& single_copy() {
  static SingleCopy instance;
  return instance;
}

void post_request(uint32_t request) {
  if (single_copy().owner != nullptr) gtk_post(single_copy().owner, request, 0, 0);
}

void on_activate(GApplication*, gpointer) { post_request(kShowRequest); }

void on_toggle_action(GSimpleAction*, GVariant*, gpointer) { post_request(kToggleRequest); }

gboolean on_show_signal(gpointer) {
  post_request(kShowRequest);
  return G_SOURCE_CONTINUE;
}

gboolean on_toggle_signal(gpointer) {
  post_request(kToggleRequest);
  return G_SOURCE_CONTINUE;
}

// True: this copy holds the name (or there is no bus); *handed_over when another copy holds it and was
// activated. False when the bus cannot be used: the lock file decides.
bool claim_on_bus(const char* key, HandOverRequest request, bool* handed_over) {
  const std::string id = std::string("org.orvant.VelissaDesk.P") + key;
  GApplication* application = g_application_new(id.c_str(), static_cast<GApplicationFlags>(0));
  g_signal_connect(application, "activate", G_CALLBACK(on_activate), nullptr);
  GSimpleAction* toggle = g_simple_action_new("toggle", nullptr);
  g_signal_connect(toggle, "activate", G_CALLBACK(on_toggle_action), nullptr);
  g_action_map_add_action(G_ACTION_MAP(application), G_ACTION(toggle));
  g_object_unref(toggle);
  GError* error = nullptr;
  if (!g_application_register(application, nullptr, &error) ||
      g_application_get_dbus_connection(application) == nullptr) {
    if (error != nullptr) g_error_free(error);
    g_object_unref(application);
    return false;
  }
  if (g_application_get_is_remote(application)) {
    // Sent without waiting for an answer: flushed before leaving.
    if (request == HAND_OVER_TOGGLE)
      g_action_group_activate_action(G_ACTION_GROUP(application), "toggle", nullptr);
    else
      g_application_activate(application);
    g_dbus_connection_flush_sync(g_application_get_dbus_connection(application), nullptr, nullptr);
    g_object_unref(application);
    *handed_over = true;
    return true;
  }
  single_copy().application = application;
  return true;
}

pid_t read_holder(int file) {
  char text[32] = {};
  const ssize_t length = pread(file, text, sizeof text - 1, 0);
  return length > 0 ? static_cast<pid_t>(atol(text)) : 0;
}

// The lock is the kernel's, so it goes with the process that holds it, however that process ends.
bool claim_by_lock_file(const char* key, HandOverRequest request) {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || runtime[0] != '/') return true;
  const std::string path = std::string(runtime) + "/velissadesk-" + key + ".lock";
  const int file = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (file < 0) return true;
  if (flock(file, LOCK_EX | LOCK_NB) == 0) {
    // The signal is caught before the process id that invites it is written.
    g_unix_signal_add(SIGUSR1, on_show_signal, nullptr);
    g_unix_signal_add(SIGUSR2, on_toggle_signal, nullptr);
    char pid[32];
    const int length = snprintf(pid, sizeof pid, "%ld\n", static_cast<long>(getpid()));
    if (ftruncate(file, 0) != 0 || pwrite(file, pid, length, 0) != length) {
      // Unreadable for a later start, which then ends without a show request: the copy still runs.
    }
    single_copy().lock_file = file;
    return true;
  }
  if (errno != EWOULDBLOCK) {
    close(file);
    return true;
  }
  // The holder writes its id right after taking the lock: a start in between waits a moment for it.
  pid_t holder = 0;
  for (int tries = 0; tries < 20 && (holder = read_holder(file)) <= 0; ++tries) g_usleep(25000);
  if (holder > 0) kill(holder, request == HAND_OVER_TOGGLE ? SIGUSR2 : SIGUSR1);
  close(file);
  return false;
}

}  // namespace

bool platform_claim_install_path(const char* path, WindowHandle owner, HandOverRequest request) {
  SingleCopy& copy = single_copy();
  if (path == nullptr || copy.claimed) return true;
  copy.claimed = true;
  copy.owner = owner;
  char key[17];
  snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(portable_path_key(path)));
  bool handed_over = false;
  if (claim_on_bus(key, request, &handed_over)) return !handed_over;
  return claim_by_lock_file(key, request);
}

uint32_t platform_show_request_message() { return single_copy().claimed ? kShowRequest : 0; }
uint32_t platform_toggle_request_message() { return single_copy().claimed ? kToggleRequest : 0; }

bool platform_no_display_reason(char* buffer, uint32_t size) {
  const char* reason = gtk_no_display_reason();
  if (reason == nullptr || reason[0] == '\0' || buffer == nullptr || size == 0) return false;
  g_strlcpy(buffer, reason, size);
  return true;
}
