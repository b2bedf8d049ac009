// Draws the program's BITMAP resources pixel by pixel and writes each as <id>.bmp (24-bit,
// uncompressed, bottom-up) into the folder given. A host tool run by hand, never by the build: its
// output is committed in resources/bitmaps/, so after changing a picture here re-run it from the
// source root and commit the .bmp files with the change:
//
//   g++ -std=c++20 -O2 -I. -o /tmp/mkbitmaps resources/tools/mkbitmaps.cpp && /tmp/mkbitmaps
//   resources/bitmaps
//
// The output is deterministic: the same source gives the same bytes.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/BitmapIds.h"

namespace {

using namespace xqt::platform;

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

constexpr Rgb Hex(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

Rgb Mix(Rgb a, Rgb b, double t) {
    auto lerp = [t](int x, int y) { return static_cast<std::uint8_t>(x + (y - x) * t + 0.5); };
    return {lerp(a.r, b.r), lerp(a.g, b.g), lerp(a.b, b.b)};
}

// The four system greys a loader may map to the palette (text, shadow, face, light).
constexpr Rgb kBlack = Hex(0x000000);
constexpr Rgb kShadow = Hex(0x808080);
constexpr Rgb kFace = Hex(0xC0C0C0);
constexpr Rgb kLight = Hex(0xFFFFFF);

constexpr Rgb kTransparent = Hex(0xFF0000);

class Picture {
  public:
    Picture(int width, int height, Rgb fill)
        : w_(width), h_(height), px_(static_cast<std::size_t>(width * height), fill) {}

    int Width() const { return w_; }
    int Height() const { return h_; }
    Rgb At(int x, int y) const { return px_[static_cast<std::size_t>(y * w_ + x)]; }
    void Set(int x, int y, Rgb c) {
        if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[static_cast<std::size_t>(y * w_ + x)] = c;
    }
    void Fill(int x, int y, int width, int height, Rgb c) {
        for (int j = y; j < y + height; ++j)
            for (int i = x; i < x + width; ++i)
                Set(i, j, c);
    }
    /// One-pixel outline of the rectangle with corners (x0, y0) and (x1, y1), both inclusive.
    void Frame(int x0, int y0, int x1, int y1, Rgb c) {
        for (int i = x0; i <= x1; ++i)
            Set(i, y0, c), Set(i, y1, c);
        for (int j = y0; j <= y1; ++j)
            Set(x0, j, c), Set(x1, j, c);
    }

  private:
    int w_, h_;
    std::vector<Rgb> px_;
};

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::vector<std::uint8_t> EncodeBmp(const Picture& p) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(p.Width()) * 3 + 3) & ~3u;
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(p.Height());
    std::vector<std::uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 14 + 40 + imageSize);
    Put32(out, 0);        // reserved
    Put32(out, 14 + 40);  // offset of the pixels
    Put32(out, 40);       // info header size
    Put32(out, static_cast<std::uint32_t>(p.Width()));
    Put32(out, static_cast<std::uint32_t>(p.Height()));  // positive: rows stored bottom-up
    Put16(out, 1);                                       // planes
    Put16(out, 24);                                      // bits per pixel
    Put32(out, 0);                                       // no compression
    Put32(out, imageSize);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);  // colours used
    Put32(out, 0);  // important colours
    for (int y = p.Height() - 1; y >= 0; --y) {
        std::size_t rowStart = out.size();
        for (int x = 0; x < p.Width(); ++x) {
            Rgb c = p.At(x, y);
            out.push_back(c.b);
            out.push_back(c.g);
            out.push_back(c.r);
        }
        while (out.size() - rowStart < stride)
            out.push_back(0);
    }
    return out;
}

// Row background, 1 x 17: 2 rows of edge, 10 of body, 4 of edge, 1 of bottom.
Picture Strip(Rgb edge, Rgb body, Rgb bottom) {
    Picture p(1, 17, edge);
    p.Fill(0, 2, 1, 10, body);
    p.Fill(0, 16, 1, 1, bottom);
    return p;
}

Picture ProgressBar() {
    Picture p(1, 11, Hex(0x9C9EF7));
    p.Fill(0, 2, 1, 3, Hex(0xB5B2FF));
    p.Fill(0, 5, 1, 1, Hex(0x9C9EF7));
    p.Fill(0, 6, 1, 3, Hex(0x949AF7));
    p.Fill(0, 9, 1, 2, Hex(0x848EDE));
    return p;
}

