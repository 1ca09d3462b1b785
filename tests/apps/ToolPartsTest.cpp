// The tool's parts called directly, without a process: what the display road reports,
// what the phantom holds, and the numbers behind the default preset.
#include "DisplayConversion.h"
#include "EnhanceJob.h"
#include "Phantom.h"
#include "Presets.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

constexpr double px = 0.025; // mm per pixel of the intraoral phantom

// A run that fails in the display road says where and why: an INT image cannot be
// level/windowed.
TEST(ToolParts, DisplayRoadFailureNamesTheStepAndTheReason)
{
    tool::LoadedImage input;
    input.image = Image2D(8, 8, Image2D::INT, QVector3D(0.1f, 0.1f, 1.0f));
    tool::EnhanceSettings settings;
    settings.level = 10.0;
    settings.window = 20.0;
    tool::EnhanceOutcome outcome;
    QString error;
    const std::atomic<bool> cancel{false};
    EXPECT_FALSE(tool::runEnhance(input, settings, outcome, error, cancel));
    EXPECT_TRUE(error.contains(QRegularExpression(QStringLiteral(
        "^display road failed in level/window: pixel type not supported \\(INT image, level 10, window 20\\)$"))))
        << qPrintable(error);
}

const tool::PhantomWithMasks& intraoral()
{
    static const tool::PhantomWithMasks phantom = tool::makePhantomWithMasks(tool::PhantomLayout::Intraoral);
    return phantom;
}

// The teeth mask holds the documented labels at the documented places, the pulp lies
// inside the teeth, the bone outside them; roots are denser than the bone around them
// and the pulp is darker than the dentine around it.
TEST(ToolParts, PhantomMasksMatchTheAnatomy)
{
    const auto& p = intraoral();
    ASSERT_EQ(p.teeth.getSize(), p.image.getSize());
    const auto* teeth = p.teeth.getConstData<std::uint8_t>();
    const auto* pulp = p.pulp.getConstData<std::uint8_t>();
    const auto* bone = p.bone.getConstData<std::uint8_t>();
    const auto* value = p.image.getConstData<std::uint16_t>();
    const int w = p.image.getWidth(), h = p.image.getHeight();
    std::map<int, std::pair<double, double>> sums; // label: sum of x, count
    double rootSum = 0, boneSum = 0, pulpSum = 0, dentineSum = 0;
    std::size_t roots = 0, bones = 0, pulps = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const std::size_t k = std::size_t(y) * std::size_t(w) + std::size_t(x);
            ASSERT_FALSE(pulp[k] && !teeth[k]) << "pulp outside a tooth at " << x << ", " << y;
            ASSERT_FALSE(bone[k] && teeth[k]) << "bone and tooth at " << x << ", " << y;
            if (teeth[k] && (y * px) < 9.0)
                sums[teeth[k]].first += (x + 0.5) * px, sums[teeth[k]].second += 1;
            // Rows 14 to 18 mm: roots in bone.
            if (y * px > 14.0 && y * px < 18.0)
            {
                if (teeth[k] == 3 && !pulp[k])
                    rootSum += value[k], ++roots;
                if (bone[k])
                    boneSum += value[k], ++bones;
            }
            // The pulp of 37's crown against the dentine 0.75 mm to its side.
            if (teeth[k] == 4 && pulp[k] && y * px > 7.0 && y * px < 9.0 && x >= 30 && teeth[k - 30] && !pulp[k - 30])
                pulpSum += value[k], dentineSum += value[k - 30], ++pulps;
        }
    const double centres[] = {0, 0, 5.0, 14.3, 25.1};
    ASSERT_EQ(sums.size(), 4u) << "teeth 34, 35, 36 and 37";
    for (int label = 2; label <= 4; ++label)
        EXPECT_NEAR(sums[label].first / sums[label].second, centres[label], 0.6) << "label " << label;
    EXPECT_LT(sums[1].first / sums[1].second, 1.2) << "34 is cut by the left edge";
    ASSERT_GT(roots, 1000u);
    ASSERT_GT(bones, 1000u);
    EXPECT_GT(rootSum / double(roots), boneSum / double(bones) + 150.0) << "dentine is denser than bone";
    ASSERT_GT(pulps, 100u);
    EXPECT_LT(pulpSum / double(pulps), dentineSum / double(pulps) - 100.0) << "the pulp is darker than the dentine";
}

// What a reader of the picture would notice, measured on the 8-bit display of the
// intraoral phantom: clipped pixels inside the exposed field, noise in the flat soft
// tissue right of the last molar, and how much darker the 15 pixels (0.4 mm) just outside
// the crowns are than the air 1 to 2 mm away, against the unfiltered picture.
struct PictureNumbers
{
    double black = 0, white = 0; ///< fractions of exposed pixels at 0 and at 255
    double noise = 0;            ///< standard deviation of the pixel noise, grey levels
    double rim = 0;              ///< air 1-2 mm from the crowns minus air within 0.4 mm
};

