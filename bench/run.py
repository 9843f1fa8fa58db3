"""Benchmarks varnex against the alternative a user would pick, one run per workload.

Each workload runs in a fresh child process so that its peak memory can be read on its own:
the child reports its wall time and how far its resident set grew above what it held before the
workload started. Generated inputs are cached in bench/out/.

    python bench/run.py                 # every workload
    python bench/run.py inspect         # workloads whose name contains "inspect"
    python bench/run.py --repeat 5      # fastest of five runs per tool (a shared machine is noisy)
"""

from __future__ import annotations

import argparse
import hashlib
import json
import os
import resource
import shutil
import subprocess
import sys
import time
import zipfile
from pathlib import Path

OUT = Path(__file__).resolve().parent / "out"


# ---- generated inputs ----

def media_package(path: Path, entries: int = 400, media_bytes: int = 160_000, xml_bytes: int = 40_000) -> Path:
    """A package-shaped archive: hundreds of XML parts and incompressible media, 60+ MB."""
    if path.exists():
        return path
    rng = __import__("random").Random(7)
    path.parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr("[Content_Types].xml", '<?xml version="1.0"?><Types/>')
        for i in range(1, entries + 1):
            text = ('<p:sp><p:txBody><a:p><a:r><a:t>Shape %d text %d</a:t></a:r></a:p></p:txBody></p:sp>' % (i, i))
            archive.writestr(f"ppt/slides/slide{i}.xml", "<p:sld>" + text * (xml_bytes // len(text)) + "</p:sld>")
            archive.writestr(zipfile.ZipInfo(f"ppt/media/image{i}.png"), rng.randbytes(media_bytes),
                             compress_type=zipfile.ZIP_STORED)
    return path


def text_deck(path: Path, slides: int = 300, image_px: int = 256) -> Path:
    """A python-pptx deck: every slide has a title, a text box with a few paragraphs and its own
    noise picture (incompressible, so the media dominates the package size)."""
    if path.exists():
        return path
    from io import BytesIO

    from PIL import Image
    from pptx import Presentation
    from pptx.util import Inches

    rng = __import__("random").Random(11)
    path.parent.mkdir(parents=True, exist_ok=True)
    deck = Presentation()
    for number in range(1, slides + 1):
        slide = deck.slides.add_slide(deck.slide_layouts[5])
        slide.shapes.title.text = f"Revenue review {number}"
        frame = slide.shapes.add_textbox(Inches(1), Inches(1.5), Inches(5), Inches(3)).text_frame
        frame.text = f"Revenue grew in region {number}"
        for line in ("Costs were flat", "Revenue outlook is stable", "Questions & answers"):
            frame.add_paragraph().text = line
        image = BytesIO()
        Image.frombytes("RGB", (image_px, image_px), rng.randbytes(image_px * image_px * 3)).save(image, "PNG")
        image.seek(0)
        slide.shapes.add_picture(image, Inches(6), Inches(1.5), Inches(3), Inches(3))
    deck.save(str(path))
    return path


# ---- workloads: each returns a callable for the child process ----

def inspect_varnex(path: str):
    import varnex_native
    return lambda: varnex_native.inspect_package_json(path)


def inspect_zipfile(path: str):
    def run():
        parts = []
        with zipfile.ZipFile(path) as archive:
            for info in archive.infolist():
                data = archive.read(info)
                parts.append({"name": info.filename, "size": len(data),
                              "sha256": hashlib.sha256(data).hexdigest()})
        parts.sort(key=lambda p: p["name"].encode())
        return json.dumps({"path": path, "parts": parts}, indent=2)
    return run


def copy_file(path: str):
    target = str(OUT / "copy.tmp")
    return lambda: shutil.copyfile(path, target)


def summary_deck(path: Path, slides: int = 300) -> Path:
    """A python-pptx deck where every slide has text boxes with formatted runs, line breaks and a
    slide-number field, a table, nested groups, pictures and notes."""
    if path.exists():
        return path
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "python"))
    from rich_deck import rich_pptx
    path.parent.mkdir(parents=True, exist_ok=True)
    return rich_pptx(path, slides)


def summarize_varnex(path: str):
    import varnex_native
    return lambda: varnex_native.summarize_presentation_json(path)


def summarize_pptx_text(path: str):
    """python-pptx reading the text alone: every shape's paragraphs and runs, tables, notes."""
    from pptx import Presentation
    from pptx.enum.shapes import MSO_SHAPE_TYPE

    def shape_info(shape) -> dict:
        item = {"id": shape.shape_id, "name": shape.name}
        if shape.shape_type == MSO_SHAPE_TYPE.GROUP:
            item["children"] = [shape_info(child) for child in shape.shapes]
        if shape.has_text_frame:
            item["paragraphs"] = [{"text": p.text, "runs": [r.text for r in p.runs]}
                                  for p in shape.text_frame.paragraphs]
        if getattr(shape, "has_table", False):
            item["table"] = [[cell.text for cell in row.cells] for row in shape.table.rows]
        return item

    def run():
        slides = []
        for slide in Presentation(path).slides:
            notes = slide.notes_slide.notes_text_frame.text if slide.has_notes_slide else ""
            slides.append({"part": str(slide.part.partname), "shapes": [shape_info(s) for s in slide.shapes],
                           "notes": notes})
        return json.dumps({"path": path, "slides": slides}, indent=2)
    return run


