#include "text_xml_helpers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace varnex {
namespace {

using Spacing = ParagraphSpacingValue;

std::string written(const std::function<void(xml::Writer&)>& write) {
    xml::Writer writer;
    write(writer);
    return writer.take();
}

// The first start or empty tag of `xml` as an event (views into `xml`).
xml::Event first_tag(std::string_view xml) {
    xml::Reader reader(xml);
    for (auto event = reader.next(); event && event->kind != xml::EventKind::Eof; event = reader.next())
        if (event->is_start_like()) return *event;
    ADD_FAILURE() << "no tag in " << xml;
    return {};
}

// A run as write_replaced_run_body leaves it: the start tag copied, the body rewritten, and
// whatever follows the run copied after it.
std::string replaced_run(std::string_view xml, std::string_view text) {
    xml::Reader reader(xml);
    xml::Writer writer;
    const auto start = reader.next();
    EXPECT_TRUE(start);
    writer.write(*start);
    EXPECT_TRUE(write_replaced_run_body(reader, writer, *start, text));
    writer.write_raw(xml.substr(reader.offset()));
    return writer.take();
}

TEST(ReplacementParagraphs, OneParagraphPerLineWithOneRunEach) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"", "<a:p><a:r><a:t></a:t></a:r></a:p>"},
        {"Hello\nWorld", "<a:p><a:r><a:t>Hello</a:t></a:r></a:p><a:p><a:r><a:t>World</a:t></a:r></a:p>"},
        {"a\n", "<a:p><a:r><a:t>a</a:t></a:r></a:p><a:p><a:r><a:t></a:t></a:r></a:p>"},
        {"\n\n", "<a:p><a:r><a:t></a:t></a:r></a:p><a:p><a:r><a:t></a:t></a:r></a:p>"
                 "<a:p><a:r><a:t></a:t></a:r></a:p>"},
        {"a\r\nb", "<a:p><a:r><a:t>a\r</a:t></a:r></a:p><a:p><a:r><a:t>b</a:t></a:r></a:p>"},
        {"&\"<'>\t\xC3\xA9", "<a:p><a:r><a:t>&amp;&quot;&lt;&apos;&gt;\t\xC3\xA9</a:t></a:r></a:p>"},
    };
    for (const auto& [text, markup] : cases) EXPECT_EQ(replacement_paragraphs_xml(text).value(), markup) << text;
}

TEST(ReplacementParagraphs, InvalidUtf8IsATextDecodeError) {
    const auto result = replacement_paragraphs_xml("bad \xFF");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, ErrorKind::XmlTextDecode);
}

TEST(TextOnlyRun, ReopensTheRunWithItsOwnNameAndAttributes) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"<a:r/>", "<a:r><a:t>x</a:t></a:r>"},
        {"<x:r  k='v' />", "<x:r  k='v' ><x:t>x</x:t></x:r>"},
        {"<r><a:rPr/><t>old</t></r>", "<r><t>x</t></r>"},
    };
    for (const auto& [run, expected] : cases) {
        const xml::Event start = first_tag(run);
        EXPECT_EQ(written([&](xml::Writer& w) { write_text_only_run(w, start, "x"); }), expected) << run;
    }
}

TEST(ReplacedRunBody, NewTextGoesIntoTheFirstDirectTextElement) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        // run properties and the text element's attributes are kept byte for byte
        {"<a:r><a:rPr lang='en-US' b=\"1\"><a:latin typeface=\"A\"/></a:rPr><a:t xml:space=\"preserve\"> old </a:t></a:r>",
         "<a:r><a:rPr lang='en-US' b=\"1\"><a:latin typeface=\"A\"/></a:rPr><a:t xml:space=\"preserve\">N&amp;w</a:t></a:r>"},
        // old text, references and character data all go
        {"<a:r><a:t>Tom &amp; Jerry&#x2014;<![CDATA[x]]></a:t></a:r>", "<a:r><a:t>N&amp;w</a:t></a:r>"},
        {"<a:r><a:t q='1'/></a:r>", "<a:r><a:t q='1'>N&amp;w</a:t></a:r>"},
        {"<a:r><a:rPr/></a:r>", "<a:r><a:rPr/><a:t>N&amp;w</a:t></a:r>"},
        {"<x:r></x:r>", "<x:r><x:t>N&amp;w</x:t></x:r>"},
        // later text elements and text nested deeper are not the run's text
        {"<a:r><a:t>a</a:t><a:t>b</a:t></a:r>", "<a:r><a:t>N&amp;w</a:t><a:t>b</a:t></a:r>"},
        {"<a:r><a:extLst><a:t>deep</a:t></a:extLst><!--c--></a:r>",
         "<a:r><a:extLst><a:t>deep</a:t></a:extLst><!--c--><a:t>N&amp;w</a:t></a:r>"},
        // the copy stops after the run's end tag
        {"<a:r><a:t>a</a:t></a:r><a:r><a:t>b</a:t></a:r>", "<a:r><a:t>N&amp;w</a:t></a:r><a:r><a:t>b</a:t></a:r>"},
        // end of input ends the copy
        {"<a:r><a:rPr/>", "<a:r><a:rPr/>"},
    };
    for (const auto& [run, expected] : cases) EXPECT_EQ(replaced_run(run, "N&w"), expected) << run;
}

