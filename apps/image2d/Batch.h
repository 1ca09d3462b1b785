#pragma once

#include "Phantom.h"
#include "Settings.h"

#include <QString>

#include <vector>

namespace tool {

/// One image to enhance: a file, or the built-in phantom when `input` is empty.
struct BatchItem
{
    QString input;
    QString output;
};

struct BatchOptions
{
    int jobs = 0;        ///< images processed at the same time; 0: one per core
    bool progress = true; ///< a line on stderr per finished image
    QString compare;     ///< side-by-side picture of the (single) image, when not empty
};

/// Phantom layout that fits the media type.
PhantomLayout phantomLayoutFor(Media media);

/// Enhances every item, several at a time. A failing image gets one error line on stderr
/// and does not stop the others; the failures are listed again at the end. Returns the
/// number of failed images.
int runBatch(const std::vector<BatchItem>& items, const EnhanceSettings& settings, const BatchOptions& options);

/// Loads `item` (or makes the phantom) and enhances it into its output file.
bool enhanceOne(const BatchItem& item, const EnhanceSettings& settings, const QString& compare, QStringList& notes,
                QString& error);

} // namespace tool
