#include <gtest/gtest.h>

#include <limits>

#include "package_io.hpp"
#include "relationships.hpp"
#include "stored_zip.hpp"

namespace varnex {
namespace {

const std::string kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
const std::string kTail = "</Relationships>\n";

std::string rels(const std::string& body) { return kHead + body + kTail; }

std::string rel(const std::string& id, const std::string& target = "t.xml") {
    return "<Relationship Id=\"" + id + "\" Type=\"http://x/image\" Target=\"" + target + "\"/>";
}

TEST(RelationshipPartName, PutsTheRelsFolderNextToTheSource) {
    const std::pair<const char*, const char*> cases[] = {
        {"ppt/slides/slide3.xml", "ppt/slides/_rels/slide3.xml.rels"},
        {"ppt/presentation.xml", "ppt/_rels/presentation.xml.rels"},
        {"[Content_Types].xml", "_rels/[Content_Types].xml.rels"},
        {"", "_rels/.rels"},
    };
    for (const auto& [part, expected] : cases) EXPECT_EQ(relationship_part_name(part), expected) << part;
}

TEST(ResolveTarget, WalksTheTargetFromTheSourceFolder) {
    struct Case {
        const char* source;
        const char* target;
        const char* expected;
    };
    const Case cases[] = {
        {"ppt/slides/slide1.xml", "../media/image1.png", "ppt/media/image1.png"},
        {"ppt/slides/slide1.xml", "../../x.xml", "x.xml"},
        {"ppt/slides/slide1.xml", "../../../../x.xml", "x.xml"},
        {"ppt/slides/slide1.xml", "./slide2.xml", "ppt/slides/slide2.xml"},
        {"ppt/slides/slide1.xml", "a//./b.xml", "ppt/slides/a/b.xml"},
        {"ppt/slides/slide1.xml", "/ppt/slides/slide2.xml", "ppt/slides/slide2.xml"},
        {"", "/ppt/presentation.xml", "ppt/presentation.xml"},
        {"", "ppt/presentation.xml", "ppt/presentation.xml"},
        {"ppt/presentation.xml", "slides/slide1.xml", "ppt/slides/slide1.xml"},
    };
    for (const auto& c : cases) EXPECT_EQ(resolve_target(c.source, c.target), c.expected) << c.source << " " << c.target;
}

TEST(MakeRelativeTarget, IsUndoneByResolveTarget) {
    struct Case {
        const char* source;
        const char* destination;
        const char* expected;
    };
    const Case cases[] = {
        {"ppt/slides/slide1.xml", "ppt/media/image2.png", "../media/image2.png"},
        {"ppt/slides/slide1.xml", "ppt/slides/slide2.xml", "slide2.xml"},
        {"ppt/slides/slide1.xml", "ppt/slideLayouts/slideLayout1.xml", "../slideLayouts/slideLayout1.xml"},
        {"ppt/slides/slide1.xml", "x.xml", "../../x.xml"},
        {"ppt/slides/slide1.xml", "ppt/slides/sub/a.xml", "sub/a.xml"},
        {"ppt/presentation.xml", "ppt/slides/slide1.xml", "slides/slide1.xml"},
        {"ppt/a/b/c.xml", "ppt/a/b", "../b"},  // the destination's last segment is a file name
        {"top.xml", "ppt/slides/slide1.xml", "ppt/slides/slide1.xml"},
    };
    for (const auto& c : cases) {
        const auto target = make_relative_target(c.source, c.destination);
        EXPECT_EQ(target, c.expected) << c.source << " -> " << c.destination;
        EXPECT_EQ(resolve_target(c.source, target), c.destination) << c.source << " -> " << c.destination;
    }
}

TEST(ParseRelationships, ReadsEveryRelationshipInOrder) {
    const auto xml = rels(
        "\n<Relationship Id=\"rId1\" Type=\"http://x/slideLayout\" Target=\"../slideLayouts/slideLayout1.xml\"/>"
        "\n<Relationship Id=\"rId2\" Target=\"a.xml\"/>"
        "\n<Relationship Id=\"rId3\" Type=\"http://x/hyperlink\" Target=\"http://e.com/?a=1&amp;b=&#50;\" "
        "TargetMode=\"External\"/>"
        "\n<r:Relationship xmlns:r=\"u\" Id=\"first\" r:Id=\"rId4\" Type=\"t\" Target=\"bad&nope;\"></r:Relationship>");
    const std::vector<RelationshipSummary> expected = {
        {"rId1", "http://x/slideLayout", "../slideLayouts/slideLayout1.xml", std::nullopt},
        {"rId2", "", "a.xml", std::nullopt},
        {"rId3", "http://x/hyperlink", "http://e.com/?a=1&b=2", "External"},
        {"rId4", "t", "", std::nullopt},
    };
    EXPECT_EQ(parse_relationships(xml), expected);
}

TEST(ParseRelationships, KeepsTheRecordsBeforeMalformedMarkup) {
    const auto records = parse_relationships(kHead + rel("rId1") + "<Relationship Id=\"rId2\" <<" + rel("rId3"));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].id, "rId1");
    EXPECT_TRUE(parse_relationships("").empty());
}

