"""The display road over many files on a Dask cluster.

``enhance(paths, out_dir, settings)`` names an output in `out_dir` for every input file
(folders are expanded, as ``image2d enhance`` does), and the Dask workers read, enhance and
write the files themselves: only paths and settings travel. Without a client a LocalCluster
of worker processes starts on this machine; with one, the batch runs wherever the client is
connected, e.g. to a cluster started by hand::

    dask scheduler                        # on one machine
    dask worker tcp://SCHEDULER:8786      # on each machine that works (with image2d installed)

    from dask.distributed import Client
    image2d.batch.enhance(paths, "shown/", {"media": "panoramic"}, client=Client("tcp://SCHEDULER:8786"))

The workers must see the input and output paths (a shared file system across machines).
A file that fails never stops the others: failures are collected and listed at the end, like
the tool's batch.
"""

import os
import sys
from typing import List, NamedTuple, Tuple

from . import _image2d, decoder_tool, settings_json


class BatchResult(NamedTuple):
    """What a batch did: the outputs written, the failures (input, reason), the skipped inputs
    (DICOM objects without an image found in folders) and the notes (input, note)."""

    done: List[Tuple[str, str]]
    failed: List[Tuple[str, str]]
    skipped: List[Tuple[str, str]]
    notes: List[Tuple[str, str]]


def _enhance_one(item, text, preset, compression, threads):
    """One file on a worker: (status, reason, notes)."""
    if threads:
        _image2d.set_max_threads(threads)
    source, target, from_folder = item
    # DICOM is decoded in the tool's child process, so a damaged file fails its item only.
    return _image2d._enhance_file(source, target, from_folder, text, preset, compression, decoder_tool() or "")


def enhance(paths, out_dir, settings=None, client=None, *, preset=None, recursive=False, suffix="png",
            compression="fast", n_workers=None, progress=True, quiet=False):
    """Runs the display road on every image of `paths` (files and folders; folders with their
    subfolders when `recursive`) into `out_dir` (created when missing; a folder's subfolders are
    kept below it), on the Dask cluster of `client`, or on a LocalCluster of `n_workers` worker
    processes (default one per core, one library thread each) that is closed afterwards.

    `settings` is the tool's settings file as a dict or a path (media, level/window, filters,
    resize, rotate, mirror, depth, acquisition), `preset` a tool preset ("default", "none").
    Shows Dask's progress bar (`progress`), prints each failure as the tool does unless `quiet`,
    and returns a BatchResult. ValueError for settings or paths the tool refuses.
    """
    if isinstance(paths, (str, os.PathLike)):
        paths = [paths]
    paths = [os.fspath(p) for p in paths]
    if not paths:
        raise ValueError("no input paths")
    text = settings_json(settings)
    # Checked here once, so that bad settings fail the call rather than every file.
    _image2d._check_settings(text, preset or "")
    folder = os.fspath(out_dir).rstrip("/") + "/"
    plan = _image2d._plan_outputs(paths, folder, recursive, suffix)

    from dask.distributed import Client, LocalCluster, progress as show_progress

    cluster = None
    threads = 0
    if client is None:
        cores = os.cpu_count() or 1
        workers = n_workers or cores
        threads = max(1, cores // workers)
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None)
        client = Client(cluster)
    try:
        futures = [client.submit(_enhance_one, item, text, preset or "", compression, threads, pure=False)
                   for item in plan]
        if progress:
            show_progress(futures)
        outcomes = []
        for future in futures:
            try:
                outcomes.append(future.result())
            except Exception as error:  # a worker that died on a file, or a lost connection
                outcomes.append(("failed", f"unexpected failure: {error}", []))
    finally:
        if cluster is not None:
            client.close()
            cluster.close()
    return _report(plan, outcomes, quiet)


def _report(plan, outcomes, quiet):
    result = BatchResult([], [], [], [])
    for (source, target, _), (status, reason, notes) in zip(plan, outcomes):
        name = source or "phantom"
        result.notes.extend((name, note) for note in notes)
        if status == "done":
            result.done.append((name, target))
        elif status == "skipped":
            result.skipped.append((name, reason))
        else:
            result.failed.append((name, reason))
            if not quiet:
                print(f"image2d: error: {name}: {reason}", file=sys.stderr)
    if result.failed and len(plan) > 1 and not quiet:
        print(f"image2d: {len(result.failed)} of {len(plan)} images failed:", file=sys.stderr)
        for name, reason in result.failed:
            print(f"  {name}: {reason}", file=sys.stderr)
    if result.skipped and not quiet:
        print(f"image2d: note: {len(result.skipped)} DICOM object(s) without an image skipped", file=sys.stderr)
    return result
