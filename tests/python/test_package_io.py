"""Package manifest, round trip and the entry loop, checked against zipfile and raw member bytes."""

import hashlib
import json
import os
import struct
import zipfile

import pytest
import varnex_frame_probe as probe
from package_factory import (CONTENT_TYPES, Entry, assert_readable, minimal_pptx, raw_by_name,
                             raw_members, write_zip)

import varnex_native as vn

STORED, DEFLATED = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED


def manifest(path):
    return json.loads(vn.inspect_package_json(str(path)))


def test_manifest_lists_entries_sorted_bytewise_with_digest_size_and_kind(tmp_path):
    entries = [
        Entry("b.xml", b"<b/>"),
        Entry("a.xml", b"<a/>" * 100, STORED),
        Entry("A.xml", b""),
        Entry("ppt/media/", b""),
        Entry("ppt/media/image1.png", b"\x89PNG" + bytes(range(256))),
        Entry("ppt/media/item.xml", b"<i/>"),
        Entry("ppt/slides/_rels/slide1.xml.rels", b"<r/>"),
        Entry("ppt/embeddings/oleObject1.bin", b"ole"),
        Entry("ppt/vbaProject.bin", b"vba"),
        Entry("docProps/thumbnail.jpeg", b"jpg"),
    ]
    path = write_zip(tmp_path / "p.pptx", entries)
    result = manifest(path)
    assert result["path"] == str(path)
    names = [p["name"] for p in result["parts"]]
    assert names == sorted(e.name for e in entries)  # Python sorts str by code point = bytes here
    by_name = {p["name"]: p for p in result["parts"]}
    for entry in entries:
        assert by_name[entry.name]["size"] == len(entry.data)
        assert by_name[entry.name]["sha256"] == hashlib.sha256(entry.data).hexdigest()
    kinds = {name: part["kind"] for name, part in by_name.items()}
    assert kinds == {
        "b.xml": "xml", "a.xml": "xml", "A.xml": "xml", "ppt/media/": "media",
        "ppt/media/image1.png": "media", "ppt/media/item.xml": "xml",
        "ppt/slides/_rels/slide1.xml.rels": "relationships",
        "ppt/embeddings/oleObject1.bin": "embedding", "ppt/vbaProject.bin": "vba",
        "docProps/thumbnail.jpeg": "binary",
    }
    assert list(result) == ["path", "parts"]
    assert list(result["parts"][0]) == ["name", "size", "sha256", "kind"]


def test_empty_package_and_exact_text(tmp_path):
    path = write_zip(tmp_path / "e.pptx", [])
    assert vn.inspect_package_json(str(path)) == f'{{\n  "path": {json.dumps(str(path))},\n  "parts": []\n}}'


def test_duplicate_names_keep_archive_order(tmp_path):
    path = tmp_path / "dup.zip"
    with pytest.warns(UserWarning):
        write_zip(path, [Entry("x.xml", b"first"), Entry("a.xml", b"a"), Entry("x.xml", b"second")])
    parts = manifest(path)["parts"]
    assert [p["name"] for p in parts] == ["a.xml", "x.xml", "x.xml"]
    assert parts[1]["sha256"] == hashlib.sha256(b"first").hexdigest()


def test_python_pptx_deck_matches_zipfile(tmp_path):
    path = minimal_pptx(tmp_path / "deck.pptx", slides=3)
    with zipfile.ZipFile(path) as archive:
        expected = sorted((i.filename, hashlib.sha256(archive.read(i)).hexdigest()) for i in archive.infolist())
    assert [(p["name"], p["sha256"]) for p in manifest(path)["parts"]] == expected


def corrupt(path, offset, new_bytes):
    data = bytearray(path.read_bytes())
    data[offset:offset + len(new_bytes)] = new_bytes
    path.write_bytes(bytes(data))


def eocd_offset(data):
    return data.rindex(b"PK\x05\x06")


