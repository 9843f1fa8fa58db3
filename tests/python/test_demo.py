"""The demo the README points to keeps working."""

import subprocess
import sys
from pathlib import Path

DEMO = Path(__file__).resolve().parents[2] / "examples" / "demo.py"


def test_demo_runs_and_reports_its_edits():
    result = subprocess.run([sys.executable, str(DEMO)], capture_output=True, text=True, check=True)
    assert "replaced 'Revenue' 2 times" in result.stdout
    assert "['Region', 'Income'], ['North', '120'], ['South', '101']" in result.stdout
