#include <gtest/gtest.h>

#include <limits>

#include "package_io.hpp"
#include "slide_inventory.hpp"
#include "stored_zip.hpp"

namespace varnex {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// Keeps the archive bytes alive as long as the package that reads them.
struct MemoryPackage {
    std::vector<std::uint8_t> bytes;
    Package package;
};

std::unique_ptr<MemoryPackage> open_entries(const Entries& entries) {
    auto bytes = testing::stored_zip(entries);
    auto opened = open_package_from_memory(bytes);
    if (!opened) {
        ADD_FAILURE() << opened.error().display();
        return nullptr;
    }
    // The span refers to the vector's heap buffer, which moves along with the vector.
    return std::unique_ptr<MemoryPackage>(new MemoryPackage{std::move(bytes), std::move(*opened)});
}

std::string presentation(const std::vector<std::string>& rel_ids) {
    std::string list;
    for (std::size_t i = 0; i < rel_ids.size(); ++i)
        list += "<p:sldId id=\"" + std::to_string(256 + i) + "\" r:id=\"" + rel_ids[i] + "\"/>";
    return "<p:presentation xmlns:p=\"p\" xmlns:r=\"r\"><p:sldIdLst>" + list + "</p:sldIdLst></p:presentation>";
}

std::string presentation_rels(const std::vector<std::pair<std::string, std::string>>& slide_targets) {
    std::string body =
        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
        "slideMaster\" Target=\"slideMasters/slideMaster1.xml\"/>";
    for (const auto& [id, target] : slide_targets)
        body += "<Relationship Id=\"" + id +
                "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide\" Target=\"" +
                target + "\"/>";
    return "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + body +
           "</Relationships>";
}

TEST(NaturalOrder, ComparesDigitRunsByValue) {
    // Each name sorts strictly before the next one.
    const std::vector<std::string> ascending = {
        "",       "a",        "a1",         "a2",           "a10",
        "a10b",   "a10c",     "a11",        "aB",           "ab",
        "ab1",    "b",        "slide2.xml", "slide10.xml",  "slide10.xml.rels",
    };
    for (std::size_t i = 0; i + 1 < ascending.size(); ++i) {
        EXPECT_TRUE(natural_less(ascending[i], ascending[i + 1])) << ascending[i] << " < " << ascending[i + 1];
        EXPECT_FALSE(natural_less(ascending[i + 1], ascending[i])) << ascending[i + 1] << " < " << ascending[i];
    }
    // A text run sorts before a number at the same position.
    EXPECT_TRUE(natural_less("x", "1"));
    EXPECT_FALSE(natural_less("1", "x"));
}

TEST(NaturalOrder, KeysSplitIntoRuns) {
    const std::vector<NaturalChunk> expected = {std::string("slide"), std::uint64_t{12}, std::string(".xml")};
    EXPECT_EQ(natural_key("slide12.xml"), expected);
    const std::vector<NaturalChunk> huge = {std::string("s"), std::uint64_t{0}};
    EXPECT_EQ(natural_key("s99999999999999999999"), huge);
    const std::vector<NaturalChunk> max = {std::uint64_t{std::numeric_limits<std::uint64_t>::max()}};
    EXPECT_EQ(natural_key("18446744073709551615"), max);
    EXPECT_TRUE(natural_key("").empty());
}

TEST(NaturalOrder, SortIsStableForEqualKeys) {
    std::vector<std::string> names = {"s10", "s01", "s2", "s1", "s001", "s99999999999999999999"};
    sort_natural(names);
    const std::vector<std::string> expected = {"s99999999999999999999", "s01", "s1", "s001", "s2", "s10"};
    EXPECT_EQ(names, expected);
}

TEST(SlidePartNames, FollowTheExactShape) {
    const std::pair<const char*, std::optional<std::uint64_t>> slides[] = {
        {"ppt/slides/slide1.xml", 1},
        {"ppt/slides/slide0042.xml", 42},
        {"ppt/slides/slide18446744073709551616.xml", std::nullopt},  // a slide part, but no 64-bit number
        {"ppt/slides/slide.xml", std::nullopt},
        {"ppt/slides/slide1a.xml", std::nullopt},
        {"ppt/slides/slide-1.xml", std::nullopt},
        {"ppt/slides/slide1.xml.rels", std::nullopt},
        {"ppt/slides/_rels/slide1.xml.rels", std::nullopt},
        {"/ppt/slides/slide1.xml", std::nullopt},
        {"ppt/Slides/slide1.xml", std::nullopt},
        {"ppt/slideLayouts/slideLayout1.xml", std::nullopt},
    };
    for (const auto& [name, number] : slides) EXPECT_EQ(slide_number(name), number) << name;
    EXPECT_TRUE(is_slide_part("ppt/slides/slide18446744073709551616.xml"));
    EXPECT_FALSE(is_slide_part("ppt/slides/slide.xml"));

    EXPECT_TRUE(is_slide_layout_part("ppt/slideLayouts/slideLayout11.xml"));
    for (const char* name : {"ppt/slideLayouts/slideLayout.xml", "ppt/slideLayouts/slideLayoutA.xml",
                             "ppt/slides/slide1.xml", "ppt/slideLayouts/_rels/slideLayout1.xml.rels"})
        EXPECT_FALSE(is_slide_layout_part(name)) << name;
}

TEST(SlideParts, FallsBackToNaturalOrderWithoutAPresentation) {
    const auto pkg = open_entries({{"ppt/slides/slide10.xml", ""},
                                   {"ppt/slides/slide2.xml", ""},
                                   {"ppt/slides/_rels/slide2.xml.rels", ""},
                                   {"ppt/slides/slide1.xml", ""},
                                   {"ppt/slides/slide1a.xml", ""}});
    ASSERT_TRUE(pkg);
    const auto slides = slide_parts(pkg->package);
    ASSERT_TRUE(slides) << slides.error().display();
    const std::vector<std::string> expected = {"ppt/slides/slide1.xml", "ppt/slides/slide2.xml",
                                               "ppt/slides/slide10.xml"};
    EXPECT_EQ(*slides, expected);
}

TEST(SlideParts, FollowsTheSlideListOnlyWhenItMatchesThePackage) {
    const std::vector<std::string> natural = {"ppt/slides/slide1.xml", "ppt/slides/slide3.xml"};
    const std::vector<std::string> listed = {"ppt/slides/slide3.xml", "ppt/slides/slide1.xml"};
    struct Case {
        const char* what;
        std::vector<std::string> list;
        std::vector<std::pair<std::string, std::string>> targets;
        bool extra_slide;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"listed order", {"rId3", "rId2"}, {{"rId2", "slides/slide1.xml"}, {"rId3", "slides/slide3.xml"}}, false, listed},
        {"absolute and dotted targets", {"rId3", "rId2"},
         {{"rId2", "/ppt/slides/slide1.xml"}, {"rId3", "./slides/../slides/slide3.xml"}}, false, listed},
        {"ids without a slide relationship are dropped", {"rId1", "rId3", "rId9", "rId2"},
         {{"rId2", "slides/slide1.xml"}, {"rId3", "slides/slide3.xml"}}, false, listed},
        {"an unlisted slide", {"rId3", "rId2"}, {{"rId2", "slides/slide1.xml"}, {"rId3", "slides/slide3.xml"}}, true,
         {"ppt/slides/slide1.xml", "ppt/slides/slide2.xml", "ppt/slides/slide3.xml"}},
        {"a slide listed twice", {"rId3", "rId3"}, {{"rId3", "slides/slide3.xml"}}, false, natural},
        {"a listed slide that is not in the package", {"rId3", "rId2"},
         {{"rId2", "slides/slide1.xml"}, {"rId3", "slides/slide4.xml"}}, false, natural},
        {"an empty list", {}, {}, false, natural},
    };
    for (const auto& c : cases) {
        Entries entries = {{"ppt/presentation.xml", presentation(c.list)},
                           {"ppt/_rels/presentation.xml.rels", presentation_rels(c.targets)},
                           {"ppt/slides/slide1.xml", ""},
                           {"ppt/slides/slide3.xml", ""}};
        if (c.extra_slide) entries.emplace_back("ppt/slides/slide2.xml", "");
        const auto pkg = open_entries(entries);
        ASSERT_TRUE(pkg);
        const auto slides = slide_parts(pkg->package);
        ASSERT_TRUE(slides) << c.what << ": " << slides.error().display();
        EXPECT_EQ(*slides, c.expected) << c.what;
    }
}

