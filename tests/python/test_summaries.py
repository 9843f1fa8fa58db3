"""Presentation and slide summaries: exact fixtures for the reading rules, and agreement with
python-pptx reading the same generated decks."""

import json
import re
import zipfile

import pytest
from package_factory import CONTENT_TYPES, Entry, write_zip
from rich_deck import rich_pptx

import varnex_native as vn

NS = ('xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" '
      'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" '
      'xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main" '
      'xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006"')
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"


def slide_xml(shapes="", after_tree=""):
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<p:sld {NS}><p:cSld><p:spTree>'
            '<p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>'
            f'{shapes}</p:spTree></p:cSld>{after_tree}</p:sld>')


def rels_xml(*relationships):
    items = "".join(f'<Relationship Id="{i}" Type="{t if "://" in t else REL + t}" Target="{target}"/>'
                    for i, t, target in relationships)
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships '
            f'xmlns="http://schemas.openxmlformats.org/package/2006/relationships">{items}</Relationships>')


def sp(body, id=2, name="Shape", props="", before_body=""):
    return (f'<p:sp><p:nvSpPr><p:cNvPr id="{id}" name="{name}"/><p:cNvSpPr/><p:nvPr>{props}</p:nvPr></p:nvSpPr>'
            f'<p:spPr>{before_body}</p:spPr><p:txBody><a:bodyPr/>{body}</p:txBody></p:sp>')


def xfrm(x, y, cx, cy, child=None):
    extra = "" if child is None else f'<a:chOff x="{child[0]}" y="{child[1]}"/><a:chExt cx="{child[2]}" cy="{child[3]}"/>'
    return f'<a:xfrm><a:off x="{x}" y="{y}"/><a:ext cx="{cx}" cy="{cy}"/>{extra}</a:xfrm>'


def group(id, frame, children):
    return (f'<p:grpSp><p:nvGrpSpPr><p:cNvPr id="{id}" name="Group {id}"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>'
            f'<p:grpSpPr>{frame}</p:grpSpPr>{children}</p:grpSp>')


def table_frame(rows, id=20):
    cells = "".join("<a:tr>" + "".join(f"<a:tc><a:txBody><a:bodyPr/>{cell}</a:txBody><a:tcPr/></a:tc>" for cell in row)
                    + "</a:tr>" for row in rows)
    return (f'<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="{id}" name="Table {id}"/><p:cNvGraphicFramePr/>'
            f'<p:nvPr/></p:nvGraphicFramePr><p:xfrm><a:off x="5" y="6"/><a:ext cx="7" cy="8"/></p:xfrm>'
            f'<a:graphic><a:graphicData uri="t"><a:tbl><a:tblPr/><a:tblGrid/>{cells}</a:tbl></a:graphicData>'
            '</a:graphic></p:graphicFrame>')


def package(tmp_path, slides, slide_rels=None, extra=(), listed=None, name="deck.pptx"):
    """A package whose presentation lists `slides` (XML texts or bytes) in the given order."""
    slide_rels = slide_rels or {}
    listed = listed if listed is not None else list(range(1, len(slides) + 1))
    ids = "".join(f'<p:sldId id="{255 + n}" r:id="rId{n}"/>' for n in listed)
    presentation = f'<p:presentation {NS}><p:sldIdLst>{ids}</p:sldIdLst></p:presentation>'
    entries = [Entry("[Content_Types].xml", CONTENT_TYPES.encode()),
               Entry("ppt/presentation.xml", presentation.encode()),
               Entry("ppt/_rels/presentation.xml.rels",
                     rels_xml(*[(f"rId{n}", "slide", f"slides/slide{n}.xml") for n in listed]).encode())]
    for n, xml in enumerate(slides, 1):
        entries.append(Entry(f"ppt/slides/slide{n}.xml", xml if isinstance(xml, bytes) else xml.encode()))
        if n in slide_rels:
            entries.append(Entry(f"ppt/slides/_rels/slide{n}.xml.rels", rels_xml(*slide_rels[n]).encode()))
    return write_zip(tmp_path / name, entries + list(extra))