// The classic 7 x 7 tick mark.
const char* const kTick[] = {
    "......#", ".....##", "#...###", "##.###.", "#####..", ".###...", "..#....",
};

// Three 20 x 16 tick boxes on the transparent red: empty, ticked, greyed. The 13 x 13 box sits
// vertically centred in a 17-pixel row drawn from top 0.
Picture TickBoxes() {
    Picture p(3 * TICK_IMAGE_WIDTH, 16, kTransparent);
    constexpr int boxX = 4, boxY = 2, boxSize = 13;
    for (int image = 0; image < 3; ++image) {
        const int x0 = image * TICK_IMAGE_WIDTH + boxX;
        if (image < 2) p.Fill(x0 + 1, boxY + 1, boxSize - 2, boxSize - 2, kLight);
        p.Frame(x0, boxY, x0 + boxSize - 1, boxY + boxSize - 1, kShadow);
        if (image == 0) continue;
        const Rgb tick = image == 1 ? kBlack : kShadow;
        for (int j = 0; j < 7; ++j)
            for (int i = 0; i < 7; ++i)
                if (kTick[j][i] == '#') p.Set(x0 + 3 + i, boxY + 3 + j, tick);
    }
    return p;
}

// Button glyphs: an 11 x 11 mask, drawn with a vertical gradient and a one-pixel darker outline.
constexpr int kGlyph = 11;
using Mask = std::vector<std::string>;

Mask ArrowMask(bool pointsRight) {
    Mask m(kGlyph, std::string(kGlyph, '.'));
    for (int y = 0; y < kGlyph; ++y) {
        const int d = std::abs(y - kGlyph / 2);
        for (int x = d; x <= kGlyph / 2; ++x)
            m[y][x] = '#';  // head
        if (y >= 3 && y <= 7)
            for (int x = kGlyph / 2 + 1; x < kGlyph; ++x)
                m[y][x] = '#';  // shaft
    }
    if (pointsRight)
        for (auto& row : m)
            row = std::string(row.rbegin(), row.rend());
    return m;
}

Mask PlusMask(bool vertical) {
    Mask m(kGlyph, std::string(kGlyph, '.'));
    for (int y = 0; y < kGlyph; ++y)
        for (int x = 0; x < kGlyph; ++x)
            if ((y >= 4 && y <= 6) || (vertical && x >= 4 && x <= 6)) m[y][x] = '#';
    return m;
}

bool InMask(const Mask& m, int x, int y) {
    return x >= 0 && y >= 0 && x < kGlyph && y < kGlyph && m[y][x] == '#';
}

struct GlyphColours {
    Rgb top, bottom, outline;
};

void DrawGlyph(Picture& p, const Mask& m, int x0, int y0, const GlyphColours& c) {
    for (int y = -1; y <= kGlyph; ++y)
        for (int x = -1; x <= kGlyph; ++x) {
            if (InMask(m, x, y)) {
                p.Set(x0 + x, y0 + y, Mix(c.top, c.bottom, static_cast<double>(y) / (kGlyph - 1)));
                continue;
            }
            bool touches = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    touches = touches || InMask(m, x + dx, y + dy);
            if (touches) p.Set(x0 + x, y0 + y, c.outline);
        }
}

// Greyed glyph: the shape in the shadow grey over a light copy one pixel down and right.
void DrawEtchedGlyph(Picture& p, const Mask& m, int x0, int y0) {
    for (int y = 0; y < kGlyph; ++y)
        for (int x = 0; x < kGlyph; ++x)
            if (InMask(m, x, y)) p.Set(x0 + x + 1, y0 + y + 1, kLight);
    for (int y = 0; y < kGlyph; ++y)
        for (int x = 0; x < kGlyph; ++x)
            if (InMask(m, x, y)) p.Set(x0 + x, y0 + y, kShadow);
}

// Raised push-button frame inside (x0, y0)-(x1, y1): light top and left, black bottom and right,
// shadow just inside the bottom and right.
void RaisedFrame(Picture& p, int x0, int y0, int x1, int y1) {
    p.Fill(x0, y0, x1 - x0, 1, kLight);
    p.Fill(x0, y0, 1, y1 - y0, kLight);
    p.Fill(x0, y1, x1 - x0 + 1, 1, kBlack);
    p.Fill(x1, y0, 1, y1 - y0 + 1, kBlack);
    p.Fill(x0 + 1, y1 - 1, x1 - x0 - 1, 1, kShadow);
    p.Fill(x1 - 1, y0 + 1, 1, y1 - y0 - 1, kShadow);
}

