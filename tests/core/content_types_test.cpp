#include <gtest/gtest.h>

#include "content_types.hpp"

namespace varnex {
namespace {

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"PNG\" ContentType=\"image/png\"/>"
    "<Override PartName=\"/ppt/slides/slide1.xml\" ContentType=\"application/slide\"/>";
const std::string kTypes = kHead + "</Types>";

TEST(EnsureDefaultContentType, AddsOnlyWhenTheExactProbeIsMissing) {
    const auto added = ensure_default_content_type(kTypes, "png", "image/png");
    ASSERT_TRUE(added);
    EXPECT_EQ(*added, kHead + "<Default Extension=\"png\" ContentType=\"image/png\"/></Types>");

    const auto again = ensure_default_content_type(*added, "png", "image/other");
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *added);
}

TEST(EnsureContentTypeOverride, AddsOnlyWhenThePartNameIsMissing) {
    const auto present = ensure_content_type_override(kTypes, "/ppt/slides/slide1.xml", "x");
    ASSERT_TRUE(present);
    EXPECT_EQ(*present, kTypes);

    const auto added = ensure_content_type_override(kTypes, "/ppt/slides/slide2.xml", "application/slide");
    ASSERT_TRUE(added);
    EXPECT_EQ(*added, kHead + "<Override PartName=\"/ppt/slides/slide2.xml\" ContentType=\"application/slide\"/></Types>");
}

TEST(ContentTypeEdits, EscapeOnlyInTheEnsuringForms) {
    const std::string odd = "a&b<c>\"d'";
    const std::string escaped = "a&amp;b&lt;c&gt;&quot;d'";
    const auto with_default = ensure_default_content_type(kTypes, odd, odd);
    ASSERT_TRUE(with_default);
    EXPECT_EQ(*with_default, kHead + "<Default Extension=\"" + escaped + "\" ContentType=\"" + escaped + "\"/></Types>");

    const auto with_override = ensure_content_type_override(kTypes, odd, odd);
    ASSERT_TRUE(with_override);
    EXPECT_EQ(*with_override, kHead + "<Override PartName=\"" + escaped + "\" ContentType=\"" + escaped + "\"/></Types>");

    const auto appended = append_content_type_override(kTypes, odd, odd);
    ASSERT_TRUE(appended);
    EXPECT_EQ(*appended, kHead + "<Override PartName=\"" + odd + "\" ContentType=\"" + odd + "\"/></Types>");
}

TEST(ContentTypeEdits, InsertBeforeTheLastClosingMarker) {
    const std::string text = "<Types><!-- </Types> --></Types>";
    const auto added = ensure_default_content_type(text, "gif", "image/gif");
    ASSERT_TRUE(added);
    EXPECT_EQ(*added, "<Types><!-- </Types> --><Default Extension=\"gif\" ContentType=\"image/gif\"/></Types>");
    const auto appended = append_content_type_override(text, "/a.xml", "t");
    ASSERT_TRUE(appended);
    EXPECT_EQ(*appended, "<Types><!-- </Types> --><Override PartName=\"/a.xml\" ContentType=\"t\"/></Types>");
}

TEST(ContentTypeEdits, ReportAMissingClosingMarker) {
    const std::string text = "<Types/>";
    for (const auto& result : {ensure_default_content_type(text, "gif", "image/gif"),
                               ensure_content_type_override(text, "/a.xml", "t")}) {
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().kind, ErrorKind::InvalidInput);
        EXPECT_EQ(result.error().message, "[Content_Types].xml is missing </Types>");
    }
    const auto appended = append_content_type_override(text, "/a.xml", "t");
    ASSERT_FALSE(appended);
    EXPECT_EQ(appended.error().kind, ErrorKind::XmlTextDecode);
    EXPECT_EQ(appended.error().message, "expected closing marker </Types>");
}

