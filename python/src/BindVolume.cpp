// CT volumes as 3-D arrays (slice, row, column): the automatic CT window, the generated
// cephalogram's pre- and postprocessing and the per-slice distance maps. Volumes are copied
// in (the volume library owns its buffer); result volumes come back without a copy.

#include "Bindings.h"
#include "Declared.h"

#include "image2d/enhancement/AutoLevelWindow3D.h"
#include "image2d/volume/GeneratedCeph.h"
#include "image2d/volume/PerSliceOperations.h"

#include <cstring>

namespace bindings {

namespace {

std::unique_ptr<VoxenImage3D> toVolume(const py::handle& object, const char* argument, const py::object& voxelSize)
{
    const auto array = py::array::ensure(object, py::array::c_style);
    if (!array || array.ndim() != 3)
        throw py::type_error(std::string(argument) + ": expected a 3-D array (slices, rows, columns)");
    const auto type = pixelTypeOf(array.dtype());
    if (!type)
        throw py::type_error(std::string(argument) + ": unsupported dtype");
    QVector3D size(1, 1, 1);
    if (!voxelSize.is_none())
    {
        const auto s = voxelSize.cast<std::array<float, 3>>();
        size = QVector3D(s[0], s[1], s[2]);
    }
    auto volume = std::make_unique<VoxenImage3D>(
        math::Ivec3(int(array.shape(2)), int(array.shape(1)), int(array.shape(0))), size,
        static_cast<image::DataType>(*type));
    if (!volume->isValid())
        throw py::value_error(std::string(argument) + ": empty or too large");
    std::memcpy(volume->dataPtr(), array.data(), std::size_t(array.nbytes()));
    volume->editFinished();
    return volume;
}

py::array toArray(std::unique_ptr<VoxenImage3D> volume)
{
    const math::Ivec3 size = volume->imageSize();
    const Image2D::DataType type = volume->sliceDataType();
    void* voxels = volume->dataPtr();
    py::capsule owner(volume.release(), [](void* p) { delete static_cast<VoxenImage3D*>(p); });
    static const std::pair<Image2D::DataType, py::dtype (*)()> dtypes[] = {
        {Image2D::UNSIGNED_SHORT, [] { return py::dtype::of<std::uint16_t>(); }},
        {Image2D::SHORT, [] { return py::dtype::of<std::int16_t>(); }},
        {Image2D::UNSIGNED_CHAR, [] { return py::dtype::of<std::uint8_t>(); }},
        {Image2D::BINARY, [] { return py::dtype::of<bool>(); }},
        {Image2D::FLOAT, [] { return py::dtype::of<float>(); }},
        {Image2D::INT, [] { return py::dtype::of<std::int32_t>(); }}};
    py::dtype dtype = py::dtype::of<std::uint8_t>();
    for (const auto& [code, make] : dtypes)
        if (code == type)
            dtype = make();
    return py::array(dtype, {py::ssize_t(size.z), py::ssize_t(size.y), py::ssize_t(size.x)}, {}, voxels, owner);
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
                return std::optional<std::unique_ptr<VoxenImage3D>>(
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
            return toArray(std::unique_ptr<VoxenImage3D>(map.output()));
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
            return toArray(std::unique_ptr<VoxenImage3D>(grow.output()));
        },
        py::arg("limit"), py::arg("zone"), py::arg("penetration_depth") = 0,
        "Chamfer growth of the zone within the limit on every axial slice, as a boolean volume.");
}

} // namespace bindings
