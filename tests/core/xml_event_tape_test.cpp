#include "xml_event_tape.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnex::xml {
namespace {

struct Seen {
    EventKind kind;
    std::string raw, name, body, local;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> read_slice(std::string_view slice, ReaderOptions options) {
    std::vector<Seen> seen;
    Reader reader(slice, options);
    for (;;) {
        const auto event = reader.next();
        if (!event || event->kind == EventKind::Eof) return seen;
        seen.push_back({event->kind, std::string(event->raw), std::string(event->name), std::string(event->body),
                        std::string(event->local_name())});
    }
}

// Every slice of each document, by every pair of offsets: where the tape answers, it answers
// with exactly what a reader of the slice returns before its end or its first error.
TEST(EventTape, ReplayIsAReaderOfEverySliceItAccepts) {
    const std::string documents[] = {
        R"(<?xml version="1.0"?><p:sp><a:p><a:r><a:t> x &amp; y </a:t></a:r><a:br/></a:p><!--c--><a:p/></p:sp>)",
        R"(<a><b q='1'>t<![CDATA[<z>]]></b><c/>tail</a><d>)",        // elements left open at the end
        R"(<a><b>one</b><c>two</x><d>never read</d></a>)",           // the document's reading fails midway
        "<a>\r\n<b/>  <c>\t</c>&#65;&bad;</a>",
    };
    int accepted = 0, refused = 0;
    for (const std::string& document : documents) {
        const EventTape tape(document);
        for (const bool trim : {false, true}) {
            const ReaderOptions options{.trim_text = trim};
            for (std::size_t begin = 0; begin <= document.size(); ++begin) {
                for (std::size_t end = begin; end <= document.size(); ++end) {
                    const std::string_view slice = std::string_view(document).substr(begin, end - begin);
                    std::vector<Seen> replayed;
                    const bool answered = tape.replay(slice, options, [&](const Event& event, std::string_view local) {
                        replayed.push_back({event.kind, std::string(event.raw), std::string(event.name),
                                            std::string(event.body), std::string(local)});
                    });
                    if (!answered) {
                        ++refused;
                        continue;
                    }
                    ++accepted;
                    ASSERT_EQ(replayed, read_slice(slice, options)) << document << " [" << begin << ", " << end << ")";
                }
            }
        }
        const std::string copy = document;  // not a slice of the document
        EXPECT_FALSE(tape.replay(copy, {}, [](const Event&, std::string_view) {}));
    }
    EXPECT_GT(accepted, 500);
    EXPECT_GT(refused, 500);
}

TEST(EventTape, BalancedRangesAreCompleteElements) {
    const std::string document = "<a><b>x</b><c/>y</a>";
    const std::string_view view = document;
    const EventTape tape(document);
    const auto slice = [&](std::string_view part) { return view.substr(document.find(part), part.size()); };
    EXPECT_TRUE(tape.balanced_range_of(slice("<b>x</b><c/>y")));
    EXPECT_TRUE(tape.balanced_range_of(view));
    EXPECT_FALSE(tape.balanced_range_of(slice("<b>x")));     // leaves b open
    EXPECT_FALSE(tape.balanced_range_of(slice("</b><c/>")));  // closes what it did not open
    EXPECT_TRUE(tape.range_of(slice("</b><c/>")));            // which a reader of it stops at at once
    EXPECT_EQ(tape.range_of(slice("</b><c/>"))->first, tape.range_of(slice("</b><c/>"))->second);
    EXPECT_FALSE(tape.balanced_range_of(slice("b>x</b>")));   // not where an event starts
}

// Tiny tags would make the kept events many times the text: such a document is not kept, and
// a scan of the whole still sees every event as it is read.
TEST(EventTape, DenseMarkupIsReadButNotKept) {
    std::string document;
    for (int i = 0; i < 1000; ++i) document += "<a/>";
    int seen = 0;
    const EventTape tape(document, [&](const Event&, std::string_view) { ++seen; });
    EXPECT_EQ(seen, 1000);
    EXPECT_FALSE(tape.replay(document, {}, [](const Event&, std::string_view) {}));
}

}  // namespace
}  // namespace varnex::xml
