// Draws the frames of the bundled sample animations with cairo, as PNG files with straight alpha:
// a bouncing slime, a waving cat and a floating ghost. velissa-pack create packs them at build time.
//
// usage: draw_sample_frames CHARACTER FRAMES OUT_DIRECTORY
//   writes OUT_DIRECTORY/frame_000.png ... frame_<FRAMES-1>.png
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Colour {
  double red, green, blue, alpha;
};

void set_colour(cairo_t* cr, const Colour& c) { cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha); }

void ellipse_path(cairo_t* cr, double cx, double cy, double rx, double ry) {
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_restore(cr);
}

void triangle_path(cairo_t* cr, double x1, double y1, double x2, double y2, double x3, double y3) {
  cairo_new_path(cr);
  cairo_move_to(cr, x1, y1);
  cairo_line_to(cr, x2, y2);
  cairo_line_to(cr, x3, y3);
  cairo_close_path(cr);
}

void fill_ellipse(cairo_t* cr, double cx, double cy, double rx, double ry, const Colour& c) {
  ellipse_path(cr, cx, cy, rx, ry);
  set_colour(cr, c);
  cairo_fill(cr);
}

// Fills the current path with c, then strokes it with the outline colour.
void fill_and_outline(cairo_t* cr, const Colour& fill, const Colour& outline, double width) {
  set_colour(cr, fill);
  cairo_fill_preserve(cr);
  set_colour(cr, outline);
  cairo_set_line_width(cr, width);
  cairo_stroke(cr);
}

// A soft shadow on the ground: black fading out toward the ellipse's edge.
void ground_shadow(cairo_t* cr, double cx, double cy, double rx, double ry, double opacity) {
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_pattern_t* fade = cairo_pattern_create_radial(0, 0, 0, 0, 0, 1);
  cairo_pattern_add_color_stop_rgba(fade, 0.0, 0, 0, 0, opacity);
  cairo_pattern_add_color_stop_rgba(fade, 0.6, 0, 0, 0, opacity * 0.6);
  cairo_pattern_add_color_stop_rgba(fade, 1.0, 0, 0, 0, 0);
  cairo_set_source(cr, fade);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_fill(cr);
  cairo_pattern_destroy(fade);
  cairo_restore(cr);
}

// Shiny dark eyes with a glint; closed ones are happy arcs.
void eye(cairo_t* cr, double cx, double cy, double rx, double ry, bool closed) {
  const Colour dark{0.13, 0.12, 0.18, 1.0};
  if (closed) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy + ry * 0.3, rx * 1.1, kPi * 1.15, kPi * 1.85);
    set_colour(cr, dark);
    cairo_set_line_width(cr, 2.6);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_stroke(cr);
    return;
  }
  fill_ellipse(cr, cx, cy, rx, ry, dark);
  fill_ellipse(cr, cx - rx * 0.3, cy - ry * 0.35, rx * 0.38, rx * 0.38, {1, 1, 1, 0.95});
  fill_ellipse(cr, cx + rx * 0.35, cy + ry * 0.35, rx * 0.16, rx * 0.16, {1, 1, 1, 0.8});
}

void blush(cairo_t* cr, double cx, double cy, double rx) { fill_ellipse(cr, cx, cy, rx, rx * 0.55, {1.0, 0.45, 0.55, 0.4}); }

void smile(cairo_t* cr, double cx, double cy, double r, const Colour& c) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, cx, cy, r, kPi * 0.2, kPi * 0.8);
  set_colour(cr, c);
  cairo_set_line_width(cr, 2.4);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_stroke(cr);
}

// A jelly slime that hops: squashed on landing, stretched in the air; t runs from 0 to 1 per hop.
void draw_slime(cairo_t* cr, double t, bool blink) {
  const double jump = std::sin(kPi * t);
  const double squash = std::pow(1.0 - jump, 6) * 0.22;
  const double sx = 1.0 + squash - 0.05 * jump, sy = 1.0 - squash + 0.08 * jump;
  const double ground = 178.0;
  ground_shadow(cr, 100, ground, 58 * (1 - 0.35 * jump), 9 * (1 - 0.35 * jump), 0.3 * (1 - 0.5 * jump));

  const double w = 118 * sx, h = 96 * sy, cx = 100, bottom = ground - 2 - 62 * jump;
  cairo_new_path(cr);
  cairo_move_to(cr, cx - w * 0.3, bottom);
  cairo_curve_to(cr, cx - w * 0.45, bottom, cx - w * 0.5, bottom - h * 0.05, cx - w * 0.5, bottom - h * 0.2);
  cairo_curve_to(cr, cx - w * 0.5, bottom - h * 0.75, cx - w * 0.28, bottom - h, cx, bottom - h);
  cairo_curve_to(cr, cx + w * 0.28, bottom - h, cx + w * 0.5, bottom - h * 0.75, cx + w * 0.5, bottom - h * 0.2);
  cairo_curve_to(cr, cx + w * 0.5, bottom - h * 0.05, cx + w * 0.45, bottom, cx + w * 0.3, bottom);
  cairo_close_path(cr);
  cairo_pattern_t* jelly = cairo_pattern_create_radial(cx - w * 0.2, bottom - h * 0.72, 4, cx, bottom - h * 0.45, w * 0.75);
  cairo_pattern_add_color_stop_rgba(jelly, 0.0, 0.72, 0.98, 0.84, 0.97);
  cairo_pattern_add_color_stop_rgba(jelly, 1.0, 0.16, 0.66, 0.55, 0.97);
  cairo_set_source(cr, jelly);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(jelly);
  cairo_set_source_rgba(cr, 0.08, 0.42, 0.36, 0.9);
  cairo_set_line_width(cr, 3.0);
  cairo_stroke(cr);

  cairo_save(cr);
  cairo_translate(cr, cx - w * 0.24, bottom - h * 0.74);
  cairo_rotate(cr, -0.6);
  fill_ellipse(cr, 0, 0, w * 0.11, h * 0.06, {1, 1, 1, 0.6});
  cairo_restore(cr);

  const double eyes = bottom - h * 0.5;
  eye(cr, cx - w * 0.17, eyes, 6.5, 9.5, blink);
  eye(cr, cx + w * 0.17, eyes, 6.5, 9.5, blink);
  blush(cr, cx - w * 0.3, bottom - h * 0.36, 9);
  blush(cr, cx + w * 0.3, bottom - h * 0.36, 9);
  smile(cr, cx, bottom - h * 0.42, 7, {0.1, 0.3, 0.26, 1});
}

