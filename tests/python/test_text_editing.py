"""Text editing of slides: search and replace, shape, paragraph, run and table cell text.

Exact packages show what happens to every byte; python-pptx decks show that a real reader sees
the new text where it was written, with the run formatting that was there."""

import json
import os
import zipfile

import pytest
from package_factory import CONTENT_TYPES, Entry, assert_readable, raw_members, write_zip

import varnex_native as vn

STORED, DEFLATED = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
WRITTEN_TIME = (1980, 1, 1, 0, 0, 0)


def slide(tree: str) -> str:
    return ("<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\r\n"
            '<p:sld xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" '
            'xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main">'
            f"<p:cSld><p:spTree>{tree}</p:spTree></p:cSld></p:sld>")


def shape(paragraphs: str, name: str = "S") -> str:
    return (f'<p:sp><p:nvSpPr><p:cNvPr id="2" name=\'{name}\'/></p:nvSpPr><p:spPr/>'
            f"<p:txBody><a:bodyPr/><a:lstStyle/>{paragraphs}</p:txBody></p:sp>")


def run(text: str, props: str = '<a:rPr lang="en-US" b="1"/>') -> str:
    return f"<a:r>{props}<a:t>{text}</a:t></a:r>"


def cell(text: str) -> str:
    return f"<a:tc><a:txBody><a:bodyPr/><a:p>{run(text)}</a:p></a:txBody><a:tcPr/></a:tc>"


def table(rows) -> str:
    body = "".join("<a:tr h='370840'>" + "".join(cell(t) for t in row) + "</a:tr>" for row in rows)
    return ("<p:graphicFrame><p:nvGraphicFramePr/><a:graphic><a:graphicData uri='t'>"
            f"<a:tbl><a:tblGrid/>{body}</a:tbl></a:graphicData></a:graphic></p:graphicFrame>")


SLIDE1 = slide(shape(f"<a:p>{run('Hello Tom &amp; Jerry')}{run('Hel')}{run('lo')}</a:p>")
               + "\n  " + shape(f"<a:p>{run('Say &quot;Hello&quot;')}</a:p><a:p>{run('x>y')}</a:p>", "B")
               + table([["Hello", "R&amp;D"], ["c", "d"]]))
SLIDE2 = slide(shape(f"<a:p>{run('Hello again')}</a:p>"))
ELSEWHERE = "<a:t>Hello</a:t>"  # text outside slides that must never change


def exact_package(tmp_path, slide1=SLIDE1, slide2=SLIDE2):
    old = (2003, 4, 5, 6, 7, 8)
    entries = [
        Entry("[Content_Types].xml", CONTENT_TYPES.encode(), DEFLATED, old),
        Entry("ppt/", b"", STORED, old),
        Entry("ppt/slides/slide1.xml", slide1.encode(), DEFLATED, old),
        Entry("ppt/slides/slide2.xml", slide2.encode(), STORED, old),
        Entry("ppt/slides/_rels/slide1.xml.rels", b"<Relationships/>", DEFLATED, old),
        Entry("ppt/notesSlides/notesSlide1.xml", ELSEWHERE.encode(), DEFLATED, old),
        Entry("ppt/slideLayouts/slideLayout1.xml", ELSEWHERE.encode(), DEFLATED, old),
        Entry("ppt/slideMasters/slideMaster1.xml", ELSEWHERE.encode(), DEFLATED, old),
        Entry("ppt/charts/chart1.xml", ELSEWHERE.encode(), DEFLATED, old),
        Entry("ppt/comments/comment1.xml", ELSEWHERE.encode(), DEFLATED, old),
        Entry("ppt/media/image1.png", os.urandom(3000), STORED, old, external_attr=0o100600 << 16),
    ]
    return write_zip(tmp_path / "in.pptx", entries)


def entry_text(path, name) -> str:
    with zipfile.ZipFile(path) as archive:
        return archive.read(name).decode()


