#pragma once

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Parameters.h"
#include "image2d/pipeline/FilterSet.h"

#include <QSize>
#include <QStringList>
#include <QTransform>

#include <memory>

namespace image2d {

/// Display processing of one image: copies it, resizes it smoothly, applies the transform
/// and level/window, then runs the active filters of its filter set in a fixed order, each
/// on the result of the one before. On the caller's thread; the parallelism is inside the
/// steps. Cancellation is checked before resize, transform and the chain and after every
/// step of the chain.
///
/// The chain asks the filter factory for each active filter's algorithm, as the host's API
/// has it, but only uses the object as the holder of the filter's parameters: it validates
/// them there (with the filter's own warnings) and then calls the filter's core function
/// (its applyFilter) on the current image, so no algorithm is executed inside the chain.
/// A failed run records the step that failed in lastFailure().step: "copy", "resize",
/// "transform" or the identifier in filterOrder() ("LevelWindow" first).
class FilterSetProcessor : public Algorithm
{
public:
    static const QString LEVEL;  ///< "level", double
    static const QString WINDOW; ///< "window", double > 0
    static const QString SIZE;   ///< "resize", QSize; optional
    /// Finite.
    static const Parameter<double> LEVEL_PARAMETER;
    /// Finite; 0 or less warns "invalid input" and "Window value cannot be equal or smaller than 0".
    static const Parameter<double> WINDOW_PARAMETER;
    /// Lenient; not valid or null: no resize.
    static const Parameter<QSize> SIZE_PARAMETER;
    static const ParameterList& parameters();

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
    std::shared_ptr<Image2D> runFilter(const QString& id, Algorithm& filter, const std::shared_ptr<Image2D>& image,
                                       const std::atomic<bool>& cancel) const;
    /// Records a cancellation noticed at `step` and says whether the run stops there.
    bool stoppedAt(const std::atomic<bool>& cancel, const QString& step) const;

    FilterSet m_filterSet;
    QTransform m_transform;
};

} // namespace image2d