def one_slide(tmp_path, xml, **kwargs):
    return json.loads(vn.summarize_slide_at_index_json(str(package(tmp_path, [xml], **kwargs)), 0))


# ---- text, runs, breaks, fields and run properties ----

PARAGRAPHS = (
    '<a:p><a:r><a:rPr b="1" u="sng" sz="1800"><a:latin typeface="Arial"/></a:rPr><a:t>A</a:t></a:r><a:br/>'
    '<a:r><a:rPr b="true" i="0" u="none" sz="18.5"/><a:t>B</a:t></a:r></a:p>'
    '<a:p><a:r><a:rPr b="yes" u=""/><a:t>Page </a:t></a:r><a:br/>'
    '<a:fld id="{F}" type="slidenum"><a:rPr/><a:t>7</a:t></a:fld><a:r/></a:p>'
    '<a:p/>'
    '<a:p><a:r><a:rPr sz="+12" i="off"/><a:t>Tom &amp; Jerry</a:t></a:r></a:p>'
)


SLIDE_KEYS = ["part", "texts", "shapes", "tables", "notes", "relationships", "image_relationships",
              "chart_relationships", "comment_relationships", "media_relationships", "ole_relationships",
              "has_transition", "has_timing"]
SHAPE_KEYS = ["id", "name", "kind", "is_placeholder", "placeholder_type", "placeholder_idx", "text", "paragraphs",
              "paragraph_runs", "paragraph_line_breaks", "paragraph_fields", "paragraph_run_bold",
              "paragraph_run_italic", "paragraph_run_underline", "paragraph_run_font_size",
              "paragraph_run_font_name", "tables", "relationship_ids", "has_chart", "has_picture", "has_group",
              "transform", "effective_transform", "children"]


def test_paragraphs_runs_breaks_fields_and_run_properties(tmp_path):
    slide = one_slide(tmp_path, slide_xml(sp(PARAGRAPHS, id=5, name="Body &amp; Co",
                                             props='<p:ph type="body" idx="01"/>')))
    shape = slide["shapes"][0]
    assert list(slide) == SLIDE_KEYS and list(shape) == SHAPE_KEYS
    assert (shape["id"], shape["name"], shape["kind"]) == ("5", "Body &amp; Co", "shape")
    assert (shape["is_placeholder"], shape["placeholder_type"], shape["placeholder_idx"]) == (True, "body", "01")
    assert shape["paragraphs"] == ["A\vB", "Page \v7", "", "Tom & Jerry"]
    assert shape["text"] == "A\vB\nPage \v7\n\nTom & Jerry"
    assert shape["paragraph_runs"] == [["A", "B"], ["Page ", ""], [], ["Tom & Jerry"]]
    assert shape["paragraph_line_breaks"] == [[1], [1], [], []]
    assert shape["paragraph_fields"] == [[], [{"run_slot": 1, "line_breaks_before": 1, "text": "7"}], [], []]
    assert shape["paragraph_run_bold"] == [[True, True], [None, None], [], [None]]
    assert shape["paragraph_run_italic"] == [[None, False], [None, None], [], [False]]
    assert shape["paragraph_run_underline"] == [[True, False], [True, None], [], [None]]
    assert shape["paragraph_run_font_size"] == [[1800, None], [None, None], [], [12]]
    assert shape["paragraph_run_font_name"] == [["Arial", None], [None, None], [], [None]]