def assert_copied_raw(source, target, rewritten=()):
    """Entries in the same order; every entry but the rewritten ones exactly as stored."""
    before, after = raw_members(source), raw_members(target)
    assert [m.name for m in before] == [m.name for m in after]
    for old, new in zip(before, after):
        if old.name in rewritten:
            assert new.method == old.method and new.date_time == WRITTEN_TIME, old.name
            assert new.external_attr >> 16 == 0o100644, old.name
        else:
            assert old == new, old.name


def call(function, *args):
    return json.loads(function(*map(str, args[:2]), *args[2:]))


# ---- search and replace ----

def test_replace_in_all_slides_changes_only_matching_text_nodes(tmp_path):
    source, target = exact_package(tmp_path), tmp_path / "out.pptx"
    text = vn.replace_slide_text_json(str(source), str(target), "Hello", "Bye <&>")
    assert text == ('{\n  "path": ' + json.dumps(str(target)) +
                    ',\n  "replacements": 4,\n  "part_count": 11,\n  "has_vba": false\n}')
    assert_readable(target)
    bye = "Bye &lt;&amp;&gt;"
    assert entry_text(target, "ppt/slides/slide1.xml") == SLIDE1.replace(
        "<a:t>Hello Tom", f"<a:t>{bye} Tom").replace(
        "Say &quot;Hello&quot;", f"Say &quot;{bye}&quot;").replace(
        "<a:t>Hello</a:t>", f"<a:t>{bye}</a:t>")
    assert entry_text(target, "ppt/slides/slide2.xml") == SLIDE2.replace("Hello", bye)
    assert_copied_raw(source, target, rewritten={"ppt/slides/slide1.xml", "ppt/slides/slide2.xml"})


def test_replace_at_index_edits_that_slide_only(tmp_path):
    source, target = exact_package(tmp_path), tmp_path / "deep" / "er" / "out.pptx"
    result = call(vn.replace_slide_text_at_index_json, source, target, 1, "again", "'q'")
    assert result == {"path": str(target), "replacements": 1, "part_count": 11, "has_vba": False}
    assert entry_text(target, "ppt/slides/slide2.xml") == SLIDE2.replace("Hello again", "Hello &apos;q&apos;")
    assert_copied_raw(source, target, rewritten={"ppt/slides/slide2.xml"})
    # a node that receives a replacement is escaped whole
    call(vn.replace_slide_text_at_index_json, source, target, 0, "x", "z")
    assert "<a:t>z&gt;y</a:t>" in entry_text(target, "ppt/slides/slide1.xml")


def test_empty_search_copies_every_entry_raw(tmp_path):
    source, target = exact_package(tmp_path, slide1="<not xml"), tmp_path / "out.pptx"
    for function, args in ((vn.replace_slide_text_json, ("", "x")), (vn.replace_slide_text_at_index_json, (0, "", "x"))):
        assert call(function, source, target, *args)["replacements"] == 0
        assert_copied_raw(source, target)


# ---- setters on exact fixtures ----

def test_setters_rewrite_only_their_target(tmp_path):
    source, target = exact_package(tmp_path), tmp_path / "out.pptx"
    cases = [
        (vn.set_slide_shape_text_at_index_json, (0, 1, "One\nTwo"), 2,
         ["path", "slide_index", "shape_index", "replacements", "part_count", "has_vba"],
         SLIDE1.replace(f"<a:p>{run('Say &quot;Hello&quot;')}</a:p><a:p>{run('x>y')}</a:p>",
                        "<a:p><a:r><a:t>One</a:t></a:r></a:p><a:p><a:r><a:t>Two</a:t></a:r></a:p>")),
        (vn.set_slide_shape_paragraph_text_at_index_json, (0, 0, 0, "N&w"), 4,
         ["path", "slide_index", "shape_index", "paragraph_index", "replacements", "part_count", "has_vba"],
         SLIDE1.replace(f"{run('Hello Tom &amp; Jerry')}{run('Hel')}{run('lo')}",
                        f"{run('N&amp;w')}{run('')}{run('')}")),
        (vn.replace_slide_text_run_at_index_json, (0, 2, "N&w"), 1,
         ["path", "slide_index", "run_index", "replacements", "part_count", "has_vba"],
         SLIDE1.replace(run("lo"), run("N&amp;w"))),
        (vn.replace_table_cell_text_json, (0, 0, 0, 1, "Lab"), 1,
         ["path", "slide_index", "table_index", "row_index", "col_index", "replacements", "part_count",
          "has_vba"],
         SLIDE1.replace(cell("R&amp;D"), cell("Lab"))),
    ]
    for function, args, count, keys, expected in cases:
        result = call(function, source, target, *args)
        assert list(result) == keys
        assert result["replacements"] == count, function.__name__
        assert result["part_count"] == 11 and result["has_vba"] is False
        assert [result[k] for k in keys[1:-3]] == list(args[:-1])
        assert entry_text(target, "ppt/slides/slide1.xml") == expected, function.__name__
        assert_copied_raw(source, target, rewritten={"ppt/slides/slide1.xml"})


