// The bitmaps linked into the executable, decoded by Qt's BMP reader as the controls decode them:
// the exact colours of the row strips, bar and indicator, the tick boxes on their transparent red,
// and the button images of every caption and state. Also saves a contact sheet for a human eye.
#include <gtest/gtest.h>

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "platform/BitmapIds.h"
#include "platform/Resources.h"

namespace xqt {
namespace {

using namespace platform;

const std::uint16_t kSpecifiedIds[] = {BITMAP_TICKS,     BITMAP_STRIP_NORMAL, BITMAP_STRIP_SELECTED,
                                       BITMAP_EMERGENCY, BITMAP_STRIP_FAILED, BITMAP_STRIP_DUPLICATE,
                                       BITMAP_CANVAS,    BITMAP_PROGRESS_BAR, BITMAP_STRIP_PASSED};

std::vector<std::uint16_t> AllIds() {
    std::vector<std::uint16_t> ids(std::begin(kSpecifiedIds), std::end(kSpecifiedIds));
    for (auto id = BITMAP_BUTTON_FIRST; id <= BITMAP_BUTTON_LAST; ++id)
        ids.push_back(id);
    return ids;
}

QImage Load(std::uint16_t id) {
    auto bytes = EmbeddedResources().Find(ResourceType::Bitmap, id);
    if (!bytes) return {};
    return QImage::fromData(bytes->data(), static_cast<int>(bytes->size()), "BMP");
}

std::string Hex(QRgb c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%06X", c & 0xFFFFFFu);
    return buf;
}

/// Colours of a column from the top, as "#RRGGBB" texts so a failure shows the whole column.
std::vector<std::string> Column(const QImage& image, int x) {
    std::vector<std::string> out;
    for (int y = 0; y < image.height(); ++y)
        out.push_back(Hex(image.pixel(x, y)));
    return out;
}

QImage ButtonImage(const char* caption, char state) {
    return Load(*ButtonBitmapId(caption, state));
}

bool IsGrey(QRgb c) {
    return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c);
}

TEST(BitmapFiles, AreUncompressed24BitBitmapsOfTheirDeclaredLength) {
    for (auto id : AllIds()) {
        SCOPED_TRACE(id);
        auto bytes = EmbeddedResources().Find(ResourceType::Bitmap, id);
        ASSERT_TRUE(bytes);
        ASSERT_GE(bytes->size(), 54u);
        const auto& b = *bytes;
        auto u32 = [&](std::size_t at) {
            return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
        };
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(u32(2), b.size());
        EXPECT_EQ(u32(14), 40u);            // plain info header
        EXPECT_EQ(b[28] | b[29] << 8, 24);  // bits per pixel
        EXPECT_EQ(u32(30), 0u);             // no compression
        EXPECT_FALSE(Load(id).isNull());
    }
}

TEST(RowStrips, FollowTheEdgeBodyEdgeBottomPattern) {
    struct Expected {
        std::uint16_t id;
        const char *edge, *body, *bottom;
    };
    const Expected strips[] = {
        {BITMAP_STRIP_NORMAL, "#F4F4F4", "#FBFBFB", "#D9D9D9"},
        {BITMAP_STRIP_SELECTED, "#283F7B", "#2A427F", "#23386C"},
        {BITMAP_STRIP_FAILED, "#F79D9D", "#FFA3A3", "#DE8C8D"},
        {BITMAP_STRIP_DUPLICATE, "#F7D258", "#FFD95B", "#DEBA4F"},
        {BITMAP_STRIP_PASSED, "#C5C5F7", "#CCC8FF", "#B1AFDE"},
    };
    for (const auto& s : strips) {
        SCOPED_TRACE(s.id);
        QImage image = Load(s.id);
        ASSERT_EQ(image.size(), QSize(1, 17));
        std::vector<std::string> expected(2, s.edge);
        expected.insert(expected.end(), 10, s.body);
        expected.insert(expected.end(), 4, s.edge);
        expected.push_back(s.bottom);
        EXPECT_EQ(Column(image, 0), expected);
    }
}

TEST(ProgressBar, HasTheFiveBandsFromTheTop) {
    QImage bar = Load(BITMAP_PROGRESS_BAR);
    ASSERT_EQ(bar.size(), QSize(1, 11));
    const std::vector<std::string> expected = {"#9C9EF7", "#9C9EF7", "#B5B2FF", "#B5B2FF",
                                               "#B5B2FF", "#9C9EF7", "#949AF7", "#949AF7",
                                               "#949AF7", "#848EDE", "#848EDE"};
    EXPECT_EQ(Column(bar, 0), expected);
}

TEST(EmergencyIndicator, IsAPlainOrangeSquare) {
    QImage dot = Load(BITMAP_EMERGENCY);
    ASSERT_EQ(dot.size(), QSize(12, 12));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(dot.pixel(x, y), qRgb(255, 153, 51)) << x << "," << y;
}

TEST(Canvas, CoversTheLargestRowDrawn) {
    EXPECT_EQ(Load(BITMAP_CANVAS).size(), QSize(600, 24));
}

class TickBoxes : public ::testing::Test {
  protected:
    void SetUp() override { ticks = Load(BITMAP_TICKS); }
    QRgb At(int image, int x, int y) const { return ticks.pixel(image * TICK_IMAGE_WIDTH + x, y); }
    QImage ticks;
    const QRgb transparent = qRgb(255, 0, 0);
};

TEST_F(TickBoxes, ThreeImagesSitOnTheTransparentRed) {
    ASSERT_EQ(ticks.size(), QSize(60, 16));
    for (int image = 0; image < 3; ++image) {
        SCOPED_TRACE(image);
        // Nothing is painted into the corners or the margins left and right of the box.
        for (int y = 0; y < 16; ++y) {
            EXPECT_EQ(At(image, 0, y), transparent);
            EXPECT_EQ(At(image, 19, y), transparent);
        }
        for (int x = 0; x < TICK_IMAGE_WIDTH; ++x) {
            EXPECT_EQ(At(image, x, 0), transparent);
            EXPECT_EQ(At(image, x, 15), transparent);
        }
    }
}

TEST_F(TickBoxes, EmptyTickedAndGreyedDifferInFillAndTick) {
    ASSERT_EQ(ticks.size(), QSize(60, 16));
    // The box spans x 4..16, y 2..14; (9, 9) lies on the tick stroke, (7, 5) beside it.
    const QRgb grey = qRgb(128, 128, 128), white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    for (int image = 0; image < 3; ++image) {
        EXPECT_EQ(At(image, 4, 2), grey) << image;
        EXPECT_EQ(At(image, 16, 14), grey) << image;
        EXPECT_EQ(At(image, 10, 14), grey) << image;
    }
    EXPECT_EQ(At(0, 9, 9), white);
    EXPECT_EQ(At(0, 7, 5), white);
    EXPECT_EQ(At(1, 9, 9), black);
    EXPECT_EQ(At(1, 7, 5), white);
    EXPECT_EQ(At(2, 9, 9), grey);
    EXPECT_EQ(At(2, 7, 5), transparent);  // greyed box has no white fill

    int ticked = 0, greyed = 0, whiteInGreyed = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < TICK_IMAGE_WIDTH; ++x) {
            ticked += At(1, x, y) == black;
            greyed += At(2, x, y) == grey;
            whiteInGreyed += At(2, x, y) == white;
        }
    EXPECT_GE(ticked, 15);  // a real tick mark, not a dot
    EXPECT_EQ(whiteInGreyed, 0);
    EXPECT_EQ(greyed, 48 + ticked);  // the frame's 48 pixels and a tick of the same shape
    EXPECT_EQ(ticks.pixelColor(0, 0).alpha(), 255) << "transparency comes from the red, not from alpha";
}

