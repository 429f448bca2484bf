"""The package as pip installs it: into a new virtual environment with the system's
packages, offline, from the source tree (reusing this build's compiled module), then a
user's script that imports it from there."""
import os
import subprocess
import sys

from conftest import BUILD

SOURCE = os.path.join(os.path.dirname(__file__), "..", "..")


def test_pip_installs_a_package_that_works(tmp_path):
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)], check=True)
    python = str(venv / "bin" / "python")
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PIP_CONFIG_FILE")}
    env["PIP_DISABLE_PIP_VERSION_CHECK"] = "1"
    subprocess.run([python, "-m", "pip", "install", "-q", "--no-index", "--no-build-isolation",
                    "--no-cache-dir", "--config-settings", f"build-dir={os.path.abspath(BUILD)}",
                    os.path.abspath(SOURCE)], check=True, env=env)
    script = os.path.join(os.path.dirname(__file__), "installed_script.py")
    done = subprocess.run([python, script], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert "FoldResult(sequence='GGGGAAAACCCC', structure='((((....))))', energy=-5.4)" in done.stdout