def summarize_pptx(path: str):
    """python-pptx reading what a slide summary reports: every shape's identity, kind,
    placeholder, position and text frame (paragraphs, runs and their formatting), tables, group
    children, the slide's relationships and its notes."""
    from pptx import Presentation
    from pptx.enum.shapes import MSO_SHAPE_TYPE

    def run_info(run) -> dict:
        font = run.font
        return {"text": run.text, "bold": font.bold, "italic": font.italic, "underline": bool(font.underline),
                "size": font.size, "font": font.name}

    def shape_info(shape) -> dict:
        item = {"id": shape.shape_id, "name": shape.name, "kind": str(shape.shape_type),
                "placeholder": shape.is_placeholder, "xfrm": [shape.left, shape.top, shape.width, shape.height]}
        if shape.is_placeholder:
            item["placeholder_type"] = str(shape.placeholder_format.type)
        if shape.shape_type == MSO_SHAPE_TYPE.GROUP:
            item["children"] = [shape_info(child) for child in shape.shapes]
        if shape.has_text_frame:
            item["paragraphs"] = [{"text": p.text, "runs": [run_info(r) for r in p.runs]}
                                  for p in shape.text_frame.paragraphs]
        if getattr(shape, "has_table", False):
            item["table"] = [[cell.text for cell in row.cells] for row in shape.table.rows]
        return item

    def run():
        slides = []
        for slide in Presentation(path).slides:
            notes = slide.notes_slide.notes_text_frame.text if slide.has_notes_slide else ""
            relationships = [(rid, rel.reltype, rel.target_ref) for rid, rel in slide.part.rels.items()]
            slides.append({"part": str(slide.part.partname), "shapes": [shape_info(s) for s in slide.shapes],
                           "notes": notes, "relationships": relationships})
        return json.dumps({"path": path, "slides": slides}, indent=2, default=str)
    return run
TEXT_SLIDE = 150  # the slide that the one-slide text edit changes


def text_replace_varnex(slide_index):
    def factory(path: str):
        import varnex_native
        target = str(OUT / "text.varnex.pptx")
        if slide_index is None:
            return lambda: varnex_native.replace_slide_text_json(path, target, "Revenue", "Income")
        return lambda: varnex_native.replace_slide_text_at_index_json(path, target, slide_index, "Revenue", "Income")
    return factory


def text_replace_python_pptx(slide_index):
    def factory(path: str):
        from pptx import Presentation
        target = str(OUT / "text.python-pptx.pptx")

        def run():
            deck = Presentation(path)
            slides = list(deck.slides) if slide_index is None else [deck.slides[slide_index]]
            for slide in slides:
                for shape in slide.shapes:
                    if not shape.has_text_frame:
                        continue
                    for paragraph in shape.text_frame.paragraphs:
                        for piece in paragraph.runs:
                            if "Revenue" in piece.text:
                                piece.text = piece.text.replace("Revenue", "Income")
            deck.save(target)
        return run
    return factory


def slide_xml_file(path: Path, megabytes: int = 24) -> Path:
    """One slide XML text of DrawingML shapes with formatted text, a table and a group."""
    if path.exists():
        return path
    path.parent.mkdir(parents=True, exist_ok=True)
    shape = ('<p:sp><p:nvSpPr><p:cNvPr id="{i}" name="TextBox {i}"/><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr>'
             '<p:spPr><a:xfrm><a:off x="{x}" y="914400"/><a:ext cx="3657600" cy="914400"/></a:xfrm>'
             '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></p:spPr><p:txBody><a:bodyPr wrap="none"/>'
             '<a:lstStyle/><a:p><a:r><a:rPr lang="en-US" sz="1800" b="1" dirty="0"/><a:t>Quarter {i} &amp; '
             'results</a:t></a:r><a:br/><a:r><a:rPr lang="en-US"/><a:t>Revenue grew by {i}%</a:t></a:r>'
             '</a:p></p:txBody></p:sp>\n')
    table = ('<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="{i}" name="Table {i}"/><p:cNvGraphicFramePr/>'
             '<p:nvPr/></p:nvGraphicFramePr><a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/'
             'drawingml/2006/table"><a:tbl><a:tr h="370840"><a:tc><a:txBody><a:bodyPr/><a:p><a:r><a:t>North'
             '</a:t></a:r></a:p></a:txBody><a:tcPr/></a:tc><a:tc><a:txBody><a:bodyPr/><a:p><a:r><a:t>{i}'
             '</a:t></a:r></a:p></a:txBody><a:tcPr/></a:tc></a:tr></a:tbl></a:graphicData></a:graphic>'
             '</p:graphicFrame>\n')
    pieces, size, i = [], 0, 2
    while size < megabytes * 1_000_000:
        piece = (shape if i % 5 else table).format(i=i, x=i * 12700)
        pieces.append(piece)
        size += len(piece)
        i += 1
    head = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<p:sld xmlns:a="http://schemas.'
            'openxmlformats.org/drawingml/2006/main" xmlns:p="http://schemas.openxmlformats.org/'
            'presentationml/2006/main"><p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/>'
            '<p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>\n')
    path.write_text(head + "".join(pieces) + "</p:spTree></p:cSld></p:sld>", encoding="utf-8")
    return path


