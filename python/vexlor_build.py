"""The build backend of `pip install .`: CMake builds the _vexlor target for
the interpreter that runs the build, and the package goes into a wheel.

It needs nothing from PyPI (CMake, a C++20 compiler and Debian's
pybind11-dev), so `pip install --no-build-isolation .` works offline.
VEXLOR_BUILD_DIR names a CMake build folder to build in and keep (a
rebuild then only compiles what changed); without it a temporary folder
is used. CMAKE_BUILD_PARALLEL_LEVEL sets the jobs (default 2).
"""

import base64
import hashlib
import os
import subprocess
import sys
import sysconfig
import tempfile
import zipfile

_NAME = "vexlor"
_SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_SUMMARY = "Fuzzy matching of names, addresses and whole records"


def _version():
    with open(os.path.join(_SOURCE, "python", "vexlor", "__init__.py"),
              encoding="utf-8") as f:
        for line in f:
            if line.startswith("__version__"):
                return line.split('"')[1]
    raise RuntimeError("no __version__ in vexlor/__init__.py")


def _tag():
    interpreter = "cp%d%d" % sys.version_info[:2]
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return "%s-%s-%s" % (interpreter, interpreter, platform)


def _metadata():
    return ("Metadata-Version: 2.1\nName: %s\nVersion: %s\nSummary: %s\n"
            "Requires-Python: >=3.9\nProvides-Extra: pandas\n"
            "Requires-Dist: pandas; extra == \"pandas\"\n"
            "Requires-Dist: tqdm; extra == \"pandas\"\n"
            % (_NAME, _version(), _SUMMARY))


def _build_package(build_dir):
    """Builds the module; returns the folder holding the vexlor package."""
    subprocess.run(
        ["cmake", "-S", _SOURCE, "-B", build_dir,
         "-DCMAKE_BUILD_TYPE=Release", "-DVEXLOR_PYTHON=ON",
         "-DVEXLOR_BENCH=OFF", "-DVEXLOR_CLI=OFF",
         "-DPython3_EXECUTABLE=" + sys.executable], check=True)
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
    subprocess.run(["cmake", "--build", build_dir, "--target", "_vexlor",
                    "-j", jobs], check=True)
    return os.path.join(build_dir, "python", _NAME)


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest())
    return "%s,sha256=%s,%d" % (name, digest.rstrip(b"=").decode(), len(data))


def _write_wheel(package_dir, wheel_directory):
    dist_info = "%s-%s.dist-info" % (_NAME, _version())
    wheel_name = "%s-%s-%s.whl" % (_NAME, _version(), _tag())
    files = []
    for entry in sorted(os.listdir(package_dir)):
        if entry.endswith((".py", ".pyi", ".so")) or entry == "py.typed":
            with open(os.path.join(package_dir, entry), "rb") as f:
                files.append(("%s/%s" % (_NAME, entry), f.read()))
    files.append((dist_info + "/METADATA", _metadata().encode()))
    files.append((dist_info + "/WHEEL", (
        "Wheel-Version: 1.0\nGenerator: vexlor_build\nRoot-Is-Purelib: false\n"
        "Tag: %s\n" % _tag()).encode()))
    record = [_record_line(name, data) for name, data in files]
    record.append(dist_info + "/RECORD,,")
    files.append((dist_info + "/RECORD", ("\n".join(record) + "\n").encode()))
    with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w",
                         zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files:
            wheel.writestr(name, data)
    return wheel_name


# PEP 517 hooks.

def get_requires_for_build_wheel(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    build_dir = os.environ.get("VEXLOR_BUILD_DIR")
    if build_dir:
        return _write_wheel(_build_package(os.path.abspath(build_dir)),
                            wheel_directory)
    with tempfile.TemporaryDirectory(prefix="vexlor-build-") as scratch:
        return _write_wheel(_build_package(scratch), wheel_directory)


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    dist_info = "%s-%s.dist-info" % (_NAME, _version())
    os.makedirs(os.path.join(metadata_directory, dist_info), exist_ok=True)
    with open(os.path.join(metadata_directory, dist_info, "METADATA"), "w",
              encoding="utf-8") as f:
        f.write(_metadata())
    return dist_info