TEST(SlideParts, ReportsAnUnreadablePresentation) {
    const auto not_utf8 = open_entries({{"ppt/presentation.xml", "<p:presentation>\xff</p:presentation>"}});
    ASSERT_TRUE(not_utf8);
    const auto io = slide_parts(not_utf8->package);
    ASSERT_FALSE(io);
    EXPECT_EQ(io.error().kind, ErrorKind::Io);

    const auto malformed = open_entries({{"ppt/presentation.xml", "<p:presentation><p:sldIdLst <"}});
    ASSERT_TRUE(malformed);
    const auto xml = slide_parts(malformed->package);
    ASSERT_FALSE(xml);
    EXPECT_EQ(xml.error().kind, ErrorKind::Xml);
}

TEST(SlidePartAtIndex, IsAbsentPastTheLastSlide) {
    const auto pkg = open_entries({{"ppt/slides/slide2.xml", ""}, {"ppt/slides/slide1.xml", ""}});
    ASSERT_TRUE(pkg);
    const std::pair<std::uint64_t, std::optional<std::string>> cases[] = {
        {0, "ppt/slides/slide1.xml"},
        {1, "ppt/slides/slide2.xml"},
        {2, std::nullopt},
        {std::numeric_limits<std::uint64_t>::max(), std::nullopt},
    };
    for (const auto& [index, expected] : cases) {
        const auto slide = slide_part_at_index(pkg->package, index);
        ASSERT_TRUE(slide);
        EXPECT_EQ(*slide, expected) << index;
    }
}