def xml_events_varnex(path: str):
    import varnex_frame_probe  # test-only module built beside varnex_native
    data = Path(path).read_bytes()

    def run():
        result = json.loads(varnex_frame_probe.probe_xml_roundtrip_json(data))
        assert result["identical"] and result["bytes"] == len(data), result
    return run


def xml_events_expat(path: str):
    import xml.parsers.expat
    data = Path(path).read_bytes()
    return lambda: xml.parsers.expat.ParserCreate().Parse(data, True)


# name -> (input builder, {tool: workload factory}); the first tool is varnex, compared to the rest.
WORKLOADS = {
    "xml_events_roundtrip": (lambda: slide_xml_file(OUT / "slide-24mb.xml"),
                             {"varnex": xml_events_varnex, "expat": xml_events_expat}),
    "inspect_package": (lambda: media_package(OUT / "media.pptx"),
                        {"varnex": inspect_varnex, "zipfile+hashlib": inspect_zipfile, "cp": copy_file}),
    "summarize_presentation": (lambda: summary_deck(OUT / "summary_deck.pptx"),
                               {"varnex": summarize_varnex, "python-pptx": summarize_pptx,
                                "python-pptx-text": summarize_pptx_text}),
    "text_replace_one_slide": (lambda: text_deck(OUT / "text.pptx"),
                               {"varnex": text_replace_varnex(TEXT_SLIDE),
                                "python-pptx": text_replace_python_pptx(TEXT_SLIDE), "cp": copy_file}),
    # The same edit with four times the media: the peak memory must stay where it was.
    "text_replace_one_slide_4x_media": (lambda: text_deck(OUT / "text-4x.pptx", image_px=512),
                                        {"varnex": text_replace_varnex(TEXT_SLIDE), "cp": copy_file}),
    "text_replace_all_slides": (lambda: text_deck(OUT / "text.pptx"),
                                {"varnex": text_replace_varnex(None),
                                 "python-pptx": text_replace_python_pptx(None), "cp": copy_file}),
}


def rss_kb() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


def peak_rss_kb() -> int:
    # The high-water mark of this process image. ru_maxrss would not do: on Linux it keeps the
    # parent's peak across fork and exec, so every child would report the harness's own size.
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def child(workload: str, tool: str, path: str) -> None:
    run = WORKLOADS[workload][1][tool](path)
    before = rss_kb()
    start = time.perf_counter()
    run()
    seconds = time.perf_counter() - start
    print(json.dumps({"seconds": seconds, "peak_growth_kb": max(0, peak_rss_kb() - before)}))


def measure(workload: str, tool: str, path: Path, repeat: int = 1) -> dict:
    """The fastest of `repeat` fresh runs, with the largest peak among them."""
    runs = []
    for _ in range(repeat):
        output = subprocess.run([sys.executable, __file__, "--child", workload, tool, str(path)],
                                check=True, capture_output=True, text=True).stdout
        runs.append(json.loads(output.strip().splitlines()[-1]))
    return {"seconds": min(r["seconds"] for r in runs), "peak_growth_kb": max(r["peak_growth_kb"] for r in runs)}


def largest_entry_kb(path: Path) -> int:
    if not zipfile.is_zipfile(path):
        return path.stat().st_size // 1024
    with zipfile.ZipFile(path) as archive:
        return max((i.file_size for i in archive.infolist()), default=0) // 1024


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("filter", nargs="?", default="")
    parser.add_argument("--child", nargs=3, metavar=("WORKLOAD", "TOOL", "PATH"))
    parser.add_argument("--repeat", type=int, default=1, help="runs per tool; the fastest counts")
    args = parser.parse_args()
    if args.child:
        child(*args.child)
        return
    for name, (build, tools) in WORKLOADS.items():
        if args.filter not in name:
            continue
        path = build()
        size_mb = path.stat().st_size / 1e6
        results = {tool: measure(name, tool, path, args.repeat) for tool in tools}
        print(f"\n{name}: input {size_mb:.1f} MB, largest entry {largest_entry_kb(path)} KB")
        base = results["varnex"]["seconds"]
        for tool, result in results.items():
            ratio = "" if tool == "varnex" else f"  {tool}/varnex time = {result['seconds'] / base:.2f}"
            print(f"  {tool:<18} {result['seconds'] * 1000:9.1f} ms  peak +{result['peak_growth_kb'] / 1024:7.1f} MB{ratio}")


if __name__ == "__main__":
    main()
