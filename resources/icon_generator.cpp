// Draws the program's icon (a small round character: head, eyes, shoulders) and writes it as a Windows
// icon file with 48, 32 and 16 pixel images of 32 bits. Built and run on the build machine.
// Usage: icon_generator output.ico
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Colour {
  float r, g, b, a;  // premultiplied, 0 to 1
};

// Paints c over dst with coverage (0 to 1).
void paint_over(Colour& dst, Colour c, float coverage) {
  const float a = c.a * coverage;
  dst.r = c.r * coverage + dst.r * (1 - a);
  dst.g = c.g * coverage + dst.g * (1 - a);
  dst.b = c.b * coverage + dst.b * (1 - a);
  dst.a = a + dst.a * (1 - a);
}

Colour opaque(int r, int g, int b) { return Colour{r / 255.0f, g / 255.0f, b / 255.0f, 1.0f}; }

bool in_ellipse(float x, float y, float cx, float cy, float rx, float ry) {
  const float dx = (x - cx) / rx;
  const float dy = (y - cy) / ry;
  return dx * dx + dy * dy <= 1.0f;
}

// The figure at a point of the unit square (y downwards), one layer over the other.
Colour figure(float x, float y) {
  const Colour outline = opaque(46, 32, 74);
  const Colour body = opaque(108, 74, 182);
  const Colour face = opaque(246, 196, 140);
  const Colour eye = opaque(46, 32, 74);
  Colour c{0, 0, 0, 0};
  if (y <= 0.97f && in_ellipse(x, y, 0.5f, 1.02f, 0.42f, 0.36f)) paint_over(c, outline, 1);
  if (y <= 0.93f && in_ellipse(x, y, 0.5f, 1.02f, 0.37f, 0.31f)) paint_over(c, body, 1);
  if (in_ellipse(x, y, 0.5f, 0.39f, 0.33f, 0.33f)) paint_over(c, outline, 1);
  if (in_ellipse(x, y, 0.5f, 0.39f, 0.28f, 0.28f)) paint_over(c, face, 1);
  if (in_ellipse(x, y, 0.39f, 0.37f, 0.05f, 0.07f) || in_ellipse(x, y, 0.61f, 0.37f, 0.05f, 0.07f))
    paint_over(c, eye, 1);
  return c;
}

// One image of size x size pixels, top row first, straight (not premultiplied) B, G, R, A: each pixel
// averages 8 x 8 samples, so the edges are smooth at every size.
std::vector<uint8_t> draw(int size) {
  const int kSamples = 8;
  std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * 4);
  for (int row = 0; row < size; ++row) {
    for (int column = 0; column < size; ++column) {
      Colour sum{0, 0, 0, 0};
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const Colour c =
              figure((column + (sx + 0.5f) / kSamples) / size, (row + (sy + 0.5f) / kSamples) / size);
          sum.r += c.r;
          sum.g += c.g;
          sum.b += c.b;
          sum.a += c.a;
        }
      }
      const float n = kSamples * kSamples;
      const float a = sum.a / n;
      auto straight = [a, n](float premultiplied) {
        return a > 0 ? static_cast<uint8_t>(std::lround(std::fmin(1.0f, premultiplied / n / a) * 255)) : 0;
      };
      uint8_t* p = &pixels[(static_cast<size_t>(row) * size + column) * 4];
      p[0] = straight(sum.b);
      p[1] = straight(sum.g);
      p[2] = straight(sum.r);
      p[3] = static_cast<uint8_t>(std::lround(a * 255));
    }
  }
  return pixels;
}

void put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

// An icon image: a BITMAPINFOHEADER of twice the height, the colour rows bottom-up, then the 1-bit
// mask rows (set where the pixel is transparent), bottom-up, each padded to 4 bytes.
std::vector<uint8_t> icon_image(int size) {
  const std::vector<uint8_t> pixels = draw(size);
  const uint32_t mask_row = ((size + 31) / 32) * 4;
  std::vector<uint8_t> out;
  put32(out, 40);
  put32(out, size);
  put32(out, size * 2);
  put16(out, 1);   // planes
  put16(out, 32);  // bits per pixel
  put32(out, 0);   // BI_RGB
  put32(out, size * size * 4 + mask_row * size);
  for (int i = 0; i < 4; ++i) put32(out, 0);
  for (int row = size - 1; row >= 0; --row)
    out.insert(out.end(), &pixels[static_cast<size_t>(row) * size * 4],
               &pixels[static_cast<size_t>(row + 1) * size * 4]);
  for (int row = size - 1; row >= 0; --row) {
    std::vector<uint8_t> bits(mask_row, 0);
    for (int column = 0; column < size; ++column) {
      if (pixels[(static_cast<size_t>(row) * size + column) * 4 + 3] == 0)
        bits[column / 8] |= 0x80 >> (column % 8);
    }
    out.insert(out.end(), bits.begin(), bits.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: icon_generator output.ico\n");
    return 2;
  }
  const int sizes[] = {48, 32, 16};
  const uint32_t count = sizeof sizes / sizeof sizes[0];
  std::vector<std::vector<uint8_t>> images;
  for (int size : sizes) images.push_back(icon_image(size));

  std::vector<uint8_t> file;
  put16(file, 0);  // reserved
  put16(file, 1);  // an icon
  put16(file, count);
  uint32_t offset = 6 + 16 * count;
  for (uint32_t i = 0; i < count; ++i) {
    file.push_back(static_cast<uint8_t>(sizes[i]));
    file.push_back(static_cast<uint8_t>(sizes[i]));
    file.push_back(0);  // no palette
    file.push_back(0);
    put16(file, 1);   // planes
    put16(file, 32);  // bits per pixel
    put32(file, static_cast<uint32_t>(images[i].size()));
    put32(file, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());

  FILE* out = fopen(argv[1], "wb");
  if (out == nullptr) {
    perror(argv[1]);
    return 1;
  }
  const bool written = fwrite(file.data(), 1, file.size(), out) == file.size();
  if (fclose(out) != 0 || !written) {
    perror(argv[1]);
    return 1;
  }
  return 0;
}
