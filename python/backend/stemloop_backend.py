"""Build backend of the Python package (PEP 517), with nothing but the standard library
and CMake: `pip install --no-index --no-build-isolation .` and
`python3 -m build --no-isolation` work offline.

The wheel holds the compiled module, its type stub (beside it, and as the stub-only
package stemloop-stubs for type checkers) and the metadata of pyproject.toml. The module
is built with CMake in a temporary folder, or in the folder the config setting
build-dir names; a folder CMake already configured is only brought up to date, so a
test may reuse the project's build.
"""
import base64
import hashlib
import io
import os
import re
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def _version():
    with open(os.path.join(SOURCE, "CMakeLists.txt"), encoding="utf-8") as cmake:
        return re.search(r"project\(stemloop VERSION ([0-9.]+)", cmake.read()).group(1)


def _project():
    try:
        import tomllib
    except ImportError:  # before Python 3.11
        import tomli as tomllib
    with open(os.path.join(SOURCE, "pyproject.toml"), "rb") as pyproject:
        return tomllib.load(pyproject)["project"]


def _metadata():
    project = _project()
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {_version()}",
             f"Summary: {project['description']}",
             f"Requires-Python: {project['requires-python']}",
             f"License: {project['license']['text']}"]
    lines += [f"Requires-Dist: {requirement}" for requirement in project["dependencies"]]
    return "\n".join(lines) + "\n"


def _dist_info():
    return f"stemloop-{_version()}.dist-info"


def _tag():
    version = f"{sys.version_info.major}{sys.version_info.minor}"
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return f"cp{version}-cp{version}-{platform}"


def _built_module(config_settings):
    """Builds the module with CMake; returns (path of the module, temporary folder)."""
    settings = config_settings or {}
    temporary = None
    build = settings.get("build-dir")
    if not build:
        temporary = tempfile.TemporaryDirectory(prefix="stemloop-wheel-")
        build = temporary.name
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", SOURCE, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                        f"-DPython3_EXECUTABLE={sys.executable}", "-DSTEMLOOP_TESTS=OFF",
                        "-DSTEMLOOP_INSTALL=OFF"], check=True, stdout=sys.stderr)
    jobs = str(settings.get("jobs") or os.cpu_count() or 1)
    subprocess.run(["cmake", "--build", build, "--target", "stemloop_python", "-j", jobs],
                   check=True, stdout=sys.stderr)
    module = os.path.join(build, "python", "stemloop" + sysconfig.get_config_var("EXT_SUFFIX"))
    if not os.path.exists(module):
        raise RuntimeError(f"{build} holds no module for {sys.executable}: it was configured "
                           "for another interpreter")
    return module, temporary


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    folder = os.path.join(metadata_directory, _dist_info())
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "METADATA"), "w", encoding="utf-8") as metadata:
        metadata.write(_metadata())
    return _dist_info()


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    module, temporary = _built_module(config_settings)
    with open(module, "rb") as built, open(os.path.join(SOURCE, "python", "stemloop.pyi"),
                                           "rb") as stub:
        files = {os.path.basename(module): built.read(), "stemloop.pyi": stub.read()}
    if temporary:
        temporary.cleanup()
    files["stemloop-stubs/__init__.pyi"] = files["stemloop.pyi"]
    info = _dist_info()
    files[f"{info}/METADATA"] = _metadata().encode()
    files[f"{info}/WHEEL"] = (f"Wheel-Version: 1.0\nGenerator: stemloop_backend\n"
                              f"Root-Is-Purelib: false\nTag: {_tag()}\n").encode()
    with open(os.path.join(SOURCE, "LICENSE"), "rb") as license_file:
        files[f"{info}/LICENSE"] = license_file.read()
    record = [_record_line(name, data) for name, data in files.items()]
    files[f"{info}/RECORD"] = ("\n".join(record + [f"{info}/RECORD,,"]) + "\n").encode()
    name = f"stemloop-{_version()}-{_tag()}.whl"
    with zipfile.ZipFile(os.path.join(wheel_directory, name), "w", zipfile.ZIP_DEFLATED) as wheel:
        for path, data in files.items():
            entry = zipfile.ZipInfo(path, date_time=(1980, 1, 1, 0, 0, 0))
            entry.external_attr = (0o755 if path.endswith(".so") else 0o644) << 16
            wheel.writestr(entry, data, zipfile.ZIP_DEFLATED)
    return name


def _source_files():
    """The files of the project: those git tracks, or in an unpacked sdist every file."""
    try:
        listed = subprocess.run(["git", "-C", SOURCE, "ls-files", "-z"], check=True,
                                capture_output=True).stdout.decode().split("\0")
        return sorted(path for path in listed if path and os.path.isfile(os.path.join(SOURCE, path)))
    except (OSError, subprocess.CalledProcessError):
        return sorted(os.path.relpath(os.path.join(folder, name), SOURCE)
                      for folder, _, names in os.walk(SOURCE) for name in names
                      if name != "PKG-INFO")


def build_sdist(sdist_directory, config_settings=None):
    root = f"stemloop-{_version()}"
    name = f"{root}.tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz", format=tarfile.PAX_FORMAT) as sdist:
        for path in _source_files():
            sdist.add(os.path.join(SOURCE, path), f"{root}/{path}", recursive=False)
        info = tarfile.TarInfo(f"{root}/PKG-INFO")
        data = _metadata().encode()
        info.size = len(data)
        sdist.addfile(info, io.BytesIO(data))
    return name