TEST(RelationshipTypes, SelectExactlyOrBySuffix) {
    const std::vector<RelationshipSummary> all = {
        {"rId1", "http://x/slide", "a", {}},
        {"rId2", "http://x/slideLayout", "b", {}},
        {"rId3", "http://x/slide", "c", {}},
    };
    const auto slides = relationships_by_type(all, "http://x/slide");
    ASSERT_EQ(slides.size(), 2u);
    EXPECT_EQ(slides[0].id, "rId1");
    EXPECT_EQ(slides[1].id, "rId3");
    EXPECT_TRUE(relationship_type_ends_with(all[0], "/slide"));
    EXPECT_FALSE(relationship_type_ends_with(all[1], "/slide"));
}

TEST(NextRelationshipId, IsOneAboveTheLargestNumericId) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{}, "rId1"},
        {{"rId1", "rId3"}, "rId4"},
        {{"rId1", "rId2", "rId7"}, "rId8"},
        {{"rId", "rId+2"}, "rId3"},
        {{"image5", "rIdX", "rId-1", "rId+", "RID9"}, "rId1"},
        {{"rId18446744073709551616", "rId2"}, "rId3"},  // beyond 64 bits: not numeric
        {{"rId10", "rId9"}, "rId11"},
        // The next number does not fit: the first free id instead of a wrapped one.
        {{"rId1", "rId18446744073709551615", "rId2"}, "rId3"},
    };
    for (const auto& [ids, expected] : cases) {
        std::string body;
        for (const auto& id : ids) body += rel(id);
        EXPECT_EQ(next_relationship_id(rels(body)), expected) << body;
    }
}

TEST(AddRelationship, EscapesTheValuesBeforeTheLastEndTag) {
    const auto xml = kHead + "<!-- </Relationships> -->" + rel("rId1") + kTail;
    const auto added = add_relationship(xml, "rId2", "http://x/image", "a&b\"<>.png");
    ASSERT_TRUE(added);
    EXPECT_EQ(*added, kHead + "<!-- </Relationships> -->" + rel("rId1") +
                          "<Relationship Id=\"rId2\" Type=\"http://x/image\" Target=\"a&amp;b&quot;&lt;&gt;.png\"/>" +
                          kTail);
    const auto appended = append_relationship(xml, "rId2", "http://x/image", "a&b.png");
    ASSERT_TRUE(appended);
    EXPECT_EQ(*appended, kHead + "<!-- </Relationships> -->" + rel("rId1") +
                             "<Relationship Id=\"rId2\" Type=\"http://x/image\" Target=\"a&b.png\"/>" + kTail);
}

TEST(AddRelationship, FailsWithoutTheEndTag) {
    const auto added = add_relationship("<Relationships/>", "rId1", "t", "x");
    ASSERT_FALSE(added);
    EXPECT_EQ(added.error().kind, ErrorKind::InvalidInput);
    EXPECT_EQ(added.error().message, "relationships part is missing </Relationships>");
    const auto appended = append_relationship("<Relationships/>", "rId1", "t", "x");
    ASSERT_FALSE(appended);
    EXPECT_EQ(appended.error().kind, ErrorKind::XmlTextDecode);
    EXPECT_EQ(appended.error().message, "expected closing marker </Relationships>");
}