TEST(ButtonBitmapIds, EveryCaptionAndStateHasItsOwnEmbeddedImage) {
    std::set<std::uint16_t> seen;
    for (auto caption : {"PREV", "NEXT", "ADD", "DEL"})
        for (char state : {'U', 'D', 'F', 'X'}) {
            auto id = ButtonBitmapId(caption, state);
            ASSERT_TRUE(id) << caption << state;
            EXPECT_GE(*id, BITMAP_BUTTON_FIRST);
            EXPECT_LE(*id, BITMAP_BUTTON_LAST);
            EXPECT_TRUE(seen.insert(*id).second) << caption << state;
            EXPECT_FALSE(Load(*id).isNull()) << caption << state;
        }
    EXPECT_EQ(seen.size(), 16u);
    EXPECT_EQ(ButtonBitmapId("PREV", 'U'), BITMAP_PREVU);
    EXPECT_EQ(ButtonBitmapId("DEL", 'X'), BITMAP_DELX);
}

TEST(ButtonBitmapIds, NamesMatchLikeTheSystemsNamedResources) {
    EXPECT_EQ(ButtonBitmapId("next", 'd'), BITMAP_NEXTD);
    EXPECT_EQ(ButtonBitmapId("Add", 'F'), BITMAP_ADDF);
    // Captions that name no bitmap leave a button unloaded.
    EXPECT_FALSE(ButtonBitmapId("OK", 'U'));
    EXPECT_FALSE(ButtonBitmapId("", 'U'));
    EXPECT_FALSE(ButtonBitmapId("PRE", 'U'));
    EXPECT_FALSE(ButtonBitmapId("PREVU", 'U'));
    EXPECT_FALSE(ButtonBitmapId("&PREV", 'U'));
    EXPECT_FALSE(ButtonBitmapId("PREV", 'Z'));
    EXPECT_FALSE(ButtonBitmapId("PREV", '\0'));
}

