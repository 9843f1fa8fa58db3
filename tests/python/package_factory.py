"""Builds exact packages for tests and reads their raw ZIP structure back.

Exact packages are written with `zipfile` so every byte is known; realistic decks come from
python-pptx. The raw readers parse local headers directly, so tests can compare the stored
bytes of an entry without trusting the module under test."""

from __future__ import annotations

import io
import struct
import zipfile
from dataclasses import dataclass, field
from pathlib import Path

CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '</Types>'
)


@dataclass
class Entry:
    name: str
    data: bytes = b""
    method: int = zipfile.ZIP_DEFLATED
    date_time: tuple = (2001, 2, 3, 4, 5, 6)
    extra: bytes = b""
    external_attr: int | None = None
    comment: bytes = b""

    def info(self) -> zipfile.ZipInfo:
        info = zipfile.ZipInfo(self.name, self.date_time)
        info.compress_type = self.method
        info.extra = self.extra
        info.comment = self.comment
        if self.external_attr is not None:
            info.external_attr = self.external_attr
        elif self.name.endswith("/"):
            info.external_attr = (0o40755 << 16) | 0x10
        return info


def write_zip(path: Path | str, entries: list[Entry]) -> Path:
    path = Path(path)
    with zipfile.ZipFile(path, "w") as archive:
        for entry in entries:
            archive.writestr(entry.info(), entry.data)
    return path


def zip_bytes(entries: list[Entry]) -> bytes:
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for entry in entries:
            archive.writestr(entry.info(), entry.data)
    return buffer.getvalue()


@dataclass
class RawMember:
    """What an entry looks like on disk: central-directory fields plus its stored bytes."""
    name: str
    method: int
    crc: int
    compress_size: int
    file_size: int
    date_time: tuple
    external_attr: int
    extra: bytes
    local_extra: bytes
    stored: bytes = field(repr=False)


def raw_members(path: Path | str) -> list[RawMember]:
    data = Path(path).read_bytes()
    members = []
    with zipfile.ZipFile(path) as archive:
        for info in archive.infolist():
            offset = info.header_offset
            signature, *_, name_len, extra_len = struct.unpack_from("<IHHHHHIIIHH", data, offset)
            assert signature == 0x04034B50, f"bad local header for {info.filename}"
            start = offset + 30
            local_extra = data[start + name_len:start + name_len + extra_len]
            data_start = start + name_len + extra_len
            members.append(RawMember(
                info.filename, info.compress_type, info.CRC, info.compress_size, info.file_size,
                info.date_time, info.external_attr, info.extra, local_extra,
                data[data_start:data_start + info.compress_size]))
    return members


def raw_by_name(path: Path | str) -> dict[str, RawMember]:
    return {m.name: m for m in raw_members(path)}


def assert_readable(path: Path | str) -> None:
    """The output must be a clean archive for an independent reader."""
    with zipfile.ZipFile(path) as archive:
        assert archive.testzip() is None


def minimal_pptx(path: Path | str, slides: int = 2) -> Path:
    """A realistic deck from python-pptx with a title and a text box on each slide."""
    from pptx import Presentation
    from pptx.util import Inches

    deck = Presentation()
    for number in range(1, slides + 1):
        slide = deck.slides.add_slide(deck.slide_layouts[1])
        slide.shapes.title.text = f"Slide {number}"
        box = slide.shapes.add_textbox(Inches(1), Inches(5), Inches(4), Inches(1))
        box.text_frame.text = f"Box {number}"
    deck.save(str(path))
    return Path(path)
