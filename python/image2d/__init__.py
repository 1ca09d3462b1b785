"""2D image processing for dental radiography on NumPy arrays.

Every algorithm of the library is one function taking 2-D arrays (uint16, int16, uint8,
bool, float32 or int32) and keyword arguments named after its declared parameters, e.g.
``image2d.sharpen(img, radius=3, factor=1.5)``. C-contiguous inputs are read in place;
results are arrays on the library's own buffer (their ``base`` is an ``ImageBuffer``),
carrying the pixel size (``image2d.pixel_size(result)``). A call that fails raises
ValueError with the library's warning; the GIL is released while the library works.

``display()`` runs the display road of the ``image2d`` tool, ``reslice()`` its reslice road on
a CT volume (3-D arrays (slices, rows, columns), e.g. ``ct_phantom()``); ``read()``/``write()`` read
and write DICOM, PNG and TIFF; ``image2d.batch.enhance()`` runs the road over files on a
Dask cluster.

``read()`` and ``read_ct_series()`` decode DICOM in a child process of the ``image2d`` tool, as the
tool does, so that a damaged file whose decoding crashes or hangs GDCM raises ValueError instead
of taking the interpreter down. The tool is, in this order: the program named by the environment
variable IMAGE2D_TOOL; the installed one (``bin/image2d`` of the prefix the package is installed
in); the one of the build tree the package was built in. Without any (or with
IMAGE2D_DICOM_IN_PROCESS set) the files are read in this process, with the same results. A child
still decoding after ten minutes (a series: plus two seconds per file; IMAGE2D_DECODER_SECONDS
sets another limit) is killed and the file reported as damaged. ``decoder_tool()`` says which
tool is used.
"""

import json as _json
import os as _os

from . import _image2d
from ._image2d import *  # noqa: F401,F403  the core functions
from ._image2d import __version__, ImageBuffer  # noqa: F401

_FILTERS = ("gamma", "invert", "sharpen", "equalize", "denoise")
_OPTIONS = ("media", "modality", "level", "window", "resize", "rotate", "mirror", "acquisition") + _FILTERS


def decoder_tool():
    """The image2d tool whose child process decodes DICOM for read() and read_ct_series():
    IMAGE2D_TOOL, else the installed tool, else the build tree's; None reads in this process."""
    if "IMAGE2D_DICOM_IN_PROCESS" in _os.environ:
        return None
    if _os.environ.get("IMAGE2D_TOOL"):
        return _os.environ["IMAGE2D_TOOL"]
    installed = _os.path.join(_os.path.dirname(_os.path.abspath(_image2d.__file__)), _image2d._tool_from_module)
    for tool in (_os.path.normpath(installed), _image2d._build_tool):
        if _os.path.isfile(tool) and _os.access(tool, _os.X_OK):
            return tool
    return None


def read(path, info=False):
    """Reads a DICOM, PNG or TIFF radiograph as the tool does (rescale applied, colour made gray, the
    first frame of a multi-frame file); with info, (array, dict of what the file says). The pixel
    size travels with the array (pixel_size()). DICOM is decoded in the tool's child process
    (decoder_tool()). ValueError with the reason when it cannot be read."""
    return _image2d._read(_os.fspath(path), info, decoder_tool() or "")


def read_ct_series(folder, info=False):
    """A CT series folder of DICOM files as an int16 volume of Hounsfield units (slice 0 lowest), with
    its voxel size; with info, (volume, dict of the series). Read in the tool's child process
    (decoder_tool()). ValueError with the reason."""
    return _image2d._read_ct_series(_os.fspath(folder), info, decoder_tool() or "")


def settings_json(settings=None, **options):
    """The tool's JSON settings: `settings` (a dict of the settings file's form, or the path of
    such a file) with `options` on top; a filter option replaces the element of its kind in place,
    new ones are appended in the order given."""
    if settings is None:
        merged = {}
    elif isinstance(settings, (str, _os.PathLike)):
        with open(settings, encoding="utf-8") as f:
            merged = _json.load(f)
    else:
        merged = _json.loads(_json.dumps(settings))  # a deep copy of plain data
    filters = list(merged.get("filters", []))
    for name, value in options.items():
        if name not in _OPTIONS:
            raise TypeError(f"display() got an unexpected keyword argument '{name}'")
        if value is None or (name in ("invert", "mirror") and value is False):
            continue
        if name in _FILTERS:
            element = {"filter": name} if name == "invert" else {"filter": name, "value": value}
            kinds = [f.get("filter") for f in filters]
            if name in kinds:
                filters[kinds.index(name)] = element
            else:
                filters.append(element)
        elif name == "resize" and not isinstance(value, str):
            merged[name] = list(value)
        else:
            merged[name] = value
    if filters:
        merged["filters"] = filters
    return _json.dumps(merged)


def display(image, media=None, *, preset=None, settings=None, pixel_size=None, info=False, **options):
    text = settings_json(settings, media=media, **options)
    result, details = _image2d._display(image, text, preset or "", pixel_size)
    return (result, details) if info else result


def _display_doc():
    names = _image2d._display_names()
    return f"""display(image, media=None, *, preset=None, settings=None, pixel_size=None, info=False, **options)

The display road of the image2d tool: level/window (given, or automatic for the media), the
filter set built from the filter options in the order given, resize and rotation, as
`image2d enhance` does. Returns the display image (its pixel type's whole range, 0..1 for
float32); with info, (image, dict of level, window, their source, notes and the settings).

media : {", ".join(names["media"])} (default: the settings', else intraoral)
preset : {", ".join(names["preset"])} (fills in the filter kinds not given)
settings : dict of the tool's settings file, or the path of one; the options override it
options : level, window (numbers, both or neither); modality ({", ".join(names["modality"])});
    gamma (a number or "auto"), invert (bool), sharpen, equalize, denoise (numbers);
    resize ((width, height)), rotate (0, 90, 180, 270), mirror (bool), acquisition (12 or 16:
    raw sensor data enhanced first)
pixel_size : float or (x, y) in mm; default that of a result of this module, else 1

Raises ValueError with the reason (the failing step and the library's warning) or for
settings the tool refuses.
"""


display.__doc__ = _display_doc()


def reslice(volume, kind="panoramic", *, voxel_size=None, thickness=None, arch=None, view="right", preset=None,
            settings=None, info=False, **options):
    """reslice(volume, kind="panoramic", *, voxel_size=None, thickness=None, arch=None, view="right",
    preset=None, settings=None, info=False, **options)

    The reslice road of the image2d tool on a CT volume (int16 Hounsfield units, (slices, rows,
    columns)): "panoramic" the section along the dental arch, "xray" a simulated X-ray through a
    slab of `thickness` mm (16) around it, "ceph" a generated cephalogram across the head seen
    from `view` ("left" or "right"); then the display road with the options of display(). The
    arch is found in the volume, or `arch` ((x, y) points in mm). voxel_size (x, y, z) in mm
    defaults to that of a volume of this module (ct_phantom(), read_ct_series()). Returns the
    display image; with info, (image, dict of the curve and the notes of each step).
    """
    text = settings_json(settings, **options)
    result, details = _image2d._reslice(volume, voxel_size, kind, thickness, arch, view, text, preset or "")
    return (result, details) if info else result


def __getattr__(name):
    # image2d.batch needs dask: imported on first use only.
    if name == "batch":
        import importlib

        return importlib.import_module(".batch", __name__)
    raise AttributeError(f"module 'image2d' has no attribute '{name}'")