class ButtonImages : public ::testing::Test {
  protected:
    static QImage Of(const char* caption, char state) { return ButtonImage(caption, state); }
    /// Pixels of the glyph area: everything more than 4 pixels inside the edge (inside any ring).
    static int CountInside(const QImage& image, auto&& predicate) {
        int n = 0;
        for (int y = 5; y < image.height() - 5; ++y)
            for (int x = 5; x < image.width() - 5; ++x)
                n += predicate(image.pixel(x, y), x, y);
        return n;
    }
    static bool Coloured(QRgb c) { return !IsGrey(c); }
};

TEST_F(ButtonImages, AllShareOneSizeAndTheirStatesDiffer) {
    const QSize size = Of("PREV", 'U').size();
    EXPECT_GE(size.width(), 24);
    EXPECT_GE(size.height(), 20);
    for (auto caption : {"PREV", "NEXT", "ADD", "DEL"}) {
        SCOPED_TRACE(caption);
        std::vector<QImage> states;
        for (char state : BUTTON_STATES)
            states.push_back(Of(caption, state));
        for (const auto& image : states)
            EXPECT_EQ(image.size(), size);
        for (std::size_t i = 0; i < states.size(); ++i)
            for (std::size_t j = i + 1; j < states.size(); ++j)
                EXPECT_NE(states[i], states[j]) << i << " vs " << j;
    }
}

TEST_F(ButtonImages, FramesUseOnlyTheFourMappableGreys) {
    const std::set<QRgb> greys = {qRgb(0, 0, 0), qRgb(128, 128, 128), qRgb(192, 192, 192),
                                  qRgb(255, 255, 255)};
    for (auto caption : {"PREV", "NEXT", "ADD", "DEL"})
        for (char state : BUTTON_STATES) {
            QImage image = Of(caption, state);
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const bool ring = x < 5 || y < 5 || x >= image.width() - 5 || y >= image.height() - 5;
                    if (!ring) continue;
                    ASSERT_TRUE(greys.count(image.pixel(x, y))) << caption << state << " " << x << "," << y;
                }
            EXPECT_EQ(image.pixel(5, 5), qRgb(192, 192, 192)) << caption << state << ": face";
        }
}