TEST(RemoveRelationshipsById, DropsWholeElementsAndCountsThem) {
    const auto xml = rels(rel("rId1") + "<Relationship Id=\"rId2\" Type=\"t\" Target=\"x\"><!-- c --></Relationship>" +
                          rel("rId3") + "<Relationship Id=\"rId&#52;\" Target=\"y\"/>");
    const auto removed = remove_relationships_by_id(xml, {"rId2", "rId4", "rId9"});
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->xml, rels(rel("rId1") + rel("rId3")));
    EXPECT_EQ(removed->removed, 2u);

    const auto untouched = remove_relationships_by_id(xml, {"rId5"});
    ASSERT_TRUE(untouched);
    EXPECT_EQ(untouched->xml, xml);
    EXPECT_EQ(untouched->removed, 0u);
}

TEST(RemoveRelationshipsById, ReportsTruncatedAndMalformedParts) {
    const auto truncated = remove_relationships_by_id(kHead + "<Relationship Id=\"rId1\"><x>", {"rId1"});
    ASSERT_FALSE(truncated);
    EXPECT_EQ(truncated.error().kind, ErrorKind::XmlTextDecode);
    EXPECT_EQ(truncated.error().message, "unexpected EOF while removing relationship");

    const auto malformed = remove_relationships_by_id(kHead + rel("rId1") + "<Relationship Id=\"x\" </Relationships>",
                                                      {"rId1"});
    ASSERT_FALSE(malformed);
    EXPECT_EQ(malformed.error().kind, ErrorKind::Xml);
}

TEST(RewriteRelationshipTargets, ChangesOnlyTheMappedTargets) {
    const std::string kept = "<Relationship  Target='keep.xml' Id=\"rId2\" Type=\"t\"/>";
    const auto xml = rels(rel("rId1", "../charts/chart1.xml") + kept +
                          "<Relationship Id=\"rId3\" Type=\"t\" Target=\"a&amp;b.xml\"></Relationship>");
    const auto rewritten = rewrite_relationship_targets(
        xml, {{"../charts/chart1.xml", "../charts/chart7.xml"}, {"a&b.xml", "c&d.xml"}, {"absent.xml", "z.xml"}});
    ASSERT_TRUE(rewritten);
    EXPECT_EQ(*rewritten, rels(rel("rId1", "../charts/chart7.xml") + kept +
                               "<Relationship Id=\"rId3\" Type=\"t\" Target=\"c&amp;d.xml\"></Relationship>"));
}

TEST(RelationshipTemplates, AreExactAndParseBack) {
    EXPECT_EQ(empty_relationships_xml(), kHead + kTail);
    EXPECT_TRUE(parse_relationships(empty_relationships_xml()).empty());

    const auto slide = slide_layout_rels_xml("../slideLayouts/slideLayout2.xml");
    EXPECT_EQ(slide, kHead +
                         "<Relationship Id=\"rId1\" "
                         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideLayout\" "
                         "Target=\"../slideLayouts/slideLayout2.xml\"/>" +
                         kTail);
    const std::vector<RelationshipSummary> expected = {
        {"rId1", std::string(kSlideLayoutRelationshipType), "../slideLayouts/slideLayout2.xml", std::nullopt}};
    EXPECT_EQ(parse_relationships(slide), expected);
}

TEST(ReadRelationships, ReadsTheSourcesRelationshipsPart) {
    const auto zip = testing::stored_zip({
        {"ppt/slides/slide1.xml", "<p:sld/>"},
        {"ppt/slides/_rels/slide1.xml.rels", rels(rel("rId1", "../media/image1.png"))},
        {"_rels/.rels", rels(rel("rId1", "ppt/presentation.xml"))},
    });
    auto package = open_package_from_memory(zip);
    ASSERT_TRUE(package) << package.error().display();

    const auto slide = read_relationships(*package, "ppt/slides/slide1.xml");
    ASSERT_TRUE(slide);
    ASSERT_EQ(slide->size(), 1u);
    EXPECT_EQ((*slide)[0].target, "../media/image1.png");

    const auto root = read_relationships(*package, "");
    ASSERT_TRUE(root);
    ASSERT_EQ(root->size(), 1u);
    EXPECT_EQ((*root)[0].target, "ppt/presentation.xml");

    const auto none = read_relationships(*package, "ppt/slides/slide2.xml");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

TEST(ReadRelationships, RefusesAPartThatIsNotUtf8) {
    const auto zip = testing::stored_zip({{"ppt/_rels/presentation.xml.rels", kHead + "\xff" + kTail}});
    auto package = open_package_from_memory(zip);
    ASSERT_TRUE(package) << package.error().display();
    const auto result = read_relationships(*package, "ppt/presentation.xml");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, ErrorKind::Io);
}

}  // namespace
}  // namespace varnex
