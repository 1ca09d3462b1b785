"""The functions: signatures made from the parameter declarations, results equal bit for bit
to the C++ algorithm classes and to the tool's display road, plain Python results of the
analysis functions, and the GIL released while the library works."""

import inspect
import os
import subprocess
import threading
import time

import numpy as np
import pytest

import image2d
from conftest import as_dtype, reference

U16, S16, U8, F32, B = np.uint16, np.int16, np.uint8, np.float32, np.bool_

# (function, keyword arguments, C++ class, its uniforms, pixel types)
CASES = [
    ("area_average", {"radius": 3}, "AreaAverage", {"radius": 3}, [U16, S16, U8, F32]),
    ("median", {"radius": 2}, "Median", {"medianRadius": 2}, [U16, F32]),
    ("denoise", {"sigma": 1.2, "radius": 4}, "Denoise", {"kernelStdDenoise": 1.2, "kernelRadiusDenoise": 4}, [U16, U8]),
    ("difference_of_gaussians", {"first_sigma": 1.0, "second_sigma": 2.5, "radius": 6, "scale": 2.0},
     "DifferenceOfGaussians", {"first_sigma": 1.0, "second_sigma": 2.5, "radius": 6, "scale": 2.0}, [U16]),
    ("level_window", {"level": 1800.0, "window": 2500.0}, "LevelWindow",
     {"levelImage": 1800.0, "windowImage": 2500.0}, [U16, S16, F32]),
    ("gamma_correction", {"gamma": 1.4}, "GammaCorrection", {"GammaValue": 1.4}, [U16, U8]),
    ("invert", {"preserve_range": True}, "Invert", {"PreserveRange": True}, [U16, S16, B]),
    ("threshold", {"value": 1500.5, "operator": "<"}, "Threshold",
     {"thresholdValue": 1500.5, "thresholdOperator": "<"}, [U16, F32]),
    ("sharpen", {"radius": 3, "factor": 1.5}, "Sharpen", {"kernelRadiusImage": 3, "sharpnessFactorImage": 1.5},
     [U16, S16, U8, F32]),
    ("constrained_unsharp_masking", {"radius": 3, "min_max_radius": 3, "factor": 2.0, "interpolation": 0.5},
     "ConstrainedUnsharpMasking", {"kernelRadiusImage": 3, "minMaxKernelRadiusImage": 3, "sharpnessFactorImage": 2,
                                   "interpolationBetweenConstrainedAndUnconstrainedSharpen": 0.5}, [U16]),
    ("local_alpha_constrained_unsharp_masking",
     {"radius": 2, "min_max_radius": 3, "factor": 2.0, "interpolation": 0.5, "slope": 0.01, "center": 200.0},
     "LocalAlphaConstrainedUnsharpMasking",
     {"kernelRadiusImage": 2, "minMaxKernelRadiusImage": 3, "sharpnessFactorImage": 2,
      "interpolationBetweenConstrainedAndUnconstrainedSharpen": 0.5, "Slope": 0.01, "Center": 200.0}, [U16]),
    ("navrel", {"radius": 3, "factor": 2, "black": 200, "white": 3800}, "Navrel",
     {"medianRadiusImage": 1, "kernelRadiusImage": 3, "sharpnessFactorImage": 2, "blackValueImage": 200,
      "whiteValueImage": 3800}, [U16, F32]),
    ("sharpen_orvane", {"kernel_type": 2}, "SharpenOrvane", {"kernelType": 2}, [U16, F32]),
    ("histogram_equalization", {"balance": 0.5, "radius": 0.032, "overlap": 0.75}, "HistogramEqualization",
     {"balance": 0.5, "kernelRadius": 0.032, "kernelOverlap": 0.75}, [U16, U8, F32]),
    ("stark_adaptive_histogram_equalization", {"alpha": 0.5, "beta": 0.5, "radius": 5}, "StarkAdaptiveHistogramEqualization",
     {"alphaValue": 0.5, "betaValue": 0.5, "radiusValue": 5}, [U16]),
    ("binning", {}, "Binning", {}, [U16, U8]),
    ("distance_transform", {}, "DistanceTransform", {}, [B]),
    ("binary_edge", {"threshold": 40.0}, "BinaryEdge", {"thresholdValue": 40.0}, [U16]),
]


@pytest.mark.parametrize("name,kwargs,cls,uniforms,types", CASES, ids=[c[0] for c in CASES])
def test_results_equal_the_cpp_algorithm_classes_bit_for_bit(tmp_path, phantom, name, kwargs, cls, uniforms, types):
    for dtype in types:
        image = as_dtype(phantom, dtype)
        ours = getattr(image2d, name)(image, **kwargs)
        theirs = reference(tmp_path, image, cls, **uniforms)
        assert ours.dtype == theirs.dtype and ours.tobytes() == theirs.tobytes(), dtype


