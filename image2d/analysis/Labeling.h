#pragma once

// Connected-component labelling of binary images and selection of the largest regions.
//
// The typed core functions do the work, e.g.
//     ComponentLabels labelled = image2d::labelComponents(mask);
//     std::shared_ptr<Image2D> kept = image2d::keepLargestRegions(*labelled.labels, 2);
// and Label / KeepLargestPart are their parameter-store adapters. Everything runs on the
// calling thread and never polls a cancellation flag.

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Parameters.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

namespace image2d {

/// Result of labelComponents().
struct ComponentLabels
{
    std::shared_ptr<Image2D> labels; ///< UNSIGNED_SHORT: 0 background, components 1 ... N
    std::vector<int> sizes;          ///< pixels per label, sizes[0] the background's
    explicit operator bool() const { return static_cast<bool>(labels); }
};

/// Numbers the 8-connected components of the non-zero pixels of a BINARY image 1 ... N in the
/// order a column-major scan (columns left to right, each top to bottom) first meets them;
/// the label image has the input's size and pixel size. Empty with the Label warnings for an
/// invalid or non-BINARY image, and with "image2d::Label : too many components" when N
/// exceeds the 65535 that 16-bit labels can hold.
ComponentLabels labelComponents(const Image2D& binary);

/// BINARY image (size and pixel size of `labels`) that keeps the `regionCount` non-zero labels
/// of an UNSIGNED_SHORT label image with the most pixels: equal sizes keep the smaller label
/// first, a count below 1 keeps nothing. Empty with the KeepLargestPart warnings for an
/// invalid or non-UNSIGNED_SHORT image.
std::shared_ptr<Image2D> keepLargestRegions(const Image2D& labels, int regionCount);

/// The same, keeping every non-zero label of at least `minimumSize` pixels.
std::shared_ptr<Image2D> keepRegionsOfMinimumSize(const Image2D& labels, int minimumSize);

/// Adapter of labelComponents(); keeps the pixel count per label of its last run.
class Label : public Algorithm
{
public:
    /// Labels a copy of *input; `labelCount` is replaced by the label count (empty on failure).
    static std::shared_ptr<Image2D> executeLabeling(Image2D* input, QHash<unsigned short, int>& labelCount);

    /// Pixels per label of the last run, label 0 (the background) included when it has pixels.
    const QHash<unsigned short, int>& getLabelCount() const { return m_labelCount; }

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

private:
    QHash<unsigned short, int> m_labelCount;
};

/// Adapter of keepLargestRegions() ("regionCount", which wins when both are set) and
/// keepRegionsOfMinimumSize() ("minimumSize"); one of the two must be set.
class KeepLargestPart : public Algorithm
{
public:
    static const QString REGION_COUNT; ///< "regionCount"
    static const QString MINIMUM_SIZE; ///< "minimumSize"
    static const Parameter<int> REGION_COUNT_PARAMETER;
    static const Parameter<int> MINIMUM_SIZE_PARAMETER;
    static const ParameterList& parameters();

    /// Keeps the `regionCount` largest regions of a copy of *labels; empty on failure.
    static std::shared_ptr<Image2D> executeLargestPartWithRegionCount(Image2D* labels, int regionCount);
    /// Keeps the regions of at least `minimumSize` pixels of a copy of *labels; empty on failure.
    static std::shared_ptr<Image2D> executeLargestPartWithMinimumSize(Image2D* labels, int minimumSize);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

} // namespace image2d
