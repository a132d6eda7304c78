"""`pip install --no-build-isolation .` into a fresh virtual environment
(with the system's site packages, for pandas) imports and runs the README's
pandas example. It builds the module from scratch, so it runs only when
VEXLOR_PIP_BUILD_DIR names a CMake build folder to use (and keep)."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.environ.get("VEXLOR_SOURCE_DIR",
                        os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.environ.get("VEXLOR_PIP_BUILD_DIR")


def _readme_example():
    with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as f:
        text = f.read()
    section = text[text.index("## Python"):]
    return re.search(r"```python\n(import pandas.*?)```", section, re.S).group(1)


@unittest.skipUnless(BUILD, "set VEXLOR_PIP_BUILD_DIR to run the install")
class PipInstallTest(unittest.TestCase):

    def test_install_and_run_the_readme_example(self):
        with tempfile.TemporaryDirectory() as scratch:
            env_dir = os.path.join(scratch, "env")
            subprocess.run([sys.executable, "-m", "venv",
                            "--system-site-packages", env_dir], check=True)
            python = os.path.join(env_dir, "bin", "python")
            environment = dict(os.environ, VEXLOR_BUILD_DIR=BUILD)
            environment.pop("PYTHONPATH", None)
            subprocess.run([python, "-m", "pip", "install", "--quiet",
                            "--no-build-isolation", "--no-index", SOURCE],
                           check=True, env=environment, cwd=scratch)
            os.makedirs(os.path.join(scratch, "examples"))
            shutil.copy(os.path.join(SOURCE, "examples", "customers-1k.csv"),
                        os.path.join(scratch, "examples"))
            run = subprocess.run([python, "-c", _readme_example()],
                                 env=environment, cwd=scratch,
                                 capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertIn("FuzzyDupesID", run.stdout)
            with open(os.path.join(scratch, "clean.csv"), encoding="utf-8") as f:
                self.assertGreater(len(f.readlines()), 100)


if __name__ == "__main__":
    unittest.main()