def test_text_runs_are_trimmed_per_event_and_skip_empty_elements(tmp_path):
    body = ('<a:p><a:r><a:t>  Hi  </a:t></a:r><a:r><a:t>   </a:t></a:r><a:r><a:t/></a:r>'
            '<a:r><a:t>Tom &amp; Jerry</a:t></a:r><a:r><a:t>x&#x41;&nbsp;</a:t></a:r></a:p>')
    summary = one_slide(tmp_path, slide_xml(sp(body)))
    assert summary["texts"] == ["Hi", "Tom&Jerry", "xA&nbsp;"]
    assert summary["shapes"][0]["paragraph_runs"] == [["  Hi  ", "   ", "", "Tom & Jerry", "xA&nbsp;"]]


# ---- kinds, identity, transforms and relationship ids ----

def test_kinds_relationship_ids_and_own_transforms(tmp_path):
    shapes = "".join([
        '<p:pic><p:nvPicPr><p:cNvPr id="3" name="Pic"/></p:nvPicPr><p:blipFill>'
        '<a:blip r:embed="rId3" r:link="rId3"/></p:blipFill><p:spPr>' + xfrm(1, 2, 3, 4) + '</p:spPr></p:pic>',
        '<p:pic><p:nvPicPr><p:cNvPr id="4" name="Movie"/><p:nvPr><a:videoFile r:link="rId10"/></p:nvPr>'
        '</p:nvPicPr><p:blipFill><a:blip r:embed="rId9"/></p:blipFill></p:pic>',
        '<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="5" name="Ole"/></p:nvGraphicFramePr>'
        '<a:graphic><a:graphicData><p:oleObj r:id="rId4"/></a:graphicData></a:graphic></p:graphicFrame>',
        '<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="6" name="Chart"/></p:nvGraphicFramePr>'
        '<p:xfrm><a:off x="9" y="8"/><a:ext cx="7" cy="6"/></p:xfrm>'
        '<a:graphic><a:graphicData><c:chart xmlns:c="urn:c" r:id="rId5"/></a:graphicData></a:graphic></p:graphicFrame>',
        '<mc:AlternateContent><mc:Choice Requires="x">' + sp("", id=90) + '</mc:Choice></mc:AlternateContent>',
        '<p:cxnSp><p:nvCxnSpPr><p:cNvPr id="7" name="Line"/></p:nvCxnSpPr><p:spPr>'
        '<a:xfrm><a:off x="1" y="2"/></a:xfrm></p:spPr></p:cxnSp>',
    ])
    got = [(s["id"], s["kind"], s["has_picture"], s["has_chart"], s["relationship_ids"], s["transform"],
            s["effective_transform"]) for s in one_slide(tmp_path, slide_xml(shapes))["shapes"]]
    own = {"x": 1, "y": 2, "cx": 3, "cy": 4}
    frame = {"x": 9, "y": 8, "cx": 7, "cy": 6}
    assert got == [
        ("3", "picture", True, False, ["rId3"], own, own),
        ("4", "movie", False, False, ["rId10", "rId9"], None, None),
        ("5", "ole_object", False, False, ["rId4"], None, None),
        ("6", "graphic_frame", False, True, ["rId5"], frame, frame),
        ("7", "connector", False, False, [], None, None),  # a:xfrm without a:ext
    ]


def test_nested_groups_place_children_through_each_frame(tmp_path):
    inner = group(12, xfrm(50, 0, 50, 100, child=(0, 0, 0, 200)),
                  sp("<a:p><a:r><a:t>deep</a:t></a:r></a:p>", id=13, before_body=xfrm(3, 18, 5, 40))
                  + sp("", id=14, before_body=xfrm(0, -18, 0, 2)))
    outer = group(10, xfrm(1000, 2000, 200, 50, child=(0, 0, 100, 100)),
                  sp("<a:p><a:r><a:t>child</a:t></a:r></a:p>", id=11, before_body=xfrm(10, 10, 20, 20)) + inner)
    shape = one_slide(tmp_path, slide_xml(outer))["shapes"][0]
    assert (shape["kind"], shape["has_group"], shape["paragraphs"]) == ("group", True, ["child", "deep"])
    assert shape["effective_transform"] == shape["transform"] == {"x": 1000, "y": 2000, "cx": 200, "cy": 50}
    child, nested = shape["children"]
    assert child["effective_transform"] == {"x": 1020, "y": 2005, "cx": 40, "cy": 10}
    assert child["transform"] == {"x": 10, "y": 10, "cx": 20, "cy": 20}
    assert nested["effective_transform"] == {"x": 1100, "y": 2000, "cx": 100, "cy": 50}
    # chExt cx="0": x is translated only and cx kept; y is scaled by 50/200, halves away from zero.
    assert [c["effective_transform"] for c in nested["children"]] == [
        {"x": 1103, "y": 2005, "cx": 5, "cy": 10}, {"x": 1100, "y": 1995, "cx": 0, "cy": 1}]
    assert [c["id"] for c in nested["children"]] == ["13", "14"] and nested["paragraphs"] == ["deep"]


