"""Fast streaming inspection and editing of PowerPoint (.pptx) packages.

Every function returns pretty-printed JSON text describing what it read or did. Failures of the
package or its XML raise RuntimeError whose message starts with one of "io error: ",
"zip error: ", "xml error: ", "xml text decode error: " or "invalid input: ".
"""

__all__: list[str]

def build_info_json() -> str:
    """Fixed build facts: profile, debug assertions, package name and version."""

def inspect_package_json(path: str) -> str:
    """Manifest of every ZIP entry: name, decompressed size, SHA-256 and kind, sorted by name."""

def summarize_presentation_json(path: str) -> str:
    """Every slide in presentation order (texts, shapes, tables, notes, relationships) and whether
    the package holds a VBA project."""

def summarize_slide_at_index_json(path: str, slide_index: int) -> str:
    """The summary of the slide at the zero-based position in presentation order."""

def roundtrip_package_json(input: str, output: str) -> str:
    """Copy the package byte for byte to `output` and return the manifest under the output path."""