TEST_F(ButtonImages, EachStateHasItsOwnLook) {
    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    for (auto caption : {"PREV", "NEXT", "ADD", "DEL"}) {
        SCOPED_TRACE(caption);
        QImage up = Of(caption, 'U'), down = Of(caption, 'D'), focus = Of(caption, 'F'),
               off = Of(caption, 'X');
        const int w = up.width(), h = up.height();
        // Raised: lit from the top left. Pressed: dark all round. Focused: black ring outside.
        EXPECT_EQ(up.pixel(0, 0), white);
        EXPECT_EQ(up.pixel(w - 1, h - 1), black);
        EXPECT_EQ(down.pixel(0, 0), black);
        EXPECT_NE(down.pixel(1, 1), white);
        EXPECT_EQ(focus.pixel(0, 0), black);
        EXPECT_EQ(focus.pixel(1, 1), white);
        EXPECT_EQ(off.pixel(0, 0), white);

        // The focus image marks its face with a dotted ring that neither other face has.
        auto blackInRing = [](const QImage& image) {
            int n = 0;
            for (int x = 4; x < image.width() - 4; ++x)
                n += image.pixel(x, 4) == qRgb(0, 0, 0);
            return n;
        };
        EXPECT_GT(blackInRing(focus), (w - 8) / 3);
        EXPECT_EQ(blackInRing(up), 0);

        // A pressed glyph moves one pixel down and right.
        for (int y = 5; y < h - 6; ++y)
            for (int x = 5; x < w - 6; ++x)
                ASSERT_EQ(up.pixel(x, y), down.pixel(x + 1, y + 1)) << x << "," << y;

        // Enabled glyphs are coloured; the disabled one is grey throughout.
        auto coloured = [](QRgb c, int, int) { return Coloured(c); };
        EXPECT_GT(CountInside(up, coloured), 40);
        EXPECT_EQ(CountInside(up, coloured), CountInside(focus, coloured));
        EXPECT_EQ(CountInside(off, coloured), 0);
        EXPECT_GT(CountInside(off, [](QRgb c, int, int) { return c == qRgb(128, 128, 128); }), 20);
    }
}

TEST_F(ButtonImages, GlyphsSayWhichWayAndWhat) {
    // An arrow's tip is its narrowest end: compare the outermost coloured columns.
    auto tipOnTheLeft = [](const QImage& image) {
        std::vector<int> perColumn(static_cast<std::size_t>(image.width()));
        CountInside(image, [&](QRgb c, int x, int) {
            return Coloured(c) && ++perColumn[static_cast<std::size_t>(x)];
        });
        std::erase(perColumn, 0);
        return perColumn.size() > 2 && perColumn.front() < perColumn.back();
    };
    EXPECT_TRUE(tipOnTheLeft(Of("PREV", 'U')));
    EXPECT_FALSE(tipOnTheLeft(Of("NEXT", 'U')));
    QImage mirrored = Of("NEXT", 'U').mirrored(true, false);
    EXPECT_TRUE(tipOnTheLeft(mirrored)) << "NEXT is PREV turned round";

    auto reddish = [](const QImage& image) {
        return CountInside(image, [](QRgb c, int, int) { return qRed(c) > qGreen(c) + 40; });
    };
    auto greenish = [](const QImage& image) {
        return CountInside(image, [](QRgb c, int, int) { return qGreen(c) > qRed(c) + 40; });
    };
    EXPECT_GT(greenish(Of("ADD", 'U')), 40);
    EXPECT_EQ(reddish(Of("ADD", 'U')), 0);
    EXPECT_GT(reddish(Of("DEL", 'U')), 20);
    EXPECT_EQ(greenish(Of("DEL", 'U')), 0);
    // The plus has a vertical stroke through the centre; the minus has none.
    QImage add = Of("ADD", 'U'), del = Of("DEL", 'U');
    const int cx = add.width() / 2, top = add.height() / 2 - 4;
    EXPECT_TRUE(Coloured(add.pixel(cx, top)));
    EXPECT_EQ(del.pixel(cx, top), qRgb(192, 192, 192));
}

