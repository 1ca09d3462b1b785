// The tool's parts that Python needs: the display road on an array, reading and writing
// radiographs (DICOM, PNG, TIFF), the phantom, and one batch item for the Dask workers.

#include "Bindings.h"
#include "Calls.h"
#include "Results.h"

#include "Batch.h"
#include "Dicom.h"
#include "DisplayConversion.h"
#include "EnhanceJob.h"
#include "ImageIO.h"
#include "OutputPlan.h"
#include "Phantom.h"
#include "Presets.h"
#include "RasterIO.h"
#include "Settings.h"

#include <pybind11/stl.h>

#include <chrono>
#include <ctime>

namespace bindings {

namespace {

py::list toList(const QStringList& texts)
{
    py::list list;
    for (const QString& text : texts)
        list.append(text.toStdString());
    return list;
}


tool::PngCompression compressionOf(const std::string& name)
{
    if (name == "fast")
        return tool::PngCompression::Fast;
    if (name == "small")
        return tool::PngCompression::Small;
    throw py::value_error("compression must be \"fast\" or \"small\"");
}

py::dict infoOf(const tool::LoadedImage& loaded)
{
    py::dict info;
    info["format"] = loaded.format.toStdString();
    info["photometric"] = loaded.photometric.toStdString();
    info["display_inverted"] = loaded.displayInverted;
    info["bits_stored"] = loaded.bitsStored;
    info["slope"] = loaded.slope;
    info["intercept"] = loaded.intercept;
    info["pixel_size_known"] = loaded.pixelSizeKnown;
    info["level"] = loaded.fileLevel ? py::object(py::float_(*loaded.fileLevel)) : py::object(py::none());
    info["window"] = loaded.fileWindow ? py::object(py::float_(*loaded.fileWindow)) : py::object(py::none());
    info["padding"] = !loaded.padding.isEmpty();
    info["notes"] = toList(loaded.notes);
    return info;
}

py::object imageOf(Image2D&& image)
{
    return toArray(std::make_shared<Image2D>(std::move(image)));
}

} // namespace

tool::EnhanceSettings settingsOf(const std::string& json, const std::string& preset)
{
    tool::EnhanceSettings settings;
    QString error;
    if (!tool::settingsFromJson(QByteArray::fromStdString(json), settings, error))
        throw py::value_error(error.toStdString());
    if (!preset.empty())
    {
        if (!tool::isPreset(QString::fromStdString(preset)))
            throw py::value_error("unknown preset \"" + preset + "\": " +
                                  tool::presetNames().join(QStringLiteral(", ")).toStdString());
        tool::applyPreset(QString::fromStdString(preset), settings);
    }
    return settings;
}

void bindTool(py::module_& m)
{
    m.def(
        "_display",
        [](const py::handle& image, const std::string& json, const std::string& preset, const py::handle& pixelSize) {
            const tool::EnhanceSettings settings = settingsOf(json, preset);
            InputImage input = toImage(image, "image", pixelSize);
            tool::LoadedImage loaded;
            loaded.image = std::move(input.image);
            loaded.format = QStringLiteral("array");
            loaded.pixelSizeKnown = !pixelSize.is_none() || pixelSizeOf(input.array).has_value();
            tool::EnhanceOutcome outcome;
            QString error;
            WarningScope scope;
            bool ok = false;
            {
                py::gil_scoped_release release;
                const std::atomic<bool> cancel{false};
                ok = tool::runEnhance(loaded, settings, outcome, error, cancel);
            }
            if (!ok)
                raiseFailure("display", QStringList(error) + scope.messages());
            passOnWarnings(scope.messages());
            py::dict info;
            info["level"] = outcome.level;
            info["window"] = outcome.window;
            info["level_window_source"] = outcome.levelWindowSource.toStdString();
            info["notes"] = toList(outcome.notes);
            info["settings"] = settings.describe().toStdString();
            return py::make_tuple(imageOf(std::move(outcome.display)), info);
        },
        py::arg("image"), py::arg("settings_json"), py::arg("preset"), py::arg("pixel_size"));
    m.def(
        "_time_display",
        [](const py::handle& image, const std::string& json, const std::string& preset, int repeats) {
            // The display road timed in C++ on the same image and settings, for the benchmark
            // that compares display() with it.
            const tool::EnhanceSettings settings = settingsOf(json, preset);
            InputImage input = toImage(image, "image", py::none());
            tool::LoadedImage loaded;
            loaded.image = std::move(input.image);
            std::vector<std::pair<double, double>> seconds; // wall, process CPU
            py::gil_scoped_release release;
            auto cpu = [] {
                timespec t{};
                clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
                return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
            };
            for (int i = 0; i < repeats; ++i)
            {
                const double cpuStart = cpu();
                const auto start = std::chrono::steady_clock::now();
                {
                    // The result is released inside the timing, as display()'s is when dropped.
                    tool::EnhanceOutcome outcome;
                    QString error;
                    const std::atomic<bool> cancel{false};
                    tool::runEnhance(loaded, settings, outcome, error, cancel);
                }
                seconds.emplace_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                                     cpu() - cpuStart);
            }
            return seconds;
        },
        py::arg("image"), py::arg("settings_json"), py::arg("preset"), py::arg("repeats"));
    m.def(
        "_check_settings", [](const std::string& json, const std::string& preset) { settingsOf(json, preset); },
        py::arg("settings_json"), py::arg("preset"));
    m.def("_display_names", [] {
        py::dict names;
        names["media"] = toList(tool::mediaNames());
        names["modality"] = toList(tool::modalityNames());
        names["preset"] = toList(tool::presetNames());
        return names;
    });

