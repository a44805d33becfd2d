// Draws the bundled sample photos (a colour chart, a landscape, a warm portrait card) into
// DibImage and saves them as JPEG (and one as PNG) through the format dispatch: make-samples
// OUTPUT_FOLDER.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "image/dib_image.h"

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 700;

struct Colour {
    double r, g, b;
};

Colour mix(Colour a, Colour b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour scale(Colour c, double f) {
    return {c.r * f, c.g * f, c.b * f};
}

// Deterministic hash noise in [-1, 1]: the same picture on every machine.
double hashNoise(int x, int y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return double(h & 0xFFFF) / 32767.5 - 1.0;
}

// Smooth value noise in [-1, 1] with features of about `cell` pixels.
double smoothNoise(double x, double y, double cell, uint32_t seed) {
    const double fx = x / cell, fy = y / cell;
    const int ix = int(std::floor(fx)), iy = int(std::floor(fy));
    const double tx = fx - ix, ty = fy - iy;
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const double a = hashNoise(ix, iy, seed), b = hashNoise(ix + 1, iy, seed);
    const double c = hashNoise(ix, iy + 1, seed), d = hashNoise(ix + 1, iy + 1, seed);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

double fractalNoise(double x, double y, double cell, uint32_t seed) {
    double sum = 0, weight = 1, total = 0;
    for (int octave = 0; octave < 4; ++octave) {
        sum += weight * smoothNoise(x, y, cell, seed + uint32_t(octave));
        total += weight;
        weight *= 0.5;
        cell *= 0.5;
    }
    return sum / total;
}

// Sets pixel (x, y) counted from the top of the picture, with a little sensor grain.
void put(DibImage& img, int x, int y, Colour c, double grain, uint32_t seed) {
    const double n = grain * hashNoise(x, y, seed);
    auto channel = [&](double v) { return uint8_t(std::clamp(v + n, 0.0, 255.0)); };
    uint8_t* p = img.row(img.height() - 1 - y) + 3 * x;
    p[0] = channel(c.b);
    p[1] = channel(c.g);
    p[2] = channel(c.r);
}

double vignette(int x, int y, double strength) {
    const double dx = (x - kWidth / 2.0) / (kWidth / 2.0);
    const double dy = (y - kHeight / 2.0) / (kHeight / 2.0);
    return 1.0 - strength * (dx * dx + dy * dy) / 2;
}

// Twenty-four patches in the manner of a photographer's colour checker, a hue band above
// and a grey ramp below, on a dark board lit a little unevenly.
void drawColourChart(DibImage& img) {
    static const Colour patches[24] = {
        {115, 82, 68},   {194, 150, 130}, {98, 122, 157}, {87, 108, 67},   {133, 128, 177},
        {103, 189, 170}, {214, 126, 44},  {80, 91, 166},  {193, 90, 99},   {94, 60, 108},
        {157, 188, 64},  {224, 163, 46},  {56, 61, 150},  {70, 148, 73},   {175, 54, 60},
        {231, 199, 31},  {187, 86, 149},  {8, 133, 161},  {243, 243, 242}, {200, 200, 200},
        {160, 160, 160}, {122, 122, 121}, {85, 85, 85},   {52, 52, 52}};
    const Colour board{38, 36, 34};
    const int left = 135, top = 105, cell = 110, gap = 14;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            Colour c = board;
            if (y >= 30 && y < 80 && x >= 80 && x < 920) {
                // A full hue circle, saturated at the middle row, paler to the edges.
                const double h = (x - 80) / 840.0 * 6.0;
                const double f = h - std::floor(h);
                const int sector = int(h) % 6;
                const double q = 1 - f;
                const Colour hues[6] = {{1, f, 0}, {q, 1, 0}, {0, 1, f},
                                        {0, q, 1}, {f, 0, 1}, {1, 0, q}};
                const double pale = std::abs(y - 55) / 25.0;
                c = mix(scale(hues[sector], 255), Colour{235, 235, 235}, pale * 0.6);
            } else if (y >= 615 && y < 665 && x >= 80 && x < 920) {
                const double v = (x - 80) / 839.0 * 255;
                c = {v, v, v};
            } else {
                const int col = (x - left) / (cell + gap), row = (y - top) / (cell + gap);
                const int inX = (x - left) % (cell + gap), inY = (y - top) % (cell + gap);
                if (x >= left && y >= top && col < 6 && row < 4 && inX < cell && inY < cell &&
                    inX >= 0 && inY >= 0)
                    c = patches[row * 6 + col];
                c = scale(c, vignette(x, y, 0.25));
            }
            put(img, x, y, c, 4.0, 1);
        }
}

// Sky with a low sun and soft clouds, bluish hills, and a meadow whose texture grows
// coarser towards the viewer.
void drawLandscape(DibImage& img) {
    const double horizon = 390;
    const Colour zenith{38, 92, 178}, nearHorizon{178, 208, 232};
    const Colour sunGlow{255, 236, 190};
    const double sunX = 720, sunY = 250;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            Colour c;
            const double hill =
                horizon - 60 - 45 * std::sin(x / 170.0) - 25 * std::sin(x / 53.0 + 1);
            const double ground = horizon + 12 * std::sin(x / 300.0 + 2);
            if (y < hill) {
                c = mix(zenith, nearHorizon, std::pow(y / horizon, 1.4));
                const double d = std::hypot(x - sunX, y - sunY);
                c = mix(c, sunGlow, std::exp(-d / 90.0));
                if (d < 28) c = Colour{255, 250, 232};
                const double cloud = fractalNoise(x, y * 2.2, 180, 7) - 0.1;
                if (cloud > 0) c = mix(c, Colour{246, 246, 250}, std::min(1.0, cloud * 2.4));
            } else if (y < ground) {
                const double depth = (y - hill) / std::max(1.0, ground - hill);
                c = mix(Colour{96, 122, 140}, Colour{70, 110, 84}, depth);
                c = scale(c, 1 + 0.08 * fractalNoise(x, y, 40, 11));
            } else {
                const double t = (y - ground) / (kHeight - ground);
                c = mix(Colour{120, 160, 60}, Colour{52, 112, 30}, t);
                const double blades = fractalNoise(x * (1 + t * 3), y * 0.35, 30, 21);
                c = scale(c, 1 + 0.22 * blades * (0.4 + t));
                // A worn path bending into the distance.
                const double pathX = 430 + 180 * std::pow(t, 1.6) + 30 * std::sin(t * 6);
                const double half = 6 + 70 * t;
                if (std::abs(x - pathX) < half)
                    c = mix(c, Colour{164, 140, 102}, 0.75 - std::abs(x - pathX) / half * 0.5);
            }
            put(img, x, y, c, 6.0, 2);
        }
}

