// Draws the program's icon, the drawing the GTK backend shows in the tray and on its windows, as PNG
// files laid out as in the hicolor icon theme: OUT/<size>x<size>/apps/velissadesk.png for each size.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/gtk/gtk_pixels.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: draw_program_icon OUT SIZE...\n");
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    const int32_t size = std::atoi(argv[i]);
    cairo_surface_t* icon = gtk_draw_program_icon(size);
    if (icon == nullptr) {
      std::fprintf(stderr, "draw_program_icon: no icon of size '%s'\n", argv[i]);
      return 1;
    }
    const std::string square = std::to_string(size) + "x" + std::to_string(size);
    const std::filesystem::path folder = std::filesystem::path(argv[1]) / square / "apps";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::string file = (folder / "velissadesk.png").string();
    const cairo_status_t status = cairo_surface_write_to_png(icon, file.c_str());
    cairo_surface_destroy(icon);
    if (status != CAIRO_STATUS_SUCCESS) {
      std::fprintf(stderr, "draw_program_icon: cannot write %s: %s\n", file.c_str(), cairo_status_to_string(status));
      return 1;
    }
  }
  return 0;
}
