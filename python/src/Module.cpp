// The compiled part of the Python package image2d (image2d/_image2d): the library's core
// functions on NumPy arrays. The package's __init__.py re-exports it and adds display()
// and the batch module.

#include "Arrays.h"
#include "Bindings.h"
#include "Calls.h"

#include "image2d/version.h"

#include <QImageReader>
#include <QImageWriter>

#include <tbb/global_control.h>

#include <memory>

namespace {

std::unique_ptr<tbb::global_control> g_threads;

} // namespace

PYBIND11_MODULE(_image2d, m)
{
    m.doc() = "2D image processing for dental radiography on NumPy arrays (the library's core functions).";
    bindings::installMessageHandler();
    // Qt loads its image-format plugins once, into objects of the thread that first reads or
    // writes a picture; a Python thread that ends leaves them to be freed twice at exit. Load
    // them here, on the importing (main) thread.
    QImageReader::supportedImageFormats();
    QImageWriter::supportedImageFormats();
    bindings::bindArrays(m);
    bindings::bindPointops(m);
    bindings::bindFiltering(m);
    bindings::bindEnhancement(m);
    bindings::bindAnalysis(m);
    bindings::bindSegmentation(m);
    bindings::bindToolbox(m);
    bindings::bindVolume(m);
    bindings::bindTool(m);

    m.def(
        "set_max_threads",
        [](int threads) {
            g_threads.reset();
            if (threads > 0)
                g_threads = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism,
                                                                  std::size_t(threads));
        },
        pybind11::arg("threads"),
        "Limits the library's worker threads in this process (0: no limit, one per core).");
    m.attr("__version__") = IMAGE2D_VERSION_STRING;
}
