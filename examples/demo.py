"""A short tour: describe the sample deck, write an edited copy, and describe what changed."""

import json
import sys
import tempfile
from pathlib import Path

import varnex_native as vn

SAMPLE = Path(__file__).with_name("sample.pptx")


def show_slides(path: Path) -> None:
    summary = json.loads(vn.summarize_presentation_json(str(path)))
    print(f"{path.name}: {summary['slide_count']} slides, VBA project: {summary['has_vba']}")
    for number, slide in enumerate(summary["slides"], start=1):
        print(f"  slide {number} ({slide['part']}): {len(slide['shapes'])} shapes, texts {slide['texts']}")
        for table in slide["tables"]:
            print(f"    table {table['rows']}")
        if slide["notes"]:
            print(f"    notes {slide['notes']}")


def main() -> int:
    print("build:", json.loads(vn.build_info_json()))
    manifest = json.loads(vn.inspect_package_json(str(SAMPLE)))
    print(f"{SAMPLE.name}: {len(manifest['parts'])} parts")
    for part in manifest["parts"]:
        print(f"  {part['kind']:<13} {part['size']:>8}  {part['name']}")
    show_slides(SAMPLE)

    out_dir = Path(tempfile.mkdtemp(prefix="varnex-demo-"))
    edited = out_dir / "edited" / "sample.pptx"
    replaced = json.loads(vn.replace_slide_text_json(str(SAMPLE), str(edited), "Revenue", "Income"))
    print(f"\nreplaced 'Revenue' {replaced['replacements']} times -> {replaced['path']}")
    cell = json.loads(vn.replace_table_cell_text_json(str(edited), str(out_dir / "final.pptx"), 1, 0, 2, 1, "101"))
    print(f"set table cell (row 2, column 1): {cell['replacements']} cell -> {cell['path']}")
    show_slides(out_dir / "final.pptx")
    return 0


if __name__ == "__main__":
    sys.exit(main())