    m.def(
        "_read",
        [](const std::string& path, bool withInfo, const std::string& decoder) -> py::object {
            tool::LoadedImage loaded;
            QString error;
            bool ok = false;
            {
                py::gil_scoped_release release;
                ok = tool::readImage(QString::fromStdString(path), loaded, error, QString::fromStdString(decoder));
            }
            if (!ok)
                throw py::value_error(path + ": " + error.toStdString());
            py::dict info = infoOf(loaded);
            py::object array = imageOf(std::move(loaded.image));
            return withInfo ? py::object(py::make_tuple(array, info)) : array;
        },
        py::arg("path"), py::arg("info"), py::arg("decoder"));
    // Where the package finds the tool for its decoder child (image2d.decoder_tool()).
    m.attr("_tool_from_module") = IMAGE2D_MODULE_TO_TOOL;
    m.attr("_build_tool") = IMAGE2D_BUILD_TOOL;
    m.def(
        "write",
        [](const std::string& path, const py::handle& image, int depth, const std::string& compression) {
            const InputImage input = toImage(image, "image", py::none());
            const tool::PngCompression level = compressionOf(compression);
            QString error;
            bool ok = false;
            {
                py::gil_scoped_release release;
                const QString file = QString::fromStdString(path);
                if (tool::suffixOf(file) == QLatin1String("dcm"))
                    ok = tool::writeDicom(input.image, depth, file, error);
                else
                {
                    const QImage picture = tool::toDisplayImage(input.image, depth);
                    ok = !picture.isNull() && tool::writeImage(picture, file, error, level);
                    if (picture.isNull())
                        error = QStringLiteral("cannot make a %1-bit picture of this image").arg(depth);
                }
            }
            if (!ok)
                throw py::value_error(path + ": " + error.toStdString());
        },
        py::arg("path"), py::arg("image"), py::arg("depth") = 8, py::arg("compression") = "fast",
        "Writes a display image (its pixel type's whole range, 0..1 for float32) as an 8- or 16-bit PNG or\n"
        "TIFF by the suffix, through a temporary file; .dcm writes the stored values as DICOM with\n"
        "`depth` bits stored.");
    m.def(
        "phantom",
        [](const std::string& media, double dose, double blur, bool noise, bool masks) -> py::object {
            tool::Media kind = tool::Media::Intraoral;
            if (!tool::parseMedia(QString::fromStdString(media), kind))
                throw py::value_error("unknown media \"" + media + "\"");
            const tool::PhantomAcquisition acquisition{dose, blur, noise};
            if (!masks)
            {
                Image2D image = callLibrary(
                    "phantom", [&] { return tool::makePhantom(tool::phantomLayoutFor(kind), acquisition); });
                if (!image.isValid())
                    throw py::value_error("phantom: not enough memory");
                return imageOf(std::move(image));
            }
            tool::PhantomWithMasks made;
            {
                py::gil_scoped_release release;
                made = tool::makePhantomWithMasks(tool::phantomLayoutFor(kind), acquisition);
            }
            py::dict result;
            result["teeth"] = imageOf(std::move(made.teeth));
            result["pulp"] = imageOf(std::move(made.pulp));
            result["bone"] = imageOf(std::move(made.bone));
            return py::make_tuple(imageOf(std::move(made.image)), result);
        },
        py::arg("media") = "intraoral", py::arg("dose") = 1.0, py::arg("blur") = 0.0, py::arg("noise") = true,
        py::arg("masks") = false,
        "The tool's synthetic radiograph (12-bit values in uint16, with its pixel size) of the media's\n"
        "layout, at a dose relative to the normal one and a detector blur (sigma in pixels); with masks,\n"
        "(image, {\"teeth\", \"pulp\", \"bone\"}) of uint8 ground truth.");

