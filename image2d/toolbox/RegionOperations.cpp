#include "image2d/toolbox/Image2DOperations.h"

#include "image2d/analysis/ComponentRuns.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

namespace image2d {

namespace {

// Replaces `target` by a BINARY image of `size` and `pixelSize` whose bytes fill(out) writes;
// false, target unchanged, when it cannot be allocated.
template <typename Fill>
bool replaceWithMask(Image2D& target, const QSize& size, const QVector3D& pixelSize, Fill&& fill)
{
    Image2D mask(size, Image2D::BINARY, pixelSize);
    if (!mask.isValid())
        return false;
    fill(mask.getData<std::uint8_t>());
    target = std::move(mask);
    return true;
}

// The components of the pixels of `image` for which keep(value) holds (of those for which it
// does not, when `zeroIsSet`). Every rule used here means "not zero" for 8-bit pixels, which
// are therefore read in place; other images go through a byte mask first.
template <typename T, typename Keep>
bool findComponents(const Image2D& image, Keep keep, ScanOrder order, bool zeroIsSet, ComponentRuns& components)
{
    const int width = image.getWidth(), height = image.getHeight();
    const T* pixels = image.getConstData<T>();
    if constexpr (sizeof(T) == 1)
        return components.find(pixels, width, height, zeroIsSet, order);
    else
    {
        const std::size_t count = image.getNumPixels();
        const std::unique_ptr<std::uint8_t[]> mask = tryAllocateArray<std::uint8_t>(count);
        if (!mask)
            return false;
        for (std::size_t i = 0; i < count; ++i)
            mask[i] = keep(pixels[i]) ? 1 : 0;
        return components.find(mask.get(), width, height, zeroIsSet, order);
    }
}

// Writes `value` on the runs of the components marked in `chosen` (indexed by number).
void drawComponents(const ComponentRuns& components, const std::vector<std::uint8_t>& chosen, std::uint8_t* out,
                    std::uint8_t value)
{
    const auto& runs = components.runs();
    for (int y = 0; y < components.height(); ++y)
        for (std::size_t r = components.rowBegin(y); r < components.rowBegin(y + 1); ++r)
            if (chosen[runs[r].component])
                std::fill(out + pixelIndex(runs[r].x0, y, components.width()),
                          out + pixelIndex(runs[r].x1, y, components.width()), value);
}

} // namespace

void Image2DOperations::getBoundingBox(const Image2D* image, int threshold, int* min, int* max)
{
    if (!image || !min || !max)
        return;
    dispatchDataType(
        AllPixelTypes{}, image->getDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            if (!image->isValid())
                return;
            const int width = image->getWidth(), height = image->getHeight();
            auto above = [threshold](T v) {
                if constexpr (std::is_floating_point_v<T>)
                    return v > static_cast<float>(threshold);
                else
                    return static_cast<int>(v) > threshold;
            };
            int low[2] = {width - 1, height - 1}, high[2] = {0, 0};
            for (int y = 0; y < height; ++y)
            {
                const T* row = image->getConstData<T>() + pixelIndex(0, y, width);
                int first = 0;
                while (first < width && !above(row[first]))
                    ++first;
                if (first == width)
                    continue;
                int last = width - 1;
                while (!above(row[last]))
                    --last;
                low[0] = std::min(low[0], first);
                high[0] = std::max(high[0], last);
                low[1] = std::min(low[1], y);
                high[1] = std::max(high[1], y);
            }
            std::copy(low, low + 2, min);
            std::copy(high, high + 2, max);
        },
        [&] {
            warning("Image2D: getBoundingBox() Not implemented for current data type");
            const bool valid = image->isValid();
            min[0] = min[1] = 0;
            max[0] = valid ? image->getWidth() - 1 : 0;
            max[1] = valid ? image->getHeight() - 1 : 0;
        });
}

void Image2DOperations::getBoundingBox(const Image2D* image, int* min, int* max)
{
    getBoundingBox(image, 0, min, max);
}