def test_tooth_segmentation_equals_the_cpp_class_and_reports_its_outline(tmp_path, phantom):
    mask, origin, passes = image2d.tooth_segmentation(phantom, threshold=30)
    np.testing.assert_array_equal(mask, reference(tmp_path, phantom, "ToothSegmentation", thresholdValue=30))
    assert mask.dtype == np.bool_ and 1 <= passes <= 6 and len(origin) == 2


def test_the_display_road_equals_the_tools(tmp_path):
    tool = subprocess.run([os.environ["IMAGE2D_TOOL"], "enhance", "--preset", "default", "--media", "panoramic",
                           "--rotate", "90", "--depth", "16", "-o", str(tmp_path / "tool.png"), "-q"],
                          capture_output=True, text=True)
    assert tool.returncode == 0, tool.stderr
    shown, info = image2d.display(image2d.phantom("panoramic"), media="panoramic", preset="default", rotate=90,
                                  info=True)
    image2d.write(str(tmp_path / "python.png"), shown, depth=16)
    np.testing.assert_array_equal(image2d.read(str(tmp_path / "python.png")), image2d.read(str(tmp_path / "tool.png")))
    assert info["level_window_source"] == "automatic" and shown.shape == (2800, 1400)


def test_display_options_override_settings_element_by_element(phantom):
    settings = {"media": "plate", "filters": [{"filter": "sharpen", "value": 5}, {"filter": "gamma", "value": 1.2}]}
    _, info = image2d.display(phantom, settings=settings, sharpen=1.0, denoise=0.5, info=True)
    assert info["settings"] == "media plate, automatic level/window, sharpen 1, gamma 1.2, denoise 0.5, modality plate"
    with pytest.raises(TypeError, match="sharpness"):
        image2d.display(phantom, sharpness=1.0)


def test_keywords_defaults_and_docs_come_from_the_declarations():
    parameters = inspect.signature(image2d.local_alpha_constrained_unsharp_masking).parameters
    assert list(parameters) == ["image", "radius", "min_max_radius", "factor", "interpolation", "slope", "center",
                                "pixel_size"]
    assert parameters["radius"].default is inspect.Parameter.empty and parameters["slope"].default == 0.0
    assert inspect.signature(image2d.invert).parameters["preserve_range"].default is False
    assert inspect.signature(image2d.to_polar_cost).parameters["origin_x"].default is None
    assert 'Key "kernelRadiusImage"' in image2d.sharpen.__doc__
    assert "the window is 2r + 1 wide; >= 0. Key \"radius\"" in image2d.area_average.__doc__
    with pytest.raises(TypeError, match="missing required argument: 'factor'"):
        image2d.sharpen(np.zeros((8, 8), np.uint16), radius=1)
    with pytest.raises(TypeError, match="radius must be int"):
        image2d.sharpen(np.zeros((8, 8), np.uint16), radius=1.5, factor=1)


def test_analysis_functions_return_arrays_and_plain_values(phantom):
    blobs = np.zeros((40, 60), bool)
    blobs[5:10, 5:30] = True  # 125 pixels
    blobs[20:35, 40:44] = True  # 60 pixels
    labels, sizes = image2d.label_components(blobs)
    assert labels.dtype == np.uint16 and sizes == [40 * 60 - 185, 125, 60]
    np.testing.assert_array_equal(image2d.keep_largest_regions(labels, region_count=1), labels == 1)
    line = np.zeros((9, 9), bool)
    line[8, 2:7] = True
    np.testing.assert_array_equal(image2d.longest_path(line), [[2, 8], [3, 8], [4, 8], [5, 8], [6, 8]])
    display8 = (phantom >> 4).astype(np.uint8)
    assert isinstance(image2d.sharpness(display8), float) and image2d.sharpness(display8) > 0
    assert image2d.classify_exposure(display8, np.ones_like(display8, bool)) in ("dark", "balanced", "bright")
    assert image2d.min_max_of_masked_area(phantom, np.ones(phantom.shape, bool)) == (phantom.min(), phantom.max())
    assert image2d.count_byte_values(display8).sum() == display8.size