def test_group_without_child_frame_uses_its_own_extent(tmp_path):
    shapes = group(10, xfrm(100, 100, 40, 40), sp("", id=11, before_body=xfrm(10, 20, 30, 40)))
    child = one_slide(tmp_path, slide_xml(shapes))["shapes"][0]["children"][0]
    assert child["effective_transform"] == {"x": 110, "y": 120, "cx": 30, "cy": 40}


# ---- tables ----

def test_tables_of_slide_and_shape(tmp_path):
    first = table_frame([["<a:p><a:r><a:t>a</a:t></a:r></a:p>",
                          "<a:p><a:r><a:t>x</a:t></a:r></a:p><a:p><a:r><a:t>y</a:t></a:r><a:br/></a:p>",
                          "<a:p/>"],
                         ["<a:p><a:r><a:t>d</a:t></a:r></a:p>", "<a:p><a:r><a:t> e </a:t></a:r></a:p>"]])
    second = table_frame([["<a:p><a:r><a:t>z</a:t></a:r></a:p>"]], id=21)
    summary = one_slide(tmp_path, slide_xml(first + second))
    assert summary["tables"] == [
        {"rows": [["a", "x\ny\v", ""], ["d", " e "]], "row_count": 2, "col_count": 3},
        {"rows": [["z"]], "row_count": 1, "col_count": 1}]
    assert [s["tables"] for s in summary["shapes"]] == [summary["tables"][:1], summary["tables"][1:]]
    assert summary["shapes"][0]["transform"] == {"x": 5, "y": 6, "cx": 7, "cy": 8}
    assert one_slide(tmp_path, slide_xml(sp("<a:p/>")), name="none.pptx")["tables"] == []


# ---- malformed slide XML never fails ----

TWO_PARAGRAPHS = slide_xml(sp("<a:p><a:r><a:t>one</a:t></a:r></a:p><a:p><a:r><a:t>two</a:t></a:r></a:p>"))


@pytest.mark.parametrize("xml, texts, shape_count", [
    # breaks off inside a text element: the runs completed before it are kept
    (TWO_PARAGRAPHS[:TWO_PARAGRAPHS.index("two") + 2], ["one"], 0),
    # a mismatched end tag stops every scan where it stands: the paragraph it interrupts is lost
    (TWO_PARAGRAPHS.replace("</a:r></a:p></p:txBody>", "</a:x></a:p></p:txBody>"), ["one", "two"], 1),
    (f"<p:sld {NS}><a:t>no tree</a:t></p:sld>", ["no tree"], 0),
    (b"<p:sld><p:cSld><p:spTree><a:t>caf\xe9</a:t></p:spTree></p:cSld></p:sld>", ["caf\ufffd"], 0),
    (b"\x00\xff<<<", [], 0),
])
def test_malformed_slide_xml_keeps_what_was_read(tmp_path, xml, texts, shape_count):
    summary = one_slide(tmp_path, xml)
    assert summary["texts"] == texts
    assert len(summary["shapes"]) == shape_count
    if shape_count:
        shape = summary["shapes"][0]
        assert (shape["paragraphs"], shape["paragraph_runs"], shape["paragraph_run_bold"]) == (["one"], [["one"]], [[None]])