def test_indexes_that_match_nothing_write_the_slide_back_unchanged(tmp_path):
    source, target = exact_package(tmp_path), tmp_path / "out.pptx"
    for function, args in ((vn.set_slide_shape_text_at_index_json, (0, 2, "x")),
                           (vn.set_slide_shape_paragraph_text_at_index_json, (0, 1, 2, "x")),
                           (vn.replace_slide_text_run_at_index_json, (0, 9, "x")),
                           (vn.replace_table_cell_text_json, (0, 0, 2, 0, "x"))):
        assert call(function, source, target, *args)["replacements"] == 0
        assert entry_text(target, "ppt/slides/slide1.xml") == SLIDE1


# ---- failures ----

INDEXED = [
    (vn.replace_slide_text_at_index_json, ("Hello", "x")),
    (vn.replace_slide_text_run_at_index_json, (0, "x")),
    (vn.set_slide_shape_text_at_index_json, (0, "x")),
    (vn.set_slide_shape_paragraph_text_at_index_json, (0, 0, "x")),
    (vn.replace_table_cell_text_json, (0, 0, 0, "x")),
]


@pytest.mark.parametrize("function, rest", INDEXED, ids=lambda v: getattr(v, "__name__", ""))
def test_slide_index_past_the_end_fails_before_the_output_exists(tmp_path, function, rest):
    source, target = exact_package(tmp_path), tmp_path / "out.pptx"
    with pytest.raises(RuntimeError, match=r"^invalid input: slide index 2 was not found$"):
        function(str(source), str(target), 2, *rest)
    assert not target.exists()


@pytest.mark.parametrize("function, rest", [(vn.replace_slide_text_json, ("Hello", "x"))] +
                         [(f, (0, *r)) for f, r in INDEXED], ids=lambda v: getattr(v, "__name__", ""))
def test_malformed_slide_xml_is_an_xml_error(tmp_path, function, rest):
    bad = slide(shape(f"<a:p>{run('Hello')}</a:q>")) + "<a:tbl><a:tr><a:tc>"
    source = exact_package(tmp_path, slide1=bad)
    with pytest.raises(RuntimeError, match=r"^xml error: "):
        function(str(source), str(tmp_path / "out.pptx"), *rest)


def test_end_of_input_inside_the_rewritten_text_body(tmp_path):
    truncated = slide(shape(f"<a:p>{run('Hello')}</a:p>")).split("</p:txBody>")[0]
    source = exact_package(tmp_path, slide1=truncated)
    with pytest.raises(RuntimeError) as info:
        vn.set_slide_shape_text_at_index_json(str(source), str(tmp_path / "out.pptx"), 0, 0, "x")
    assert str(info.value) == "xml text decode error: unexpected end of XML while rewriting text body"


def test_undecodable_text_node_in_a_searched_slide(tmp_path):
    data = slide(shape("<a:p><a:r><a:t>A\xff</a:t></a:r></a:p>")).encode("latin-1")
    source = write_zip(tmp_path / "bad.pptx", [Entry("ppt/slides/slide1.xml", data)])
    with pytest.raises(RuntimeError, match=r"^xml text decode error: "):
        vn.replace_slide_text_json(str(source), str(tmp_path / "out.pptx"), "A", "B")


