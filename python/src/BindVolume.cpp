// CT volumes as 3-D arrays (slice, row, column): the automatic CT window, reslices (sections,
// simulated X-rays, cephalometric projections) and the tool's reslice road, the generated
// cephalogram's pre- and postprocessing, the per-slice distance maps, the CT phantom and
// series reader. Volumes are copied in (the volume library owns its buffer); result volumes
// come back without a copy, carrying their voxel size (voxel_size()).

#include "Bindings.h"
#include "Declared.h"
#include "Settings.h"

#include "CtPhantom.h"
#include "DecoderChild.h"
#include "DicomSeries.h"
#include "ResliceJob.h"

#include "image2d/enhancement/AutoLevelWindow3D.h"
#include "image2d/volume/CachedReslicer.h"
#include "image2d/volume/GeneratedCeph.h"
#include "image2d/volume/PerSliceOperations.h"
#include "platform/documentmodel/CTData.h"
#include "platform/documentmodel/Reslice.h"

#include <pybind11/stl.h>

#include <cstring>

namespace bindings {

namespace {

/// The base of every volume array the module returns: owns the library's volume.
struct VolumeBuffer
{
    std::shared_ptr<VoxenImage3D> volume;
};

std::optional<QVector3D> voxelSizeOf(const py::handle& array)
{
    if (const VolumeBuffer* buffer = baseOf<VolumeBuffer>(array))
        return buffer->volume->voxelSize();
    return std::nullopt;
}

// A copy of a 3-D array; the voxel size (x, y, z) in mm is the argument's, else that of a
// volume this module returned, else 1.
std::shared_ptr<VoxenImage3D> toVolume(const py::handle& object, const char* argument, const py::object& voxelSize)
{
    const auto array = py::array::ensure(object, py::array::c_style);
    if (!array || array.ndim() != 3)
        throw py::type_error(std::string(argument) + ": expected a 3-D array (slices, rows, columns)");
    const auto type = pixelTypeOf(array.dtype());
    if (!type)
        throw py::type_error(std::string(argument) + ": unsupported dtype");
    QVector3D size = voxelSizeOf(object).value_or(QVector3D(1, 1, 1));
    if (!voxelSize.is_none())
    {
        const auto s = voxelSize.cast<std::array<float, 3>>();
        size = QVector3D(s[0], s[1], s[2]);
    }
    auto volume = std::make_shared<VoxenImage3D>(
        math::Ivec3(int(array.shape(2)), int(array.shape(1)), int(array.shape(0))), size,
        static_cast<image::DataType>(*type));
    if (!volume->isValid())
        throw py::value_error(std::string(argument) + ": empty or too large");
    std::memcpy(volume->dataPtr(), array.data(), std::size_t(array.nbytes()));
    volume->editFinished();
    return volume;
}

py::array toArray(std::shared_ptr<VoxenImage3D> volume)
{
    const math::Ivec3 size = volume->imageSize();
    void* voxels = volume->dataPtr();
    const py::dtype dtype = dtypeOf(volume->sliceDataType());
    py::object base = py::cast(VolumeBuffer{std::move(volume)});
    return py::array(dtype, {py::ssize_t(size.z), py::ssize_t(size.y), py::ssize_t(size.x)}, {}, voxels, base);
}

template <typename Enum>
Enum choice(const std::string& text, std::initializer_list<std::pair<const char*, Enum>> names, const char* what)
{
    std::string known;
    for (const auto& [name, value] : names)
    {
        if (text == name)
            return value;
        known += (known.empty() ? "" : ", ") + std::string(name);
    }
    throw py::value_error(std::string(what) + " must be one of " + known + ", not \"" + text + "\"");
}

meta::PointOfView viewOf(const std::string& text)
{
    return choice<meta::PointOfView>(text, {{"left", meta::PointOfView::Left}, {"right", meta::PointOfView::Right}}, "view");
}

} // namespace

void bindVolume(py::module_& m)
{
    m.def(
        "auto_level_window_3d",
        [](const py::handle& volume) {
            auto v = toVolume(volume, "volume", py::none());
            return toPython(callLibrary("auto_level_window_3d", [&] { return image3d::calculateAutoLevelWindow(v.get()); }));
        },
        py::arg("volume"), "Automatic (level, window) of a CT volume from its axial slices; (0, 0) when none counts.");
    const ceph::GenerateCephParameters defaults;
    m.def(
        "ceph_preprocess",
        [](const py::handle& volume, const py::object& voxelSize, float lowValue, float lowThreshold, float first,
           float second) {
            auto v = toVolume(volume, "volume", voxelSize);
            ceph::GenerateCephParameters parameters;
            parameters.lowValue = lowValue;
            parameters.lowThreshold = lowThreshold;
            parameters.firstBoostThreshold = first;
            parameters.secondBoostThreshold = second;
            auto result = callLibrary("ceph_preprocess", [&] {
                return std::optional<std::shared_ptr<VoxenImage3D>>(
                    ceph::createPreprocessedImageForGeneratedCeph(*v, parameters));
            });
            if (!*result)
                throw py::value_error("ceph_preprocess: invalid volume or not enough memory");
            return toArray(std::move(*result));
        },
        py::arg("volume"), py::arg("voxel_size") = py::none(), py::arg("low_value") = defaults.lowValue,
        py::arg("low_threshold") = defaults.lowThreshold, py::arg("first_boost_threshold") = defaults.firstBoostThreshold,
        py::arg("second_boost_threshold") = defaults.secondBoostThreshold,
        "A float32 copy of the volume prepared for a generated cephalogram (thresholds in CT numbers,\n"
        "voxel_size (x, y, z) in mm).");
    m.def(
        "ceph_postprocess",
        [](const py::handle& image, float minimum, float maximum) {
            const InputImage input = toImage(image, "image", py::none());
            return toPython(callLibrary("ceph_postprocess", [&] {
                auto copy = std::make_shared<Image2D>(input.image);
                ceph::postProcessGeneratedCeph(*copy, math::Range<float>(minimum, maximum));
                return copy;
            }));
        },
        py::arg("image"), py::arg("minimum"), py::arg("maximum"),
        "Tone-mapped copy of a projected float32 image, mapped onto [minimum, maximum].");
    m.def(
        "per_slice_distance_map",
        [](const py::handle& volume) {
            auto v = toVolume(volume, "volume", py::none());
            VoxenImagePerSliceDistanceMap map;
            map.setInput(v.get());
            callLibrary("per_slice_distance_map", [&] { return map.execute(); });
            return toArray(std::shared_ptr<VoxenImage3D>(map.output()));
        },
        py::arg("volume"), "Chamfer distance map (int16) of every axial slice of a boolean volume.");
    m.def(
        "per_slice_grow_chamfer",
        [](const py::handle& limit, const py::handle& zone, int depth) {
            auto l = toVolume(limit, "limit", py::none());
            auto z = toVolume(zone, "zone", py::none());
            VoxenImagePerSliceGrowChamfer grow;
            grow.setLimitImage(l.get());
            grow.setZoneImage(z.get());
            grow.setPenetrationDepth(depth);
            callLibrary("per_slice_grow_chamfer", [&] { return grow.execute(); });
            return toArray(std::shared_ptr<VoxenImage3D>(grow.output()));
        },
        py::arg("limit"), py::arg("zone"), py::arg("penetration_depth") = 0,
        "Chamfer growth of the zone within the limit on every axial slice, as a boolean volume.");

    py::class_<VolumeBuffer>(m, "VolumeBuffer", "The library's volume behind a 3-D array this module returned.")
        .def_property_readonly("voxel_size", [](const VolumeBuffer& b) {
            const QVector3D s = b.volume->voxelSize();
            return py::make_tuple(shortestDouble(s.x()), shortestDouble(s.y()), shortestDouble(s.z()));
        });
    m.def(
        "voxel_size",
        [](const py::handle& array) -> py::object {
            if (const auto s = voxelSizeOf(array))
                return py::make_tuple(shortestDouble(s->x()), shortestDouble(s->y()), shortestDouble(s->z()));
            return py::none();
        },
        py::arg("volume"), "Voxel size (x, y, z) in mm of a volume this module returned; None for other arrays.");
    m.def(
        "ct_phantom",
        [](int downsample) {
            if (downsample != 1 && downsample != 2 && downsample != 4)
                throw py::value_error("downsample must be 1, 2 or 4");
            std::shared_ptr<VoxenImage3D> volume;
            {
                py::gil_scoped_release release;
                volume = std::make_shared<VoxenImage3D>(ctphantom::makeCtPhantom(downsample));
            }
            return toArray(std::move(volume));
        },
        py::arg("downsample") = 1,
        "The tool's synthetic dental CT (int16 Hounsfield units, 200 x 256 x 256 voxels of 0.4 mm; 2 or 4\n"
        "times fewer along each axis when downsampled).");
    m.def(
        "_read_ct_series",
        [](const std::string& folder, bool withInfo, const std::string& decoder) -> py::object {
            ctvolume::CtSeries series;
            QString error;
            bool ok = false;
            {
                py::gil_scoped_release release;
                ok = tool::readCtSeriesIsolated(QString::fromStdString(folder), series, error, QString::fromStdString(decoder));
            }
            if (!ok)
                throw py::value_error(folder + ": " + error.toStdString());
            py::dict info;
            info["description"] = series.description.toStdString();
            info["series_uid"] = series.seriesUid.toStdString();
            info["origin"] = py::make_tuple(series.origin.x(), series.origin.y(), series.origin.z());
            info["files"] = series.files;
            py::list notes;
            for (const QString& note : series.notes)
                notes.append(note.toStdString());
            info["notes"] = notes;
            py::array volume = toArray(std::make_shared<VoxenImage3D>(std::move(series.volume)));
            return withInfo ? py::object(py::make_tuple(volume, info)) : py::object(volume);
        },
        py::arg("folder"), py::arg("info"), py::arg("decoder"));
    m.def(
        "reslice_image",
        [](const py::handle& volume, const py::handle& points, const std::string& type, float thickness,
           const py::object& sampleSize, float quality, const std::string& view, const py::object& voxelSize) {
            std::shared_ptr<VoxenImage3D> v = toVolume(volume, "volume", voxelSize);
            const auto pairs = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(points);
            if (!pairs || pairs.ndim() != 2 || pairs.shape(1) != 3)
                throw py::type_error("points: expected an (n, 3) array of (x, y, z) in mm");
            const ResliceType kind = choice<ResliceType>(
                type, {{"plain", ResliceType::Plain}, {"xray", ResliceType::XRay}, {"ceph", ResliceType::Ceph}}, "type");
            std::unique_ptr<Reslice> reslice = kind == ResliceType::Ceph ? std::make_unique<CephReslice>(viewOf(view))
                                                                         : std::make_unique<Reslice>(kind);
            QList<QVector3D> list;
            for (py::ssize_t i = 0; i < pairs.shape(0); ++i)
                list << QVector3D(pairs.at(i, 0), pairs.at(i, 1), pairs.at(i, 2));
            reslice->setReslicePoints(list);
            const QVector3D voxel = v->voxelSize();
            const float step = std::min({voxel.x(), voxel.y(), voxel.z()});
            if (sampleSize.is_none())
                reslice->setSampleSize(QVector3D(step, step, step));
            else
            {
                const auto s = sampleSize.cast<std::array<float, 3>>();
                reslice->setSampleSize(QVector3D(s[0], s[1], s[2]));
            }
            reslice->setThickness(thickness);
            reslice->setQualityFactor(quality);
            reslice->setCTData(std::make_shared<CTData>(std::make_shared<ImageVolume>(v)));
            return toPython(callLibrary("reslice_image", [&] {
                return std::shared_ptr<Image2D>(image2d::CachedReslicer::getResliceImageCPU(v.get(), reslice.get()));
            }));
        },
        py::arg("volume"), py::arg("points"), py::arg("type") = "plain", py::arg("thickness") = 0.0f,
        py::arg("sample_size") = py::none(), py::arg("quality") = 1.0f, py::arg("view") = "right", py::kw_only(),
        py::arg("voxel_size") = py::none(),
        "The float32 image of a reslice: point pairs (P[2i], P[2i + 1]) in mm (an (n, 3) array) whose\n"
        "second points trace the curve and whose first pair sets the sweep; type \"plain\" samples the\n"
        "section, \"xray\" the mean opacity through `thickness` mm (the CT's automatic window), \"ceph\" a\n"
        "projection seen from `view`. sample_size (x, y, z) in mm defaults to the smallest voxel side;\n"
        "the image has pixels of the curve length / width and the sweep / height.");
    m.def(
        "_reslice",
        [](const py::handle& volume, const py::object& voxelSize, const std::string& kind, const py::object& thickness,
           const py::object& arch, const std::string& view, const std::string& json, const std::string& preset) {
            tool::ResliceRequest request;
            request.settings = settingsOf(json, preset);
            if (!tool::parseResliceKind(QString::fromStdString(kind), request.kind))
                throw py::value_error("kind must be panoramic, xray or ceph, not \"" + kind + "\"");
            if (!thickness.is_none())
                request.thickness = thickness.cast<float>();
            if (!arch.is_none())
                for (const auto& [x, y] : arch.cast<std::vector<std::pair<double, double>>>())
                    request.arch << QPointF(x, y);
            request.view = viewOf(view);
            std::shared_ptr<VoxenImage3D> v = toVolume(volume, "volume", voxelSize);
            tool::ResliceOutcome outcome;
            QString error;
            WarningScope scope;
            QStringList steps;
            bool ok = false;
            {
                py::gil_scoped_release release;
                ok = tool::runReslice(v, request, outcome, error, [&](const QString& line) { steps << line; });
            }
            if (!ok)
                raiseFailure("reslice", QStringList(error) + scope.messages());
            passOnWarnings(scope.messages());
            py::dict info;
            py::list curve, notes;
            for (const QPointF& p : outcome.curve)
                curve.append(py::make_tuple(p.x(), p.y()));
            for (const QString& line : steps + outcome.notes)
                notes.append(line.toStdString());
            info["curve"] = curve;
            info["notes"] = notes;
            return py::make_tuple(toPython(std::make_shared<Image2D>(std::move(outcome.display))), info);
        },
        py::arg("volume"), py::arg("voxel_size"), py::arg("kind"), py::arg("thickness"), py::arg("arch"),
        py::arg("view"), py::arg("settings_json"), py::arg("preset"));
}

} // namespace bindings