def test_deeply_nested_groups_are_bounded(tmp_path):
    depth = 5000
    frame = xfrm(0, 0, 10, 10, child=(0, 0, 10, 10))
    inner = sp("<a:p><a:r><a:t>core</a:t></a:r></a:p>", id=9999)
    xml = "".join(f'<p:grpSp><p:nvGrpSpPr><p:cNvPr id="{i}" name="g"/></p:nvGrpSpPr><p:grpSpPr>{frame}</p:grpSpPr>'
                  for i in range(depth)) + inner + "</p:grpSp>" * depth
    shape = one_slide(tmp_path, slide_xml(xml))["shapes"][0]
    levels = 0
    while shape["children"]:
        shape, levels = shape["children"][0], levels + 1
    assert 32 <= levels < depth and shape["kind"] == "group" and shape["paragraphs"] == ["core"]


# ---- slide and presentation level ----

def test_relationship_lists_notes_and_flags(tmp_path):
    notes = slide_xml(sp("<a:p><a:r><a:t> First notes </a:t></a:r></a:p>"))
    other_notes = slide_xml(sp("<a:p><a:r><a:t>never read</a:t></a:r></a:p>"))
    relationships = {1: [("rId1", "slideLayout", "../slideLayouts/slideLayout1.xml"),
                         ("rId2", "image", "../media/image1.png"), ("rId3", "chart", "../charts/chart1.xml"),
                         ("rId4", "comments", "../comments/comment1.xml"), ("rId5", "urn:x/comment", "c.xml"),
                         ("rId6", "video", "https://example.com/v.mp4"),
                         ("rId7", "http://schemas.microsoft.com/office/2007/relationships/media", "../media/m.mp4"),
                         ("rId8", "oleObject", "../embeddings/o.bin"), ("rId9", "package", "../embeddings/p.xlsx"),
                         ("rId10", "notesSlide", "../notesSlides/notesSlide1.xml"),
                         ("rId11", "notesSlide", "../notesSlides/notesSlide2.xml")],
                     2: [("rId1", "notesSlide", "../notesSlides/missing.xml"),
                         ("rId2", "notesSlide", "../notesSlides/notesSlide2.xml")],
                     3: [("rId1", "notesSlide", "../notesSlides/notesSlide3.xml")]}
    extra = [Entry("ppt/notesSlides/notesSlide1.xml", notes.encode()),
             Entry("ppt/notesSlides/notesSlide2.xml", other_notes.encode()),
             # an entry this reader cannot open reads as no notes, not as a failure
             Entry("ppt/notesSlides/notesSlide3.xml", notes.encode(), zipfile.ZIP_BZIP2)]
    slides = [slide_xml(after_tree="<p:transition/>"),
              slide_xml(after_tree="<p:timing><p:tnLst/></p:timing>"),
              slide_xml(after_tree="<mc:transition/>"),
              # the element test stops at the first XML error, like every scan
              slide_xml(sp("<a:p><a:r><a:t>a & b</a:t></a:r></a:p>"), after_tree="<p:transition/>")]
    path = package(tmp_path, slides, {n: r for n, r in relationships.items()}, extra)
    summaries = [json.loads(vn.summarize_slide_at_index_json(str(path), i)) for i in range(4)]
    first = summaries[0]
    assert first["part"] == "ppt/slides/slide1.xml"
    assert first["relationships"][1] == {"id": "rId2", "relationship_type": REL + "image",
                                         "target": "../media/image1.png", "target_mode": None}
    ids = {key: [r["id"] for r in first[key]] for key in
           ["image_relationships", "chart_relationships", "comment_relationships", "media_relationships",
            "ole_relationships"]}
    assert ids == {"image_relationships": ["rId2"], "chart_relationships": ["rId3"],
                   "comment_relationships": ["rId4", "rId5"], "media_relationships": ["rId6", "rId7"],
                   "ole_relationships": ["rId8", "rId9"]}
    assert [s["notes"] for s in summaries] == [["First notes"], [], [], []]
    assert [(s["has_transition"], s["has_timing"]) for s in summaries] == [
        (True, False), (False, True), (True, False), (False, False)]
    assert summaries[3]["relationships"] == [] and summaries[3]["texts"] == []


