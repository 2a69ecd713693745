// The file services the backends share: each returns the Win32 error code of its failure (0 on
// success), which the backend hands on as its last error. Off Windows they run on std::filesystem
// (portable_files.cpp); on Windows on the Win32 calls themselves (win32/win32_files.cpp), so that the
// headless backend built there for the tests keeps the system's own file semantics.
#pragma once

#include <string>

#include "platform/platform.h"

struct PlatformFind;

// A search's handle (FindHandle off Windows). *find is null unless the result is 0.
uint32_t portable_find_first_file(const char* pattern, PlatformFindData* data, PlatformFind** find);
uint32_t portable_find_next_file(PlatformFind* find, PlatformFindData* data);
void portable_find_close(PlatformFind* find);
uint32_t portable_copy_file(const char* existing, const char* new_path);
uint32_t portable_move_file(const char* existing, const char* new_path);
uint32_t portable_flush_file(const char* path);
uint32_t portable_create_directory(const char* path);
uint32_t portable_remove_directory(const char* path);
uint32_t portable_delete_file(const char* path);
// *attributes is INVALID_FILE_ATTRIBUTES unless the result is 0.
uint32_t portable_get_file_attributes(const char* path, uint32_t* attributes);
uint32_t portable_set_file_attributes(const char* path, uint32_t attributes);
uint32_t portable_set_current_directory(const char* path);
// *length as platform_get_current_directory returns it.
uint32_t portable_get_current_directory(char* buffer, uint32_t size, uint32_t* length);
uint32_t portable_process_id();
bool portable_process_running(uint32_t process_id);
// The install path off Windows: VELISSADESK_PATH, else the first line of
// $XDG_CONFIG_HOME/VelissaDesk/path (XDG_CONFIG_HOME empty or unset: $HOME/.config), a leading "~"
// standing for $HOME. An empty value counts as none; a value that does not fit in size bytes is
// refused rather than cut.
bool portable_install_path_from_environment(char* buffer, uint32_t size);
// The same rule, with where the value was set: "VELISSADESK_PATH" or the settings file's path. A file's
// line is read up to limit characters. False (both empty) when nothing is configured.
bool portable_configured_install_path(std::string* value, std::string* setting, size_t limit);
// The user's own install folder, $XDG_DATA_HOME/VelissaDesk (XDG_DATA_HOME unset or relative:
// $HOME/.local/share), made when missing. An anim/ or docs/ it lacks is made with copies of the
// packages in bundled/anim and the files in bundled/docs (bundled: the data installed with the
// program; null or empty for none). Existing files are never replaced. Empty when there is no home.
std::string portable_user_data_folder(const char* bundled);
// A name for an install path that stays the same from run to run, for the marks of the running copy
// (bus name, lock file, mutex): a 64-bit hash of the path, letters folded on Windows.
uint64_t portable_path_key(const char* path);
// The system's English text for a Win32 error code the backends report; empty for others.
uint32_t portable_error_text(uint32_t code, char* buffer, uint32_t size);