TEST(FindContentTypeOverride, MatchesTheSlashedPartNameByLocalElementName) {
    const std::string text =
        "<ct:Types xmlns:ct=\"u\">"
        "<ct:Override PartName=\"/ppt/slides/slide1.xml\" ContentType=\"first\"/>"
        "<Override PartName=\"/ppt/slides/slide1.xml\" ContentType=\"second\"/>"
        "<Override PartName=\"/ppt/a&amp;b.xml\" ContentType=\"x&amp;y\"/>"
        "<Override PartName=\"/ppt/bare.xml\"/>"
        "<Default PartName=\"/ppt/default.xml\" ContentType=\"d\"/>"
        "</ct:Types>";
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"ppt/slides/slide1.xml", "first"},
        {"/ppt/slides/slide1.xml", "first"},
        {"ppt/a&b.xml", "x&y"},
        {"ppt/bare.xml", ""},
        {"ppt/default.xml", std::nullopt},
        {"ppt/slides/slide2.xml", std::nullopt},
        {"PPT/slides/slide1.xml", std::nullopt},
    };
    for (const auto& [part, expected] : cases) EXPECT_EQ(find_content_type_override(text, part), expected) << part;
}

TEST(FindContentTypeOverride, TreatsMalformedMarkupAsTheEnd) {
    const std::string text = "<Types><Override PartName=\"/a.xml\" <<<Override PartName=\"/b.xml\" ContentType=\"t\"/>";
    EXPECT_EQ(find_content_type_override(text, "b.xml"), std::nullopt);
}

TEST(ImageExtension, LowerCasesAndAppliesSynonyms) {
    const std::pair<const char*, const char*> cases[] = {
        {"photo.JPEG", "jpg"},       {"a.jpe", "jpg"},       {"b.JFIF", "jpg"},          {"c.jpg", "jpg"},
        {"scan.TIF", "tiff"},        {"scan.tiff", "tiff"},  {"icon.webp", "webp"},      {"picture.", ""},
        {"/d.x/pic.PnG", "png"},     {"archive.tar.GZ", "gz"}, {"caf\xc3\xa9.\xc3\x89", "\xc3\x89"},
    };
    for (const auto& [path, expected] : cases) {
        const auto extension = image_extension(path);
        ASSERT_TRUE(extension) << path;
        EXPECT_EQ(*extension, expected) << path;
    }
}

TEST(MediaExtension, LowerCasesWithoutSynonyms) {
    const std::pair<const char*, const char*> cases[] = {
        {"archive.tar.GZ", "gz"}, {"clip.MP4", "mp4"}, {"photo.JPEG", "jpeg"}, {"scan.tif", "tif"}};
    for (const auto& [path, expected] : cases) {
        const auto extension = media_extension(path, "movie");
        ASSERT_TRUE(extension) << path;
        EXPECT_EQ(*extension, expected) << path;
    }
}

TEST(MediaExtension, RefusesPathsWithoutAnExtension) {
    const char* cases[] = {"README", ".hidden", "dir.d/name", "dir/", "", ".", "..", "name.\xff"};
    for (const char* path : cases) {
        const auto movie = media_extension(path, "movie");
        ASSERT_FALSE(movie) << path;
        EXPECT_EQ(movie.error().kind, ErrorKind::InvalidInput);
        EXPECT_EQ(movie.error().message, std::string("movie path has no extension: ") + path);
        const auto image = image_extension(path);
        ASSERT_FALSE(image) << path;
        EXPECT_EQ(image.error().message, std::string("image path has no extension: ") + path);
    }
}

TEST(ImageContentType, MapsTheKnownExtensionsExactly) {
    const std::pair<const char*, const char*> known[] = {
        {"png", "image/png"}, {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"}, {"gif", "image/gif"},
        {"bmp", "image/bmp"}, {"tif", "image/tiff"}, {"tiff", "image/tiff"},
    };
    for (const auto& [extension, type] : known) {
        const auto result = image_content_type(extension);
        ASSERT_TRUE(result) << extension;
        EXPECT_EQ(*result, type);
    }
    for (const char* extension : {"webp", "", "PNG", "svg"}) {
        const auto result = image_content_type(extension);
        ASSERT_FALSE(result) << extension;
        EXPECT_EQ(result.error().kind, ErrorKind::InvalidInput);
        EXPECT_EQ(result.error().message, std::string("unsupported image extension: ") + extension);
    }
}

}  // namespace
}  // namespace varnex