TEST(ReplacedRunBody, ReaderErrorsAreXmlErrors) {
    xml::Reader reader("<a:r><a:t>x</a:q></a:r>");
    xml::Writer writer;
    const auto start = reader.next();
    const auto status = write_replaced_run_body(reader, writer, *start, "n");
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().kind, ErrorKind::Xml);
}

TEST(TextElement, PreservesSpaceOnlyWhenAnEndHasWhiteSpace) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"a b", "<t>a b</t>"},
        {"", "<t></t>"},
        {" a", "<t xml:space=\"preserve\"> a</t>"},
        {"a\n", "<t xml:space=\"preserve\">a\n</t>"},
        {"a\xC2\xA0", "<t xml:space=\"preserve\">a\xC2\xA0</t>"},  // U+00A0
        {"\xC3\xA9<", "<t>\xC3\xA9&lt;</t>"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(written([&](xml::Writer& w) { write_text_element(w, "t", text); }), expected) << text;
}

TEST(RunProperties, AttributesInOrderThenFillThenFont) {
    const RunAttributeList attributes = {{"lang", "en-US"}, {"b", std::nullopt}, {"sz", "1200"}, {"alt", "<\"&"}};
    EXPECT_EQ(written([&](xml::Writer& w) { write_run_properties_formatting(w, attributes, std::nullopt, std::nullopt); }),
              "<a:rPr lang=\"en-US\" sz=\"1200\" alt=\"&lt;&quot;&amp;\"/>");
    EXPECT_EQ(written([&](xml::Writer& w) { write_run_properties_formatting(w, {}, "Arial", "00FF00"); }),
              "<a:rPr><a:solidFill><a:srgbClr val=\"00FF00\"/></a:solidFill><a:latin typeface=\"Arial\"/></a:rPr>");
    EXPECT_EQ(written([&](xml::Writer& w) { write_run_properties_formatting(w, {{"i", "1"}}, std::nullopt, "FF0000"); }),
              "<a:rPr i=\"1\"><a:solidFill><a:srgbClr val=\"FF0000\"/></a:solidFill></a:rPr>");
    EXPECT_EQ(written([&](xml::Writer& w) { write_run_properties_font_name(w, "A&B"); }),
              "<a:rPr><a:latin typeface=\"A&amp;B\"/></a:rPr>");
    EXPECT_EQ(written([&](xml::Writer& w) { write_run_properties_font_name(w, std::nullopt); }), "<a:rPr/>");
    EXPECT_EQ(written([&](xml::Writer& w) { write_run_fill(w, std::nullopt); }), "");
}

TEST(RunProperties, FillPropertyNames) {
    for (const char* name : {"noFill", "solidFill", "gradFill", "blipFill", "pattFill", "grpFill"})
        EXPECT_TRUE(is_fill_property(name)) << name;
    for (const char* name : {"a:solidFill", "srgbClr", "ln", "fill", ""}) EXPECT_FALSE(is_fill_property(name)) << name;
}

TEST(ParagraphProperties, AttributesAndSpacingChildren) {
    struct Case {
        std::optional<std::string> alignment;
        std::optional<std::uint64_t> level;
        ParagraphSpacingPatch spacing;
        std::string_view expected;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, {}, "<a:pPr/>"},
        {"ctr", 0, {}, "<a:pPr algn=\"ctr\"/>"},
        {std::nullopt, 2, {}, "<a:pPr lvl=\"2\"/>"},
        {std::nullopt, std::nullopt, {.space_after = Spacing::from_emu(76200)},
         "<a:pPr><a:spcAft><a:spcPts val=\"600\"/></a:spcAft></a:pPr>"},
        // written line spacing first, then before, then after; a clear setting writes nothing
        {"r", 1,
         {.space_before = Spacing::from_emu(190), .space_after = Spacing::clear(),
          .line_spacing = Spacing::from_multiple(1.5)},
         "<a:pPr algn=\"r\" lvl=\"1\"><a:lnSpc><a:spcPct val=\"150000\"/></a:lnSpc>"
         "<a:spcBef><a:spcPts val=\"1\"/></a:spcBef></a:pPr>"},
        {std::nullopt, std::nullopt, {.space_before = Spacing::clear()}, "<a:pPr></a:pPr>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(written([&](xml::Writer& w) { write_paragraph_properties(w, c.alignment, c.level, c.spacing); }),
                  c.expected);
}

