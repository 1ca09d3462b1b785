#include "platform/pixeldata/Image2DCache.h"
#include "platform/pixeldata/VoxenImage3D.h"
#include "support/TestVolumes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

using namespace testing_support;

TEST(VoxenImage3D, VoxelsRunXThenYThenZAndSlicesAreContiguous)
{
    const VoxenImage3D volume = makeVolume({4, 3, 2}, image::DataType::SHORT,
                                           [](int x, int y, int z) { return x + 10 * y + 100 * z; },
                                           QVector3D(0.4f, 0.5f, 0.6f));
    ASSERT_TRUE(volume.isValid());
    EXPECT_EQ(volume.getNumVoxels(), 24u);
    EXPECT_EQ(volume.voxelSize(), QVector3D(0.4f, 0.5f, 0.6f));
    const auto* all = volume.constData<std::int16_t>();
    EXPECT_EQ(all[(1 * 3 + 2) * 4 + 3], 123);
    const auto* slice1 = reinterpret_cast<const std::int16_t*>(volume.getAxialSlice(1));
    EXPECT_EQ(slice1, all + 12);
    EXPECT_EQ(slice1[2 * 4 + 1], 121);
    EXPECT_EQ(volume.getAxialSlice(2), nullptr);
    EXPECT_EQ(volume.getAxialSlice(-1), nullptr);
}

TEST(VoxenImage3D, SetAxialSliceCopiesExactlyOneSlice)
{
    VoxenImage3D volume({2, 2, 3}, QVector3D(1, 1, 1), image::DataType::FLOAT);
    const float slice[4] = {1.5f, -2.0f, 3.0f, 4.0f};
    ASSERT_TRUE(volume.setAxialSlice(1, reinterpret_cast<const char*>(slice)));
    EXPECT_FALSE(volume.setAxialSlice(3, reinterpret_cast<const char*>(slice)));
    EXPECT_FALSE(volume.setAxialSlice(0, nullptr));
    for (int z = 0; z < 3; ++z)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(voxelAt(volume, i % 2, i / 2, z), z == 1 ? slice[i] : 0.0f);
}

TEST(VoxenImage3D, ValueRangeFollowsEveryKindOfWrite)
{
    VoxenImage3D volume = makeVolume({3, 2, 2}, image::DataType::SHORT, [](int x, int, int z) { return x - z; });
    EXPECT_EQ(volume.getValueRange(), math::Range<float>(-1, 2));
    volume.data<std::int16_t>()[5] = 900; // a writable accessor drops the cache
    EXPECT_EQ(volume.getValueRange(), math::Range<float>(-1, 900));
    std::int16_t* p = volume.data<std::int16_t>(); // a pointer kept from before
    EXPECT_EQ(volume.getValueRange().getMax(), 900.0f);
    p[0] = -700;
    volume.editFinished();
    EXPECT_EQ(volume.getValueRange(), math::Range<float>(-700, 900));
    const std::int16_t slice[6] = {5, 5, 5, 5, 5, 5};
    volume.setAxialSlice(0, reinterpret_cast<const char*>(slice));
    EXPECT_EQ(volume.getValueRange(), math::Range<float>(-1, 5));
    reinterpret_cast<std::int16_t*>(volume.getAxialSlice(1))[0] = 40;
    EXPECT_EQ(volume.getValueRange(), math::Range<float>(-1, 40));
}

TEST(VoxenImage3D, FloatRangeIgnoresNaN)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const VoxenImage3D volume = makeVolume({3, 1, 1}, image::DataType::FLOAT,
                                           [&](int x, int, int) { return x == 0 ? nan : x * 2.5; });
    EXPECT_EQ(volume.getValueRange(), math::Range<float>(2.5f, 5.0f));
}