def test_output_may_not_be_the_input(tmp_path):
    source = exact_package(tmp_path)
    original = source.read_bytes()
    with pytest.raises(RuntimeError, match="^invalid input: input and output must be different files$"):
        vn.replace_slide_text_json(str(source), str(source), "Hello", "x")
    assert source.read_bytes() == original


# ---- python-pptx decks ----

def text_deck(path):
    from pptx import Presentation
    from pptx.dml.color import RGBColor
    from pptx.util import Inches, Pt

    deck = Presentation()
    first = deck.slides.add_slide(deck.slide_layouts[5])
    first.shapes.title.text = "Quarterly Hello"
    frame = first.shapes.add_textbox(Inches(1), Inches(2), Inches(6), Inches(2)).text_frame
    for text, bold in (("Hel", True), ("lo", False)):
        piece = frame.paragraphs[0].add_run()
        piece.text = text
        piece.font.bold, piece.font.size = bold, Pt(20)
        piece.font.color.rgb = RGBColor(0x12, 0x34, 0x56)
    frame.add_paragraph().text = "Tom & Jerry"
    frame.add_paragraph().text = "Hello <world>"
    grid = first.shapes.add_table(2, 2, Inches(1), Inches(4), Inches(4), Inches(1)).table
    grid.cell(0, 0).text = "R&D"
    lead = grid.cell(0, 1).text_frame.paragraphs[0].add_run()
    lead.text, lead.font.italic = "old", True
    second = deck.slides.add_slide(deck.slide_layouts[5])
    second.shapes.title.text = "Hello again"
    deck.save(str(path))
    return path


def open_deck(path):
    from pptx import Presentation
    return Presentation(str(path))


def test_python_pptx_reads_the_new_text_with_formatting_kept(tmp_path):
    source, target = text_deck(tmp_path / "deck.pptx"), tmp_path / "out.pptx"

    call(vn.replace_slide_text_json, source, target, "Hello", "Bye")
    deck = open_deck(target)
    assert deck.slides[0].shapes.title.text == "Quarterly Bye"
    assert deck.slides[0].shapes[1].text_frame.paragraphs[2].text == "Bye <world>"
    assert deck.slides[1].shapes.title.text == "Bye again"

    assert call(vn.set_slide_shape_text_at_index_json, source, target, 0, 1, "One\nTwo")["replacements"] == 3
    assert open_deck(target).slides[0].shapes[1].text_frame.text == "One\nTwo"

    assert call(vn.set_slide_shape_paragraph_text_at_index_json, source, target, 0, 1, 0, "Hi")["replacements"] == 2
    runs = open_deck(target).slides[0].shapes[1].text_frame.paragraphs[0].runs
    assert [r.text for r in runs] == ["Hi", ""]
    assert [r.font.bold for r in runs] == [True, False]
    assert runs[0].font.size.pt == 20 and str(runs[0].font.color.rgb) == "123456"

    assert call(vn.replace_slide_text_run_at_index_json, source, target, 0, 2, "LO")["replacements"] == 1
    runs = open_deck(target).slides[0].shapes[1].text_frame.paragraphs[0].runs
    assert [r.text for r in runs] == ["Hel", "LO"]
    assert runs[1].font.bold is False and runs[1].font.size.pt == 20

    assert call(vn.replace_table_cell_text_json, source, target, 0, 0, 0, 1, "new")["replacements"] == 1
    grid = open_deck(target).slides[0].shapes[2].table
    assert grid.cell(0, 1).text == "new" and grid.cell(0, 0).text == "R&D"
    assert grid.cell(0, 1).text_frame.paragraphs[0].runs[0].font.italic is True
    assert_copied_raw(source, target, rewritten={"ppt/slides/slide1.xml"})