PictureNumbers measure(const std::vector<tool::FilterElement>& filters)
{
    const auto& p = intraoral();
    tool::LoadedImage input;
    input.image = p.image;
    tool::EnhanceSettings settings;
    settings.filters = filters;
    tool::EnhanceOutcome outcome;
    QString error;
    const std::atomic<bool> cancel{false};
    EXPECT_TRUE(tool::runEnhance(input, settings, outcome, error, cancel)) << qPrintable(error);
    const QImage shown = tool::toDisplayImage(outcome.display, 8);
    const int w = shown.width(), h = shown.height();
    auto at = [&](int x, int y) { return int(shown.constScanLine(y)[x]); };
    PictureNumbers n;
    std::size_t exposed = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (std::hypot((x + 0.5) * px - 21.0, (y + 0.5) * px - 9.5) < 22.7)
                ++exposed, n.black += at(x, y) == 0, n.white += at(x, y) == 255;
    n.black /= double(exposed), n.white /= double(exposed);
    double squares = 0;
    std::size_t pairs = 0;
    for (int y = int(0.3 / px); y < int(1.8 / px); ++y)
        for (int x = int(31.5 / px); x < int(35.0 / px); ++x, ++pairs)
            squares += std::pow(at(x + 1, y) - at(x, y), 2.0);
    n.noise = std::sqrt(squares / double(pairs) / 2.0);
    // Chessboard distance to the nearest tooth pixel, in two passes.
    const auto* teeth = p.teeth.getConstData<std::uint8_t>();
    std::vector<int> d(std::size_t(w) * std::size_t(h), 1 << 20);
    auto relax = [&](int x, int y, int dx, int dy) {
        const std::size_t k = std::size_t(y) * std::size_t(w) + std::size_t(x);
        for (const auto& [ox, oy] : {std::pair{dx, 0}, std::pair{0, dy}, std::pair{dx, dy}, std::pair{-dx, dy}})
        {
            const int nx = x + ox, ny = y + oy;
            if (nx >= 0 && nx < w && ny >= 0 && ny < h)
                d[k] = std::min(d[k], d[std::size_t(ny) * std::size_t(w) + std::size_t(nx)] + 1);
        }
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const std::size_t k = std::size_t(y) * std::size_t(w) + std::size_t(x);
            d[k] = teeth[k] ? 0 : d[k];
            relax(x, y, -1, -1);
        }
    for (int y = h - 1; y >= 0; --y)
        for (int x = w - 1; x >= 0; --x)
            relax(x, y, 1, 1);
    double nearSum = 0, farSum = 0;
    std::size_t nearCount = 0, farCount = 0;
    for (int y = 0; y < int(8.0 / px); ++y) // above the gingiva: crowns against air
        for (int x = 0; x < w; ++x)
        {
            const int distance = d[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            if (distance >= 1 && distance <= 15)
                nearSum += at(x, y), ++nearCount;
            else if (distance >= 40 && distance <= 80)
                farSum += at(x, y), ++farCount;
        }
    n.rim = farSum / double(farCount) - nearSum / double(nearCount);
    return n;
}

// The default preset of the README's first command: no more clipping than the plain
// display, calm flat regions, and no dark rim along the crowns that could be read as a
// gap. The settings that README used before fail these same checks.
TEST(ToolParts, DefaultPresetKeepsTheIntraoralPictureCalm)
{
    const PictureNumbers plain = measure({});
    const PictureNumbers preset = measure(tool::presetFilters(QStringLiteral("default"), tool::Media::Intraoral));
    const PictureNumbers harsh = measure({{tool::FilterKind::Equalize, 0.5f}, {tool::FilterKind::Sharpen, 1.0f},
                                          {tool::FilterKind::Denoise, 0.5f}});
    for (const auto& [name, n] : {std::pair{"plain", plain}, std::pair{"preset", preset}, std::pair{"harsh", harsh}})
        std::printf("%-6s black %.4f white %.4f noise %.2f rim %.2f\n", name, n.black, n.white, n.noise, n.rim);
    auto calm = [&](const PictureNumbers& n) {
        return n.black <= std::max(plain.black, 0.005) && n.white <= plain.white + 0.005 && n.noise <= 1.2 * plain.noise &&
               n.rim - plain.rim <= 10.0;
    };
    EXPECT_TRUE(calm(preset));
    EXPECT_LT(preset.noise, plain.noise) << "denoising takes the grain below the plain display's";
    EXPECT_FALSE(calm(harsh));
    EXPECT_GT(harsh.noise, 5.0 * plain.noise);
}

} // namespace
