"""Realistic decks from python-pptx with every kind of content the summaries read: text in
several runs and paragraphs with formatting, line breaks, a slide-number field, tables with a
merge, nested groups, pictures and notes. Used by the tests and by the benchmark."""

from __future__ import annotations

import struct
import zlib
from pathlib import Path


def png_bytes(width: int = 2, height: int = 2, seed: int = 0) -> bytes:
    """A small valid PNG; `seed` varies the pixels so images differ."""
    def chunk(kind: bytes, data: bytes) -> bytes:
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\x00" + bytes((seed + x + y) % 256 for x in range(width * 3)) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def add_slide_number_field(paragraph, text: str) -> None:
    """python-pptx has no API for fields: append an a:fld of type slidenum, then a run."""
    from pptx.oxml.ns import qn
    p = paragraph._p
    field = p.makeelement(qn("a:fld"), {"id": "{B6F15528-21DE-4FAA-801E-634DDDAF4B2B}", "type": "slidenum"})
    field.append(p.makeelement(qn("a:rPr"), {"lang": "en-US"}))
    t = p.makeelement(qn("a:t"), {})
    t.text = text
    field.append(t)
    end = p.find(qn("a:endParaRPr"))
    if end is not None:
        end.addprevious(field)
    else:
        p.append(field)
    paragraph.add_run().text = " of the deck"


def fill_slide(deck, slide, number: int, image_path: Path) -> None:
    from pptx.util import Emu, Inches, Pt
    from pptx.enum.shapes import MSO_SHAPE

    shapes = slide.shapes
    shapes.title.text = f"Slide {number}: summary"

    box = shapes.add_textbox(Inches(0.5), Inches(1.5), Inches(4), Inches(2))
    frame = box.text_frame
    first = frame.paragraphs[0]
    for i, (text, bold, italic, size, font) in enumerate(
            [("Bold start ", True, None, 1800, "Arial"), ("plain middle", None, False, None, None),
             (" & italic end", False, True, 2400, "Georgia")]):
        run = first.add_run()
        run.text = text
        run.font.bold = bold
        run.font.italic = italic
        if size:
            run.font.size = Pt(size / 100)
        if font:
            run.font.name = font
        if i == 1:
            run.font.underline = True
    second = frame.add_paragraph()
    second.add_run().text = f"Line one of {number}"
    second.add_line_break()
    second.add_run().text = "line two after a break"
    third = frame.add_paragraph()
    third.add_run().text = "Page "
    add_slide_number_field(third, str(number))
    frame.add_paragraph().text = "  spaced  text  "

    rows, cols = 3, 3
    table = shapes.add_table(rows, cols, Inches(5), Inches(1.5), Inches(4), Inches(1.5)).table
    for r in range(rows):
        for c in range(cols):
            table.cell(r, c).text = f"r{r}c{c} of {number}"
    table.cell(1, 1).text = "two\nparagraphs"
    table.cell(2, 0).merge(table.cell(2, 1))

    outer = shapes.add_group_shape()
    outer.shapes.add_textbox(Inches(0.5), Inches(4), Inches(2), Inches(0.5)).text_frame.text = f"In group {number}"
    inner = outer.shapes.add_group_shape()
    auto = inner.shapes.add_shape(MSO_SHAPE.ROUNDED_RECTANGLE, Inches(3), Inches(4), Inches(2), Inches(1))
    auto.text_frame.text = "Nested shape\nsecond line"
    inner.shapes.add_picture(str(image_path), Inches(5.5), Inches(4), Emu(914400), Emu(914400))

    shapes.add_picture(str(image_path), Inches(8), Inches(5), Inches(1), Inches(1))

    notes = slide.notes_slide.notes_text_frame
    notes.text = f"Speaker notes for slide {number}"
    notes.add_paragraph().text = "Second notes paragraph"


def rich_pptx(path: Path | str, slides: int = 3) -> Path:
    from pptx import Presentation

    path = Path(path)
    image = path.with_suffix(".png")
    image.write_bytes(png_bytes())
    deck = Presentation()
    for number in range(1, slides + 1):
        fill_slide(deck, deck.slides.add_slide(deck.slide_layouts[5]), number, image)
    deck.save(str(path))
    image.unlink()
    return path
