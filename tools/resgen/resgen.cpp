// Draws Miravel's icons and writes its silent sounds, then a resource script
// fragment that names them, all into the folder given as the only argument:
//   resgen OUTDIR  ->  OUTDIR/icon_NNN.ico, OUTDIR/wave_NNN.wav, OUTDIR/miravel_art.rc
// Runs on the build machine. Icons are 32-bit BGRA with alpha; every shape is
// a signed distance function sampled 4 x 4 times per pixel for anti-aliasing.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "miravel_ids.h"

namespace {

struct Colour {
  float r, g, b, a;
};

constexpr Colour kGreen{0.18f, 0.62f, 0.31f, 1};
constexpr Colour kDarkGreen{0.10f, 0.40f, 0.20f, 1};
constexpr Colour kBlue{0.16f, 0.44f, 0.84f, 1};
constexpr Colour kDarkBlue{0.10f, 0.27f, 0.55f, 1};
constexpr Colour kGrey{0.50f, 0.53f, 0.56f, 1};
constexpr Colour kDarkGrey{0.30f, 0.32f, 0.35f, 1};
constexpr Colour kRed{0.85f, 0.15f, 0.12f, 1};
constexpr Colour kOrange{0.96f, 0.55f, 0.10f, 1};
constexpr Colour kWhite{1, 1, 1, 1};
constexpr Colour kPale{0.92f, 0.95f, 0.98f, 1};
constexpr float kPi = 3.14159265f;

// A shape: distance from the point (x, y) in unit coordinates (0..1, y down)
// to its outline, negative inside.
using Shape = std::function<float(float x, float y)>;

struct Layer {
  Shape shape;
  Colour colour;
};

using Design = std::vector<Layer>;

Shape circle(float cx, float cy, float r) {
  return [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; };
}

// A ring of the given width, optionally limited to angles [from, to] in
// radians (0 points right, angles grow clockwise because y points down).
Shape arc(float cx, float cy, float r, float width, float from = -10, float to = 10) {
  return [=](float x, float y) {
    float d = std::fabs(std::hypot(x - cx, y - cy) - r) - width / 2;
    float angle = std::atan2(y - cy, x - cx);
    if (angle < from || angle > to) {
      // Outside the angular range: distance to the nearer end cap.
      float ex1 = cx + r * std::cos(from), ey1 = cy + r * std::sin(from);
      float ex2 = cx + r * std::cos(to), ey2 = cy + r * std::sin(to);
      d = std::min(std::hypot(x - ex1, y - ey1), std::hypot(x - ex2, y - ey2)) - width / 2;
    }
    return d;
  };
}

// A segment with round ends of radius r.
Shape capsule(float x1, float y1, float x2, float y2, float r) {
  return [=](float x, float y) {
    float dx = x2 - x1, dy = y2 - y1;
    float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? ((x - x1) * dx + (y - y1) * dy) / len2 : 0;
    t = std::fmax(0, std::fmin(1, t));
    return std::hypot(x - (x1 + t * dx), y - (y1 + t * dy)) - r;
  };
}

// A rectangle centred at (cx, cy) with half sizes (hx, hy) and corner radius r.
Shape roundedBox(float cx, float cy, float hx, float hy, float r) {
  return [=](float x, float y) {
    float qx = std::fabs(x - cx) - hx + r, qy = std::fabs(y - cy) - hy + r;
    float outside = std::hypot(std::fmax(qx, 0), std::fmax(qy, 0));
    return outside + std::fmin(std::fmax(qx, qy), 0) - r;
  };
}

// A convex polygon given clockwise (in y-down coordinates).
Shape polygon(std::vector<std::pair<float, float>> points) {
  return [=](float x, float y) {
    float d = -1e9f;
    for (size_t i = 0; i < points.size(); ++i) {
      auto [ax, ay] = points[i];
      auto [bx, by] = points[(i + 1) % points.size()];
      float nx = by - ay, ny = ax - bx;  // outward normal of a clockwise edge
      float len = std::hypot(nx, ny);
      d = std::fmax(d, ((x - ax) * nx + (y - ay) * ny) / len);
    }
    return d;
  };
}

// The same shape turned by angle radians about (cx, cy).
Shape rotated(Shape shape, float cx, float cy, float angle) {
  return [=](float x, float y) {
    float c = std::cos(-angle), s = std::sin(-angle);
    float dx = x - cx, dy = y - cy;
    return shape(cx + c * dx - s * dy, cy + s * dx + c * dy);
  };
}

// A microphone on its stand, scaled by s about its centre (cx, cy).
void addMicrophone(Design& d, float cx, float cy, float s, Colour body, Colour stand) {
  d.push_back({roundedBox(cx, cy - 0.14f * s, 0.14f * s, 0.25f * s, 0.14f * s), body});
  d.push_back({arc(cx, cy - 0.06f * s, 0.25f * s, 0.075f * s, 0, kPi), stand});
  d.push_back({capsule(cx, cy + 0.19f * s, cx, cy + 0.34f * s, 0.04f * s), stand});
  d.push_back({capsule(cx - 0.17f * s, cy + 0.36f * s, cx + 0.17f * s, cy + 0.36f * s, 0.045f * s), stand});
}

void addSlash(Design& d) {
  d.push_back({capsule(0.16f, 0.16f, 0.84f, 0.84f, 0.085f), kWhite});
  d.push_back({capsule(0.16f, 0.16f, 0.84f, 0.84f, 0.055f), kRed});
}

// Sound waves right of the microphone; phase in [0, 1) moves them outward.
void addWaves(Design& d, Colour colour, float phase) {
  for (int i = 0; i < 2; ++i) {
    float r = 0.22f + 0.16f * (static_cast<float>(i) + phase);
    d.push_back({arc(0.42f, 0.40f, r, 0.07f, -0.75f, 0.75f), colour});
  }
}

// A beam wedge pointing up, turned by angle radians.
void addBeam(Design& d, float angle) {
  Shape wedge = polygon({{0.5f, 0.55f}, {0.32f, 0.04f}, {0.68f, 0.04f}});
  d.push_back({rotated(wedge, 0.5f, 0.55f, angle), Colour{0.96f, 0.75f, 0.20f, 0.85f}});
}

Design microphoneIcon(Colour body, Colour stand, bool slashed) {
  Design d;
  addMicrophone(d, 0.5f, 0.5f, 1.0f, body, stand);
  if (slashed) addSlash(d);
  return d;
}

Design arrayIcon(Colour body, Colour stand, bool slashed, float beamAngle) {
  Design d;
  addBeam(d, beamAngle);
  addMicrophone(d, 0.5f, 0.56f, 0.85f, body, stand);
  if (slashed) addSlash(d);
  return d;
}

Design streamFrame(int frame) {
  Design d;
  addMicrophone(d, 0.36f, 0.5f, 0.9f, kGreen, kDarkGreen);
  if (frame > 0) addWaves(d, kDarkGreen, static_cast<float>(frame % 4) / 4);
  return d;
}

Design headerIcon(bool array) {
  Design d;
  d.push_back({circle(0.5f, 0.5f, 0.48f), kPale});
  if (array) addBeam(d, 0);
  addMicrophone(d, 0.5f, 0.54f, 0.8f, array ? kBlue : kGreen, array ? kDarkBlue : kDarkGreen);
  return d;
}

Design stateIcon(int state) {  // 0 off, 1 on and active, 2 on and idle
  Design d;
  if (state == 1) {
    addMicrophone(d, 0.36f, 0.5f, 0.9f, kGreen, kDarkGreen);
    addWaves(d, kDarkGreen, 0.25f);
  } else {
    addMicrophone(d, 0.5f, 0.5f, 1.0f, state == 0 ? kGrey : kGreen, state == 0 ? kDarkGrey : kDarkGreen);
    if (state == 0) addSlash(d);
  }
  return d;
}

Design chevron(bool down) {
  Design d;
  float y1 = down ? 0.35f : 0.65f, y2 = down ? 0.65f : 0.35f;
  d.push_back({capsule(0.22f, y1, 0.5f, y2, 0.08f), kDarkGrey});
  d.push_back({capsule(0.5f, y2, 0.78f, y1, 0.08f), kDarkGrey});
  return d;
}

Design handle(Colour fill) {
  Design d;
  d.push_back({circle(0.5f, 0.5f, 0.46f), kWhite});
  d.push_back({circle(0.5f, 0.5f, 0.36f), fill});
  return d;
}

// A notebook: screen above, keyboard below; sideways turns it by 90 degrees.
Design device(bool upright) {
  Design d;
  float angle = upright ? 0 : kPi / 2;
  auto add = [&](Shape s, Colour c) { d.push_back({rotated(s, 0.5f, 0.5f, angle), c}); };
  add(roundedBox(0.5f, 0.36f, 0.40f, 0.28f, 0.05f), kDarkGrey);
  add(roundedBox(0.5f, 0.36f, 0.34f, 0.22f, 0.02f), Colour{0.55f, 0.75f, 0.95f, 1});
  add(polygon({{0.06f, 0.72f}, {0.94f, 0.72f}, {0.99f, 0.86f}, {0.01f, 0.86f}}), kGrey);
  add(circle(0.5f, 0.11f, 0.025f), kWhite);  // the microphone above the screen
  return d;
}

Design offOverlay() {
  Design d;
  d.push_back({circle(0.72f, 0.72f, 0.27f), kWhite});
  d.push_back({circle(0.72f, 0.72f, 0.22f), kRed});
  d.push_back({capsule(0.60f, 0.72f, 0.84f, 0.72f, 0.05f), kWhite});
  return d;
}

// Renders a design at size x size pixels into straight (not premultiplied) BGRA, top row first.
std::vector<uint8_t> render(const Design& design, int size) {
  constexpr int kSub = 4;
  std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * 4);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      float r = 0, g = 0, b = 0, a = 0;  // premultiplied accumulation
      for (int sy = 0; sy < kSub; ++sy) {
        for (int sx = 0; sx < kSub; ++sx) {
          float x = (static_cast<float>(px) + (static_cast<float>(sx) + 0.5f) / kSub) / static_cast<float>(size);
          float y = (static_cast<float>(py) + (static_cast<float>(sy) + 0.5f) / kSub) / static_cast<float>(size);
          float cr = 0, cg = 0, cb = 0, ca = 0;
          for (const Layer& layer : design) {
            if (layer.shape(x, y) > 0) continue;
            float la = layer.colour.a;  // source over destination
            cr = layer.colour.r * la + cr * (1 - la);
            cg = layer.colour.g * la + cg * (1 - la);
            cb = layer.colour.b * la + cb * (1 - la);
            ca = la + ca * (1 - la);
          }
          r += cr, g += cg, b += cb, a += ca;
        }
      }
      constexpr float kSamples = kSub * kSub;
      r /= kSamples, g /= kSamples, b /= kSamples, a /= kSamples;
      auto byte = [](float v) { return static_cast<uint8_t>(std::lround(std::fmin(1, std::fmax(0, v)) * 255)); };
      uint8_t* out = &pixels[(static_cast<size_t>(py) * size + px) * 4];
      out[0] = byte(a > 0 ? b / a : 0);
      out[1] = byte(a > 0 ? g / a : 0);
      out[2] = byte(a > 0 ? r / a : 0);
      out[3] = byte(a);
    }
  }
  return pixels;
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// An .ico file with one 32-bit image per size: the directory, then for each
// image a BITMAPINFOHEADER (height doubled for the mask), the pixels bottom
// row first, and the 1-bit AND mask (set where fully transparent).
std::vector<uint8_t> iconFile(const Design& design, const std::vector<int>& sizes) {
  std::vector<std::vector<uint8_t>> images;
  for (int size : sizes) {
    std::vector<uint8_t> pixels = render(design, size);
    std::vector<uint8_t> image;
    put32(image, 40);
    put32(image, static_cast<uint32_t>(size));
    put32(image, static_cast<uint32_t>(size * 2));
    put16(image, 1);
    put16(image, 32);
    for (int i = 0; i < 6; ++i) put32(image, 0);
    for (int y = size - 1; y >= 0; --y)
      image.insert(image.end(), pixels.begin() + static_cast<long>(y) * size * 4, pixels.begin() + static_cast<long>(y + 1) * size * 4);
    const int maskStride = (size + 31) / 32 * 4;
    for (int y = size - 1; y >= 0; --y) {
      std::vector<uint8_t> row(static_cast<size_t>(maskStride), 0);
      for (int x = 0; x < size; ++x)
        if (pixels[(static_cast<size_t>(y) * size + x) * 4 + 3] == 0) row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
      image.insert(image.end(), row.begin(), row.end());
    }
    images.push_back(std::move(image));
  }
  std::vector<uint8_t> file;
  put16(file, 0);
  put16(file, 1);  // icon
  put16(file, static_cast<uint32_t>(sizes.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i) {
    file.push_back(static_cast<uint8_t>(sizes[i] >= 256 ? 0 : sizes[i]));
    file.push_back(static_cast<uint8_t>(sizes[i] >= 256 ? 0 : sizes[i]));
    file.push_back(0);  // no palette
    file.push_back(0);
    put16(file, 1);   // planes
    put16(file, 32);  // bits per pixel
    put32(file, static_cast<uint32_t>(images[i].size()));
    put32(file, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
  return file;
}

// A RIFF WAVE file of 16-bit mono PCM zeros.
std::vector<uint8_t> silentWave(uint32_t rate, uint32_t samples) {
  constexpr uint32_t kBytesPerSample = 2;
  const uint32_t dataBytes = samples * kBytesPerSample;
  std::vector<uint8_t> file;
  auto tag = [&](const char* t) { file.insert(file.end(), t, t + 4); };
  tag("RIFF");
  put32(file, 36 + dataBytes);
  tag("WAVE");
  tag("fmt ");
  put32(file, 16);
  put16(file, 1);  // PCM
  put16(file, 1);  // mono
  put32(file, rate);
  put32(file, rate * kBytesPerSample);
  put16(file, kBytesPerSample);
  put16(file, 16);
  tag("data");
  put32(file, dataBytes);
  file.insert(file.end(), dataBytes, 0);
  return file;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

struct IconJob {
  int id;
  Design design;
  std::vector<int> sizes;
};

struct WaveJob {
  int id;
  uint32_t rate;
  uint32_t samples;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: resgen OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::vector<int> tray = {16, 32};
  const std::vector<int> small = {16};
  const std::vector<int> large = {32};

  std::vector<IconJob> icons = {
      {IDI_APP_ARRAY_ON, arrayIcon(kBlue, kDarkBlue, false, 0), {16, 32, 48}},
      {IDI_TRAY_ON, microphoneIcon(kGreen, kDarkGreen, false), tray},
      {IDI_TRAY_ARRAY_OFF, arrayIcon(kGrey, kDarkGrey, true, 0), tray},
      {IDI_TRAY_OFF, microphoneIcon(kGrey, kDarkGrey, true), tray},
      {IDI_HEADER_MAIN, headerIcon(false), large},
      {IDI_HEADER_ARRAY, headerIcon(true), large},
      {IDI_TAB_MAIN_HOT, microphoneIcon(kGreen, kDarkGreen, false), small},
      {IDI_TAB_MAIN, microphoneIcon(kGrey, kDarkGrey, false), small},
      {IDI_TAB_ARRAY_HOT, arrayIcon(kBlue, kDarkBlue, false, 0), small},
      {IDI_TAB_ARRAY, arrayIcon(kGrey, kDarkGrey, false, 0), small},
      {IDI_TAB_OFF_OVERLAY, offOverlay(), small},
      {IDI_STATE_OFF, stateIcon(0), large},
      {IDI_STATE_ON_ACTIVE, stateIcon(1), large},
      {IDI_STATE_ON_IDLE, stateIcon(2), large},
      {IDI_DETAILS_MORE, chevron(true), small},
      {IDI_DETAILS_LESS, chevron(false), small},
      {IDI_HANDLE_HOT, handle(kOrange), {24}},
      {IDI_HANDLE_DRAGGED, handle(Colour{0.75f, 0.35f, 0.05f, 1}), {24}},
      {IDI_HANDLE, handle(kBlue), {24}},
      {IDI_DEVICE_SIDEWAYS, device(false), {46}},
      {IDI_DEVICE_UPRIGHT, device(true), {46}},
  };
  for (int id = IDI_STREAM_FRAME_FIRST; id <= IDI_STREAM_FRAME_LAST; ++id)
    icons.push_back({id, streamFrame(id - IDI_STREAM_FRAME_FIRST), small});
  // The array frames sweep the beam from left to right; the animation plays them forth and back.
  const int arrayFrames = IDI_ARRAY_FRAME_LAST - IDI_ARRAY_FRAME_FIRST + 1;
  for (int id = IDI_ARRAY_FRAME_FIRST; id <= IDI_ARRAY_FRAME_LAST; ++id) {
    float angle = (static_cast<float>(id - IDI_ARRAY_FRAME_FIRST) / static_cast<float>(arrayFrames - 1) - 0.5f) * (kPi / 1.5f);
    icons.push_back({id, arrayIcon(kBlue, kDarkBlue, false, angle), small});
  }

  const std::vector<WaveJob> waves = {
      {IDW_SILENCE_8000, 8000, 50},   {IDW_SILENCE_11025, 11025, 69}, {IDW_SILENCE_16000, 16000, 100},
      {IDW_SILENCE_22050, 22050, 137}, {IDW_SILENCE_32000, 32000, 100}, {IDW_SILENCE_44100, 44100, 273},
      {IDW_SILENCE_48000, 48000, 100},
  };

  std::string script = "// Generated by tools/resgen: Miravel's icons and silent sounds.\n";
  for (const IconJob& job : icons) {
    std::string name = "icon_" + std::to_string(job.id) + ".ico";
    if (!writeFile(dir + "/" + name, iconFile(job.design, job.sizes))) {
      std::fprintf(stderr, "resgen: cannot write %s\n", name.c_str());
      return 1;
    }
    script += std::to_string(job.id) + " ICON \"" + name + "\"\n";
  }
  for (const WaveJob& job : waves) {
    std::string name = "wave_" + std::to_string(job.id) + ".wav";
    if (!writeFile(dir + "/" + name, silentWave(job.rate, job.samples))) {
      std::fprintf(stderr, "resgen: cannot write %s\n", name.c_str());
      return 1;
    }
    script += std::to_string(job.id) + " WAVE \"" + name + "\"\n";
  }
  if (!writeFile(dir + "/miravel_art.rc", std::vector<uint8_t>(script.begin(), script.end()))) {
    std::fprintf(stderr, "resgen: cannot write miravel_art.rc\n");
    return 1;
  }
  return 0;
}
