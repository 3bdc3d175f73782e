#include "synthetic.h"

#include <algorithm>
#include <cmath>

namespace kvtool {

namespace {

unsigned char Clamp(double v) { return static_cast<unsigned char>(std::min(255.0, std::max(0.0, v))); }

}  // namespace

void MakeGrayScene(KImageBW8& image, int width, int height) {
  image.SetSize(width, height);
  const double cx = width * 0.5, cy = height * 0.5, radius = std::min(width, height) * 0.35;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = x - cx, dy = y - cy, r = std::sqrt(dx * dx + dy * dy);
      double v = 40.0 + 80.0 * x / width;                                         // ramp
      if (r < radius) v += 130.0 * std::sqrt(1.0 - (r * r) / (radius * radius));  // dome
      const double angle = std::atan2(dy, dx);
      if (r > radius * 1.1 && r < radius * 1.3 && std::fmod(angle + 4.0, 0.5) < 0.25) v = 235;  // bars
      if (x > width * 0.05 && x < width * 0.2 && y > height * 0.7 && y < height * 0.9) v = 10;
      image.SetPixel(Clamp(v), x, y);
    }
  }
}

void MakeColourScene(KImageC24& image, int width, int height) {
  image.SetSize(width, height);
  const double cx = width * 0.5, cy = height * 0.5, radius = std::min(width, height) * 0.45;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = x - cx, dy = y - cy, r = std::sqrt(dx * dx + dy * dy);
      double red = 60 + 60.0 * y / height, green = 70 + 60.0 * y / height, blue = 110 + 80.0 * y / height;
      if (r < radius) {
        // Hue around the wheel, saturation growing outwards.
        const double hue = (std::atan2(dy, dx) + M_PI) / (2 * M_PI) * 6.0, s = r / radius;
        const double f = hue - std::floor(hue);
        double rgb[3];
        switch (static_cast<int>(hue) % 6) {
          case 0: rgb[0] = 1, rgb[1] = f, rgb[2] = 0; break;
          case 1: rgb[0] = 1 - f, rgb[1] = 1, rgb[2] = 0; break;
          case 2: rgb[0] = 0, rgb[1] = 1, rgb[2] = f; break;
          case 3: rgb[0] = 0, rgb[1] = 1 - f, rgb[2] = 1; break;
          case 4: rgb[0] = f, rgb[1] = 0, rgb[2] = 1; break;
          default: rgb[0] = 1, rgb[1] = 0, rgb[2] = 1 - f; break;
        }
        red = 255 * (1 - s + s * rgb[0]);
        green = 255 * (1 - s + s * rgb[1]);
        blue = 255 * (1 - s + s * rgb[2]);
      }
      // Memory order is blue, green, red: KC24 takes byte 2 (red) first.
      image.SetPixel(KC24(Clamp(red), Clamp(green), Clamp(blue)), x, y);
    }
  }
}

}  // namespace kvtool