TEST(SlideLayoutTargetAtIndex, CountsLayoutsInNaturalOrder) {
    const auto pkg = open_entries({{"ppt/slideLayouts/slideLayout11.xml", ""},
                                   {"ppt/slideLayouts/slideLayout2.xml", ""},
                                   {"ppt/slideLayouts/_rels/slideLayout2.xml.rels", ""},
                                   {"ppt/slideLayouts/slideLayout1.xml", ""}});
    ASSERT_TRUE(pkg);
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "../slideLayouts/slideLayout1.xml"},
        {1, "../slideLayouts/slideLayout2.xml"},
        {2, "../slideLayouts/slideLayout11.xml"},
    };
    for (const auto& [index, expected] : cases) {
        const auto target = slide_layout_target_at_index(pkg->package, index);
        ASSERT_TRUE(target) << index;
        EXPECT_EQ(*target, expected);
    }
    const auto missing = slide_layout_target_at_index(pkg->package, 3);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().display(), "xml text decode error: slide layout index 3 was not found");
}

TEST(SlideRelationshipIds, ListsTheRelationshipOfEverySlideEntry) {
    const std::string xml =
        "<p:presentation xmlns:p=\"p\" xmlns:r=\"r\"><p:sldIdLst>"
        "<p:sldId id=\"256\" r:id=\"rId2\"/><p:sldId r:id=\"rId&#51;\" id=\"300\"></p:sldId>"
        "<x:sldId xmlns:x=\"p\" id=\"301\" r:id=\"rId7\"/>"
        "</p:sldIdLst><p:extLst><p:ext><p14:sectionLst><p14:section><p14:sldIdLst>"
        "<p14:sldId id=\"256\"/><p14:sldId id=\"300\"/>"
        "</p14:sldIdLst></p14:section></p14:sectionLst></p:ext></p:extLst></p:presentation>";
    const auto ids = slide_relationship_ids_in_presentation(xml);
    ASSERT_TRUE(ids);
    const std::vector<std::string> expected = {"rId2", "rId3", "rId7"};
    EXPECT_EQ(*ids, expected);

    const auto malformed = slide_relationship_ids_in_presentation("<p:sldIdLst><p:sldId id=\"1\" </p:sldIdLst>");
    ASSERT_FALSE(malformed);
    EXPECT_EQ(malformed.error().kind, ErrorKind::Xml);
}

