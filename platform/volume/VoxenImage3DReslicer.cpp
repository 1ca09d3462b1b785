#include "platform/volume/VoxenImage3DReslicer.h"

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Parallel.h"

#include <algorithm>
#include <cstddef>

namespace {

// Trilinear sampling of one volume with the conventions of the header.
template <typename T>
struct Trilinear
{
    const T* voxels;
    int nx, ny, nz;
    std::size_t rowStride, sliceStride;
    float outside; // the volume's minimum

    explicit Trilinear(const VoxenImage3D& volume, float minimum)
        : voxels(volume.constData<T>()), nx(volume.imageSize().x), ny(volume.imageSize().y), nz(volume.imageSize().z),
          rowStride(static_cast<std::size_t>(nx)), sliceStride(static_cast<std::size_t>(nx) * ny), outside(minimum)
    {
    }

    // Lower voxel index and fraction along one axis of n voxels; false outside [0, n - 1]
    // (NaN included). The last cell is closed, so n - 1 itself interpolates with fraction 1.
    static bool cell(float c, int n, int& i, float& f)
    {
        if (!(c >= 0.0f && c <= static_cast<float>(n - 1)))
            return false;
        i = std::min(static_cast<int>(c), std::max(n - 2, 0));
        f = c - static_cast<float>(i);
        return true;
    }

    float operator()(float x, float y, float z) const
    {
        int i, j, k;
        float fx, fy, fz;
        if (!cell(x, nx, i, fx) || !cell(y, ny, j, fy) || !cell(z, nz, k, fz))
            return outside;
        const std::size_t dx = nx > 1 ? 1 : 0, dy = ny > 1 ? rowStride : 0, dz = nz > 1 ? sliceStride : 0;
        const T* p = voxels + static_cast<std::size_t>(k) * sliceStride + static_cast<std::size_t>(j) * rowStride + i;
        auto lerp = [](float a, float b, float t) { return a + t * (b - a); };
        auto v = [p](std::size_t offset) { return static_cast<float>(p[offset]); };
        const float c00 = lerp(v(0), v(dx), fx), c10 = lerp(v(dy), v(dy + dx), fx);
        const float c01 = lerp(v(dz), v(dz + dx), fx), c11 = lerp(v(dz + dy), v(dz + dy + dx), fx);
        return lerp(lerp(c00, c10, fy), lerp(c01, c11, fy), fz);
    }
};

bool usable(const VoxenImage3D* volume, const float* origin, const float* columns, const float* rows, int width,
            int height)
{
    return volume && volume->isValid() && origin && columns && rows && width > 0 && height > 0;
}

// Makes `image` a FLOAT image of width x height; false when it cannot be allocated.
bool prepare(Image2D& image, int width, int height)
{
    if (!image.isValid() || image.getDataType() != Image2D::FLOAT || image.getWidth() != width ||
        image.getHeight() != height)
        image = Image2D(width, height, Image2D::FLOAT, image.getPixelSize());
    return image.isValid();
}

// Fills pixel (x, y) with pixel(sampler, x, p) for p = origin + columns[x] + rows[y], rows in
// parallel, with the sampler of the volume's element type.
template <typename PixelFn>
void fill(const VoxenImage3D& volume, const float* origin, const float* columns, const float* rows, int width,
          int height, Image2D& image, PixelFn pixel)
{
    if (!prepare(image, width, height))
        return;
    const float minimum = volume.getValueRange().getMin();
    float* out = image.getData<float>();
    image2d::dispatchDataType(
        image2d::AllPixelTypes{}, volume.sliceDataType(),
        [&](auto tag) {
            const Trilinear<typename decltype(tag)::type> sample(volume, minimum);
            image2d::parallelFor(0, height, [&](int firstRow, int lastRow) {
                for (int y = firstRow; y < lastRow; ++y)
                {
                    const float* r = rows + 3 * static_cast<std::size_t>(y);
                    const float base[3] = {origin[0] + r[0], origin[1] + r[1], origin[2] + r[2]};
                    float* target = out + static_cast<std::size_t>(y) * width;
                    for (int x = 0; x < width; ++x)
                    {
                        const float* c = columns + 3 * static_cast<std::size_t>(x);
                        target[x] = pixel(sample, x, base[0] + c[0], base[1] + c[1], base[2] + c[2]);
                    }
                }
            });
        },
        [] {});
    image.editFinished();
}

} // namespace

void VoxenImage3DReslicer::loadAxialSlice2D(const VoxenImage3D* volume, int z, Image2D* image)
{
    if (!volume || !image)
        return;
    const math::Ivec3 size = volume->imageSize();
    if (image->loadFromData(volume->getAxialSlice(z), size.x, size.y, volume->sliceDataType()))
        image->setPixelSize(volume->voxelSize());
}

void VoxenImage3DReslicer::loadInterpolatedNormalizedReslice(const VoxenImage3D* volume, const float* origin,
                                                             const float* columns, const float* rows, int width,
                                                             int height, Image2D& image)
{
    if (!usable(volume, origin, columns, rows, width, height))
        return;
    const math::Range<float> range = volume->getValueRange();
    const float minimum = range.getMin(), span = range.getLength();
    fill(*volume, origin, columns, rows, width, height, image,
         [=](const auto& sample, int, float x, float y, float z) {
             return span > 0.0f ? (sample(x, y, z) - minimum) / span : 0.0f;
         });
}

void VoxenImage3DReslicer::loadXRayNormalizedReslice(const VoxenImage3D* volume, const float* origin,
                                                     const float* columns, const float* rows, int width, int height,
                                                     const float* normals, int steps,
                                                     const math::Range<float>& opacity, Image2D& image)
{
    if (!usable(volume, origin, columns, rows, width, height) || !normals)
        return;
    steps = std::max(steps, 1);
    const float low = opacity.getMin(), span = opacity.getLength();
    const float centre = static_cast<float>(steps - 1) * 0.5f;
    fill(*volume, origin, columns, rows, width, height, image,
         [=](const auto& sample, int column, float x, float y, float z) {
             const float* n = normals + 3 * static_cast<std::size_t>(column);
             float sum = 0.0f;
             for (int k = 0; k < steps; ++k)
             {
                 const float t = static_cast<float>(k) - centre;
                 const float v = sample(x + t * n[0], y + t * n[1], z + t * n[2]);
                 if (span > 0.0f)
                     sum += std::clamp((v - low) / span, 0.0f, 1.0f);
                 else
                     sum += v > low ? 1.0f : 0.0f;
             }
             return sum / static_cast<float>(steps);
         });
}

void VoxenImage3DReslicer::loadCephNormalizedReslice(const VoxenImage3D* volume, const float* origin,
                                                     const float* columns, const float* rows, int width, int height,
                                                     const float* normals, int steps, Image2D& image)
{
    if (!usable(volume, origin, columns, rows, width, height) || !normals)
        return;
    steps = std::max(steps, 1);
    const math::Range<float> range = volume->getValueRange();
    const float minimum = range.getMin(), span = range.getLength();
    fill(*volume, origin, columns, rows, width, height, image,
         [=](const auto& sample, int column, float x, float y, float z) {
             if (!(span > 0.0f))
                 return 0.0f;
             const float* n = normals + 3 * static_cast<std::size_t>(column);
             float sum = 0.0f;
             for (int k = 0; k < steps; ++k)
             {
                 const float t = static_cast<float>(k);
                 sum += (sample(x + t * n[0], y + t * n[1], z + t * n[2]) - minimum) / span;
             }
             return sum / static_cast<float>(steps);
         });
}
