"""The batch on Dask: a LocalCluster of two worker processes enhances a folder in which one
file is broken; the others are written, the broken one is reported with its reason."""

import numpy as np
import pytest

import image2d

distributed = pytest.importorskip("distributed")


def test_a_local_cluster_enhances_a_folder_and_reports_the_broken_file(tmp_path, capsys):
    folder = tmp_path / "in"
    folder.mkdir()
    for dose in (0.5, 1.0, 2.0):
        image2d.write(str(folder / f"dose-{dose}.png"), image2d.phantom(dose=dose), depth=16)
    (folder / "broken.png").write_bytes(b"\x89PNG\r\n\x1a\n not really")
    settings = {"media": "intraoral", "filters": [{"filter": "sharpen", "value": 1.0}]}

    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None)
    with cluster, distributed.Client(cluster) as client:
        assert len(client.scheduler_info()["workers"]) == 2
        result = image2d.batch.enhance([str(folder)], tmp_path / "out", settings, client=client, progress=False)

    assert sorted(name.rsplit("/", 1)[1] for name, _ in result.done) == ["dose-0.5.png", "dose-1.0.png", "dose-2.0.png"]
    assert [name.rsplit("/", 1)[1] for name, _ in result.failed] == ["broken.png"]
    assert "1 of 4 images failed" in capsys.readouterr().err
    # The workers' outputs are what display() gives in this process.
    expected = image2d.display(image2d.read(str(folder / "dose-1.0.png")), settings=settings)
    image2d.write(str(tmp_path / "expected.png"), expected)
    np.testing.assert_array_equal(image2d.read(str(tmp_path / "out" / "dose-1.0.png")),
                                  image2d.read(str(tmp_path / "expected.png")))


def test_settings_the_tool_refuses_fail_before_any_worker_starts(tmp_path):
    with pytest.raises(ValueError, match='unknown key "sharpness"'):
        image2d.batch.enhance([str(tmp_path)], tmp_path / "out", {"sharpness": 1})
