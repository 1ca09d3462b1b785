"""DICOM reading through the tool's decoder child: a decoder that crashes or hangs costs a
ValueError and the interpreter lives on; through the child and in this process the arrays and
what the files say are the same."""

import os
import subprocess
import time

import numpy as np
import pytest

import image2d

TOOL = os.environ["IMAGE2D_TOOL"]


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    """A DICOM radiograph and a CT series folder, written by the package and the tool."""
    folder = tmp_path_factory.mktemp("dicom")
    image2d.write(str(folder / "phantom.dcm"), image2d.phantom(), depth=12)
    subprocess.run([TOOL, "phantom", "--media", "ct", "-o", str(folder / "ct")], check=True)
    return folder / "phantom.dcm", folder / "ct"


def stand_in(tmp_path, body):
    """A stand-in for the tool whose decoder child does `body` instead of decoding."""
    script = tmp_path / "decoder.sh"
    script.write_text("#!/bin/sh\n" + body + "\n")
    script.chmod(0o755)
    return str(script)


@pytest.mark.parametrize("signal", ["SEGV", "ABRT"])
def test_a_decoder_that_crashes_is_a_value_error(tmp_path, monkeypatch, files, signal):
    monkeypatch.setenv("IMAGE2D_TOOL", stand_in(tmp_path, f"kill -{signal} $$"))
    image, series = files
    with pytest.raises(ValueError, match=r"phantom\.dcm: damaged DICOM file \(the decoder stopped on it\)$"):
        image2d.read(image)
    with pytest.raises(ValueError, match=r"ct: a damaged DICOM file in the series \(the decoder stopped on it\)$"):
        image2d.read_ct_series(series)
    # A batch worker's item fails alone (the module imports dask only for the batch).
    pytest.importorskip("dask.distributed")
    from image2d import batch

    item = (str(image), str(tmp_path / "out.png"), False)
    status, reason, _ = batch._enhance_one(item, image2d.settings_json(None), "", "fast", 0)
    assert (status, reason) == ("failed", "damaged DICOM file (the decoder stopped on it)")
    assert not (tmp_path / "out.png").exists()


def test_a_decoder_that_hangs_is_killed_after_its_time_limit(tmp_path, monkeypatch, files):
    monkeypatch.setenv("IMAGE2D_TOOL", stand_in(tmp_path, "exec sleep 120"))
    monkeypatch.setenv("IMAGE2D_DECODER_SECONDS", "1")
    start = time.monotonic()
    with pytest.raises(ValueError, match=r"damaged DICOM file \(the decoder ran past its limit of 1 s on it\)$"):
        image2d.read(files[0])
    with pytest.raises(ValueError, match=r"in the series \(the decoder ran past its limit of 1 s on it\)$"):
        image2d.read_ct_series(files[1])
    assert time.monotonic() - start < 60


def test_the_decoder_is_the_named_tool_then_the_built_one(monkeypatch):
    assert image2d.decoder_tool() == TOOL
    monkeypatch.setenv("IMAGE2D_TOOL", "/elsewhere/image2d")
    assert image2d.decoder_tool() == "/elsewhere/image2d"
    monkeypatch.delenv("IMAGE2D_TOOL")
    assert os.path.samefile(image2d.decoder_tool(), TOOL)  # the build tree's: nothing is installed beside it
    monkeypatch.setenv("IMAGE2D_DICOM_IN_PROCESS", "1")
    assert image2d.decoder_tool() is None


def same(first, second):
    """Arrays equal bit for bit with the same pixel or voxel size, and equal info."""
    (a, info_a), (b, info_b) = first, second
    assert a.dtype == b.dtype and a.shape == b.shape
    np.testing.assert_array_equal(a, b)
    size = image2d.pixel_size if a.ndim == 2 else image2d.voxel_size
    assert size(a) == size(b)
    assert info_a == info_b


def test_the_child_and_this_process_read_the_same(monkeypatch, files):
    image, series = files
    through_child = image2d.read(image, info=True), image2d.read_ct_series(series, info=True)
    monkeypatch.setenv("IMAGE2D_DICOM_IN_PROCESS", "1")
    in_process = image2d.read(image, info=True), image2d.read_ct_series(series, info=True)
    same(through_child[0], in_process[0])
    same(through_child[1], in_process[1])
    assert through_child[0][1]["format"].startswith("DICOM") and through_child[1][0].shape[0] > 1
