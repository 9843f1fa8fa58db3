#include "text_rewrite.hpp"

#include <gtest/gtest.h>

#include <string>

#include "table_rewrite.hpp"

namespace varnex {
namespace {

std::string sp(std::string_view body) { return "<p:sp><p:nvSpPr/>" + std::string(body) + "</p:sp>"; }
std::string slide(std::string_view tree) {
    return "<?xml version='1.0'?>\n<p:sld xmlns:a='a' xmlns:p='p'><p:cSld><p:spTree>" + std::string(tree) +
           "</p:spTree></p:cSld></p:sld>";
}

void expect_rewrite(const Result<SlideRewrite>& result, std::string_view xml, std::uint64_t count,
                    std::string_view context = {}) {
    ASSERT_TRUE(result) << context << ": " << result.error().display();
    EXPECT_EQ(result->xml, xml) << context;
    EXPECT_EQ(result->count, count) << context;
}

void expect_error(const Result<SlideRewrite>& result, ErrorKind kind, std::string_view message = {}) {
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, kind);
    if (!message.empty()) EXPECT_EQ(result.error().message, message);
}

TEST(ReplaceTextNodes, MatchesWithinOneTextNodeLeftToRight) {
    struct Case {
        std::string_view xml, search, replacement, expected;
        std::uint64_t count;
    };
    const Case cases[] = {
        {"<a:r><a:t>Hel</a:t></a:r><a:r><a:t>lo</a:t></a:r>", "Hello", "X",
         "<a:r><a:t>Hel</a:t></a:r><a:r><a:t>lo</a:t></a:r>", 0},
        {"<a:t>aaa</a:t>", "aa", "X", "<a:t>Xa</a:t>", 1},
        {"<a:t>ABBA</a:t>", "B", "b", "<a:t>AbbA</a:t>", 2},
        // references are separate events: a phrase around one is not found, a piece is
        {"<a:t>Tom &amp; Jerry</a:t>", "Jerry", "Spike", "<a:t>Tom &amp; Spike</a:t>", 1},
        {"<a:t>Tom &amp; Jerry</a:t>", "Tom & Jerry", "X", "<a:t>Tom &amp; Jerry</a:t>", 0},
        // a node that receives a replacement is escaped whole; others keep their bytes
        {"<a:t>x>\"y</a:t><a:t>>\"x</a:t>", "y", "<&'", "<a:t>x&gt;&quot;&lt;&amp;&apos;</a:t><a:t>>\"x</a:t>", 1},
        // only text inside t elements
        {"<p:cNvPr name=\"x\"/><a:p>x<a:t>x</a:t>x<!--x--><![CDATA[x]]></a:p>", "x", "Y",
         "<p:cNvPr name=\"x\"/><a:p>x<a:t>Y</a:t>x<!--x--><![CDATA[x]]></a:p>", 1},
        {"<a:t>x</a:t>", "", "Y", "<a:t>x</a:t>", 0},
        {"<a:t>x</a:t>", "x", "", "<a:t></a:t>", 1},
    };
    for (const auto& c : cases)
        expect_rewrite(replace_text_nodes(slide(c.xml), c.search, c.replacement), slide(c.expected), c.count, c.xml);
}

TEST(ReplaceTextNodes, MalformedXmlAndUndecodableTextFail) {
    expect_error(replace_text_nodes("<a:t>x</a:r>", "x", "y"), ErrorKind::Xml);
    expect_error(replace_text_nodes("<a:t>x &bogus</a:t>", "x", "y"), ErrorKind::Xml);
    expect_error(replace_text_nodes("<a:t>x\xFF</a:t>", "x", "y"), ErrorKind::XmlTextDecode);
}

TEST(SetShapeText, ReplacesEveryParagraphOfTheChosenShape) {
    const std::string pic = "<p:pic><p:nvPicPr/></p:pic>";
    const std::string three = sp("<p:txBody><a:bodyPr/>\n<a:lstStyle/><a:p><a:r><a:t>1</a:t></a:r></a:p>"
                                 "<a:p/><a:p><a:pPr algn='r'/></a:p>\n</p:txBody>");
    const std::string group = "<p:grpSp><p:grpSpPr/>" + sp("<p:txBody><a:bodyPr/><a:p/></p:txBody>") + "</p:grpSp>";
    const std::string no_body = "<p:sp><p:spPr/></p:sp>";
    const std::string empty_body = sp("<p:txBody><a:bodyPr/></p:txBody>");
    const std::string xml = slide(pic + three + group + no_body + "<p:sp/>" + empty_body);
    const std::string two = "<a:p><a:r><a:t>One</a:t></a:r></a:p><a:p><a:r><a:t>Two</a:t></a:r></a:p>";

    // shape 0 is the first sp, after the picture; body parts and white space stay
    expect_rewrite(set_shape_text_at_index_in_slide(xml, 0, "One\nTwo"),
                   slide(pic + sp("<p:txBody><a:bodyPr/>\n<a:lstStyle/>\n" + two + "</p:txBody>") + group + no_body +
                         "<p:sp/>" + empty_body),
                   3);
    // a shape inside a group counts in document order
    expect_rewrite(set_shape_text_at_index_in_slide(xml, 1, "One\nTwo"),
                   slide(pic + three + "<p:grpSp><p:grpSpPr/>" + sp("<p:txBody><a:bodyPr/>" + two + "</p:txBody>") +
                         "</p:grpSp>" + no_body + "<p:sp/>" + empty_body),
                   1);
    // no text body: unchanged; the self-closing sp is not counted; a body without paragraphs reports 1
    expect_rewrite(set_shape_text_at_index_in_slide(xml, 2, "x"), xml, 0);
    expect_rewrite(set_shape_text_at_index_in_slide(xml, 3, "x"),
                   slide(pic + three + group + no_body + "<p:sp/>" +
                         sp("<p:txBody><a:bodyPr/><a:p><a:r><a:t>x</a:t></a:r></a:p></p:txBody>")),
                   1);
    expect_rewrite(set_shape_text_at_index_in_slide(xml, 4, "x"), xml, 0);
}

TEST(SetShapeText, EndOfInputInsideTheBodyFails) {
    const std::string_view message = "unexpected end of XML while rewriting text body";
    expect_error(set_shape_text_at_index_in_slide("<p:sp><p:txBody><a:bodyPr/>", 0, "x"), ErrorKind::XmlTextDecode,
                 message);
    expect_error(set_shape_text_at_index_in_slide("<p:sp><p:txBody><a:p><a:r>", 0, "x"), ErrorKind::XmlTextDecode,
                 message);
    // outside the target body the end of input is not an error
    expect_rewrite(set_shape_text_at_index_in_slide("<p:sp><p:txBody><a:p>", 1, "x"), "<p:sp><p:txBody><a:p>", 0);
    expect_error(set_shape_text_at_index_in_slide("<p:sp><p:txBody></p:sp>", 0, "x"), ErrorKind::Xml);
}

TEST(SetParagraphText, FirstTextNodeReceivesTheTextLaterOnesAreEmptied) {
    const std::string runs = "<a:p><a:pPr lvl=\"1\"/><a:r><a:rPr b='1'/><a:t>Hel</a:t></a:r> <a:r><a:rPr i='1'/>"
                             "<a:t xml:space=\"preserve\">lo</a:t></a:r><a:endParaRPr/></a:p>";
    const std::string other = "<a:p><a:r><a:t>keep</a:t></a:r></a:p>";
    const std::string xml = slide(sp("<p:txBody>" + other + runs + "</p:txBody>") +
                                  sp("<p:txBody>" + runs + "</p:txBody>"));
    const std::string set = "<a:p><a:pPr lvl=\"1\"/><a:r><a:rPr b='1'/><a:t>N&lt;w</a:t></a:r> <a:r><a:rPr i='1'/>"
                            "<a:t xml:space=\"preserve\"></a:t></a:r><a:endParaRPr/></a:p>";
    expect_rewrite(set_shape_paragraph_text_at_index_in_slide(xml, 0, 1, "N<w"),
                   slide(sp("<p:txBody>" + other + set + "</p:txBody>") + sp("<p:txBody>" + runs + "</p:txBody>")), 2);
    expect_rewrite(set_shape_paragraph_text_at_index_in_slide(xml, 1, 0, "N<w"),
                   slide(sp("<p:txBody>" + other + runs + "</p:txBody>") + sp("<p:txBody>" + set + "</p:txBody>")), 2);
    // paragraphs or shapes that do not exist, and paragraphs with only empty text elements
    expect_rewrite(set_shape_paragraph_text_at_index_in_slide(xml, 1, 1, "x"), xml, 0);
    expect_rewrite(set_shape_paragraph_text_at_index_in_slide(xml, 2, 0, "x"), xml, 0);
    const std::string empty = slide(sp("<p:txBody><a:p><a:r><a:t></a:t></a:r><a:r><a:t/></a:r><a:br/></a:p></p:txBody>"));
    expect_rewrite(set_shape_paragraph_text_at_index_in_slide(empty, 0, 0, "x"), empty, 0);
}

// The old text of the target includes its references: they go with it, wherever they stand,
// while references outside the target keep their bytes.
TEST(SetParagraphText, ReferencesInTheTargetGoWithTheOldText) {
    struct Case {
        std::string_view runs, expected;
        std::uint64_t count;
    };
    const Case cases[] = {
        {"<a:r><a:t>Tom &amp; Jerry</a:t></a:r>", "<a:r><a:t>New</a:t></a:r>", 2},
        {"<a:r><a:t>&lt;Tom</a:t></a:r>", "<a:r><a:t>New</a:t></a:r>", 1},
        {"<a:r><a:t>Tom&#38;</a:t></a:r><a:r><a:t>&#x26;Jerry&amp;</a:t></a:r>",
         "<a:r><a:t>New</a:t></a:r><a:r><a:t></a:t></a:r>", 2},
        {"<a:r><a:t>&amp;</a:t></a:r><a:r><a:t>Jerry</a:t></a:r>", "<a:r><a:t></a:t></a:r><a:r><a:t>New</a:t></a:r>",
         1},
        {"<a:r><a:t><![CDATA[Tom]]>&amp;Jerry</a:t></a:r>", "<a:r><a:t>New</a:t></a:r>", 1},
        // text made only of references still receives the new text, where the first one was
        {"<a:r><a:t>&lt;&#62;</a:t></a:r><a:r><a:t>&amp;</a:t></a:r>", "<a:r><a:t>New</a:t></a:r><a:r><a:t></a:t></a:r>",
         1},
    };
    const std::string neighbour = "<a:p><a:r><a:t>A &amp; B&#x2014;&#169;</a:t></a:r></a:p>";
    for (const auto& c : cases) {
        const auto shape = [&](std::string_view runs) {
            return sp("<p:txBody>" + neighbour + "<a:p>" + std::string(runs) + "</a:p>" + neighbour + "</p:txBody>");
        };
        expect_rewrite(set_shape_paragraph_text_at_index_in_slide(slide(shape(c.runs)), 0, 1, "New"),
                       slide(shape(c.expected)), c.count, c.runs);
    }
}

TEST(ReplaceTextRun, CountsRunsOverTheSlideAndKeepsRunProperties) {
    const std::string first = sp("<p:txBody><a:p><a:r><a:rPr lang=\"en-US\"/><a:t>a &amp; b</a:t></a:r></a:p></p:txBody>");
    const std::string second = sp("<p:txBody><a:p><a:r><a:rPr sz='1200'/><a:t>c</a:t></a:r><a:r k=\"v\"/></a:p></p:txBody>");
    const std::string xml = slide(first + second);
    expect_rewrite(replace_text_run_at_index_in_slide(xml, 1, "N&w"),
                   slide(first + sp("<p:txBody><a:p><a:r><a:rPr sz='1200'/><a:t>N&amp;w</a:t></a:r><a:r k=\"v\"/>"
                                    "</a:p></p:txBody>")),
                   1);
    expect_rewrite(replace_text_run_at_index_in_slide(xml, 2, "x"),
                   slide(first + sp("<p:txBody><a:p><a:r><a:rPr sz='1200'/><a:t>c</a:t></a:r><a:r k=\"v\"><a:t>x</a:t>"
                                    "</a:r></a:p></p:txBody>")),
                   1);
    expect_rewrite(replace_text_run_at_index_in_slide(xml, 3, "x"), xml, 0);
    expect_error(replace_text_run_at_index_in_slide("<a:r><a:t>x</a:r>", 0, "y"), ErrorKind::Xml);
}

std::string cell(std::string_view paragraphs, std::string_view attributes = "") {
    return "<a:tc" + std::string(attributes) + "><a:txBody><a:bodyPr/>" + std::string(paragraphs) +
           "</a:txBody><a:tcPr/></a:tc>";
}
std::string table(std::initializer_list<std::initializer_list<std::string>> rows) {
    std::string xml = "<p:graphicFrame><a:graphic><a:graphicData><a:tbl><a:tblGrid/>";
    for (const auto& row : rows) {
        xml += "<a:tr h=\"1\">";
        for (const auto& c : row) xml += c;
        xml += "</a:tr>";
    }
    return xml + "</a:tbl></a:graphicData></a:graphic></p:graphicFrame>";
}

TEST(ReplaceTableCellText, FirstTextNodeOfTheCellReceivesTheText) {
    const std::string old_run = cell("<a:p><a:r><a:rPr b=\"1\"/><a:t>old</a:t></a:r></a:p>");
    const std::string two = cell("<a:p><a:r><a:t>a</a:t></a:r></a:p><a:p><a:r><a:t>b</a:t></a:r></a:p>");
    const std::string fresh = cell("<a:p><a:r><a:t></a:t></a:r></a:p>");
    const std::string no_text = cell("<a:p><a:endParaRPr/></a:p>");
    const std::string self_closing = cell("<a:p><a:r><a:t/></a:r></a:p>");
    const std::string merged = cell("<a:p><a:r><a:t>m</a:t></a:r></a:p>", " hMerge=\"1\"");
    const std::string ref = cell("<a:p><a:r><a:t>R&amp;D</a:t></a:r><a:r><a:t>&#x26;</a:t></a:r></a:p>");
    const std::string only_ref = cell("<a:p><a:r><a:t>&lt;&#38;</a:t></a:r></a:p>");
    const std::string first = table({{old_run, two}, {fresh, no_text}});
    const std::string second = table({{self_closing, merged, ref}, {only_ref, old_run}});
    const std::string xml = slide(first + second);

    struct Case {
        std::uint64_t table, row, col;
        std::string_view text;
        std::string expected;
        std::uint64_t count;
    };
    const Case cases[] = {
        {0, 0, 0, "N\n<", table({{cell("<a:p><a:r><a:rPr b=\"1\"/><a:t>N\n&lt;</a:t></a:r></a:p>"), two},
                                  {fresh, no_text}}) + second, 1},
        {0, 0, 1, "x", table({{old_run, cell("<a:p><a:r><a:t>x</a:t></a:r></a:p><a:p><a:r><a:t></a:t></a:r></a:p>")},
                              {fresh, no_text}}) + second, 1},
        {0, 1, 0, "x", table({{old_run, two}, {cell("<a:p><a:r><a:t>x</a:t></a:r></a:p>"), no_text}}) + second, 1},
        {0, 1, 1, "x", {}, 0},
        {1, 0, 0, "x", {}, 0},
        {0, 0, 2, "x", {}, 0},
        {2, 0, 0, "x", {}, 0},
        {1, 0, 1, "x", first + table({{self_closing, cell("<a:p><a:r><a:t>x</a:t></a:r></a:p>", " hMerge=\"1\""), ref},
                                      {only_ref, old_run}}), 1},
        // the cell's references go with its old text; those of other cells stay
        {1, 0, 2, "Lab", first + table({{self_closing, merged,
                                         cell("<a:p><a:r><a:t>Lab</a:t></a:r><a:r><a:t></a:t></a:r></a:p>")},
                                        {only_ref, old_run}}), 1},
        {1, 1, 0, "Lab", first + table({{self_closing, merged, ref},
                                        {cell("<a:p><a:r><a:t>Lab</a:t></a:r></a:p>"), old_run}}), 1},
    };
    for (const auto& c : cases) {
        const std::string expected = c.count == 0 ? xml : slide(c.expected);
        expect_rewrite(replace_table_cell_text_in_slide(xml, c.table, c.row, c.col, c.text), expected, c.count,
                       std::to_string(c.table) + "," + std::to_string(c.row) + "," + std::to_string(c.col));
    }
}

TEST(ReplaceTableCellText, SeveralCellsInOnePass) {
    const std::string a = cell("<a:p><a:r><a:t>a</a:t></a:r></a:p>");
    const std::string xml = slide(table({{a, a}}) + table({{a}}));
    const std::string x = cell("<a:p><a:r><a:t>x</a:t></a:r></a:p>");
    const std::string y = cell("<a:p><a:r><a:t>y</a:t></a:r></a:p>");
    const TableCellTexts texts = {{{0, 0, 1}, "x"}, {{1, 0, 0}, "y"}, {{1, 5, 0}, "z"}};
    expect_rewrite(replace_table_cell_texts_in_slide(xml, texts), slide(table({{a, x}}) + table({{y}})), 2);
    expect_error(replace_table_cell_text_in_slide("<a:tbl><a:tr></a:tbl>", 0, 0, 0, "x"), ErrorKind::Xml);
}

}  // namespace
}  // namespace varnex
