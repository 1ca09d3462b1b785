#include "image2d/analysis/Skeletonization.h"
#include "image2d/toolbox/Image2DOperations.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using image2d::Image2DOperations;
using namespace testing_support;

namespace {

using Rows = std::vector<std::string>;

// The thinning written out with the class's own one-pass step: full passes until one changes
// nothing, at most 98.
class LiteralThinning : public Image2DSkeletization
{
public:
    Image2D thin(const Image2D& input, int& passes)
    {
        Image2D current(input), before;
        for (passes = 1; passes <= 98; ++passes)
        {
            before = current;
            skeletonIteration(&before, &current);
            if (Image2DOperations::compare(&current, &before))
                break;
        }
        return current;
    }
};

Image2D skeletonOf(const Image2D& input)
{
    Image2D in(input), out;
    Image2DSkeletization thinning;
    EXPECT_TRUE(thinning.setInput(&in));
    EXPECT_TRUE(thinning.setOutput(&out));
    thinning.execute();
    return out;
}

Image2D filledBox(int width, int height, int x0, int y0, int x1, int y1)
{
    Rows rows(height, std::string(width, '.'));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            rows[y][x] = '#';
    return maskFromRows(rows);
}

// Skeletons worked out by hand (and by an independent model of the tables).
TEST(Skeletization, SquareAndRectangleGiveTheirKnownSkeletons)
{
    EXPECT_EQ(rowsOf(skeletonOf(filledBox(9, 9, 2, 2, 6, 6))),
              (Rows{".........", ".........", "..#...#..", "...###...", "....#....", "...###...", "..#...#..",
                    ".........", "........."}));
    EXPECT_EQ(rowsOf(skeletonOf(filledBox(13, 9, 2, 2, 10, 6))),
              (Rows{".............", ".............", "..#.......#..", "...#.....#...", "....######...",
                    "...#.....#...", "..#.......#..", ".............", "............."}));

    int passes = 0;
    LiteralThinning literal;
    literal.thin(filledBox(9, 9, 2, 2, 6, 6), passes);
    EXPECT_EQ(passes, 3); // the third pass changes nothing
    const Image2D line = maskFromRows({"............", ".##########.", "............"});
    EXPECT_TRUE(imagesEqual(line, literal.thin(line, passes)));
    EXPECT_EQ(passes, 1);
}

// The fast thinning only revisits pixels next to a deletion; it must equal the full passes.
TEST(Skeletization, EqualsTheFullScanPassesOnRandomShapes)
{
    std::mt19937 rng(21);
    LiteralThinning literal;
    for (int round = 0; round < 40; ++round)
    {
        const int width = 1 + static_cast<int>(rng() % 48), height = 1 + static_cast<int>(rng() % 40);
        Rows rows(height, std::string(width, '.'));
        if (round % 4 == 0)
        {
            for (auto& row : rows)
                for (char& c : row)
                    c = rng() % 2 ? '#' : '.';
        }
        else
            for (int blob = 0; blob < 4; ++blob)
            {
                const int cx = static_cast<int>(rng() % width), cy = static_cast<int>(rng() % height);
                const int r = 1 + static_cast<int>(rng() % 12);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                            rows[y][x] = '#';
            }
        const Image2D shape = maskFromRows(rows);
        int passes = 0;
        ASSERT_TRUE(imagesEqual(literal.thin(shape, passes), skeletonOf(shape))) << "round " << round;
    }
}

TEST(Skeletization, StopsAfter98PassesLikeTheFullScan)
{
    const Image2D square = filledBox(204, 204, 2, 2, 201, 201);
    int passes = 0;
    const Image2D expected = LiteralThinning().thin(square, passes);
    EXPECT_EQ(passes, 99); // still deleting when the cap stops it
    EXPECT_TRUE(imagesEqual(expected, skeletonOf(square)));
}

TEST(Skeletization, NeedsABinaryInputAndAnOutput)
{
    Image2D grey(4, 4, Image2D::UNSIGNED_CHAR), invalid, binary = filledBox(5, 5, 1, 1, 3, 3), output(1, 1, Image2D::INT);
    Image2DSkeletization thinning;
    EXPECT_FALSE(thinning.setInput(nullptr));
    EXPECT_FALSE(thinning.setInput(&invalid));
    EXPECT_FALSE(thinning.setOutput(nullptr));
    thinning.execute(); // neither set: nothing happens
    EXPECT_TRUE(thinning.setInput(&binary));
    EXPECT_FALSE(thinning.setInput(&grey)); // the binary input stays
    thinning.execute();                     // no output yet
    EXPECT_TRUE(thinning.setOutput(&output));
    thinning.execute();
    EXPECT_EQ(rowsOf(output), (Rows{".....", ".#...", "..#..", ".###.", "....."}));
}

// ---- Longest path ----------------------------------------------------------------------------

QList<QPoint> longestPathOf(Image2D& skeleton, QList<QPoint> output = {})
{
    Image2DLongestPath search;
    EXPECT_TRUE(search.setInput(&skeleton));
    EXPECT_TRUE(search.setOutput(&output));
    search.execute();
    return output;
}

QList<QPoint> points(std::initializer_list<std::pair<int, int>> xy)
{
    QList<QPoint> list;
    for (auto [x, y] : xy)
        list.append(QPoint(x, y));
    return list;
}

TEST(LongestPath, LinesYAndRingGiveTheirKnownPaths)
{
    Image2D line = maskFromRows({"............", ".##########.", "............"});
    EXPECT_EQ(longestPathOf(line), points({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1}, {9, 1},
                                           {10, 1}}));
    Image2D column = maskFromRows({"...", ".#.", ".#.", ".#.", ".#.", ".#.", "..."});
    EXPECT_EQ(longestPathOf(column, points({{7, 7}})), points({{7, 7}, {1, 5}, {1, 4}, {1, 3}, {1, 2}, {1, 1}}));

