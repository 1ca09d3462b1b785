#pragma once

// Results of the core functions as Python values: images as arrays on the library's buffer,
// result structs as tuples or dicts of arrays, numbers and classes as plain Python values.

#include "Arrays.h"

#include "image2d/analysis/Exposure.h"
#include "image2d/analysis/Labeling.h"
#include "image2d/analysis/Ridges.h"
#include "image2d/analysis/TeethRidges.h"
#include "image2d/analysis/ToothSegmentation.h"
#include "image2d/enhancement/AutoContrast.h"
#include "image2d/filtering/LocalStatistics.h"
#include "platform/pixeldata/LevelWindow.h"
#include "platform/utility/Optional.h"

#include <QList>
#include <QPoint>

#include <array>
#include <cstdint>
#include <utility>

namespace bindings {

inline py::object toPython(std::shared_ptr<Image2D> image)
{
    return image ? py::object(toArray(std::move(image))) : py::object(py::none());
}
inline py::object toPython(bool value)
{
    return py::bool_(value);
}
inline py::object toPython(int value)
{
    return py::int_(value);
}
inline py::object toPython(float value)
{
    return py::float_(value);
}
inline py::object toPython(double value)
{
    return py::float_(value);
}
inline py::object toPython(const std::pair<float, float>& range)
{
    return py::make_tuple(range.first, range.second);
}
inline py::object toPython(const image2d::ContrastWindow& window)
{
    return py::make_tuple(window.minimum, window.maximum);
}
inline py::object toPython(const data::LevelWindow& levelWindow)
{
    return py::make_tuple(levelWindow.getLevel(), levelWindow.getWindow());
}
/// "balanced", "bright" or "dark".
py::object toPython(image2d::Exposure::ExposureType type);
/// An (n, 2) int32 array of (x, y).
py::object toPython(const QList<QPoint>& points);
/// A uint64 array of the 256 counts.
py::object toPython(const std::array<std::uint64_t, 256>& counts);
/// (minimum, maximum) arrays.
py::object toPython(image2d::MinMaxImages images);
/// (labels, sizes) with sizes[0] the background's pixel count.
py::object toPython(image2d::ComponentLabels labels);
/// A dict of the five images.
py::object toPython(image2d::GradientOrientationImages images);
/// A dict of the four images (None for steps that did not run).
py::object toPython(image2d::RidgeImages images);
/// (dilated ridges, masked range).
py::object toPython(image2d::FeaturePointImages images);
/// (mask, (origin x, origin y), passes).
py::object toPython(image2d::ToothSegmentationResult result);

template <typename T>
py::object toPython(utility::Optional<T> value)
{
    return toPython(std::move(*value));
}
template <typename T>
py::object toPython(std::optional<T> value)
{
    return toPython(std::move(*value));
}

} // namespace bindings