double smoothstep(double t) { return t * t * (3 - 2 * t); }

// A sitting cat waving its paw; t runs from 0 to 1 over one sweep of the paw (played back and forth).
void draw_cat(cairo_t* cr, double t) {
  const Colour fur{0.98, 0.70, 0.36, 1}, cream{1.0, 0.94, 0.82, 1}, line{0.45, 0.26, 0.13, 1};
  const Colour pink{1.0, 0.62, 0.66, 1}, stripe{0.86, 0.50, 0.20, 1};
  const double wave = smoothstep(t);
  ground_shadow(cr, 110, 226, 72, 10, 0.28);

  // Tail behind the body, swishing a little with the paw.
  cairo_new_path(cr);
  cairo_move_to(cr, 150, 214);
  cairo_curve_to(cr, 196, 214, 200, 176, 186 + 8 * wave, 148 - 4 * wave);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  set_colour(cr, line);
  cairo_set_line_width(cr, 19);
  cairo_stroke_preserve(cr);
  set_colour(cr, fur);
  cairo_set_line_width(cr, 14);
  cairo_stroke(cr);

  ellipse_path(cr, 110, 178, 54, 46);
  fill_and_outline(cr, fur, line, 2.6);
  fill_ellipse(cr, 110, 190, 30, 30, cream);
  for (double x : {86.0, 134.0}) {
    ellipse_path(cr, x, 219, 17, 9);
    fill_and_outline(cr, cream, line, 2.4);
  }
  ellipse_path(cr, 80, 190, 13, 15);  // the paw that rests
  fill_and_outline(cr, cream, line, 2.4);

  // Ears, then the head over their base.
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  for (int side : {-1, 1}) {
    triangle_path(cr, 110 + side * 46, 96, 110 + side * 44, 46, 110 + side * 12, 72);
    fill_and_outline(cr, fur, line, 2.6);
    triangle_path(cr, 110 + side * 40, 84, 110 + side * 40, 58, 110 + side * 22, 74);
    set_colour(cr, pink);
    cairo_fill(cr);
  }
  ellipse_path(cr, 110, 108, 52, 44);
  fill_and_outline(cr, fur, line, 2.6);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  set_colour(cr, stripe);
  cairo_set_line_width(cr, 4);
  for (double dx : {-10.0, 0.0, 10.0}) {
    cairo_move_to(cr, 110 + dx, 68);
    cairo_line_to(cr, 110 + dx * 0.8, 80);
  }
  cairo_stroke(cr);

  eye(cr, 90, 106, 6, 8, false);
  eye(cr, 130, 106, 6, 8, false);
  blush(cr, 78, 122, 9);
  blush(cr, 142, 122, 9);
  triangle_path(cr, 105, 117, 115, 117, 110, 123);
  set_colour(cr, pink);
  cairo_fill(cr);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 105, 125, 5, 0.1 * kPi, 0.9 * kPi);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 115, 125, 5, 0.1 * kPi, 0.9 * kPi);
  set_colour(cr, line);
  cairo_set_line_width(cr, 2.2);
  cairo_stroke(cr);
  cairo_set_source_rgba(cr, 0.45, 0.3, 0.2, 0.55);
  cairo_set_line_width(cr, 1.6);
  for (int side : {-1, 1})
    for (double dy : {-4.0, 2.0, 8.0}) {
      cairo_move_to(cr, 110 + side * 24, 120 + dy * 0.5);
      cairo_line_to(cr, 110 + side * 50, 116 + dy * 1.5);
    }
  cairo_stroke(cr);

  // The waving arm, in front, turning about the shoulder.
  cairo_save(cr);
  cairo_translate(cr, 152, 166);
  cairo_rotate(cr, 0.05 + 0.7 * wave);
  cairo_new_path(cr);
  cairo_move_to(cr, -10, 0);
  cairo_line_to(cr, -10, -44);
  cairo_arc(cr, 0, -44, 10, kPi, 0);
  cairo_line_to(cr, 10, 0);
  cairo_close_path(cr);
  fill_and_outline(cr, fur, line, 2.4);
  ellipse_path(cr, 0, -50, 14, 13);
  fill_and_outline(cr, cream, line, 2.4);
  fill_ellipse(cr, 0, -47, 5, 4, pink);
  for (double dx : {-6.5, 0.0, 6.5}) fill_ellipse(cr, dx, -56 + std::fabs(dx) * 0.3, 2.4, 2.4, pink);
  cairo_restore(cr);
}