def bad_packages(tmp_path):
    """Each case: (name, builder) producing a damaged package file."""
    def base(name="p.zip", entries=None):
        return write_zip(tmp_path / name, entries or [Entry("a.xml", b"<a>" + b"x" * 5000 + b"</a>"), Entry("b.bin", b"b" * 100, STORED)])

    def truncated():
        path = base("t.zip")
        path.write_bytes(path.read_bytes()[:-30])
        return path

    def bad_cd_offset():
        path = base("o.zip")
        data = path.read_bytes()
        corrupt(path, eocd_offset(data) + 16, struct.pack("<I", len(data) + 1000))
        return path

    def not_zip():
        path = tmp_path / "n.zip"
        path.write_bytes(b"this is not an archive at all" * 10)
        return path

    def huge_declared_size():
        path = base("bomb.zip")
        data = path.read_bytes()
        cd = data.index(b"PK\x01\x02")
        corrupt(path, cd + 24, struct.pack("<I", 0xFFFFFFF0))  # uncompressed size of a.xml
        return path

    def encrypted():
        path = base("enc.zip")
        data = path.read_bytes()
        cd = data.index(b"PK\x01\x02")
        flags = struct.unpack_from("<H", data, cd + 8)[0] | 1
        corrupt(path, cd + 8, struct.pack("<H", flags))
        corrupt(path, 6, struct.pack("<H", flags))
        return path

    def wrong_crc():
        path = base("crc.zip")
        data = path.read_bytes()
        cd = data.index(b"PK\x01\x02")
        corrupt(path, cd + 16, b"\x00\x00\x00\x00")
        corrupt(path, 14, b"\x00\x00\x00\x00")
        return path

    def corrupt_deflate():
        path = base("def.zip")
        data = path.read_bytes()
        start = 30 + len("a.xml")
        corrupt(path, start, b"\xff\xff\xff\xff\xff\xff")
        return path

    return {
        "truncated": (truncated, "zip error: "),
        "bad central directory offset": (bad_cd_offset, "zip error: "),
        "not an archive": (not_zip, "zip error: "),
        "bomb-like declared size": (huge_declared_size, "zip error: "),
        "encrypted entry": (encrypted, "zip error: "),
        "wrong crc": (wrong_crc, "io error: "),
        "corrupt deflate data": (corrupt_deflate, "io error: "),
    }


@pytest.mark.parametrize("case", ["truncated", "bad central directory offset", "not an archive",
                                  "bomb-like declared size", "encrypted entry", "wrong crc",
                                  "corrupt deflate data"])
def test_malformed_packages_fail_with_their_prefix(tmp_path, case):
    build, prefix = bad_packages(tmp_path)[case]
    path = build()
    with pytest.raises(RuntimeError) as info:
        vn.inspect_package_json(str(path))
    assert str(info.value).startswith(prefix), str(info.value)


def test_missing_input_is_an_io_error(tmp_path):
    with pytest.raises(RuntimeError, match=r"^io error: .*\(os error 2\)$"):
        vn.inspect_package_json(str(tmp_path / "missing.pptx"))


def test_roundtrip_copies_bytes_and_reports_the_output_path(tmp_path):
    source = minimal_pptx(tmp_path / "in.pptx")
    target = tmp_path / "new" / "deeper" / "out.pptx"
    result = json.loads(vn.roundtrip_package_json(str(source), str(target)))
    assert target.read_bytes() == source.read_bytes()
    assert result["path"] == str(target)
    assert result["parts"] == manifest(source)["parts"]


def test_roundtrip_of_a_non_archive_copies_then_fails(tmp_path):
    source = tmp_path / "junk.pptx"
    source.write_bytes(b"not a zip")
    target = tmp_path / "out.pptx"
    with pytest.raises(RuntimeError, match="^zip error: "):
        vn.roundtrip_package_json(str(source), str(target))
    assert target.read_bytes() == b"not a zip"


@pytest.mark.parametrize("spelling", ["same", "dot", "symlink", "hardlink"])
def test_roundtrip_refuses_to_overwrite_its_input(tmp_path, spelling):
    source = minimal_pptx(tmp_path / "in.pptx")
    original = source.read_bytes()
    if spelling == "same":
        target = str(source)
    elif spelling == "dot":
        target = str(tmp_path / "." / "sub" / ".." / "in.pptx")
        (tmp_path / "sub").mkdir()
    elif spelling == "symlink":
        target = str(tmp_path / "link.pptx")
        os.symlink(source, target)
    else:
        target = str(tmp_path / "hard.pptx")
        os.link(source, target)
    with pytest.raises(RuntimeError) as info:
        vn.roundtrip_package_json(str(source), target)
    assert str(info.value) == "invalid input: input and output must be different files"
    assert source.read_bytes() == original


# ---- the entry loop, reached through the probe module ----

def mixed_input(tmp_path):
    """Mixed methods, old timestamps, extra fields and odd attributes: raw copy must keep all."""
    extra = struct.pack("<HH", 0xCAFE, 4) + b"abcd"
    entries = [
        Entry("[Content_Types].xml", CONTENT_TYPES.encode(), DEFLATED, (1999, 12, 31, 23, 59, 58), extra),
        Entry("docs/", b"", STORED, (2010, 1, 1, 0, 0, 0)),
        Entry("ppt/slides/slide1.xml", b"<p:sld>" + b"x" * 3000 + b"</p:sld>", STORED, (2005, 6, 7, 8, 9, 10)),
        Entry("ppt/slides/slide2.xml", b"<p:sld>two</p:sld>" * 50, DEFLATED, (2006, 6, 7, 8, 9, 10)),
        Entry("ppt/media/image1.png", os.urandom(4096), STORED, (2007, 1, 2, 3, 4, 6), extra,
              external_attr=(0o100600 << 16)),
        Entry("ppt/vbaProject.bin", b"macro", DEFLATED),
    ]
    return write_zip(tmp_path / "mixed.pptx", entries), entries