def test_presentation_lists_slides_in_presentation_order(tmp_path):
    slides = [slide_xml(sp(f"<a:p><a:r><a:t>slide {n}</a:t></a:r></a:p>")) for n in (1, 2, 3)]
    path = package(tmp_path, slides, listed=[3, 1, 2], extra=[Entry("xl/vbaProject.bin", b"vba")])
    summary = json.loads(vn.summarize_presentation_json(str(path)))
    assert (summary["path"], summary["slide_count"], summary["has_vba"]) == (str(path), 3, True)
    assert [(s["part"], s["texts"]) for s in summary["slides"]] == [
        ("ppt/slides/slide3.xml", ["slide 3"]), ("ppt/slides/slide1.xml", ["slide 1"]),
        ("ppt/slides/slide2.xml", ["slide 2"])]
    assert list(summary) == ["path", "slide_count", "slides", "has_vba"]
    assert json.loads(vn.summarize_slide_at_index_json(str(path), 0)) == summary["slides"][0]

    empty = json.loads(vn.summarize_presentation_json(str(package(tmp_path, [], name="empty.pptx"))))
    assert empty == {"path": str(tmp_path / "empty.pptx"), "slide_count": 0, "slides": [], "has_vba": False}
    assert vn.summarize_presentation_json(str(tmp_path / "empty.pptx")).endswith('"slides": [],\n  "has_vba": false\n}')


def test_failures(tmp_path):
    path = package(tmp_path, [slide_xml()], extra=[Entry("docProps/thumb.bin", b"x" * 100, zipfile.ZIP_BZIP2)])
    cases = [
        (lambda: vn.summarize_slide_at_index_json(str(path), 1), "invalid input: slide index 1 was not found"),
        (lambda: vn.summarize_slide_at_index_json(str(path), 2**64 - 1),
         f"invalid input: slide index {2**64 - 1} was not found"),
        # every entry is opened for the VBA check; one that cannot be opened fails the whole call
        (lambda: vn.summarize_presentation_json(str(path)), "zip error: "),
        (lambda: vn.summarize_presentation_json(str(tmp_path / "absent.pptx")), "io error: "),
        (lambda: vn.summarize_slide_at_index_json(str(write_zip(tmp_path / "x.pptx", [])) + "x", 0), "io error: "),
    ]
    (tmp_path / "text.pptx").write_text("not a zip")
    cases.append((lambda: vn.summarize_presentation_json(str(tmp_path / "text.pptx")), "zip error: "))
    for call, message in cases:
        with pytest.raises(RuntimeError) as info:
            call()
        assert str(info.value).startswith(message) and (message.endswith(": ") or str(info.value) == message)
    assert json.loads(vn.summarize_slide_at_index_json(str(path), 0))["part"] == "ppt/slides/slide1.xml"
    with pytest.raises(TypeError) as info:
        vn.summarize_slide_at_index_json(str(path), "0")
    assert info.value.__notes__ == ["while processing 'slide_index'"]


# ---- agreement with python-pptx ----

def trimmed_texts(element):
    """The non-empty a:t texts as the trimming reader yields them: escaped characters are
    references of their own, and every text piece loses the white space at its ends."""
    from pptx.oxml.ns import qn
    texts = []
    for t in element.iter(qn("a:t")):
        text = "".join(piece.strip(" \t\r\n") for piece in re.split(r"([&<>])", t.text or ""))
        if text:
            texts.append(text)
    return texts


