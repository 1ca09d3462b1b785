#include "Results.h"

#include <pybind11/stl.h>

namespace bindings {

py::object toPython(image2d::Exposure::ExposureType type)
{
    switch (type)
    {
    case image2d::Exposure::BRIGHT: return py::str("bright");
    case image2d::Exposure::DARK: return py::str("dark");
    case image2d::Exposure::BALANCED: break;
    }
    return py::str("balanced");
}

py::object toPython(const QList<QPoint>& points)
{
    py::array_t<std::int32_t> array({py::ssize_t(points.size()), py::ssize_t(2)});
    auto out = array.mutable_unchecked<2>();
    for (qsizetype i = 0; i < points.size(); ++i)
    {
        out(i, 0) = points[i].x();
        out(i, 1) = points[i].y();
    }
    return array;
}

py::object toPython(const std::array<std::uint64_t, 256>& counts)
{
    py::array_t<std::uint64_t> array(py::ssize_t(counts.size()));
    std::copy(counts.begin(), counts.end(), array.mutable_data());
    return array;
}

py::object toPython(image2d::MinMaxImages images)
{
    return py::make_tuple(toPython(std::move(images.minimum)), toPython(std::move(images.maximum)));
}

py::object toPython(image2d::ComponentLabels labels)
{
    return py::make_tuple(toPython(std::move(labels.labels)), py::cast(labels.sizes));
}

py::object toPython(image2d::GradientOrientationImages images)
{
    py::dict result;
    result["cosine_dx"] = toPython(std::move(images.cosineDx));
    result["cosine_dy"] = toPython(std::move(images.cosineDy));
    result["sine_dx"] = toPython(std::move(images.sineDx));
    result["sine_dy"] = toPython(std::move(images.sineDy));
    result["ridges_and_valleys"] = toPython(std::move(images.ridgesAndValleys));
    return result;
}

py::object toPython(image2d::RidgeImages images)
{
    py::dict result;
    result["ridges_and_valleys"] = toPython(std::move(images.ridgesAndValleys));
    result["negative_curvature"] = toPython(std::move(images.negativeCurvature));
    result["high"] = toPython(std::move(images.high));
    result["ridges"] = toPython(std::move(images.ridges));
    return result;
}

py::object toPython(image2d::FeaturePointImages images)
{
    return py::make_tuple(toPython(std::move(images.dilatedRidges)), toPython(std::move(images.maskedRange)));
}

py::object toPython(image2d::ToothSegmentationResult result)
{
    return py::make_tuple(toPython(std::move(result.mask)), py::make_tuple(result.origin.x(), result.origin.y()),
                          result.passes);
}

} // namespace bindings
