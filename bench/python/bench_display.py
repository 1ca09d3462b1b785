"""The display road from Python on a NumPy array against the same road timed in C++.

Both run in this process on the same image and settings, alternating call by call so that
the load of the machine affects both alike: image2d.display() (argument checks, the array
wrapped without a copy, the settings parsed, the result handed back without a copy) against
the tool's runEnhance timed inside C++ (its result released inside the timing too). Prints
medians of wall and process CPU time in ms, and the overhead as the median of the paired
differences over the C++ median.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/python/bench_display.py [ROUNDS]
"""

import os
import statistics
import sys
import time

import image2d
from image2d import _image2d


def main(rounds):
    print(f"load average {os.getloadavg()[0]:.2f} before; {rounds} rounds; medians, ms")
    for media in ("intraoral", "panoramic"):
        image = image2d.phantom(media)
        text = image2d.settings_json(media=media)
        python, cpp = [], []
        image2d.display(image, media=media, preset="default")  # first-touch costs out of the figures
        for _ in range(rounds):
            wall, cpu = time.perf_counter(), time.process_time()
            image2d.display(image, media=media, preset="default")
            python.append((time.perf_counter() - wall, time.process_time() - cpu))
            cpp.extend(_image2d._time_display(image, text, "default", 1))
        for kind, index in (("wall", 0), ("cpu", 1)):
            p = statistics.median(t[index] for t in python) * 1e3
            c = statistics.median(t[index] for t in cpp) * 1e3
            paired = statistics.median(a[index] - b[index] for a, b in zip(python, cpp)) * 1e3
            print(f"{media:10s} {image.shape[1]} x {image.shape[0]} {kind}: python {p:7.2f}  C++ {c:7.2f}  "
                  f"paired difference {paired:+.3f} ms = {100 * paired / c:+.2f} %")
    print(f"load average {os.getloadavg()[0]:.2f} after")


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 40)
