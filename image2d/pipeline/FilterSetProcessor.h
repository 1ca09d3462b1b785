#pragma once

#include "image2d/framework/Algorithm.h"
#include "image2d/pipeline/FilterSet.h"

#include <QSize>
#include <QStringList>
#include <QTransform>

#include <memory>

namespace image2d {

/// Display processing of one image: copies it, resizes it smoothly, applies the transform
/// and level/window, then runs the active filters of its filter set in a fixed order, each
/// on the result of the one before.
class FilterSetProcessor : public Algorithm
{
public:
    static const QString LEVEL;  ///< "level", double
    static const QString WINDOW; ///< "window", double > 0
    static const QString SIZE;   ///< "resize", QSize; optional

    FilterSetProcessor(const FilterSet& filterSet, const QTransform& transform);
    FilterSetProcessor(const FilterSetProcessor& other);

    /// Runs a processor on a copy of *image; the output, or an empty pointer on failure
    /// or cancellation.
    static std::shared_ptr<Image2D> executeProcessor(const Image2D* image, const FilterSet& filterSet,
                                                     const QTransform& transform, double level, double window,
                                                     const std::atomic<bool>& cancel, const QSize& size);

    /// The identifiers the chain visits, in the order it visits them ("LevelWindow" first).
    static const QStringList& filterOrder();

    /// The filter factory: a new algorithm for `id`, holding `parameters` and the values the
    /// display road forces, or none when the filter would change nothing or has no algorithm
    /// ("ConstrainedUnsharpMasking", unknown identifiers). `image` is the image the filter will
    /// receive; only its value bounds are read.
    static std::unique_ptr<Algorithm> createFilter(const QString& id, const std::shared_ptr<Image2D>& image,
                                                   const Uniforms& parameters);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

private:
    std::shared_ptr<Image2D> runChain(std::shared_ptr<Image2D> image, const std::atomic<bool>& cancel) const;

    FilterSet m_filterSet;
    QTransform m_transform;
};

} // namespace image2d