constexpr int kButtonWidth = 33;
constexpr int kButtonHeight = 25;

Picture Button(const Mask& m, const GlyphColours& colours, char state) {
    constexpr int w = kButtonWidth, h = kButtonHeight;
    Picture p(w, h, kFace);
    const int gx = (w - kGlyph) / 2, gy = (h - kGlyph) / 2;
    switch (state) {
        case 'U':
            RaisedFrame(p, 0, 0, w - 1, h - 1);
            DrawGlyph(p, m, gx, gy, colours);
            break;
        case 'D':  // pressed: flat dark frame, glyph one pixel down and right
            p.Frame(0, 0, w - 1, h - 1, kBlack);
            p.Frame(1, 1, w - 2, h - 2, kShadow);
            DrawGlyph(p, m, gx + 1, gy + 1, colours);
            break;
        case 'F':  // focused: black ring around the raised frame and a dotted ring around the glyph
            p.Frame(0, 0, w - 1, h - 1, kBlack);
            RaisedFrame(p, 1, 1, w - 2, h - 2);
            for (int x = 4; x <= w - 5; ++x) {
                if ((x + 4) % 2 == 0) p.Set(x, 4, kBlack);
                if ((x + h - 5) % 2 == 0) p.Set(x, h - 5, kBlack);
            }
            for (int y = 4; y <= h - 5; ++y) {
                if ((4 + y) % 2 == 0) p.Set(4, y, kBlack);
                if ((w - 5 + y) % 2 == 0) p.Set(w - 5, y, kBlack);
            }
            DrawGlyph(p, m, gx, gy, colours);
            break;
        case 'X':
            RaisedFrame(p, 0, 0, w - 1, h - 1);
            DrawEtchedGlyph(p, m, gx, gy);
            break;
    }
    return p;
}

bool Write(const std::filesystem::path& dir, std::uint16_t id, const Picture& p) {
    const auto bytes = EncodeBmp(p);
    std::ofstream out(dir / (std::to_string(id) + ".bmp"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) std::cerr << "mkbitmaps: cannot write " << id << ".bmp\n";
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: mkbitmaps OUTPUT_FOLDER\n";
        return 1;
    }
    const std::filesystem::path dir = argv[1];
    bool ok = true;
    ok &= Write(dir, BITMAP_TICKS, TickBoxes());
    ok &= Write(dir, BITMAP_STRIP_NORMAL, Strip(Hex(0xF4F4F4), Hex(0xFBFBFB), Hex(0xD9D9D9)));
    ok &= Write(dir, BITMAP_STRIP_SELECTED, Strip(Hex(0x283F7B), Hex(0x2A427F), Hex(0x23386C)));
    ok &= Write(dir, BITMAP_STRIP_FAILED, Strip(Hex(0xF79D9D), Hex(0xFFA3A3), Hex(0xDE8C8D)));
    ok &= Write(dir, BITMAP_STRIP_DUPLICATE, Strip(Hex(0xF7D258), Hex(0xFFD95B), Hex(0xDEBA4F)));
    ok &= Write(dir, BITMAP_STRIP_PASSED, Strip(Hex(0xC5C5F7), Hex(0xCCC8FF), Hex(0xB1AFDE)));
    ok &= Write(dir, BITMAP_EMERGENCY, Picture(12, 12, Rgb{255, 153, 51}));
    ok &= Write(dir, BITMAP_CANVAS, Picture(600, 24, kLight));
    ok &= Write(dir, BITMAP_PROGRESS_BAR, ProgressBar());

    const GlyphColours blue{Hex(0x6E9BEA), Hex(0x2A55B0), Hex(0x1A3570)};
    const GlyphColours green{Hex(0x74CF62), Hex(0x2F8F2F), Hex(0x1D5A1D)};
    const GlyphColours red{Hex(0xF07A6A), Hex(0xBE3328), Hex(0x7A1D16)};
    const struct {
        std::string_view caption;
        Mask mask;
        GlyphColours colours;
    } buttons[] = {
        {"PREV", ArrowMask(false), blue},
        {"NEXT", ArrowMask(true), blue},
        {"ADD", PlusMask(true), green},
        {"DEL", PlusMask(false), red},
    };
    for (const auto& b : buttons)
        for (char state : BUTTON_STATES)
            ok &= Write(dir, *ButtonBitmapId(b.caption, state), Button(b.mask, b.colours, state));
    return ok ? 0 : 1;
}
