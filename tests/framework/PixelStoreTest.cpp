// Each store rule once, against an independent statement of what it must give: NaN,
// infinities, values beyond the type, halves, and every 16-bit integer value.

#include "image2d/framework/PixelStore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace store = image2d::store;

namespace {
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
} // namespace

TEST(PixelStore, TruncateWrapKeepsLowBitsAndMapsTheUnrepresentableToIntMin)
{
    EXPECT_EQ(store::truncateWrap<std::uint16_t>(65537.9f), 1);
    EXPECT_EQ(store::truncateWrap<std::uint16_t>(-1.9f), 65535);
    EXPECT_EQ(store::truncateWrap<std::int16_t>(32768.0f), -32768);
    EXPECT_EQ(store::truncateWrap<std::uint8_t>(257.5f), 1);
    EXPECT_EQ(store::truncateWrap<std::int32_t>(-2.5f), -2);
    EXPECT_EQ(store::truncateWrap<std::int32_t>(2147483520.0f), 2147483520);
    for (float v : {kNaN, kInf, -kInf, 2147483648.0f, -2147483904.0f})
    {
        EXPECT_EQ(store::truncateWrap<std::int32_t>(v), std::numeric_limits<std::int32_t>::min()) << v;
        EXPECT_EQ(store::truncateWrap<std::uint16_t>(v), 0) << v; // INT_MIN's low bits
    }
    EXPECT_EQ(store::truncateWrap<std::int32_t>(-2147483648.0f), std::numeric_limits<std::int32_t>::min());
    EXPECT_TRUE(std::isnan(store::truncateWrap<float>(kNaN)));
    EXPECT_EQ(store::truncateWrap<float>(1.25f), 1.25f);
}