/// Replaces the transparent red by alpha 0, the way the tick list draws the images.
QImage WithRedTransparent(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            if (out.pixel(x, y) == qRgb(255, 0, 0)) out.setPixel(x, y, qRgba(0, 0, 0, 0));
    return out;
}

TEST(ContactSheet, ShowsEveryBitmapFourTimesEnlarged) {
    const char* dir = std::getenv("XQT_TEST_OUTPUT");
    if (!dir || !*dir) GTEST_SKIP() << "XQT_TEST_OUTPUT is not set";
    int argc = 1;
    char arg0[] = "bitmap_tests";
    char* argv[] = {arg0, nullptr};
    QGuiApplication app(argc, argv);

    constexpr int scale = 4, labelWidth = 90, rowGap = 10;
    QImage sheet(labelWidth + 620 * scale / 2, 1700, QImage::Format_RGB32);
    sheet.fill(qRgb(239, 239, 239));
    QPainter p(&sheet);
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    int y = 8;
    auto row = [&](const QString& label, const QImage& image, int stretchTo = 0,
                   const QImage* under = nullptr) {
        QSize size = image.size() * scale;
        if (stretchTo) size.setWidth(stretchTo * scale);
        p.setPen(Qt::black);
        p.drawText(QRect(4, y, labelWidth - 8, size.height()), Qt::AlignLeft | Qt::AlignVCenter, label);
        QRect target(labelWidth, y, size.width(), size.height());
        if (under) p.drawImage(target, *under);
        p.drawImage(target, image);
        y += size.height() + rowGap;
    };
    const struct {
        std::uint16_t id;
        const char* name;
    } strips[] = {{130, "130 normal"},    {131, "131 selected"}, {194, "194 failed"},
                  {195, "195 duplicate"}, {262, "262 passed"},   {252, "252 bar"}};
    for (const auto& s : strips)
        row(QString::fromLatin1(s.name), Load(s.id), 60);
    row(QStringLiteral("129 ticks"), Load(BITMAP_TICKS));
    QImage normalRow = Load(BITMAP_STRIP_NORMAL).scaled(60, 17).copy(0, 0, 60, 16);
    row(QStringLiteral("129 on row"), WithRedTransparent(Load(BITMAP_TICKS)), 0, &normalRow);
    row(QStringLiteral("193 alert"), Load(BITMAP_EMERGENCY));
    row(QStringLiteral("251 canvas"), Load(BITMAP_CANVAS).scaled(300, 24), 0);

    // Buttons: one row per caption, the four states side by side.
    for (auto caption : {"PREV", "NEXT", "ADD", "DEL"}) {
        QImage strip(4 * 40, ButtonImage(caption, 'U').height(), QImage::Format_RGB32);
        strip.fill(qRgb(239, 239, 239));
        QPainter sp(&strip);
        int x = 0;
        for (char state : BUTTON_STATES) {
            sp.drawImage(x, 0, ButtonImage(caption, state));
            x += 40;
        }
        sp.end();
        row(QStringLiteral("%1 U D F X").arg(QString::fromLatin1(caption)), strip);
    }
    p.end();
    ASSERT_TRUE(QDir().mkpath(QString::fromLocal8Bit(dir)));
    const QString path = QString::fromLocal8Bit(dir) + QStringLiteral("/bitmaps.png");
    ASSERT_TRUE(QImage(sheet.copy(0, 0, sheet.width(), y)).save(path)) << path.toStdString();
}

}  // namespace
}  // namespace xqt
