#pragma once

// Every algorithm class of the library with a factory for an object that passes validation,
// so that what all of them share (validation from the parameter declarations, the input
// image checks, one thread giving what all threads give) is tested once over all of them.

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Parameters.h"

#include <QHash>
#include <QSize>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace testing_support {

/// The warnings of one failed check where a class words it its own way; an empty list
/// stands for the usual "<owner> : missing input: " or "<owner> : invalid input: " and the key.
struct OwnWarnings
{
    QStringList missing, invalid, outOfRange;
};

struct AlgorithmEntry
{
    const char* name;
    /// A new object holding `input` (and further images made to suit it) and valid parameters.
    std::function<std::unique_ptr<image2d::Algorithm>(const std::shared_ptr<Image2D>& input)> make;
    image2d::ParameterList parameters;
    /// Owner in the usual messages, e.g. "image2d::Invert".
    const char* owner;
    /// Image slots; each is checked absent and, with `checksValidity`, not valid.
    QStringList imageSlots{image2d::Algorithm::INPUT_IMAGE};
    /// By slot or parameter key, where the class words a check its own way.
    QHash<QString, OwnWarnings> ownWarnings{};
    /// Pixel types the factory's input may have; the first is used for validation.
    QList<Image2D::DataType> types{Image2D::UNSIGNED_SHORT};
    /// Runs parallel loops: one thread must give what all threads give.
    bool parallel = false;
    QStringList outputs{image2d::Algorithm::OUTPUT_IMAGE};
    /// Whether the outputs keep the input's pixel size.
    bool keepsPixelSize = true;
    /// Whether validation rejects an input image that is not valid.
    bool checksValidity = true;
    /// Input types the class rejects, the one warning it gives for them ("%1" the type's code,
    /// "%2" its name) and whether the run still reports success (with empty outputs).
    QList<Image2D::DataType> unsupported{};
    QString unsupportedWarning{};
    bool unsupportedSucceeds = false;
};

const std::vector<AlgorithmEntry>& algorithmCatalog();

/// The catalogue's input: random values of `type` (0 to 4000, or 0 to 1 for FLOAT) of `size`,
/// pixel size (0.1, 0.2, 1).
std::shared_ptr<Image2D> catalogInput(Image2D::DataType type, QSize size = QSize(9, 7), std::uint32_t seed = 3);

/// The warnings the entry gives when the check `kind` (Missing, Invalid or OutOfRange) of
/// `key` fails.
QStringList expectedWarnings(const AlgorithmEntry& entry, const QString& key, image2d::FailureReason::Kind kind);

} // namespace testing_support