void Image2DOperations::detectTransition(const Image2D* image, QList<std::pair<int, int>>* out, float threshold,
                                         bool fromTop)
{
    if (!image || !out)
        return;
    if (PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::INT, Image2D::UNSIGNED_CHAR, Image2D::BINARY>::contains(
            image->getDataType()))
        return warning("Image2D: detectTransition() Not implemented for current data type");
    dispatchDataType(
        PixelTypes<Image2D::SHORT, Image2D::FLOAT>{}, image->getDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            const int width = image->getWidth(), height = image->getHeight();
            if (height < 2)
                return;
            // Rows are visited in the walking order, all columns at once, so that memory is
            // read along rows; each column keeps the first change it meets.
            std::vector<int> change(static_cast<std::size_t>(width), -1);
            int open = width;
            const int step = fromTop ? 1 : -1;
            for (int y = fromTop ? 1 : height - 2; open > 0 && y >= 0 && y < height; y += step)
            {
                const T* row = image->getConstData<T>() + pixelIndex(0, y, width);
                const T* before = row - static_cast<std::ptrdiff_t>(step) * width;
                for (int x = 0; x < width; ++x)
                    if (change[x] < 0 && (static_cast<float>(row[x]) < threshold) !=
                                             (static_cast<float>(before[x]) < threshold))
                    {
                        change[x] = y;
                        --open;
                    }
            }
            for (int x = 0; x < width; ++x)
                if (change[x] >= 0)
                    out->append({x, change[x]});
        },
        [] { warning("Image2DOperations::detectTransition() Not implemented for current data type"); });
}

QPolygonF Image2DOperations::detectTransitionPoly(const Image2D* image, float threshold, bool fromTop)
{
    QList<std::pair<int, int>> changes;
    detectTransition(image, &changes, threshold, fromTop);
    QPolygonF polygon;
    if (changes.isEmpty())
        return polygon;
    const QVector3D size = image->getPixelSize();
    for (const auto& [x, y] : changes)
        polygon.append(fromTop ? QPointF(x * size.x(), y * size.y() - size.y() * 0.5)
                               : QPointF(x * size.x(), y * size.y() + size.y() * 0.5));
    return polygon;
}

bool Image2DOperations::compare(const Image2D* a, const Image2D* b)
{
    if (!a || !b || !a->isValid() || !b->isValid() || a->getSize() != b->getSize())
        return false;
    return dispatchDataType(
        AllPixelTypes{}, a->getDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            if (b->getDataType() != a->getDataType())
                return false;
            const T* pa = a->getConstData<T>();
            const T* pb = b->getConstData<T>();
            if constexpr (std::is_floating_point_v<T>)
                return std::equal(pa, pa + a->getNumPixels(), pb);
            else
                return std::memcmp(pa, pb, a->getByteCount()) == 0;
        },
        [] { warning("Image2DOperations::compare() Not implemented for current data type"); });
}

bool Image2DOperations::invert(Image2D* image)
{
    if (!image)
        return false;
    return dispatchDataType(
        AllPixelTypes{}, image->getDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            if (!image->isValid())
                return false;
            const T* in = image->getConstData<T>();
            return replaceWithMask(*image, image->getSize(), image->getPixelSize(), [&](std::uint8_t* out) {
                for (std::size_t i = 0, n = image->getNumPixels(); i < n; ++i)
                    out[i] = in[i] == T(0);
            });
        },
        [] { warning("Image2DOperations::invert() Not implemented for current data type"); });
}

bool Image2DOperations::threshold(const Image2D* source, Image2D* target, int lower, int upper)
{
    if (!source || !target)
        return false;
    return dispatchDataType(
        AllPixelTypes{}, source->getDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            if (!source->isValid())
                return false;
            // Bounds in the element type: floats as floats, integers by their low-order bits.
            const T low = static_cast<T>(lower), high = static_cast<T>(upper);
            const T* in = source->getConstData<T>();
            return replaceWithMask(*target, source->getSize(), source->getPixelSize(), [&](std::uint8_t* out) {
                for (std::size_t i = 0, n = source->getNumPixels(); i < n; ++i)
                    out[i] = low < in[i] && in[i] < high;
            });
        },
        [] { warning("Image2DOperations::threshold Not implemented for current data type"); });
}

