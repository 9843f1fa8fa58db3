#include "xml_events.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sample_slide_xml.hpp"

namespace varnex::xml {
namespace {

struct ReadAll {
    std::vector<Event> events;  // Eof excluded
    std::optional<VarnexError> error;
    std::size_t offset = 0;
    std::size_t depth = 0;
};

ReadAll read_all(std::string_view input, ReaderOptions options = {}) {
    ReadAll out;
    Reader reader(input, options);
    while (true) {
        auto event = reader.next();
        if (!event) {
            out.error = event.error();
            break;
        }
        if (event->kind == EventKind::Eof) break;
        out.events.push_back(*event);
    }
    out.offset = reader.offset();
    out.depth = reader.depth();
    return out;
}

std::string describe(const Event& e) {
    switch (e.kind) {
        case EventKind::Start: return "Start(" + std::string(e.name) + "|" + std::string(e.body) + ")";
        case EventKind::Empty: return "Empty(" + std::string(e.name) + "|" + std::string(e.body) + ")";
        case EventKind::End: return "End(" + std::string(e.name) + ")";
        case EventKind::Text: return "Text(" + std::string(e.body) + ")";
        case EventKind::CData: return "CData(" + std::string(e.body) + ")";
        case EventKind::Comment: return "Comment(" + std::string(e.body) + ")";
        case EventKind::ProcessingInstruction: return "PI(" + std::string(e.name) + "|" + std::string(e.body) + ")";
        case EventKind::Declaration: return "Decl(" + std::string(e.body) + ")";
        case EventKind::DocType: return "DocType(" + std::string(e.body) + ")";
        case EventKind::Reference: return "Ref(" + std::string(e.name) + ")";
        case EventKind::Eof: return "Eof";
    }
    return "?";
}

std::vector<std::string> describe_all(std::string_view input, ReaderOptions options = {}) {
    const ReadAll all = read_all(input, options);
    EXPECT_FALSE(all.error) << all.error->message;
    std::vector<std::string> out;
    for (const auto& e : all.events) out.push_back(describe(e));
    return out;
}

TEST(XmlReader, ProducesEventsWithNamesAndBodies) {
    struct Case {
        std::string_view input;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"<a:t>Tom &amp; Jerry</a:t>", {"Start(a:t|)", "Text(Tom )", "Ref(amp)", "Text( Jerry)", "End(a:t)"}},
        {"<r>&#65;&#x41;&lt;</r>", {"Start(r|)", "Ref(#65)", "Ref(#x41)", "Ref(lt)", "End(r)"}},
        {"<a:off x=\"1\" y='2'/><b >x</b >",
         {"Empty(a:off| x=\"1\" y='2')", "Start(b| )", "Text(x)", "End(b)"}},
        {"<?xml version=\"1.0\"?><!--c > -- ok--><?pi  do it ?><x/>",
         {"Decl(version=\"1.0\")", "Comment(c > -- ok)", "PI(pi|do it )", "Empty(x|)"}},
        {"<?xml-stylesheet href=\"s\"?><![CDATA[<a>&amp;]]]]>",
         {"PI(xml-stylesheet|href=\"s\")", "CData(<a>&amp;]])"}},
        {"<!DOCTYPE d [<!ENTITY e \"]>\"><!-- ]> --><?p ]>?>]><d/>",
         {"DocType(d [<!ENTITY e \"]>\"><!-- ]> --><?p ]>?>])", "Empty(d|)"}},
        {"<!DOCTYPE html SYSTEM 'a>b'>", {"DocType(html SYSTEM 'a>b')"}},
        {"<\xC3\xA9l\xC3\xA9ment attr=\"\xE2\x80\x94\">\r\n</\xC3\xA9l\xC3\xA9ment>",
         {"Start(\xC3\xA9l\xC3\xA9ment| attr=\"\xE2\x80\x94\")", "Text(\r\n)", "End(\xC3\xA9l\xC3\xA9ment)"}},
        {"<a>x > y ]]> z</a>", {"Start(a|)", "Text(x > y ]]> z)", "End(a)"}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(describe_all(c.input), c.events) << c.input;
}

TEST(XmlReader, RawBytesOfEveryEventReproduceTheInput) {
    const std::string_view cases[] = {
        "<a>line one\r\nline two\r</a>\r\n",
        "<p>Tom &amp; Jerry &#x2014; &#8212; &custom;</p>",
        "<x><![CDATA[ <not markup> & ]]><!-- a -- comment --><?target data?></x>",
        "<a:p xmlns:a='urn:a'><a:r><a:t xml:space='preserve'> x </a:t></a:r><plain attr = \"v\" /></a:p>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE r [\n<!ENTITY x \"y\">\n<!-- ] -->\n]>\n<r>&x;</r>",
        "  leading text before any element <e/> trailing",
        varnex::testing::kSampleSlideXml,
    };
    for (const auto input : cases) {
        const ReadAll all = read_all(input);
        ASSERT_FALSE(all.error) << all.error->message;
        Writer writer;
        std::size_t expected_offset = 0;
        for (const auto& e : all.events) {
            EXPECT_EQ(e.offset, expected_offset);
            EXPECT_FALSE(e.raw.empty());
            expected_offset += e.raw.size();
            writer.write(e);
        }
        EXPECT_EQ(writer.buffer(), input);
        EXPECT_EQ(all.offset, input.size());
        EXPECT_EQ(all.depth, 0u);
    }
}

TEST(XmlReader, EveryTruncationOfASlideEndsCleanly) {
    // A slide cut anywhere either reads to Eof with elements open or stops with an Xml error,
    // and the events read before stopping are exactly the bytes before the stop.
    const std::string_view slide = varnex::testing::kSampleSlideXml;
    for (std::size_t cut = 0; cut < slide.size(); ++cut) {
        const std::string_view prefix = slide.substr(0, cut);
        const ReadAll all = read_all(prefix);
        std::string concatenated;
        for (const auto& e : all.events) concatenated.append(e.raw);
        ASSERT_EQ(concatenated, prefix.substr(0, all.offset)) << cut;
        if (all.error) {
            EXPECT_EQ(all.error->kind, ErrorKind::Xml);
        } else {
            EXPECT_EQ(all.offset, cut);
        }
    }
}

TEST(XmlReader, MalformedMarkupIsAnXmlErrorAtItsByte) {
    struct Case {
        std::string_view input;
        std::string_view message;
        std::size_t offset;  // reader offset after the error: the faulty markup's start
    };
    const Case cases[] = {
        {"<a:p><a:r></a:p>", "mismatched end tag: expected </a:r>, found </a:p> at byte 10", 10},
        {"<a/></a>", "unexpected end tag </a> at byte 4", 4},
        {"<a><b", "unclosed tag at byte 3", 3},
        {"<a><b x=\"1\"", "unclosed tag at byte 3", 3},
        {"<a x=\"1\" <b>", "unclosed tag at byte 0", 0},
        {"<a x=\"never closed>", "unclosed tag at byte 0", 0},
        {"<a></a", "unclosed tag at byte 3", 3},
        {"<", "unclosed tag at byte 0", 0},
        {"<a b>", "bad attribute syntax at byte 4 in <a>: expected '=' after attribute name", 0},
        {"<a b=1>", "bad attribute syntax at byte 5 in <a>: attribute value must be quoted", 0},
        {"<a b=\"1\"c=\"2\">", "bad attribute syntax at byte 8 in <a>: expected white space before attribute", 0},
        {"<a \"x\">", "bad attribute syntax at byte 3 in <a>: expected attribute name", 0},
        {"<a b=\"x<y\">", "bad attribute syntax at byte 7 in <a>: '<' in attribute value", 0},
        {"<a/ >", "bad attribute syntax at byte 2 in <a>: expected '>' after '/'", 0},
        {"<a>x & y</a>", "stray '&' at byte 5", 5},
        {"<a>&#x;</a>", "stray '&' at byte 3", 3},
        {"<a>&amp</a>", "stray '&' at byte 3", 3},
        {"<a>&</a>", "stray '&' at byte 3", 3},
        {"a < b", "stray '<' at byte 2", 2},
        {"<a></ a>", "bad end tag at byte 3", 3},
        {"<a></a b>", "bad end tag at byte 3", 3},
        {"<!-- never closed -", "unexpected end of input inside comment at byte 0", 0},
        {"<!-", "unexpected end of input inside comment at byte 0", 0},
        {"<![CDATA[x]]", "unexpected end of input inside CDATA section at byte 0", 0},
        {"<?pi x", "unexpected end of input inside processing instruction at byte 0", 0},
        {"<?", "unexpected end of input inside processing instruction at byte 0", 0},
        {"<? x?>", "bad processing instruction at byte 0", 0},
        {"<!DOCTYPE a [<!ENTITY e \"]>\">", "unexpected end of input inside document type declaration at byte 0", 0},
        {"<!DOC", "unexpected end of input inside document type declaration at byte 0", 0},
        {"<!", "unexpected end of input inside markup declaration at byte 0", 0},
        {"<!ELEMENT a ANY>", "bad markup declaration at byte 0", 0},
    };
    for (const auto& c : cases) {
        Reader reader(c.input);
        Result<Event> event;
        while ((event = reader.next()) && event->kind != EventKind::Eof) {
        }
        ASSERT_FALSE(event) << c.input;
        EXPECT_EQ(event.error().kind, ErrorKind::Xml);
        EXPECT_EQ(event.error().message, c.message) << c.input;
        EXPECT_EQ(reader.offset(), c.offset) << c.input;
        const auto again = reader.next();
        ASSERT_FALSE(again);
        EXPECT_EQ(again.error().message, c.message);
    }
}

TEST(XmlReader, LongNamesAreCutInMessages) {
    const std::string name(200, 'n');
    const std::string input = "<" + name + "></x>";
    const auto all = read_all(input);
    ASSERT_TRUE(all.error);
    EXPECT_EQ(all.error->message, "mismatched end tag: expected </" + name.substr(0, 64) + "...>, found </x> at byte 202");
}

TEST(XmlReader, TextSplitByManyReferencesIsScannedOnce) {
    std::string text = "<t>";
    for (int i = 0; i < 500000; ++i) text += "&amp;x";
    const auto all = read_all(text);  // no '<' after the start tag: each Text must not rescan to the end
    ASSERT_FALSE(all.error);
    EXPECT_EQ(all.events.size(), 1000001u);
}

TEST(XmlReader, EndOfInputWithOpenElementsIsPlainEof) {
    Reader reader("<a><b>text");
    std::vector<EventKind> kinds;
    while (true) {
        auto e = reader.next();
        ASSERT_TRUE(e);
        kinds.push_back(e->kind);
        if (e->kind == EventKind::Eof) break;
    }
    EXPECT_EQ(kinds, (std::vector{EventKind::Start, EventKind::Start, EventKind::Text, EventKind::Eof}));
    EXPECT_EQ(reader.depth(), 2u);
    ASSERT_TRUE(reader.next());  // Eof again, not an error
}

TEST(XmlReader, DepthFollowsStartAndEndButNotEmpty) {
    Reader reader("<a><b/><c></c></a>");
    std::vector<std::size_t> depths;
    for (auto e = reader.next(); e && e->kind != EventKind::Eof; e = reader.next()) depths.push_back(reader.depth());
    EXPECT_EQ(depths, (std::vector<std::size_t>{1, 1, 2, 1, 0}));
}

TEST(XmlReader, TrimModeTrimsTextAndDropsBlankText) {
    ReaderOptions trim;
    trim.trim_text = true;
    EXPECT_EQ(describe_all("<a>\n  <b>  Tom &amp; Jerry \t</b>\r\n</a>", trim),
              (std::vector<std::string>{"Start(a|)", "Start(b|)", "Text(Tom)", "Ref(amp)", "Text(Jerry)", "End(b)",
                                        "End(a)"}));
}

TEST(XmlAttributes, IterateInDocumentOrderWithQuotesAndLocalNames) {
    const auto all = read_all("<p:cNvPr id=\"2\" name='Title \"1\"' r:embed = \"rId&amp;3\"/>");
    ASSERT_EQ(all.events.size(), 1u);
    std::vector<std::string> seen;
    for (const auto& a : all.events[0].attributes())
        seen.push_back(std::string(a.name) + "|" + std::string(a.local_name()) + "|" + a.quote + "|" +
                       std::string(a.raw_value));
    EXPECT_EQ(seen, (std::vector<std::string>{"id|id|\"|2", "name|name|'|Title \"1\"", "r:embed|embed|\"|rId&amp;3"}));
}

TEST(XmlAttributes, IteratorSkipsMalformedAttributes) {
    std::vector<std::string> names;
    for (const auto& a : AttributeRange{" a=\"1\" b c=d =\"x\" \"y\" e='2' dup=\"3\" dup=\"4\" f=\"unterminated"})
        names.push_back(std::string(a.name) + "=" + std::string(a.raw_value));
    EXPECT_EQ(names, (std::vector<std::string>{"a=1", "e=2", "dup=3", "dup=4"}));
}

TEST(XmlAttributes, OnlyStartAndEmptyTagsHaveAttributes) {
    const auto all = read_all("<?xml version=\"1.0\"?><a x=\"1\"></a>");
    ASSERT_EQ(all.events.size(), 3u);
    EXPECT_EQ(all.events[0].attributes().begin(), all.events[0].attributes().end());
    EXPECT_NE(all.events[1].attributes().begin(), all.events[1].attributes().end());
}

TEST(XmlEscaping, TextEscapesFiveCharactersAttributeTemplatesFour) {
    EXPECT_EQ(escape_text("a&b<c>d'e\"f"), "a&amp;b&lt;c&gt;d&apos;e&quot;f");
    EXPECT_EQ(xml_attr("a&b<c>d'e\"f\""), "a&amp;b&lt;c&gt;d'e&quot;f&quot;");
    EXPECT_EQ(xml_attr("&amp;"), "&amp;amp;");
    EXPECT_EQ(escape_text("caf\xC3\xA9\t\r\n"), "caf\xC3\xA9\t\r\n");
}

TEST(XmlWriter, WritesTagsEndsAndEscapedText) {
    Writer writer;
    writer.write_tag(OwnedTag{"a:r", {}, false});
    writer.write_tag(OwnedTag{"a:rPr", {{"lang", "en-US"}, {"title", "say \"hi\" &amp; go"}}, true});
    writer.write_text("<Tom & 'Jerry'>");
    writer.write_end("a:r");
    EXPECT_EQ(writer.take(),
              "<a:r><a:rPr lang=\"en-US\" title=\"say &quot;hi&quot; &amp; go\"/>"
              "&lt;Tom &amp; &apos;Jerry&apos;&gt;</a:r>");
}

}  // namespace
}  // namespace varnex::xml
