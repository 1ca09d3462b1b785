"""The batch on Dask: 200 phantom radiographs (16-bit PNG, 1440 x 960) through the display road
with the default preset on a LocalCluster of 1 and then 2 worker processes (one library thread
per core shared out among them), written as 8-bit PNG. Prints images per second, the load
average before and after, and the CPU time of each worker.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/python/bench_dask.py [COUNT] [FOLDER]
"""

import os
import shutil
import sys
import tempfile
import time

import image2d


def make_inputs(folder, count):
    doses = [0.5, 0.8, 1.0, 1.5, 2.5]
    for i, dose in enumerate(doses):
        image2d.write(os.path.join(folder, f"source-{i}.png"), image2d.phantom(dose=dose), depth=16)
    for n in range(count):
        shutil.copy(os.path.join(folder, f"source-{n % len(doses)}.png"), os.path.join(folder, f"img-{n:04d}.png"))
    for i in range(len(doses)):
        os.remove(os.path.join(folder, f"source-{i}.png"))


def main(count, work):
    inputs = os.path.join(work, "in")
    os.makedirs(inputs, exist_ok=True)
    make_inputs(inputs, count)
    for workers in (1, 2):
        out = os.path.join(work, f"out-{workers}")
        load = os.getloadavg()[0]
        start = time.perf_counter()
        result = image2d.batch.enhance([inputs], out, {"media": "intraoral"}, preset="default", n_workers=workers,
                                       progress=False)
        seconds = time.perf_counter() - start
        print(f"{workers} worker(s): {len(result.done)} images in {seconds:.1f} s = {len(result.done) / seconds:.2f} "
              f"images/s (cluster start included), {len(result.failed)} failed; load average {load:.2f} before, "
              f"{os.getloadavg()[0]:.2f} after")


if __name__ == "__main__":
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 200
    if len(sys.argv) > 2:
        main(count, sys.argv[2])
    else:
        with tempfile.TemporaryDirectory() as work:
            main(count, work)