TEST(NextSlideId, IsOneAboveTheLargestAndAtLeast256) {
    const std::pair<const char*, std::uint64_t> cases[] = {
        {"<p:presentation/>", 256},
        {"<p:sldIdLst><p:sldId id=\"5\" r:id=\"rId2\"/></p:sldIdLst>", 256},
        {"<p:sldIdLst><p:sldId id=\"256\" r:id=\"rId2\"/><p:sldId id=\"1000\" r:id=\"rId3\"/></p:sldIdLst>", 1001},
        {"<p:sldId id=\"256\"/><p:sldId id=\"300\"/><p:sldId id=\"257\"/>", 301},
        {"<p:sldId id=\"+400\"/><p:sldId id=\"x9999\"/><p:sldId id=\"-5\"/><p:sldMasterId id=\"2147483648\"/>", 401},
        {"<p:sldId id=\"600\"/><p:sldId id=\"700\" <", 601},  // stops quietly at the malformed tag
        {"<p:sldId id=\"99999999999999999999\"/><p:sldId id=\"256\"/>", 257},
        // One more than the largest does not fit: the first free id instead of a wrapped 0.
        {"<p:sldId id=\"18446744073709551615\"/><p:sldId id=\"256\"/><p:sldId id=\"258\"/><p:sldId id=\"257\"/>",
         259},
    };
    for (const auto& [xml, expected] : cases) EXPECT_EQ(next_slide_id(xml), expected) << xml;
}

TEST(AppendSlideId, AddsTheEntryAtTheEndOfTheSlideList) {
    const std::string element = "<p:sldId id=\"300\" r:id=\"rId9\"/>";
    const std::string list = "<p:sldIdLst>" + element + "</p:sldIdLst>";
    const std::pair<std::string, std::string> cases[] = {
        {"<p:presentation><p:sldIdLst><p:sldId id=\"256\" r:id=\"rId2\"/></p:sldIdLst><p:sldSz/></p:presentation>",
         "<p:presentation><p:sldIdLst><p:sldId id=\"256\" r:id=\"rId2\"/>" + element +
             "</p:sldIdLst><p:sldSz/></p:presentation>"},
        {"<p:presentation><p:sldMasterIdLst><p:sldMasterId/></p:sldMasterIdLst><p:sldSz cx=\"1\"/></p:presentation>",
         "<p:presentation><p:sldMasterIdLst><p:sldMasterId/></p:sldMasterIdLst>" + list +
             "<p:sldSz cx=\"1\"/></p:presentation>"},
        // The list follows the notes and handout master lists.
        {"<p:presentation><p:sldMasterIdLst></p:sldMasterIdLst><p:notesMasterIdLst></p:notesMasterIdLst>"
         "<p:sldSz/></p:presentation>",
         "<p:presentation><p:sldMasterIdLst></p:sldMasterIdLst><p:notesMasterIdLst></p:notesMasterIdLst>" + list +
             "<p:sldSz/></p:presentation>"},
        {"<p:presentation><p:sldMasterIdLst></p:sldMasterIdLst><p:notesMasterIdLst></p:notesMasterIdLst>"
         "<p:handoutMasterIdLst></p:handoutMasterIdLst><p:sldSz/></p:presentation>",
         "<p:presentation><p:sldMasterIdLst></p:sldMasterIdLst><p:notesMasterIdLst></p:notesMasterIdLst>"
         "<p:handoutMasterIdLst></p:handoutMasterIdLst>" + list + "<p:sldSz/></p:presentation>"},
        // A self-closing empty list is replaced, never doubled.
        {"<p:presentation><p:sldMasterIdLst></p:sldMasterIdLst><p:sldIdLst/><p:sldSz/></p:presentation>",
         "<p:presentation><p:sldMasterIdLst></p:sldMasterIdLst>" + list + "<p:sldSz/></p:presentation>"},
        {"<p:presentation><p:sldSz/><p:notesSz/></p:presentation>",
         "<p:presentation>" + list + "<p:sldSz/><p:notesSz/></p:presentation>"},
        {"<p:presentation><p:notesSz/><p:defaultTextStyle/></p:presentation>",
         "<p:presentation>" + list + "<p:notesSz/><p:defaultTextStyle/></p:presentation>"},
        {"<p:presentation><p:defaultTextStyle/></p:presentation>",
         "<p:presentation>" + list + "<p:defaultTextStyle/></p:presentation>"},
        {"<p:presentation></p:presentation>", "<p:presentation>" + list + "</p:presentation>"},
    };
    for (const auto& [xml, expected] : cases) {
        const auto result = append_slide_id(xml, 300, "rId9");
        ASSERT_TRUE(result) << xml;
        EXPECT_EQ(*result, expected) << xml;
    }
    const auto missing = append_slide_id("<p:presentation/>", 300, "rId9");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, ErrorKind::XmlTextDecode);
    EXPECT_EQ(missing.error().message, "expected closing marker </p:presentation>");
}

}  // namespace
}  // namespace varnex