TEST(ParagraphProperties, SpacingValuesRoundHalfAwayFromZeroAndSaturate) {
    const std::pair<std::int64_t, std::int64_t> points[] = {
        {190, 1}, {191, 2}, {0, 0}, {-190, -1}, {-191, -2}, {127, 1},
        {std::numeric_limits<std::int64_t>::max(), 72624976668147841},
        {std::numeric_limits<std::int64_t>::min(), -72624976668147841},
    };
    for (const auto& [emu, val] : points) EXPECT_EQ(spacing_points_value(emu), val) << emu;
    const std::pair<double, std::int64_t> percents[] = {
        {1.0, 100000}, {1.15, 115000}, {0.000005, 1}, {-0.000005, -1}, {0.0000049, 0},
        {std::nan(""), 0}, {1e300, std::numeric_limits<std::int64_t>::max()},
        {-1e300, std::numeric_limits<std::int64_t>::min()},
        {std::numeric_limits<double>::infinity(), std::numeric_limits<std::int64_t>::max()},
    };
    for (const auto& [multiple, val] : percents) EXPECT_EQ(spacing_percent_value(multiple), val) << multiple;
}

TEST(DefaultRunProperties, AttributeReplacementsListChangedSettingsInOrder) {
    ParagraphFontPatch patch;
    EXPECT_TRUE(patch.attribute_replacements().empty());
    patch.language = std::optional<std::string>("en-US");
    patch.font_size = std::optional<std::int64_t>(1270126);
    patch.underline = std::optional<UnderlineStyle>();
    patch.italic = std::optional<bool>(false);
    patch.bold = std::optional<bool>(true);
    const std::vector<std::pair<std::string, std::optional<std::string>>> expected = {
        {"b", "1"}, {"i", "0"}, {"u", std::nullopt}, {"sz", "10000"}, {"lang", "en-US"}};
    EXPECT_EQ(patch.attribute_replacements(), expected);

    ParagraphFontPatch sizes;
    const std::pair<std::int64_t, std::string> cases[] = {{1270000, "10000"}, {126, "0"}, {-254, "-2"}, {-253, "-1"}};
    for (const auto& [emu, sz] : cases) {
        sizes.font_size = std::optional<std::int64_t>(emu);
        EXPECT_EQ(sizes.attribute_replacements().front().second, sz) << emu;
    }
    sizes.underline = std::optional<UnderlineStyle>(UnderlineStyle::None);
    EXPECT_EQ(sizes.attribute_replacements().front(), (std::pair<std::string, std::optional<std::string>>("u", "none")));
}

TEST(DefaultRunProperties, ChildrenForColourFontOrFillType) {
    struct Case {
        ParagraphFontPatch patch;
        std::string_view expected;
    };
    const auto text = [](const char* value) { return PatchSetting<std::string>(std::optional<std::string>(value)); };
    const PatchSetting<std::string> cleared = std::optional<std::string>();
    const Case cases[] = {
        {{}, "<a:defRPr/>"},
        {{.bold = std::optional<bool>(), .italic = std::optional<bool>(true)}, "<a:defRPr i=\"1\"/>"},
        {{.fill_type = "background"}, "<a:defRPr><a:noFill/></a:defRPr>"},
        {{.fill_type = "solid"}, "<a:defRPr><a:solidFill/></a:defRPr>"},
        {{.fill_type = "gradient"}, "<a:defRPr/>"},
        {{.color = cleared, .fill_type = "pattern"}, "<a:defRPr/>"},
        {{.underline = std::optional<UnderlineStyle>(UnderlineStyle::Single), .font_name = text("Arial"),
          .color = text("112233"), .fill_type = "background"},
         "<a:defRPr u=\"sng\"><a:solidFill><a:srgbClr val=\"112233\"/></a:solidFill><a:latin typeface=\"Arial\"/></a:defRPr>"},
        {{.font_name = text("A\"B")}, "<a:defRPr><a:latin typeface=\"A&quot;B\"/></a:defRPr>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(written([&](xml::Writer& w) { write_default_run_properties(w, c.patch); }), c.expected);
}

}  // namespace
}  // namespace varnex