TEST(VoxenImage3D, ImpossibleVolumesAreInvalidWithoutThrowing)
{
    const int big = std::numeric_limits<int>::max();
    for (const VoxenImage3D& volume :
         {VoxenImage3D(), VoxenImage3D({0, 4, 4}, QVector3D(1, 1, 1), image::DataType::SHORT),
          VoxenImage3D({4, 4, -1}, QVector3D(1, 1, 1), image::DataType::SHORT),
          VoxenImage3D({4, 4, 4}, QVector3D(1, 1, 1), image::DataType::RGBA),
          VoxenImage3D({4, 4, 4}, QVector3D(1, 1, 1), static_cast<image::DataType>(9)),
          VoxenImage3D({big, big, big}, QVector3D(1, 1, 1), image::DataType::FLOAT)})
    {
        EXPECT_FALSE(volume.isValid());
        EXPECT_EQ(volume.getNumVoxels(), 0u);
        EXPECT_EQ(volume.getAxialSlice(0), nullptr);
        EXPECT_EQ(volume.getValueRange(), math::Range<float>(0, 0));
    }
}

TEST(VoxenImage3D, CopiesOwnTheirVoxelsAndMovesEmptyTheSource)
{
    VoxenImage3D original = makeVolume({2, 2, 2}, image::DataType::INT, [](int x, int y, int z) { return x + y + z; });
    VoxenImage3D copy(original);
    copy.data<std::int32_t>()[0] = 99;
    EXPECT_EQ(voxelAt(original, 0, 0, 0), 0);
    EXPECT_EQ(copy.getValueRange(), math::Range<float>(1, 99));
    VoxenImage3D moved(std::move(copy));
    EXPECT_FALSE(copy.isValid()); // NOLINT(bugprone-use-after-move): moved-from state is specified
    EXPECT_EQ(moved.getValueRange(), math::Range<float>(1, 99));
}

TEST(VoxenImage3D, ConcurrentRangeReadersAgree)
{
    const VoxenImage3D volume = testing_support::randomVolume({64, 64, 16}, image::DataType::SHORT, 7, -1000, 3000);
    // Plain threads: Qt's pool hands its tasks over where ThreadSanitizer cannot see.
    std::vector<math::Range<float>> ranges(8);
    std::vector<std::thread> readers;
    for (std::size_t i = 0; i < ranges.size(); ++i)
        readers.emplace_back([&volume, &ranges, i] { ranges[i] = volume.getValueRange(); });
    for (std::thread& reader : readers)
        reader.join();
    for (const math::Range<float>& range : ranges)
        EXPECT_EQ(range, volume.getValueRange());
}

TEST(Image2DCache, DropsTheImageUsedLongestAgo)
{
    auto cache = std::make_shared<Image2DCache>(2);
    Image2DCached first(cache), second(cache);
    auto a = QSharedPointer<Image2D>::create(2, 2, Image2D::FLOAT);
    auto b = QSharedPointer<Image2D>::create(2, 2, Image2D::FLOAT);
    first.setImage(a, QStringLiteral("a"));
    first.setImage(b, QStringLiteral("b"));
    EXPECT_EQ(second.getImage(QStringLiteral("a")), a); // copies share the cache; "a" is now the newest
    second.setImage(QSharedPointer<Image2D>::create(1, 1, Image2D::FLOAT), QStringLiteral("c"));
    EXPECT_EQ(first.getImage(QStringLiteral("a")), a);
    EXPECT_TRUE(first.getImage(QStringLiteral("b")).isNull());
    EXPECT_EQ(cache->size(), 2u);
    first.setImage(nullptr, QStringLiteral("a"));
    EXPECT_TRUE(first.getImage(QStringLiteral("a")).isNull());
    EXPECT_TRUE(Image2DCached(nullptr).getImage(QStringLiteral("a")).isNull());
}

TEST(Image2DCache, ManyThreadsSetAndGet)
{
    auto cache = std::make_shared<Image2DCache>(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([cache, t] {
            Image2DCached cached(cache);
            for (int i = 0; i < 500; ++i)
            {
                const QString key = QString::number((t * 7 + i) % 12);
                if (i % 3 == 0)
                {
                    cached.setImage(QSharedPointer<Image2D>::create(4, 4, Image2D::FLOAT), key);
                    continue;
                }
                if (auto image = cached.getImage(key))
                {
                    EXPECT_EQ(image->getWidth(), 4);
                }
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_LE(cache->size(), 8u);
}
