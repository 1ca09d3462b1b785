"""Shared fixtures of the Python tests: small images cut from the tool's phantom, and the C++
reference runner (the algorithm classes through their parameter-store interface)."""

import os
import subprocess

import numpy as np
import pytest

import image2d

DTYPES = {np.uint16: 0, np.int16: 1, np.uint8: 2, np.bool_: 3, np.float32: 5, np.int32: 6}


@pytest.fixture(scope="session")
def phantom():
    """A 12-bit uint16 radiograph, 320 x 240 pixels of the intraoral phantom (teeth and bone)."""
    return np.ascontiguousarray(image2d.phantom()[300:540, 400:720])


def as_dtype(image, dtype):
    """The 12-bit phantom in another pixel type (scaled to fit 8 bits, thresholded for bool)."""
    if dtype == np.uint8:
        return (image >> 4).astype(np.uint8)
    if dtype == np.bool_:
        return image > image.mean()
    return image.astype(dtype)


def reference(tmp_path, image, cls, **uniforms):
    """The output of the C++ algorithm class `cls` with the given uniforms, or None when it fails."""
    source, target = tmp_path / "in.raw", tmp_path / "out.raw"
    image = np.ascontiguousarray(image)
    image.tofile(source)
    arguments = [os.environ["IMAGE2D_REFERENCE_RUNNER"], str(source), str(image.shape[1]), str(image.shape[0]),
                 str(DTYPES[image.dtype.type]), cls, str(target)]
    arguments += [f"{k}={str(v).lower() if isinstance(v, bool) else v}" for k, v in uniforms.items()]
    run = subprocess.run(arguments, capture_output=True, text=True)
    if run.returncode == 1:
        return None
    assert run.returncode == 0, run.stderr
    width, height, code = map(int, run.stdout.split())
    dtype = next(t for t, c in DTYPES.items() if c == code)
    return np.fromfile(target, dtype=dtype).reshape(height, width)
