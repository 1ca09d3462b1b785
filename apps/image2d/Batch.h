#pragma once

#include "ImageIO.h"
#include "RasterIO.h"
#include "Settings.h"

#include <QString>

#include <vector>

namespace tool {

/// One image to enhance: a file, or the built-in phantom when `input` is empty.
struct BatchItem
{
    QString input;
    QString output;
    QString subfolder; ///< where a folder's image sits below that folder ("." at its top); empty for a named file

    /// Found by looking through a folder (rather than named): a DICOM object without an
    /// image there is skipped with a note instead of failing.
    bool fromFolder() const { return !subfolder.isEmpty(); }
};

struct BatchOptions
{
    int jobs = 0;         ///< images processed at the same time; 0: one per core
    bool progress = true; ///< a line on stderr per finished image
    QString compare;      ///< side-by-side picture of the (single) image, when not empty
    PngCompression compression = PngCompression::Fast;
    QString decoder; ///< program of the DICOM decoder child; empty: this program when an application runs
};

/// What a batch did.
struct BatchResult
{
    int failed = 0;
    int skipped = 0; ///< objects without an image found in folders
};

/// How one item of a batch ended.
enum class ItemOutcome
{
    Done,
    Failed,
    Skipped ///< an object without an image found in a folder
};

/// Loads `item` (or makes the phantom) and enhances it into its output file (and the
/// comparison picture when asked for), on the calling thread. The notes of the reading and of
/// the display road are appended to `notes`; a failure's one-line reason is in `error`.
ItemOutcome enhanceItem(const BatchItem& item, const EnhanceSettings& settings, const BatchOptions& options,
                        QStringList& notes, QString& error);

/// Enhances every item, several at a time, inside one TBB arena of one thread per core
/// that the images and the library's parallel loops share. A failing image gets one error
/// line on stderr and does not stop the others; the failures are listed again at the end.
BatchResult runBatch(const std::vector<BatchItem>& items, const EnhanceSettings& settings, const BatchOptions& options);

} // namespace tool
