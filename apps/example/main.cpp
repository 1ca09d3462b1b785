// Builds a synthetic 12-bit radiograph-like ramp and converts it for display, printing
// what each step did.
#include <image2d/image2d.h>

#include <cstdio>

int main()
{
    const int width = 640, height = 480;
    Image2D image(width, height, Image2D::UNSIGNED_SHORT, QVector3D(0.02f, 0.02f, 1.0f));
    auto* p = image.getData<std::uint16_t>();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[y * width + x] = static_cast<std::uint16_t>((x * 4095) / (width - 1));
    image.editFinished();
    const math::Range<float> range = image.getValueRange();
    std::printf("image2d %s\n", IMAGE2D_VERSION_STRING);
    std::printf("phantom: %dx%d %s, values %.0f..%.0f\n", width, height, qPrintable(image.getDataTypeString()),
                range.getMin(), range.getMax());

    const Image2D asFloat = conversions::convertToDataType(image, Image2D::FLOAT);
    std::printf("converted to %s: values %.1f..%.1f\n", qPrintable(asFloat.getDataTypeString()),
                asFloat.getValueRange().getMin(), asFloat.getValueRange().getMax());
    const int level = math::Operations::roundToNumber(static_cast<int>((range.getMin() + range.getMax()) / 2), 50);
    std::printf("display level rounded to a multiple of 50: %d\n", level);
    return 0;
}
