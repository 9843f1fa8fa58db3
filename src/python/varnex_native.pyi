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

def replace_slide_text_json(input: str, output: str, search: str, replacement: str) -> str:
    """Replace every occurrence of `search` in the text elements of every slide; returns a
    TextReplacementSummary (path, replacements, part_count, has_vba)."""

def replace_slide_text_at_index_json(input: str, output: str, slide_index: int, search: str, replacement: str) -> str:
    """Replace every occurrence of `search` in the text elements of one slide; returns a
    TextReplacementSummary (path, replacements, part_count, has_vba)."""

def replace_slide_text_run_at_index_json(input: str, output: str, slide_index: int, run_index: int,
                                         replacement: str) -> str:
    """Set the text of one run of a slide, keeping its run properties; returns a
    TextRunReplacementSummary (path, slide_index, run_index, replacements, part_count, has_vba)."""

def set_slide_shape_text_at_index_json(input: str, output: str, slide_index: int, shape_index: int,
                                       replacement: str) -> str:
    """Replace all paragraphs of a shape by one paragraph per line of `replacement`; returns a
    ShapeTextSetSummary (path, slide_index, shape_index, replacements, part_count, has_vba)."""

def set_slide_shape_paragraph_text_at_index_json(input: str, output: str, slide_index: int, shape_index: int,
                                                 paragraph_index: int, replacement: str) -> str:
    """Set the text of one paragraph of a shape, keeping its runs and their properties; returns a
    ParagraphTextSetSummary (path, slide_index, shape_index, paragraph_index, replacements,
    part_count, has_vba)."""

def replace_table_cell_text_json(input: str, output: str, slide_index: int, table_index: int, row_index: int,
                                 col_index: int, replacement: str) -> str:
    """Set the text of one table cell; returns a TableCellReplacementSummary (path, slide_index,
    table_index, row_index, col_index, replacements, part_count, has_vba)."""
