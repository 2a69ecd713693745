// The three global objects of the program: built before main runs, released after it returns.
#include <new>

#include "shell/shell_state.h"

namespace {

// Members are built in this order (the player first) and released in the reverse one.
struct ProgramObjects {
  AnimationPlayer player;
  Catalogue catalogue;
  ShellState shell;

  ~ProgramObjects() { release_program_objects(); }
};

ProgramObjects objects;

}  // namespace

AnimationPlayer& the_player() { return objects.player; }
Catalogue& the_catalogue() { return objects.catalogue; }
ShellState& the_shell() { return objects.shell; }

void release_program_objects() {
  // Rows first: each releases its package, which the player may still point at.
  release_rows(objects.catalogue);
  release(objects.shell.menu_ids);
  player_destroy(objects.player);
  player_init(objects.player);
  // A fresh state, lock included: fields and lock cannot be assigned as one.
  objects.shell.~ShellState();
  new (&objects.shell) ShellState();
}