TEST(PixelStore, CastElementSaturatesTo32BitsThenKeepsLowBits)
{
    EXPECT_EQ((store::castElement<std::int32_t, float>(kNaN)), 0);
    EXPECT_EQ((store::castElement<std::int32_t, float>(kInf)), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ((store::castElement<std::int32_t, float>(-kInf)), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ((store::castElement<std::uint16_t, float>(70000.7f)), 70000 & 0xFFFF);
    EXPECT_EQ((store::castElement<std::uint8_t, float>(-1.5f)), 255);
    EXPECT_EQ((store::castElement<std::uint16_t, std::int32_t>(-1)), 65535);
    EXPECT_EQ((store::castElement<float, std::int32_t>(16777217)), 16777216.0f); // nearest float
}

TEST(PixelStore, SaturateTruncateClampsAndSendsNaNToZero)
{
    EXPECT_EQ((store::saturateTruncate<std::uint16_t, float>(kNaN)), 0);
    EXPECT_EQ((store::saturateTruncate<std::uint16_t, float>(kInf)), 65535);
    EXPECT_EQ((store::saturateTruncate<std::uint16_t, float>(-kInf)), 0);
    EXPECT_EQ((store::saturateTruncate<std::int16_t, double>(-40000.0)), -32768);
    EXPECT_EQ((store::saturateTruncate<std::int16_t, double>(-2.9)), -2);
    EXPECT_EQ((store::saturateTruncate<std::int32_t, float>(3e9f)), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ((store::saturateTruncate<std::int32_t, float>(-3e9f)), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ((store::saturateTruncate<std::uint8_t, float>(254.99f)), 254);
    EXPECT_EQ(store::saturateToFloat(1e300), std::numeric_limits<float>::max());
    EXPECT_EQ(store::saturateToFloat(-1e300), -std::numeric_limits<float>::max());
    EXPECT_EQ(store::saturateToFloat(std::nan("")), 0.0f);
    EXPECT_EQ(store::clampNanToLow(kNaN, 1.0f, 2.0f), 1.0f);
    EXPECT_EQ(store::clampNanToLow(3.0f, 1.0f, 2.0f), 2.0f);
}

TEST(PixelStore, ClampTruncateAndClampRoundAgreeWithPlainStatements)
{
    // Every value between two 16-bit steps, ties included.
    for (int i = -2; i <= 65537; ++i)
        for (double f : {0.0, 0.25, 0.5, 0.75})
        {
            const double v = i + f;
            const double clamped = std::min(std::max(v, 0.0), 65535.0);
            ASSERT_EQ(store::clampTruncate<std::uint16_t>(v), static_cast<std::uint16_t>(std::trunc(clamped))) << v;
            ASSERT_EQ(store::clampRoundHalfAway<std::uint16_t>(v), static_cast<std::uint16_t>(std::round(clamped))) << v;
            const double s = v - 32768.0, sc = std::min(std::max(s, -32768.0), 32767.0);
            ASSERT_EQ(store::clampRoundHalfAway<std::int16_t>(s), static_cast<std::int16_t>(std::round(sc))) << s;
            ASSERT_EQ(store::clampTruncate<std::int16_t>(s), static_cast<std::int16_t>(std::trunc(sc))) << s;
        }
    EXPECT_EQ(store::clampTruncate<std::uint8_t>(std::nan("")), 0);
    EXPECT_EQ(store::clampRoundHalfAway<std::int16_t>(std::nan("")), -32768);
    EXPECT_EQ(store::clampRoundHalfAway<std::uint8_t>(-kInf), 0);
    EXPECT_EQ(store::clampRoundHalfAway<std::uint8_t>(kInf), 255);
    EXPECT_TRUE(std::isnan(store::clampTruncate<float>(std::nan(""))));
    EXPECT_EQ(store::clampTruncate<float>(1e300), std::numeric_limits<float>::max());
}

TEST(PixelStore, RoundHalfAwayDecidesTiesExactly)
{
    for (int i = -70000; i <= 70000; ++i)
        for (double f : {0.0, 0.25, 0.5, 0.75})
        {
            const double v = i + f;
            ASSERT_EQ(store::roundHalfAway<std::int32_t>(v), static_cast<std::int32_t>(std::round(v))) << v;
        }
    EXPECT_EQ(store::roundHalfAway<std::int32_t>(0.49999999999999994), 0);
    EXPECT_EQ(store::roundHalfAway<float>(2.5), 2.5f);
}

TEST(PixelStore, RoundHalfAwayToInt32RoundsTiesOutwardAndSaturatesTheRest)
{
    for (int i = -70000; i <= 70000; ++i)
        for (float f : {0.0f, 0.25f, 0.5f, 0.75f})
        {
            const float v = static_cast<float>(i) + f;
            ASSERT_EQ(store::roundHalfAwayToInt32(v), static_cast<std::int32_t>(std::round(v))) << v;
        }
    EXPECT_EQ(store::roundHalfAwayToInt32(kNaN), 0);
    EXPECT_EQ(store::roundHalfAwayToInt32(kInf), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(store::roundHalfAwayToInt32(-kInf), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(store::roundHalfAwayToInt32(3e9f), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(store::roundHalfAwayToInt32(8388607.5f), 8388608); // the last float with a fraction
}

TEST(PixelStore, UnitToTypeSpreadsTheLimitedFractionOverTheTypeRange)
{
    EXPECT_EQ(store::unitToType<std::uint8_t>(1.0f), 255);
    EXPECT_EQ(store::unitToType<std::uint8_t>(0.5f), 127);
    EXPECT_EQ(store::unitToType<std::uint16_t>(1.5f), 65535);
    EXPECT_EQ(store::unitToType<std::int16_t>(0.0f), -32768);
    EXPECT_EQ(store::unitToType<std::int16_t>(1.0f), 32767);
    EXPECT_EQ(store::unitToType<std::int16_t>(0.5f), 0); // 32767.5 - 32768 truncated toward zero
    for (float v : {kNaN, -kInf, -0.5f})
        EXPECT_EQ(store::unitToType<std::uint16_t>(v), 0) << v;
    EXPECT_EQ(store::unitToType<float>(2.0f), 1.0f);
    EXPECT_EQ(store::unitToType<float>(kNaN), 0.0f);
}

TEST(PixelStore, TruncateWrap64KeepsLowBitsAndSendsTheUndefinedToZero)
{
    EXPECT_EQ(store::truncateWrap64<std::uint16_t>(65537.9), 1);
    EXPECT_EQ(store::truncateWrap64<std::int16_t>(-32769.5), 32767);
    EXPECT_EQ(store::truncateWrap64<std::uint8_t>(-1.5), 255);
    EXPECT_EQ(store::truncateWrap64<std::int32_t>(4294967297.0), 1); // beyond 32 bits, inside 64
    for (double v : {std::nan(""), 9.0e18, -9.5e18, static_cast<double>(kInf)})
        EXPECT_EQ(store::truncateWrap64<std::uint16_t>(v), 0) << v;
    EXPECT_EQ(store::truncateWrap64<float>(0.1), 0.1f);
}