def pptx_shape(shape):
    from pptx.enum.shapes import MSO_SHAPE_TYPE
    item = {"id": str(shape.shape_id), "name": shape.name}
    if shape.shape_type == MSO_SHAPE_TYPE.GROUP:
        item["children"] = [pptx_shape(child) for child in shape.shapes]
    elif shape.has_text_frame:
        paragraphs = shape.text_frame.paragraphs
        fonts = [[run.font for run in p.runs] for p in paragraphs]
        item.update(paragraphs=[p.text for p in paragraphs], runs=[[run.text for run in p.runs] for p in paragraphs],
                    bold=[[f.bold for f in p] for p in fonts], italic=[[f.italic for f in p] for p in fonts],
                    underline=[[f.underline for f in p] for p in fonts],
                    size=[[f.size.centipoints if f.size is not None else None for f in p] for p in fonts],
                    font=[[f.name for f in p] for p in fonts])
    elif getattr(shape, "has_table", False):
        item["table"] = [[cell.text for cell in row.cells] for row in shape.table.rows]
    if shape.shape_type == MSO_SHAPE_TYPE.PICTURE:
        item["image"] = shape._element.blip_rId
    return item


def our_shape(shape):
    item = {"id": shape["id"], "name": shape["name"]}
    if shape["kind"] == "group":
        item["children"] = [our_shape(child) for child in shape["children"]]
    elif shape["kind"] == "shape":
        item.update(paragraphs=shape["paragraphs"], runs=shape["paragraph_runs"], bold=shape["paragraph_run_bold"],
                    italic=shape["paragraph_run_italic"], underline=shape["paragraph_run_underline"],
                    size=shape["paragraph_run_font_size"], font=shape["paragraph_run_font_name"])
    elif shape["tables"]:
        item["table"] = shape["tables"][0]["rows"]
    if shape["kind"] == "picture":
        item["image"] = shape["relationship_ids"][0]
    return item


def test_agrees_with_python_pptx_on_a_generated_deck(tmp_path):
    from pptx import Presentation
    path = rich_pptx(tmp_path / "rich.pptx", slides=3)
    text = vn.summarize_presentation_json(str(path))
    summary = json.loads(text)
    # the pretty-printing conventions coincide with json.dumps at indent 2
    assert text == json.dumps(summary, indent=2, ensure_ascii=False)
    deck = Presentation(str(path))
    assert summary["slide_count"] == len(deck.slides) == 3
    for ours, slide in zip(summary["slides"], deck.slides):
        assert ours["part"] == slide.part.partname.lstrip("/")
        assert [our_shape(s) for s in ours["shapes"]] == [pptx_shape(s) for s in slide.shapes]
        assert ours["texts"] == trimmed_texts(slide._element)
        notes = slide.notes_slide
        assert ours["notes"] == trimmed_texts(notes._element)
        assert notes.notes_text_frame.text.split("\n") == ours["notes"][:2]
        assert {(r["id"], r["relationship_type"], r["target"]) for r in ours["relationships"]} == {
            (rid, rel.reltype, rel.target_ref) for rid, rel in slide.part.rels.items()}
        assert [r["id"] for r in ours["image_relationships"]] == [
            rid for rid, rel in slide.part.rels.items() if rel.reltype.endswith("/image")]
    # what the generated deck holds, so the comparison above covers it
    shapes = summary["slides"][0]["shapes"]
    text_box = shapes[1]
    assert text_box["paragraph_line_breaks"][1] == [1] and text_box["paragraph_fields"][2][0]["text"] == "1"
    assert [s["kind"] for s in shapes] == ["shape", "shape", "graphic_frame", "group", "picture"]
    assert [c["kind"] for c in shapes[3]["children"]] == ["shape", "group"]
    assert [c["kind"] for c in shapes[3]["children"][1]["children"]] == ["shape", "picture"]