    m.def(
        "_plan_outputs",
        [](const std::vector<std::string>& inputs, const std::string& output, bool recursive, const std::string& suffix) {
            tool::EnhanceRequest request;
            for (const std::string& input : inputs)
                request.inputs << QString::fromStdString(input);
            request.output = QString::fromStdString(output);
            request.recursive = recursive;
            request.suffix = QString::fromStdString(suffix);
            std::vector<tool::BatchItem> items;
            QString error;
            if (!tool::planOutputs(request, items, error))
                throw py::value_error(error.toStdString());
            py::list plan;
            for (const tool::BatchItem& item : items)
                plan.append(py::make_tuple(item.input.toStdString(), item.output.toStdString(), item.fromFolder()));
            return plan;
        },
        py::arg("inputs"), py::arg("output"), py::arg("recursive"), py::arg("suffix"));
    m.def(
        "_enhance_file",
        [](const std::string& input, const std::string& output, bool fromFolder, const std::string& json,
           const std::string& preset, const std::string& compression, const std::string& decoder) {
            const tool::EnhanceSettings settings = settingsOf(json, preset);
            tool::BatchOptions options;
            options.compression = compressionOf(compression);
            options.decoder = QString::fromStdString(decoder);
            // A folder's item knows where it sits below its folder; only that it came from one matters here.
            const tool::BatchItem item{QString::fromStdString(input), QString::fromStdString(output),
                                       fromFolder ? QStringLiteral(".") : QString()};
            QStringList notes;
            QString error;
            tool::ItemOutcome outcome = tool::ItemOutcome::Failed;
            {
                py::gil_scoped_release release;
                WarningScope scope; // the library's warnings belong to the item, not to the worker's log
                outcome = tool::enhanceItem(item, settings, options, notes, error);
                notes << scope.messages();
            }
            const char* status = outcome == tool::ItemOutcome::Done      ? "done"
                                 : outcome == tool::ItemOutcome::Skipped ? "skipped"
                                                                         : "failed";
            return py::make_tuple(status, error.toStdString(), toList(notes));
        },
        py::arg("input"), py::arg("output"), py::arg("from_folder"), py::arg("settings_json"), py::arg("preset"),
        py::arg("compression"), py::arg("decoder"));
}

} // namespace bindings