def patched_deck(tmp_path, old: str, new: str):
    """The python-pptx deck with one piece of slide 1 rewritten, to place references exactly."""
    source = text_deck(tmp_path / "deck.pptx")
    patched = tmp_path / "patched.pptx"
    with zipfile.ZipFile(source) as src, zipfile.ZipFile(patched, "w", DEFLATED) as dst:
        for info in src.infolist():
            data = src.read(info)
            if info.filename == "ppt/slides/slide1.xml":
                assert data.count(old.encode()) == 1
                data = data.replace(old.encode(), new.encode())
            dst.writestr(info, data)
    return patched


# References before, between and after the text pieces of the target; they are part of its old
# text and go with it, while the neighbouring paragraph, run or cell keeps every byte. The first
# text node receives the new text, so a first run made only of references is emptied.
REFERENCES = ["&amp;Tom &lt;&#38; Jerry&#x26;", "Tom", "T&#111;m&amp;", "&#x54;", "&lt;&amp;"]


@pytest.mark.parametrize("old_text", REFERENCES)
def test_paragraph_text_takes_the_references_of_the_old_text_along(tmp_path, old_text):
    source = patched_deck(tmp_path, "<a:t>Tom &amp; Jerry</a:t>",
                          f"<a:t>{old_text}</a:t></a:r><a:r><a:t>&amp;x</a:t>")
    target = tmp_path / "out.pptx"
    before = entry_text(source, "ppt/slides/slide1.xml")
    call(vn.set_slide_shape_paragraph_text_at_index_json, source, target, 0, 1, 1, "New")
    paragraphs = open_deck(target).slides[0].shapes[1].text_frame.paragraphs
    assert paragraphs[1].text == "New"
    assert [p.text for p in paragraphs[:1] + paragraphs[2:]] == ["Hello", "Hello <world>"]
    first, second = ("<a:t>New</a:t>", "<a:t></a:t>") if "T" in old_text else ("<a:t></a:t>", "<a:t>New</a:t>")
    assert entry_text(target, "ppt/slides/slide1.xml") == before.replace(
        f"<a:t>{old_text}</a:t></a:r><a:r><a:t>&amp;x</a:t>", f"{first}</a:r><a:r>{second}")


@pytest.mark.parametrize("old_text", REFERENCES)
def test_cell_text_takes_the_references_of_the_old_text_along(tmp_path, old_text):
    source = patched_deck(tmp_path, "<a:t>R&amp;D</a:t>", f"<a:t>{old_text}</a:t></a:r><a:r><a:t>&#169;</a:t>")
    target = tmp_path / "out.pptx"
    before = entry_text(source, "ppt/slides/slide1.xml")
    call(vn.replace_table_cell_text_json, source, target, 0, 0, 0, 0, "Lab")
    grid = open_deck(target).slides[0].shapes[2].table
    assert grid.cell(0, 0).text == "Lab" and grid.cell(0, 1).text == "old"
    assert entry_text(target, "ppt/slides/slide1.xml") == before.replace(f"<a:t>{old_text}</a:t></a:r><a:r><a:t>&#169;</a:t>",
                                   "<a:t>Lab</a:t></a:r><a:r><a:t></a:t>")


def test_references_outside_the_target_keep_their_bytes(tmp_path):
    source = patched_deck(tmp_path, "<a:t>R&amp;D</a:t>", "<a:t>R&amp;D&#x2014;</a:t>")
    target = tmp_path / "out.pptx"
    before = entry_text(source, "ppt/slides/slide1.xml")
    call(vn.set_slide_shape_paragraph_text_at_index_json, source, target, 0, 1, 2, "x")
    assert entry_text(target, "ppt/slides/slide1.xml") == before.replace("<a:t>Hello &lt;world&gt;</a:t>", "<a:t>x</a:t>")
    call(vn.replace_table_cell_text_json, source, target, 0, 0, 0, 1, "x")
    assert entry_text(target, "ppt/slides/slide1.xml") == before.replace("<a:t>old</a:t>", "<a:t>x</a:t>")
