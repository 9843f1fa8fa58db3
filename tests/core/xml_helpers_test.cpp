#include "xml_helpers.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "sample_slide_xml.hpp"

namespace varnex::xml {
namespace {

constexpr auto none = std::nullopt;

// The first start or empty tag of the text, as an event.
Event first_tag(std::string_view text) {
    Reader reader(text);
    for (auto e = reader.next(); e && e->kind != EventKind::Eof; e = reader.next())
        if (e->is_start_like()) return *e;
    ADD_FAILURE() << "no tag in " << text;
    return {};
}

std::string written(const OwnedTag& tag) {
    Writer writer;
    writer.write_tag(tag);
    return writer.take();
}

TEST(FindTagStart, NeedsATagBoundaryAfterTheName) {
    struct Case {
        std::string_view text;
        std::size_t start;
        std::optional<std::size_t> found;
    };
    const Case cases[] = {
        {"<p:spTree><p:spPr>", 0, none},
        {"<p:sp>", 0, 0},
        {"<p:sp/>", 0, 0},
        {"<p:spTree><p:sp\n>", 0, 10},
        {"<p:sp\t", 0, 0},
        {"<p:sp\v", 0, 0},
        {"x<p:sp", 0, none},                       // at the very end: no boundary to see
        {"<p:sp\xC2\xA0>", 0, 0},                  // U+00A0
        {"<p:sp\xE3\x80\x80>", 0, 0},              // U+3000
        {"<p:sp\xE2\x80\xA8>", 0, 0},              // U+2028
        {"<p:sp\xC3\xA9><p:sp>", 0, 8},            // é is not white space
        {"<p:sp\xE2\x80>", 0, none},               // truncated sequence is not white space
        {"<p:sp><p:sp>", 1, 6},
        {"<p:sp>", 7, none},
    };
    for (const auto& c : cases) EXPECT_EQ(find_tag_start(c.text, c.start, "p:sp"), c.found) << c.text;
}

TEST(ElementStartTag, RunsFromTheTagToItsFirstGreaterThan) {
    EXPECT_EQ(element_start_tag("<p:spTree/><p:sp id=\"1\"><x/>", "p:sp"), "<p:sp id=\"1\">");
    EXPECT_EQ(element_start_tag("<p:sp id=\"1\"", "p:sp"), none);
    EXPECT_EQ(element_start_tag("<p:spTree>", "p:sp"), none);
}

TEST(FindElementEnd, CountsNestedOpeningsOfTheSameName) {
    struct Case {
        std::string_view text;
        std::size_t start;
        std::optional<std::size_t> end;
    };
    const std::string_view nested = "<p:grpSp><p:grpSp></p:grpSp></p:grpSp>";
    const Case cases[] = {
        {nested, 0, nested.size()},
        {nested, 9, 28},
        {"<p:grpSp><p:grpSpPr/></p:grpSp>tail", 0, 31},
        // A nested self-closing element opens without closing: the outer end is never reached.
        {"<p:grpSp><p:grpSp/></p:grpSp>", 0, none},
        {"<p:grpSp><p:grpSp></p:grpSp>", 0, none},
        {"<p:grpSp>", 0, none},
        {"<p:grpSp>", 100, none},
    };
    for (const auto& c : cases) EXPECT_EQ(find_element_end(c.text, c.start, "p:grpSp"), c.end) << c.text;
}

std::string repeated(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out.append(piece);
    return out;
}

TEST(TextSearches, HostileLayoutsScanInOnePass) {
    // Each layout makes a search that restarts from scratch per step quadratic (minutes);
    // forward-only scanning keeps it to milliseconds.
    constexpr int kMany = 200000;
    const std::string nested = repeated("<a>", kMany) + repeated("</a>", kMany);
    EXPECT_EQ(find_element_end(nested, 0, "a"), nested.size());

    const std::string unclosed_tags = repeated("<p:cNvPr id=\"7\" ", kMany) + ">";
    EXPECT_EQ(max_cnvpr_id(unclosed_tags), 7u);

    const std::string many_shapes = repeated("<p:sp></p:sp>", kMany) + "<p:pic>";
    EXPECT_EQ(extract_shape_blocks(many_shapes).size(), static_cast<std::size_t>(kMany));

    const std::string alternates =
        repeated("<mc:AlternateContent><p:sp></p:sp></mc:AlternateContent><p:cxnSp></p:cxnSp>", kMany / 4);
    EXPECT_EQ(extract_shape_blocks(alternates).size(), static_cast<std::size_t>(kMany / 4));
}

TEST(ReplaceElement, ReplacesSelfClosingOrThroughTheEndTag) {
    struct Case {
        std::string_view text;
        std::string_view result;
    };
    const Case cases[] = {
        {"<a:p><a:bodyPr/><a:bodyPr/></a:p>", "<a:p>NEW<a:bodyPr/></a:p>"},
        {"x<a:bodyPr wrap=\"none\"><a:spAutoFit/></a:bodyPr>y", "xNEWy"},
        {"<a:bodyPrX/>", "NEW"},  // the start is a plain search without a boundary
        {"<a:p/>", "<a:p/>"},
        {"<a:bodyPr", "<a:bodyPr"},
        {"<a:bodyPr>open", "<a:bodyPr>open"},
    };
    for (const auto& c : cases) EXPECT_EQ(replace_element(c.text, "a:bodyPr", "NEW"), c.result) << c.text;
}

TEST(InsertBefore, UsesTheLastMarkerOrFails) {
    EXPECT_EQ(*insert_before("<t></p:spTree></p:spTree>", "</p:spTree>", "<x/>"), "<t></p:spTree><x/></p:spTree>");
    const auto missing = insert_before("<t/>", "</p:spTree>", "<x/>");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, ErrorKind::XmlTextDecode);
    EXPECT_EQ(missing.error().message, "expected closing marker </p:spTree>");
}

TEST(AttributeValue, FirstPlainPatternRawValue) {
    struct Case {
        std::string_view text;
        std::optional<std::string_view> value;
    };
    const Case cases[] = {
        {"<p:cNvPr id=\"7\" name=\"a\"/>", "7"},
        {"<p:nvPr spid=\"3\" id=\"9\"/>", "3"},  // no word boundary
        {"<x id=\"a&amp;b\"/>", "a&amp;b"},
        {"<x id='7'/>", none},
        {"<x id = \"7\"/>", none},
        {"<x id=\"open", none},
        {"<x id=\"\"/>", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(attribute_value(c.text, "id"), c.value) << c.text;
        EXPECT_EQ(extract_string_attribute(c.text, "id"),
                  c.value ? std::optional<std::string>(std::string(*c.value)) : none);
    }
}

TEST(AttributeI64, ParsesSignedDecimals) {
    struct Case {
        std::string_view text;
        std::optional<std::int64_t> value;
    };
    const Case cases[] = {
        {"<a:off x=\"-914400\"/>", -914400},
        {"<a:off x=\"+12\"/>", 12},
        {"<a:off x=\"-9223372036854775808\"/>", std::numeric_limits<std::int64_t>::min()},
        {"<a:off x=\"9223372036854775807\"/>", std::numeric_limits<std::int64_t>::max()},
        {"<a:off x=\"9223372036854775808\"/>", none},
        {"<a:off x=\"18.5\"/>", none},
        {"<a:off x=\"\"/>", none},
        {"<a:off y=\"1\"/>", none},
    };
    for (const auto& c : cases) EXPECT_EQ(attribute_i64(c.text, "x"), c.value) << c.text;
}

TEST(DecimalParsers, AcceptOnlyAsciiDigitsWithinRange) {
    struct U64 {
        std::string_view text;
        std::optional<std::uint64_t> value;
    };
    const U64 u64_cases[] = {
        {"0", 0}, {"+7", 7}, {"007", 7}, {"18446744073709551615", std::numeric_limits<std::uint64_t>::max()},
        {"18446744073709551616", none}, {"", none}, {"+", none}, {"-1", none}, {"1 ", none}, {" 1", none},
        {"++1", none}, {"\xD9\xA1", none},  // Arabic-Indic digit one
    };
    for (const auto& c : u64_cases) EXPECT_EQ(parse_u64_decimal(c.text), c.value) << c.text;
    struct I64 {
        std::string_view text;
        std::optional<std::int64_t> value;
    };
    const I64 i64_cases[] = {
        {"-0", 0}, {"-", none}, {"-+1", none}, {"+-1", none}, {"-9223372036854775809", none}, {"--1", none},
    };
    for (const auto& c : i64_cases) EXPECT_EQ(parse_i64_decimal(c.text), c.value) << c.text;
}

TEST(ElementPrefix, KeepsTheColon) {
    EXPECT_EQ(element_prefix("p:sp"), "p:");
    EXPECT_EQ(element_prefix("sp"), "");
    EXPECT_EQ(element_prefix("a:b:c"), "a:b:");
}

TEST(MaxCnvprId, LargestParsableIdInsideTheTag) {
    struct Case {
        std::string_view text;
        std::uint64_t id;
    };
    const Case cases[] = {
        {"<p:cNvPr id=\"2\"/><p:cNvPr id=\"10\" name=\"x\"/><p:cNvPr id=\"x\"/>", 10},
        {"<p:sp/>", 0},
        {"<p:cNvPr name=\"a\"/><x id=\"99\"/>", 0},           // the id must be inside the tag
        {"<p:cNvPr id=\"5\"/><p:cNvPr id=\"99999999999999999999\"/>", 5},
        {"<p:cNvPr id=\"+8\"/><p:cNvPr id=\"-9\"/>", 8},
        {"<p:cNvPr spid=\"40\" id=\"4\"/>", 40},              // first pattern, no word boundary
        {"<p:cNvPr id=\"3", 0},
        {varnex::testing::kSampleSlideXml, 12},
    };
    for (const auto& c : cases) EXPECT_EQ(max_cnvpr_id(c.text), c.id) << c.text;
}

TEST(ShapeNames, ExactlyTheFiveShapeTreeShapes) {
    for (const std::string_view name : {"sp", "pic", "cxnSp", "grpSp", "graphicFrame"}) {
        EXPECT_TRUE(is_shape_element_name(name));
        EXPECT_TRUE(is_shape_tree_shape(name));
    }
    for (const std::string_view name : {"p:sp", "spTree", "Sp", "", "graphicframe", "contentPart"}) {
        EXPECT_FALSE(is_shape_element_name(name));
        EXPECT_FALSE(is_shape_tree_shape(name));
    }
}

TEST(FindNextShapeStart, EarliestOfTheFiveNamesWithinTheRange) {
    const std::string_view text = "<p:spTree><p:pic/><p:sp>";
    const auto first = find_next_shape_start(text, 0, text.size());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->offset, 10u);
    EXPECT_EQ(first->name, "p:pic");
    const auto second = find_next_shape_start(text, 11, text.size());
    ASSERT_TRUE(second);
    EXPECT_EQ(second->offset, 18u);
    EXPECT_EQ(second->name, "p:sp");
    EXPECT_FALSE(find_next_shape_start(text, 11, 20));
    EXPECT_FALSE(find_next_shape_start("<p:spTree><x:sp>", 0, 16));
}

TEST(ExtractShapeBlocks, TopLevelShapesSkippingAlternateContent) {
    const std::string_view sp = "<p:sp><p:nvSpPr/></p:sp>";
    const std::string_view grp = "<p:grpSp><p:sp/><p:pic></p:pic><p:sp></p:sp></p:grpSp>";
    const std::string text = std::string("<p:spTree><p:nvGrpSpPr/>") + std::string(sp) +
                             "<mc:AlternateContent><mc:Choice><p:sp></p:sp></mc:Choice></mc:AlternateContent>" +
                             std::string(grp) + "</p:spTree>";
    EXPECT_EQ(extract_shape_blocks(text), (std::vector<std::string_view>{sp, grp}));

    const auto slide_blocks = extract_shape_blocks(varnex::testing::kSampleSlideXml);
    ASSERT_EQ(slide_blocks.size(), 4u);
    EXPECT_TRUE(slide_blocks[0].starts_with("<p:sp>") && slide_blocks[0].ends_with("</p:sp>"));
    EXPECT_TRUE(slide_blocks[2].starts_with("<p:graphicFrame>") && slide_blocks[2].ends_with("</p:graphicFrame>"));
    EXPECT_TRUE(slide_blocks[3].starts_with("<p:grpSp>") && slide_blocks[3].ends_with("</p:grpSp>"));

    // A shape that never closes ends the list; shapes before it are kept.
    EXPECT_EQ(extract_shape_blocks("<p:sp></p:sp><p:pic><p:sp></p:sp>"), (std::vector<std::string_view>{"<p:sp></p:sp>"}));
    EXPECT_TRUE(extract_shape_blocks("<mc:AlternateContent><p:sp></p:sp>").empty());
}

TEST(Utf8Lossy, ReplacesEachInvalidSequence) {
    EXPECT_EQ(utf8_lossy("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(utf8_lossy("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(utf8_lossy("\xE2\x82"), "\xEF\xBF\xBD");          // truncated: one replacement
    EXPECT_EQ(utf8_lossy("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogate
    EXPECT_EQ(utf8_lossy("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong
}

TEST(UnescapeAttributeValue, DecodesPredefinedAndCharacterReferences) {
    struct Case {
        std::string_view raw;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        {"a&amp;b&lt;&gt;&quot;&apos;", "a&b<>\"'"},
        {"&#65;&#x42;&#x2014;&#x1F600;", "AB\xE2\x80\x94\xF0\x9F\x98\x80"},
        {"plain", "plain"},
        {"", ""},
        {"&nbsp;", none},
        {"a & b", none},
        {"&amp", none},
        {"&#xD800;", none},
        {"&#0;", none},
        {"&#x110000;", none},
        {"&#99999999999999999999;", none},
        {"&#;", none},
        {"&#x;", none},
    };
    for (const auto& c : cases) EXPECT_EQ(unescape_attribute_value(c.raw), c.value) << c.raw;
}

TEST(HasElement, MatchesLocalNamesAndStopsAtErrors) {
    EXPECT_TRUE(has_element("<p:sld><p:cSld><a:tbl/></p:cSld></p:sld>", "tbl"));
    EXPECT_TRUE(has_element("<x:tbl>", "tbl"));
    EXPECT_FALSE(has_element("<a:tblPr/></a:tblPr>", "tbl"));
    EXPECT_FALSE(has_element("<a:p></a:r><a:tbl/>", "tbl"));  // reader error first
    EXPECT_FALSE(has_element("", "tbl"));
}

TEST(SkipCurrentElement, StopsAfterTheMatchingEnd) {
    Reader reader("<a><b><b/><c>t</c></b><d/></a>");
    ASSERT_TRUE(reader.next());
    const auto b = reader.next();
    ASSERT_TRUE(b);
    ASSERT_TRUE(skip_current_element(reader));
    const auto after = reader.next();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->name, "d");

    Reader truncated("<a><b>text");
    ASSERT_TRUE(truncated.next());
    const auto eof = skip_current_element(truncated);
    ASSERT_FALSE(eof);
    EXPECT_EQ(eof.error().kind, ErrorKind::XmlTextDecode);
    EXPECT_EQ(eof.error().message, "unexpected end of XML while skipping element");

    Reader broken("<a><b></c>");
    ASSERT_TRUE(broken.next());
    const auto bad = skip_current_element(broken);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().kind, ErrorKind::Xml);
}

TEST(EventAttributes, RawAndNumericReaders) {
    const Event off = first_tag("<a:off x=\"914400\" y='+5' a:x=\"1\" bad=\"-3\" amp=\"&amp;\" u=\"\xFF\"/>");
    EXPECT_EQ(raw_attribute(off, "x"), "914400");
    EXPECT_EQ(raw_attribute(off, "a:x"), "1");
    EXPECT_EQ(raw_attribute(off, "amp"), "&amp;");
    EXPECT_EQ(raw_attribute(off, "u"), "\xEF\xBF\xBD");
    EXPECT_EQ(raw_attribute(off, "X"), none);
    EXPECT_EQ(extract_u64_attr(off, "x"), 914400u);
    EXPECT_EQ(extract_u64_attr(off, "y"), 5u);
    EXPECT_EQ(extract_u64_attr(off, "bad"), none);
    EXPECT_EQ(extract_u64_attr(off, "missing"), none);
    EXPECT_EQ(drawingml_attribute(off, "x"), 914400u);
}

TEST(EventText, LineEndsNormalisedAndReferencesDecoded) {
    Reader reader("<t>a\r\nb\rc\n\r\r\nd</t>");
    ASSERT_TRUE(reader.next());
    const auto text = reader.next();
    ASSERT_TRUE(text);
    EXPECT_EQ(xml_text_content(*text), "a\nb\nc\n\n\nd");

    struct Case {
        std::string_view reference;
        std::string content;
    };
    const Case cases[] = {
        {"&#x41;", "A"}, {"&#65;", "A"}, {"&#x2014;", "\xE2\x80\x94"}, {"&amp;", "&"}, {"&lt;", "<"},
        {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&nbsp;", "&nbsp;"}, {"&#xD800;", "&#xD800;"},
        {"&#0;", "&#0;"},
    };
    for (const auto& c : cases) {
        Reader r(c.reference);
        const auto e = r.next();
        ASSERT_TRUE(e);
        ASSERT_EQ(e->kind, EventKind::Reference);
        EXPECT_EQ(xml_reference_content(*e), c.content) << c.reference;
    }
}

TEST(RewriteAttributes, ReplaceKeepAppendAndRemove) {
    const Event rel = first_tag("<Relationship Id='rId1' Type=\"t\" Target='a \"b\".xml' TargetMode=\"External\"/>");

    EXPECT_EQ(written(rewrite_event_attributes(rel, {{"Target", "x&y<'z'>.xml"}, {"New", "1"}, {"New", "2"}})),
              "<Relationship Id=\"rId1\" Type=\"t\" Target=\"x&amp;y&lt;&apos;z&apos;&gt;.xml\" "
              "TargetMode=\"External\" New=\"1\"/>");
    EXPECT_EQ(written(with_raw_attributes(rel, {{"Type", "a&amp;b"}, {"Extra", "&lt;"}})),
              "<Relationship Id=\"rId1\" Type=\"a&amp;b\" Target=\"a &quot;b&quot;.xml\" TargetMode=\"External\" "
              "Extra=\"&lt;\"/>");
    EXPECT_EQ(written(rewrite_event_optional_attributes(rel, {{"TargetMode", none}, {"Gone", none}, {"Id", "rId9"}})),
              "<Relationship Id=\"rId9\" Type=\"t\" Target=\"a &quot;b&quot;.xml\"/>");

    const Event start = first_tag("<a:rPr lang=\"en-US\" b=\"1\">");
    const OwnedTag tag = rewrite_event_optional_attributes(start, {{"b", none}, {"sz", "1800"}});
    EXPECT_FALSE(tag.empty);
    EXPECT_EQ(written(tag), "<a:rPr lang=\"en-US\" sz=\"1800\">");
}

}  // namespace
}  // namespace varnex::xml