bool Image2DOperations::logicalAnd(Image2D* a, const Image2D* b)
{
    if (!a || !b || !a->isValid() || !b->isValid() || a->getDataType() != Image2D::BINARY ||
        b->getDataType() != Image2D::BINARY || a->getSize() != b->getSize())
        return false;
    const std::uint8_t* pa = a->getConstData<std::uint8_t>();
    const std::uint8_t* pb = b->getConstData<std::uint8_t>();
    return replaceWithMask(*a, a->getSize(), a->getPixelSize(), [&](std::uint8_t* out) {
        for (std::size_t i = 0, n = a->getNumPixels(); i < n; ++i)
            out[i] = pa[i] == 1 && pb[i] == 1;
    });
}

int Image2DOperations::label(Image2D* image)
{
    if (!image)
        return 0;
    return dispatchDataType(
        AllPixelTypes{}, image->getDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            if (!image->isValid())
                return 0;
            ComponentRuns components;
            if (!findComponents<T>(*image, [](T v) { return v > T(0); }, ScanOrder::RowMajor, false, components))
                return 0;
            if (components.count() > std::numeric_limits<std::uint16_t>::max())
            {
                warning("Image2D: label() too many components");
                return 0;
            }
            Image2D labels(image->getSize(), Image2D::UNSIGNED_SHORT, image->getPixelSize());
            if (!labels.isValid())
                return 0;
            components.writeLabels(labels.getData<std::uint16_t>());
            *image = std::move(labels);
            return static_cast<int>(components.count()) + 1;
        },
        [] { warning("Image2D: label() Not implemented for current data type"); });
}

// The zero pixels that no 8-connected path of zero pixels links to the border are the holes.
// Unlike label(), this needs no component numbers and so no limit on their count.
bool Image2DOperations::fillImage(Image2D* image)
{
    if (!image)
        return false;
    return dispatchDataType(
        AllPixelTypes{}, image->getDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            if (!image->isValid())
                return false;
            ComponentRuns background;
            if (!findComponents<T>(*image, [](T v) { return v != T(0); }, ScanOrder::RowMajor, true, background))
                return false;
            const int width = image->getWidth(), height = image->getHeight();
            std::vector<std::uint8_t> open(static_cast<std::size_t>(background.count()) + 1, 0);
            for (std::size_t r = 0; r < background.runs().size(); ++r)
            {
                const ComponentRuns::Run& run = background.runs()[r];
                if (run.x0 == 0 || run.x1 == width || r < background.rowBegin(1) || r >= background.rowBegin(height - 1))
                    open[run.component] = 1;
            }
            return replaceWithMask(*image, image->getSize(), image->getPixelSize(), [&](std::uint8_t* out) {
                std::fill(out, out + image->getNumPixels(), std::uint8_t(1));
                drawComponents(background, open, out, 0);
            });
        },
        [] { warning("Image2DOperations::invert() Not implemented for current data type"); });
}

bool Image2DOperations::keepLargestPart(const Image2D* source, Image2D* target)
{
    if (!source || !target || !source->isValid() || source->getDataType() != Image2D::BINARY)
        return false;
    ComponentRuns parts;
    if (!findComponents<std::uint8_t>(*source, [](std::uint8_t v) { return v > 0; }, ScanOrder::RowMajor, false,
                                      parts) ||
        parts.count() == 0)
        return false;
    const std::vector<std::uint64_t>& sizes = parts.sizes();
    // Only a strictly larger count replaces the best, so the first met wins among equals.
    std::uint32_t best = 1;
    for (std::uint32_t c = 2; c <= parts.count(); ++c)
        if (sizes[c] > sizes[best])
            best = c;
    std::vector<std::uint8_t> chosen(static_cast<std::size_t>(parts.count()) + 1, 0);
    chosen[best] = 1;
    return replaceWithMask(*target, source->getSize(), source->getPixelSize(),
                           [&](std::uint8_t* out) { drawComponents(parts, chosen, out, 1); });
}

} // namespace image2d
