#include <gtest/gtest.h>

#include <limits>

#include "package_io.hpp"
#include "stored_zip.hpp"
#include "summary_package_extract.hpp"
#include "summary_shape_extract.hpp"
#include "summary_text_extract.hpp"

namespace varnex {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(GroupTransform, RoundsHalvesAwayFromZeroAndSaturates) {
    struct Case {
        TransformSummary child;
        GroupTransformContext group;
        TransformSummary expected;
    };
    const Case cases[] = {
        // scale 1/2 on x, 3/2 on y: 3 -> 1.5 -> 2, -3 -> -1.5 -> -2
        {{3, -3, 1, 1}, {0, 0, 1, 3, 0, 0, 2, 2}, {2, -5, 1, 2}},
        {{-3, 3, 3, 5}, {10, 10, 1, 3, 0, 0, 2, 2}, {8, 15, 2, 8}},
        // child offset is subtracted before scaling
        {{110, 220, 10, 10}, {5, 5, 20, 20, 100, 200, 10, 10}, {25, 45, 20, 20}},
        // zero child extent: translation only, size kept
        {{7, 7, 9, 9}, {100, 200, 5, 5, 2, 3, 0, 0}, {105, 204, 9, 9}},
        // hostile values neither overflow nor wrap
        {{kMax, kMin, kMax, kMax}, {kMax, kMin, kMax, kMax, kMin, kMax, 1, 1}, {kMax, kMin, kMax, kMax}},
        {{kMin, kMax, 1, 1}, {kMin, kMax, 0, 0, kMax, kMin, 0, 0}, {kMin, kMax, 1, 1}},
    };
    for (const auto& c : cases) {
        const auto got = apply_group_transform(c.child, c.group);
        EXPECT_EQ(got, c.expected) << got.x << " " << got.y << " " << got.cx << " " << got.cy;
    }
}

TEST(Transform, FirstDrawingFrameWinsAndNeedsOffsetAndExtent) {
    const auto frame = extract_transform(R"(<p:xfrm><a:off x="1" y="2"/><a:ext cx="3" cy="4"/></p:xfrm>)"
                                         R"(<a:xfrm><a:off x="+5" y="-6"/><a:ext cx="x" cy="8"/></a:xfrm>)");
    EXPECT_EQ(frame, (TransformSummary{5, -6, 0, 8}));
    EXPECT_FALSE(extract_transform(R"(<a:xfrm><a:off x="1" y="2"/></a:xfrm>)"));
    // an unterminated a:xfrm still wins over a complete p:xfrm
    EXPECT_FALSE(extract_transform(R"(<p:xfrm><a:off x="1" y="2"/><a:ext cx="3" cy="4"/></p:xfrm>)"
                                   R"(<a:xfrm><a:off x="1" y="2"/><a:ext cx="3" cy="4"/>)"));
    EXPECT_FALSE(extract_transform("<a:xfrmX/>"));
}

TEST(ParagraphDetails, OnePassEqualsTheSeparateExtractions) {
    // A later rPr in the same run replaces the value, also with "no such attribute"; latin is
    // read wherever it sits in the run; an empty field still takes its slot.
    const std::string xml =
        R"(<p:txBody><a:p><a:r><a:rPr b="1" sz="900"/><a:rPr i="on"><a:latin typeface="A"/></a:rPr><a:t>x</a:t></a:r>)"
        R"(<a:fld type="datetime"/><a:br/><a:r><a:latin typeface="B"/><a:rPr u="dbl" b="off" b="1"/></a:r></a:p>)"
        R"(<a:p/><a:p><a:r/></a:p></p:txBody>)";
    const ParagraphDetails details = extract_paragraph_details(xml);
    using Bools = PerParagraphRuns<std::optional<bool>>;
    EXPECT_EQ(details.bold, (Bools{{std::nullopt, false}, {}, {std::nullopt}}));
    EXPECT_EQ(details.italic, (Bools{{true, std::nullopt}, {}, {std::nullopt}}));
    EXPECT_EQ(details.underline, (Bools{{std::nullopt, true}, {}, {std::nullopt}}));
    EXPECT_EQ(details.font_name, (PerParagraphRuns<std::optional<std::string>>{{"A", "B"}, {}, {std::nullopt}}));
    EXPECT_EQ(details.runs, (PerParagraphRuns<std::string>{{"x", ""}, {}, {""}}));
    EXPECT_EQ(details.line_breaks, (PerParagraphRuns<std::uint64_t>{{1}, {}, {}}));
    ASSERT_EQ(details.fields.size(), 3u);
    ASSERT_EQ(details.fields[0].size(), 1u);
    EXPECT_EQ(details.fields[0][0].run_slot, 1u);
    EXPECT_EQ(details.fields[0][0].line_breaks_before, 0u);
    EXPECT_EQ(details.fields[0][0].text, "");

    EXPECT_EQ(details.paragraphs, extract_paragraph_texts(xml));
    EXPECT_EQ(details.bold, extract_paragraph_run_bool_attribute(xml, "b"));
    EXPECT_EQ(details.italic, extract_paragraph_run_bool_attribute(xml, "i"));
    EXPECT_EQ(details.underline, extract_paragraph_run_underline(xml));
    EXPECT_EQ(details.font_size, extract_paragraph_run_font_size(xml));
    EXPECT_EQ(details.font_name, extract_paragraph_run_property(xml, "latin", "typeface"));
}

// A group's paragraph lists are its own scan's, whether they are taken from its children or
// scanned: with plain children, and with paragraphs, runs, fallbacks and unclosed or
// mismatched elements around and inside them.
TEST(ParagraphDetails, GroupListsAreThoseOfItsOwnScan) {
    const std::string sp = R"(<p:sp><p:txBody><a:p><a:r><a:rPr b="1"/><a:t>one</a:t></a:r><a:br/></a:p>)"
                           R"(<a:p><a:fld type="slidenum"><a:t>2</a:t></a:fld><a:r><a:t>two</a:t></a:r></a:p></p:txBody></p:sp>)";
    const std::string pic = R"(<p:pic><p:nvPicPr><p:cNvPr id="9" name="P"/></p:nvPicPr></p:pic>)";
    const std::string head = R"(<p:grpSp><p:nvGrpSpPr><p:cNvPr id="1" name="G"/></p:nvGrpSpPr><p:grpSpPr></p:grpSpPr>)";
    const std::string inner = head + sp + pic + "</p:grpSp>";
    const std::string gaps[] = {
        "",
        R"(<a:p><a:r><a:t>in the group itself</a:t></a:r></a:p>)",
        "<a:p/>",
        "<a:r><a:t>a run outside any paragraph</a:t></a:r><a:t>text</a:t><a:br/>",
        R"(<mc:AlternateContent><mc:Choice><p:sp><p:txBody><a:p><a:r><a:t>alt</a:t></a:r></a:p></p:txBody></p:sp>)"
        R"(</mc:Choice></mc:AlternateContent>)",
        "<a:p><a:r>",                 // opens a paragraph that the next child's events fall into
        "</a:p>",                     // a mismatched end: the reading stops there
        "<a:t>",                      // unclosed around a child
    };
    for (const std::string& gap : gaps) {
        const std::string groups[] = {head + gap + sp + inner + gap + pic + "</p:grpSp>",
                                      head + sp + gap + "</p:grpSp>", head + gap + inner + "</p:grpSp>"};
        for (const std::string& group : groups) {
            const ShapeSummary shape = summarize_shape_block(group, std::nullopt);
            const ParagraphDetails details = extract_paragraph_details(group);
            EXPECT_EQ(shape.paragraphs, details.paragraphs) << group;
            EXPECT_EQ(shape.paragraph_runs, details.runs) << group;
            EXPECT_EQ(shape.paragraph_line_breaks, details.line_breaks) << group;
            ASSERT_EQ(shape.paragraph_fields.size(), details.fields.size()) << group;
            for (std::size_t p = 0; p < details.fields.size(); ++p) {
                ASSERT_EQ(shape.paragraph_fields[p].size(), details.fields[p].size()) << group;
                for (std::size_t f = 0; f < details.fields[p].size(); ++f) {
                    EXPECT_EQ(shape.paragraph_fields[p][f].text, details.fields[p][f].text) << group;
                    EXPECT_EQ(shape.paragraph_fields[p][f].run_slot, details.fields[p][f].run_slot) << group;
                }
            }
            EXPECT_EQ(shape.paragraph_run_bold, details.bold) << group;
            EXPECT_EQ(shape.paragraph_run_italic, details.italic) << group;
            EXPECT_EQ(shape.paragraph_run_underline, details.underline) << group;
            EXPECT_EQ(shape.paragraph_run_font_size, details.font_size) << group;
            EXPECT_EQ(shape.paragraph_run_font_name, details.font_name) << group;
        }
    }
}

TEST(SlideSummary, MissingSlidePartIsAZipError) {
    auto bytes = testing::stored_zip({{"ppt/slides/slide1.xml", "<p:sld/>"}});
    auto package = open_package_from_memory(bytes);
    ASSERT_TRUE(package);
    EXPECT_TRUE(summarize_slide_part(*package, "ppt/slides/slide1.xml"));
    const auto missing = summarize_slide_part(*package, "ppt/slides/slide2.xml");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().display(), "zip error: specified file not found in archive");
}

}  // namespace
}  // namespace varnex