def run_loop(source, target, replaced=(), removed=(), added=()):
    return json.loads(probe.probe_write_package_json(
        str(source), str(target), [n for n, _ in replaced], [t for _, t in replaced],
        list(removed), [n for n, _ in added], [t for _, t in added]))


def assert_raw_copy(before, after):
    for field in ("method", "crc", "compress_size", "file_size", "date_time", "external_attr", "extra",
                  "local_extra", "stored"):
        assert getattr(before, field) == getattr(after, field), (before.name, field)


def test_entry_loop_replaces_removes_adds_and_copies_the_rest_raw(tmp_path):
    source, entries = mixed_input(tmp_path)
    target = tmp_path / "out.pptx"
    facts = run_loop(source, target,
                     replaced=[("ppt/slides/slide1.xml", "<p:sld>new one</p:sld>"),
                               ("ppt/slides/slide2.xml", "<p:sld>new two</p:sld>"),
                               ("ppt/absent.xml", "<never/>")],
                     removed=["ppt/media/image1.png"],
                     added=[("ppt/slides/slide3.xml", "<p:sld>three</p:sld>"), ("ppt/z.bin", "zz")])
    assert_readable(target)
    names_out = [m.name for m in raw_members(target)]
    assert names_out == ["[Content_Types].xml", "docs/", "ppt/slides/slide1.xml", "ppt/slides/slide2.xml",
                         "ppt/vbaProject.bin", "ppt/slides/slide3.xml", "ppt/z.bin"]
    assert facts == {"part_count": 7, "has_vba": True}
    before, after = raw_by_name(source), raw_by_name(target)
    for name in ("[Content_Types].xml", "docs/", "ppt/vbaProject.bin"):
        assert_raw_copy(before[name], after[name])
    with zipfile.ZipFile(target) as archive:
        assert archive.read("ppt/slides/slide1.xml") == b"<p:sld>new one</p:sld>"
        assert archive.read("ppt/slides/slide3.xml") == b"<p:sld>three</p:sld>"
    # Replaced entries keep their method; added ones are deflated; both get the fixed options.
    assert after["ppt/slides/slide1.xml"].method == STORED
    assert after["ppt/slides/slide2.xml"].method == DEFLATED
    for name in ("ppt/slides/slide1.xml", "ppt/slides/slide2.xml", "ppt/slides/slide3.xml", "ppt/z.bin"):
        assert after[name].date_time == (1980, 1, 1, 0, 0, 0), name
        assert after[name].external_attr >> 16 == 0o100644, name
    assert after["ppt/slides/slide3.xml"].method == DEFLATED


def test_entry_loop_on_a_python_pptx_deck_opens_in_python_pptx(tmp_path):
    from pptx import Presentation

    source = minimal_pptx(tmp_path / "in.pptx", slides=2)
    target = tmp_path / "sub" / "out.pptx"
    os.makedirs(target.parent)
    with zipfile.ZipFile(source) as archive:
        slide = archive.read("ppt/slides/slide1.xml").decode()
    run_loop(source, target, replaced=[("ppt/slides/slide1.xml", slide.replace("Slide 1", "Changed"))])
    deck = Presentation(str(target))
    assert deck.slides[0].shapes.title.text == "Changed"
    assert deck.slides[1].shapes.title.text == "Slide 2"
    before, after = raw_by_name(source), raw_by_name(target)
    for name in before:
        if name != "ppt/slides/slide1.xml":
            assert_raw_copy(before[name], after[name])


def test_entry_loop_refuses_the_input_as_output(tmp_path):
    source, _ = mixed_input(tmp_path)
    original = source.read_bytes()
    link = tmp_path / "alias.pptx"
    os.symlink(source, link)
    for target in (source, link):
        with pytest.raises(RuntimeError, match="^invalid input: input and output must be different files$"):
            run_loop(source, target, replaced=[("ppt/slides/slide1.xml", "x")])
    assert source.read_bytes() == original


def test_entry_loop_failure_leaves_a_readable_partial_archive(tmp_path):
    source, _ = mixed_input(tmp_path)
    data = bytearray(source.read_bytes())
    # Damage the third entry's local header so that copying it fails.
    third = raw_by_name(source)["ppt/slides/slide1.xml"]
    with zipfile.ZipFile(source) as archive:
        offset = archive.getinfo(third.name).header_offset
    data[offset:offset + 4] = b"XXXX"
    source.write_bytes(bytes(data))
    target = tmp_path / "partial.pptx"
    with pytest.raises(RuntimeError, match="^zip error: "):
        run_loop(source, target)
    with zipfile.ZipFile(target) as archive:
        assert archive.namelist() == ["[Content_Types].xml", "docs/"]
        assert archive.testzip() is None
