"""Arrays in and out of the library: zero copy both ways, every pixel type, the pixel size,
and failures raised with the library's own warning text."""

import gc
import warnings

import numpy as np
import pytest

import image2d
from conftest import as_dtype

ALL = [np.uint16, np.int16, np.uint8, np.bool_, np.float32, np.int32]


@pytest.mark.parametrize("dtype", ALL, ids=lambda t: t.__name__)
def test_every_pixel_type_is_read_in_place_and_comes_back_on_the_library_buffer(phantom, dtype):
    image = as_dtype(phantom, dtype)
    assert image2d.input_address(image) == image.ctypes.data
    # A read-only array of foreign memory is read in place too: the library never writes inputs.
    frozen = np.frombuffer(image.tobytes(), dtype=image.dtype).reshape(image.shape)
    assert image2d.input_address(frozen) == frozen.ctypes.data

    mirrored = image2d.mirror(image)
    assert mirrored.dtype == image.dtype
    np.testing.assert_array_equal(mirrored, image[:, ::-1])
    assert isinstance(mirrored.base, image2d.ImageBuffer)
    assert mirrored.base.owned and mirrored.base.address == mirrored.ctypes.data
    assert mirrored.base.nbytes == mirrored.nbytes


def test_strided_arrays_are_copied_once_and_give_the_same_result(phantom):
    strided = phantom[:, ::2]
    assert image2d.input_address(strided) != strided.ctypes.data
    np.testing.assert_array_equal(image2d.area_average(strided, radius=2),
                                  image2d.area_average(np.ascontiguousarray(strided), radius=2))


def test_a_result_keeps_the_library_buffer_alive_after_every_other_reference_is_gone(phantom):
    view = image2d.sharpen(phantom, radius=2, factor=1.0)[10:20, 5:9]
    expected = view.copy()
    gc.collect()
    image2d.sharpen(phantom, radius=4, factor=3.0)  # reuses freed memory if ours had been freed
    np.testing.assert_array_equal(view, expected)


def test_the_pixel_size_travels_with_results_and_can_be_given(phantom):
    assert image2d.pixel_size(phantom) is None  # a slice copied into a plain array
    assert image2d.pixel_size(image2d.phantom()) == pytest.approx((0.025, 0.025))
    assert image2d.pixel_size(image2d.mirror(phantom)) == (1.0, 1.0)
    binned = image2d.binning(phantom, pixel_size=(0.1, 0.2))
    assert image2d.pixel_size(binned) == pytest.approx((0.2, 0.4))
    assert image2d.pixel_size(image2d.binning(binned)) == pytest.approx((0.4, 0.8))
    assert image2d.pixel_size(image2d.binning(binned[2:, 2:])) == pytest.approx((0.4, 0.8))


@pytest.mark.parametrize("bad", [np.zeros((4, 4), np.float64), np.zeros((4, 4, 2), np.uint16),
                                 np.zeros((4, 4), np.int64), "text"], ids=["float64", "3-D", "int64", "str"])
def test_arrays_without_a_pixel_type_are_refused(bad):
    with pytest.raises(TypeError, match="image"):
        image2d.mirror(bad)


# The library's warning texts, pinned once: (call, expected ValueError text).
FAILURES = [
    (lambda img: image2d.level_window(img, level=100, window=-1),
     'image2d::LevelWindow : invalid input:  "windowImage"\nWindow value cannot be equal or smaller than 0'),
    (lambda img: image2d.sharpen(img.astype(np.int32), radius=3, factor=1),
     "image2d::Sharpen : sharpen algorithm not supported for data type:  6"),
    (lambda img: image2d.median(img, radius=5000), 'image2d::Median : invalid input:  "medianRadius"'),
    (lambda img: image2d.threshold(img, value=3, operator="="), 'image2d::Threshold : invalid operator:  "="'),
    (lambda img: image2d.mask(img, np.zeros((3, 3), bool)),
     "image2d::Mask : input image and mask image are not the same size."),
    (lambda img: image2d.distance_transform(img),
     'image2d::DistanceTransform: input not of type Image2D::DataType::BINARY:  "inputImage"'),
    (lambda img: image2d.histogram_equalization(img, 2, 0.1, 0.5),
     'parameter "balance" not within range [ 0 , ... , 1 ]\nimage2d::HistogramEqualization : invalid input.'),
    (lambda img: image2d.display(np.zeros((8, 8), np.int32)),
     "display road failed in level/window: pixel type not supported (INT image, level 0, window 0.001)\n"
     "image2d::LevelWindow : level window algorithm not supported for data type:  6"),
]


@pytest.mark.parametrize("call,text", FAILURES, ids=range(len(FAILURES)))
def test_failures_raise_value_error_with_the_library_warning(phantom, call, text):
    with pytest.raises(ValueError) as raised:
        call(phantom)
    assert str(raised.value) == text


def test_warnings_of_a_call_that_succeeds_become_python_warnings():
    tiny = np.arange(16, dtype=np.uint16).reshape(4, 4)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        result = image2d.denoise(tiny, sigma=3.0, radius=9)
    np.testing.assert_array_equal(result, tiny)
    assert [str(w.message) for w in caught] == ["Denoise filter: invalid kernel size or sigma, not applying denoise."]
