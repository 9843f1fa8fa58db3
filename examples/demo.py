"""A short tour: describe the sample deck, then write a copy of it and describe that."""

import json
import sys
import tempfile
from pathlib import Path

import varnex_native as vn

SAMPLE = Path(__file__).with_name("sample.pptx")


def main() -> int:
    print("build:", json.loads(vn.build_info_json()))
    manifest = json.loads(vn.inspect_package_json(str(SAMPLE)))
    print(f"{SAMPLE.name}: {len(manifest['parts'])} parts")
    for part in manifest["parts"]:
        print(f"  {part['kind']:<13} {part['size']:>8}  {part['name']}")

    out_dir = Path(tempfile.mkdtemp(prefix="varnex-demo-"))
    copy = out_dir / "copy" / "sample.pptx"
    result = json.loads(vn.roundtrip_package_json(str(SAMPLE), str(copy)))
    print(f"wrote {result['path']} ({len(result['parts'])} parts, byte-identical: "
          f"{copy.read_bytes() == SAMPLE.read_bytes()})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