// A warm card: cream border, an amber backdrop, and a softly lit face-like oval with hair
// and shoulders; lots of skin tones for the colour rows to work on.
void drawPortraitCard(DibImage& img) {
    const Colour cream{244, 232, 210}, backTop{196, 120, 64}, backBottom{120, 62, 34};
    const Colour skin{226, 170, 132}, skinShadow{168, 110, 82}, hair{74, 44, 28};
    const Colour cloth{128, 40, 36};
    const double cx = 500, cy = 300;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            Colour c;
            const bool border = x < 40 || x >= kWidth - 40 || y < 40 || y >= kHeight - 40;
            if (border) {
                c = scale(cream, 1 + 0.02 * fractalNoise(x, y, 20, 31));
            } else {
                c = mix(backTop, backBottom, (y - 40) / 620.0);
                const double lamp = std::hypot(x - 320, y - 180);
                c = mix(c, Colour{246, 190, 120}, 0.45 * std::exp(-lamp / 260.0));
                // Shoulders and collar.
                const double shoulder = 560 + std::pow(std::abs(x - cx) / 260.0, 2) * 90;
                if (y > shoulder && std::abs(x - cx) < 330)
                    c = mix(cloth, Colour{80, 20, 24}, (y - shoulder) / 160.0);
                // Neck.
                if (std::abs(x - cx) < 55 && y > cy + 150 && y <= shoulder + 10)
                    c = mix(skin, skinShadow, 0.55);
                // Hair: a larger oval behind the face.
                const double hx = (x - cx) / 175.0, hy = (y - (cy - 30)) / 215.0;
                if (hx * hx + hy * hy < 1) c = scale(hair, 1 + 0.25 * fractalNoise(x, y, 14, 41));
                // Face, lit from the upper left.
                const double fx = (x - cx) / 140.0, fy = (y - cy) / 185.0;
                const double r2 = fx * fx + fy * fy;
                if (r2 < 1) {
                    const double light = 0.5 + 0.5 * (-0.55 * fx - 0.35 * fy +
                                                      0.75 * std::sqrt(1 - std::min(1.0, r2)));
                    c = mix(skinShadow, skin, light);
                    // Cheeks, a touch rosier.
                    for (double side : {-1.0, 1.0}) {
                        const double d = std::hypot(x - (cx + side * 70), y - (cy + 55));
                        c = mix(c, Colour{222, 128, 112}, 0.35 * std::exp(-d / 30.0));
                    }
                    // Closed eyes and a smile as soft dark strokes.
                    for (double side : {-1.0, 1.0}) {
                        const double ex = x - (cx + side * 55), ey = y - (cy - 20);
                        if (std::abs(ex) < 26 && std::abs(ey - ex * ex / 90.0) < 3)
                            c = mix(c, Colour{70, 40, 30}, 0.8);
                    }
                    const double mx = x - cx, my = y - (cy + 95);
                    if (std::abs(mx) < 45 && std::abs(my + mx * mx / 110.0) < 3.5)
                        c = mix(c, Colour{150, 60, 60}, 0.8);
                }
            }
            put(img, x, y, c, 4.0, 3);
        }
}

bool save(void (*draw)(DibImage&), const std::string& path, uint32_t type = JPEG) {
    DibImage img(kWidth, kHeight, 24, type);
    if (!img.isValid()) return false;
    draw(img);
    // The lossless sample is kept small: half size.
    if (type == PNG && !img.resample(kWidth / 2, kHeight / 2, 0)) return false;
    if (!img.saveToFile(path.c_str(), type)) {
        std::fprintf(stderr, "make-samples: cannot save %s: %s\n", path.c_str(), img.lastError());
        return false;
    }
    std::printf("wrote %s\n", path.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "samples";
    bool ok = save(drawColourChart, folder + "/colour-chart.jpg");
    ok = save(drawLandscape, folder + "/landscape.jpg") && ok;
    ok = save(drawPortraitCard, folder + "/portrait-card.jpg") && ok;
    ok = save(drawLandscape, folder + "/meadow.png", PNG) && ok;
    return ok ? 0 : 1;
}