def test_the_gil_is_released_so_two_threads_run_the_library_at_once(phantom):
    big = np.tile(phantom, (4, 4))  # median runs on the calling thread only
    barrier, spans = threading.Barrier(2), {}

    def work(name):
        barrier.wait()
        start = time.perf_counter()
        image2d.median(big, radius=3)
        spans[name] = (start, time.perf_counter())

    threads = [threading.Thread(target=work, args=(n,)) for n in "ab"]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    (a0, a1), (b0, b1) = spans["a"], spans["b"]
    # Holding the GIL, the second call could only start once the first had ended.
    assert max(a0, b0) < min(a1, b1)


def test_region_operations_and_csv_images(tmp_path):
    img = np.array([[0, 5, 0, 0], [0, 5, 0, 9], [0, 0, 0, 9]], np.int16)
    labels, count = image2d.label_regions(img)
    assert count == 2 and labels.tolist() == [[0, 1, 0, 0], [0, 1, 0, 2], [0, 0, 0, 2]]
    np.testing.assert_array_equal(image2d.threshold_range(img, 4, 9), img == 5)
    np.testing.assert_array_equal(image2d.keep_largest_part(img > 0), labels == 1)  # equal sizes: the first
    np.testing.assert_array_equal(image2d.logical_and(img > 0, img > 6), img == 9)
    np.testing.assert_array_equal(image2d.zero_mask(img), img == 0)
    np.testing.assert_array_equal(image2d.detect_transition(img, 3), [[1, 2], [3, 1]])
    assert image2d.images_equal(img, img.copy()) and not image2d.images_equal(img, img.astype(np.int32))
    (tmp_path / "values.csv").write_text("1,2.5,x\n4")
    np.testing.assert_array_equal(image2d.read_csv(str(tmp_path / "values.csv"), 2, 3), [[1, 2.5], [0, 4], [0, 0]])


def test_volumes_reslice_like_the_tool(tmp_path):
    ramp = np.broadcast_to(np.arange(20, dtype=np.float32), (6, 10, 20)).copy()  # value = x
    pairs = [(2, 5, 5), (2, 5, 0), (17, 5, 5), (17, 5, 0)]
    section = image2d.reslice_image(ramp, pairs)
    width = section.shape[1]
    x = 2 + (np.arange(width) + 0.5) * 15 / width  # sampled values come scaled by the value range, 0 .. 19
    np.testing.assert_allclose(section, np.broadcast_to(x / 19, section.shape), atol=1e-5)
    tool = subprocess.run([os.environ["IMAGE2D_TOOL"], "reslice", "--phantom", "--depth", "16",
                           "-o", str(tmp_path / "tool.png"), "-q"], capture_output=True, text=True)
    assert tool.returncode == 0, tool.stderr
    ct = image2d.ct_phantom()
    assert ct.dtype == np.int16 and image2d.voxel_size(ct) == (0.4, 0.4, 0.4)
    image2d.write(str(tmp_path / "python.png"), image2d.reslice(ct, "panoramic"), depth=16)
    np.testing.assert_array_equal(image2d.read(str(tmp_path / "python.png")), image2d.read(str(tmp_path / "tool.png")))


def test_the_filter_set_runs_level_window_then_its_filters_in_the_processors_order(phantom):
    filters = {"Denoise": {"kernelStdDenoise": 1.2, "kernelRadiusDenoise": 4},
               "Sharpen": {"kernelRadiusImage": 3, "sharpnessFactorImage": 1.5}}
    expected = image2d.denoise(image2d.sharpen(image2d.level_window(phantom, level=1800, window=2500), radius=3,
                                               factor=1.5), sigma=1.2, radius=4)
    np.testing.assert_array_equal(image2d.filter_set(phantom, 1800, 2500, filters), expected)
    assert image2d.filter_set(phantom, 1800, 2500, size=(160, 120), rotate=90).shape == (160, 120)
    with pytest.raises(ValueError, match="Window value cannot be equal or smaller than 0"):
        image2d.filter_set(phantom, 1800, 0)


def test_a_dicom_file_cut_in_its_header_is_a_value_error_not_an_abort(tmp_path):
    # GDCM stops the process on such a file; the readers walk its elements before GDCM sees it.
    meta_length = b"\x02\x00\x00\x00UL\x04\x00\xc0\x00\x00\x00"
    (tmp_path / "slice.dcm").write_bytes(b"\0" * 128 + b"DICM" + meta_length + b"\x02\x00\x01\x00OB\0\0")
    with pytest.raises(ValueError, match=r"slice\.dcm: a damaged DICOM file \(the file ends inside its header\)$"):
        image2d.read_ct_series(str(tmp_path))
    with pytest.raises(ValueError, match=r"not a readable DICOM image \(the file ends inside its header\)$"):
        image2d.read(str(tmp_path / "slice.dcm"))
