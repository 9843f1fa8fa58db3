import sys
from pathlib import Path

# The fixture factory lives beside the tests.
sys.path.insert(0, str(Path(__file__).parent))