    // A Y on its stem with a right arm two steps longer than the left one, and a dot apart.
    Rows y(15, std::string(15, '.'));
    for (int row = 8; row <= 12; ++row)
        y[row][6] = '#';
    for (int k = 1; k <= 4; ++k)
        y[8 - k][6 - k] = '#';
    for (int k = 1; k <= 6; ++k)
        y[8 - k][6 + k] = '#';
    y[0][0] = '#';
    Image2D yShape = maskFromRows(y);
    EXPECT_EQ(longestPathOf(yShape), points({{6, 12}, {6, 11}, {6, 10}, {6, 9}, {6, 8}, {7, 7}, {8, 6}, {9, 5},
                                             {10, 4}, {11, 3}, {12, 2}}));
    // The search cleared the Y, not the dot.
    Rows cleared(15, std::string(15, '.'));
    cleared[0][0] = '#';
    EXPECT_EQ(rowsOf(yShape), cleared);

    Image2D ring = maskFromRows({".......", ".#####.", ".#...#.", ".#...#.", ".#...#.", ".#####.", "......."});
    EXPECT_EQ(longestPathOf(ring),
              points({{1, 5}, {1, 4}, {1, 3}, {1, 2}, {2, 1}, {3, 1}, {4, 1}, {5, 1}}));
}

TEST(LongestPath, NothingSetOrNothingGivenLeavesEverythingAsItWas)
{
    Image2D empty(6, 4, Image2D::BINARY), grey(6, 4, Image2D::UNSIGNED_CHAR);
    QList<QPoint> output = points({{3, 3}});
    Image2DLongestPath search;
    EXPECT_FALSE(search.execute());
    EXPECT_FALSE(search.setInput(&grey));
    EXPECT_FALSE(search.setOutput(nullptr));
    EXPECT_TRUE(search.setInput(&empty));
    EXPECT_FALSE(search.execute()); // no output yet
    EXPECT_TRUE(search.setOutput(&output));
    EXPECT_FALSE(search.execute());
    EXPECT_EQ(output, points({{3, 3}}));
    EXPECT_TRUE(imagesEqual(Image2D(6, 4, Image2D::BINARY), empty));
}

} // namespace