// A little ghost floating up and down, its hem rippling; t runs from 0 to 1 per float.
void draw_ghost(cairo_t* cr, double t) {
  const double phase = 2 * kPi * t;
  const double rise = std::sin(phase);
  ground_shadow(cr, 100, 222, 50 * (1 - 0.15 * rise), 8 * (1 - 0.15 * rise), 0.22 * (1 - 0.3 * rise));

  cairo_save(cr);
  cairo_translate(cr, 100, 112 - 9 * rise);
  cairo_rotate(cr, 0.06 * std::sin(phase + 0.6));
  const Colour outline{0.52, 0.47, 0.78, 0.85};
  for (int side : {-1, 1}) {  // little arms behind the body
    cairo_save(cr);
    cairo_translate(cr, side * 56, 20);
    cairo_rotate(cr, side * (0.5 + 0.25 * std::sin(phase * 2 + side)));
    ellipse_path(cr, 0, 0, 16, 10);
    fill_and_outline(cr, {0.93, 0.92, 1.0, 0.92}, outline, 2.4);
    cairo_restore(cr);
  }

  // Body: a dome, straight sides, and a hem of four scallops that ripple with the float.
  const double half = 60, hem = 70;
  cairo_new_path(cr);
  cairo_arc(cr, 0, -20, half, kPi, 2 * kPi);
  cairo_line_to(cr, half, hem);
  for (int k = 0; k < 4; ++k) {
    const double x0 = half - k * 30, x1 = x0 - 30;
    const double depth = 14 + 5 * std::sin(phase + k * 1.3);
    cairo_curve_to(cr, x0 - 6, hem + depth, x1 + 6, hem + depth, x1, hem);
  }
  cairo_close_path(cr);
  cairo_pattern_t* glow = cairo_pattern_create_radial(-18, -40, 6, 0, 0, 95);
  cairo_pattern_add_color_stop_rgba(glow, 0.0, 1.0, 1.0, 1.0, 0.96);
  cairo_pattern_add_color_stop_rgba(glow, 1.0, 0.80, 0.78, 0.98, 0.9);
  cairo_set_source(cr, glow);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(glow);
  set_colour(cr, outline);
  cairo_set_line_width(cr, 2.6);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_stroke(cr);

  eye(cr, -20, -8, 8, 11, false);
  eye(cr, 20, -8, 8, 11, false);
  blush(cr, -34, 12, 9);
  blush(cr, 34, 12, 9);
  fill_ellipse(cr, 0, 18, 6, 7 + 1.5 * std::sin(phase * 2), {0.3, 0.2, 0.35, 1});
  cairo_restore(cr);
}

struct Character {
  const char* name;
  int width, height;
};

constexpr Character kCharacters[] = {{"slime", 200, 200}, {"cat", 220, 240}, {"ghost", 200, 240}};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: draw_sample_frames slime|cat|ghost FRAMES OUT_DIRECTORY\n");
    return 2;
  }
  const Character* character = nullptr;
  for (const Character& candidate : kCharacters)
    if (std::strcmp(candidate.name, argv[1]) == 0) character = &candidate;
  const int frames = std::atoi(argv[2]);
  if (character == nullptr || frames < 2 || frames > 999) {
    std::fprintf(stderr, "draw_sample_frames: unknown character or frame count out of 2..999\n");
    return 2;
  }
  for (int i = 0; i < frames; ++i) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, character->width, character->height);
    cairo_t* cr = cairo_create(surface);
    const std::string name = character->name;
    if (name == "slime") draw_slime(cr, double(i) / frames, i == frames * 3 / 4);
    if (name == "cat") draw_cat(cr, double(i) / (frames - 1));  // both ends shown: it plays back and forth
    if (name == "ghost") draw_ghost(cr, double(i) / frames);
    cairo_destroy(cr);
    char path[4096];
    std::snprintf(path, sizeof path, "%s/frame_%03d.png", argv[3], i);
    const cairo_status_t status = cairo_surface_write_to_png(surface, path);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
      std::fprintf(stderr, "draw_sample_frames: %s: %s\n", path, cairo_status_to_string(status));
      return 1;
    }
  }
  cairo_debug_reset_static_data();
  return 0;
}
