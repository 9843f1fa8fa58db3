#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "package_io.hpp"
#include "zip_archive.hpp"
#include "zip_builder.hpp"

namespace varnex {
namespace {

using testing::build_zip;
using testing::deflated_entry;
using testing::extra_block;
using testing::read_file;
using testing::stored_entry;
using testing::TempDir;
using testing::TestEntry;
using testing::write_file;

std::span<const std::uint8_t> span_of(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

void expect_error(const VarnexError& error, ErrorKind kind, std::string_view prefix) {
    EXPECT_EQ(error.kind, kind) << error.display();
    EXPECT_TRUE(error.message.starts_with(prefix)) << error.display();
}

TEST(PartKind, ClassifiesByNameInRuleOrder) {
    const std::pair<const char*, PartKind> cases[] = {
        {"_rels/.rels", PartKind::Relationships},
        {"ppt/slides/_rels/slide1.xml.rels", PartKind::Relationships},
        {"ppt/vbaProject.bin", PartKind::Vba},
        {"ppt/media/vbaProject.bin", PartKind::Vba},
        {"[Content_Types].xml", PartKind::Xml},
        {"ppt/media/item.xml", PartKind::Xml},
        {"ppt/media/image1.png", PartKind::Media},
        {"ppt/media/", PartKind::Media},
        {"ppt/embeddings/oleObject1.bin", PartKind::Embedding},
        {"docProps/thumbnail.jpeg", PartKind::Binary},
        {"ppt/slides/slide1.XML", PartKind::Binary},
        {"PPT/media/image1.png", PartKind::Binary},
    };
    for (const auto& [name, kind] : cases) EXPECT_EQ(part_kind(name), kind) << name;
}

TEST(PackageFacts, CountEveryEntryAndNoticeMacros) {
    std::uint64_t count = 0;
    bool has_vba = false;
    for (const char* name : {"ppt/", "a.xml", "ppt/vbaProject.bin", "b.png"}) update_package_facts(name, count, has_vba);
    EXPECT_EQ(count, 4u);
    EXPECT_TRUE(has_vba);
}

TEST(Utf8, AcceptsOnlyWellFormedSequences) {
    const std::pair<std::string, bool> cases[] = {
        {"", true},
        {"plain ascii text that is longer than eight bytes", true},
        {"\xef\xbb\xbf<a>é€𝄞</a>", true},
        {"\xc3", false},                 // truncated
        {"abcdefgh\x80", false},          // stray continuation after an ASCII run
        {"\xc0\xaf", false},             // overlong
        {"\xe0\x80\xaf", false},         // overlong
        {"\xed\xa0\x80", false},         // surrogate
        {"\xf4\x90\x80\x80", false},     // above U+10FFFF
        {"\xf5\x80\x80\x80", false},
        {"\xe2\x82", false},
        {"\xe2\x28\xa1", false},         // bad continuation
        {"\xf0\x9f\x98\x80", true},
    };
    for (const auto& [text, valid] : cases) EXPECT_EQ(is_valid_utf8(text), valid) << ::testing::PrintToString(text);
}

// A package in memory with one entry of each interesting kind.
class ReadPartsTest : public ::testing::Test {
protected:
    ReadPartsTest() {
        TestEntry encrypted = stored_entry("encrypted.xml", "<e/>");
        encrypted.flags = 1;
        TestEntry bzip = stored_entry("bzip.xml", "<b/>");
        bzip.method = 12;
        TestEntry bad_crc = deflated_entry("bad_crc.xml", "<c/>");
        bad_crc.crc ^= 0x10;
        bytes_ = build_zip({stored_entry("ppt/presentation.xml", "\xef\xbb\xbf<p:presentation/>"),
                            deflated_entry("bin", std::string("\x00\xff\xfe", 3)), encrypted, bzip, bad_crc,
                            stored_entry("latin1.xml", "caf\xe9")});
        auto package = open_package_from_memory(span_of(bytes_));
        EXPECT_TRUE(package) << package.error().display();
        package_.emplace(std::move(*package));
    }
    std::string bytes_;
    std::optional<Package> package_;
};

TEST_F(ReadPartsTest, TextKeepsItsBytesAndMissingOrUnopenableEntriesAreAbsent) {
    auto text = read_archive_text(*package_, "ppt/presentation.xml");
    ASSERT_TRUE(text && *text);
    EXPECT_EQ(**text, "\xef\xbb\xbf<p:presentation/>");
    for (const char* name : {"ppt/Presentation.xml", "missing.xml", "encrypted.xml", "bzip.xml"}) {
        auto absent = read_archive_text(*package_, name);
        ASSERT_TRUE(absent) << name;
        EXPECT_FALSE(*absent) << name;
    }
}

TEST_F(ReadPartsTest, TextReadFailuresAreIoErrors) {
    const std::pair<const char*, const char*> cases[] = {
        {"bad_crc.xml", "CRC-32 mismatch"},
        {"latin1.xml", "entry latin1.xml is not valid UTF-8"},
    };
    for (const auto& [name, prefix] : cases) {
        auto text = read_archive_text(*package_, name);
        ASSERT_FALSE(text) << name;
        expect_error(text.error(), ErrorKind::Io, prefix);
    }
}

TEST_F(ReadPartsTest, BytesAreAbsentOnlyWhenMissing) {
    auto bytes = read_archive_bytes(*package_, "bin");
    ASSERT_TRUE(bytes && *bytes);
    EXPECT_EQ(**bytes, (std::vector<std::uint8_t>{0x00, 0xff, 0xfe}));
    auto missing = read_archive_bytes(*package_, "nope");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(*missing);
    const std::pair<const char*, ErrorKind> failures[] = {
        {"encrypted.xml", ErrorKind::Zip}, {"bzip.xml", ErrorKind::Zip}, {"bad_crc.xml", ErrorKind::Io}};
    for (const auto& [name, kind] : failures) {
        auto failed = read_archive_bytes(*package_, name);
        ASSERT_FALSE(failed) << name;
        EXPECT_EQ(failed.error().kind, kind) << name;
    }
}

TEST(OpenPackage, ReportsIoAndZipFailures) {
    TempDir dir;
    write_file(dir.file("text.pptx"), "not a zip archive");
    auto missing = open_package(dir.file("missing.pptx"));
    ASSERT_FALSE(missing);
    expect_error(missing.error(), ErrorKind::Io, "No such file or directory (os error 2)");
    auto directory = open_package(dir.path().string());
    ASSERT_FALSE(directory);
    EXPECT_EQ(directory.error().kind, ErrorKind::Io);
    auto text = open_package(dir.file("text.pptx"));
    ASSERT_FALSE(text);
    expect_error(text.error(), ErrorKind::Zip, "invalid Zip archive");
}

// ---------------------------------------------------------------------------------------------
// Manifest

TEST(InspectPackage, ListsEntriesSortedByNameBytesWithTheirDigests) {
    TempDir dir;
    const std::string path = dir.file("deck.pptx");
    write_file(path, build_zip({deflated_entry("b.xml", "<b/>"), stored_entry("a.xml", "abc"),
                                stored_entry("A.xml", "upper"), stored_entry("ppt/media/", ""),
                                stored_entry("a.xml", "second a")}));
    auto manifest = inspect_package(path);
    ASSERT_TRUE(manifest) << manifest.error().display();
    EXPECT_EQ(manifest->path.value, path);
    ASSERT_EQ(manifest->parts.size(), 5u);
    const char* names[] = {"A.xml", "a.xml", "a.xml", "b.xml", "ppt/media/"};
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(manifest->parts[i].name, names[i]);
    // Equal names keep their archive order.
    EXPECT_EQ(manifest->parts[1].size, 3u);
    EXPECT_EQ(manifest->parts[1].sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(manifest->parts[2].size, 8u);
    const PartRecord& directory = manifest->parts[4];
    EXPECT_EQ(directory.size, 0u);
    EXPECT_EQ(directory.sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(directory.kind, PartKind::Media);
    EXPECT_EQ(manifest->parts[3].kind, PartKind::Xml);
}

TEST(InspectPackage, EmptyArchiveHasNoParts) {
    TempDir dir;
    write_file(dir.file("empty.pptx"), build_zip({}));
    auto manifest = inspect_package(dir.file("empty.pptx"));
    ASSERT_TRUE(manifest) << manifest.error().display();
    EXPECT_TRUE(manifest->parts.empty());
}

TEST(InspectPackage, OneBadEntryFailsTheWholeInspection) {
    TestEntry encrypted = stored_entry("e.bin", "x");
    encrypted.flags = 1;
    TestEntry bad_crc = stored_entry("c.bin", "x");
    bad_crc.crc = 0;
    const std::pair<TestEntry, ErrorKind> cases[] = {{encrypted, ErrorKind::Zip}, {bad_crc, ErrorKind::Io}};
    TempDir dir;
    for (const auto& [entry, kind] : cases) {
        write_file(dir.file("bad.pptx"), build_zip({stored_entry("ok.xml", "<ok/>"), entry}));
        auto manifest = inspect_package(dir.file("bad.pptx"));
        ASSERT_FALSE(manifest) << entry.name;
        EXPECT_EQ(manifest.error().kind, kind) << entry.name;
    }
}

// ---------------------------------------------------------------------------------------------
// Writing

// Reopens a written archive and keeps its bytes alive.
struct Written {
    explicit Written(const std::string& path) : bytes(read_file(path)) {
        auto opened = zip::ArchiveReader::open_memory(span_of(bytes));
        EXPECT_TRUE(opened) << opened.error().display();
        if (opened) reader = std::move(*opened);
    }
    std::string record(std::size_t index) const { return local_record(*reader, bytes, index); }
    static std::string local_record(const zip::ArchiveReader& reader, const std::string& bytes, std::size_t index) {
        auto loc = reader.locate(index);
        auto end = reader.record_end(index, *loc);
        return bytes.substr(loc->header_offset, *end - loc->header_offset);
    }
    std::string text(std::size_t index) const {
        auto content = reader->read(index);
        EXPECT_TRUE(content) << content.error().display();
        return content ? std::string(content->begin(), content->end()) : std::string();
    }
    std::string bytes;
    std::unique_ptr<zip::ArchiveReader> reader;
};

class WritePackageTest : public ::testing::Test {
protected:
    WritePackageTest() {
        TestEntry slide = deflated_entry("ppt/slides/slide1.xml", "<p:sld>old slide</p:sld>");
        slide.local_extra = extra_block(0x5455, "\x01\x10\x20\x30\x40");
        slide.central_extra = extra_block(0x5455, "\x01\x10\x20\x30\x40");
        TestEntry media = stored_entry("ppt/media/image1.png", "\x89PNG-bytes");
        media.descriptor = true;
        media.flags = zip::kFlagDataDescriptor;
        TestEntry directory = stored_entry("ppt/media/", "");
        directory.external_attributes = (040755u << 16) | 0x10;
        input_bytes_ = build_zip({stored_entry("[Content_Types].xml", "<Types/>"), slide, directory, media,
                                  deflated_entry("ppt/notesSlides/notesSlide1.xml", "<notes/>"),
                                  stored_entry("ppt/vbaProject.bin", "macro")});
        input_path_ = dir_.file("in.pptx");
        output_path_ = dir_.file("out.pptx");
        write_file(input_path_, input_bytes_);
        auto package = open_package(input_path_);
        EXPECT_TRUE(package) << package.error().display();
        package_.emplace(std::move(*package));
        auto original = zip::ArchiveReader::open_memory(span_of(input_bytes_));
        original_ = std::move(*original);
    }

    TempDir dir_;
    std::string input_bytes_;
    std::string input_path_;
    std::string output_path_;
    std::optional<Package> package_;
    std::unique_ptr<zip::ArchiveReader> original_;
};

TEST_F(WritePackageTest, CopiesUntouchedEntriesRawAndRewritesChangedOnes) {
    PackageEdits edits;
    edits.replaced.emplace("[Content_Types].xml", "<Types>new</Types>");
    edits.replaced.emplace("ppt/notesSlides/notesSlide1.xml", "<notes>new</notes>");
    edits.replaced.emplace("ppt/slides/slide9.xml", "not in the input");
    edits.removed.insert("ppt/vbaProject.bin");
    edits.added = {{"ppt/slides/slide2.xml", "<p:sld>added</p:sld>"}, {"ppt/media/image2.png", "png"}};
    auto facts = write_package(*package_, output_path_, edits);
    ASSERT_TRUE(facts) << facts.error().display();
    EXPECT_EQ(facts->part_count, 7u);
    EXPECT_FALSE(facts->has_vba);

    Written out(output_path_);
    ASSERT_EQ(out.reader->entry_count(), 7u);
    const char* names[] = {"[Content_Types].xml", "ppt/slides/slide1.xml", "ppt/media/", "ppt/media/image1.png",
                           "ppt/notesSlides/notesSlide1.xml", "ppt/slides/slide2.xml", "ppt/media/image2.png"};
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(out.reader->entry(i).name, names[i]);

    // Untouched entries: the same local record, the same central fields.
    for (std::size_t i : {1, 2, 3}) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(out.record(i), Written::local_record(*original_, input_bytes_, i));
        const zip::EntryInfo& a = original_->entry(i);
        const zip::EntryInfo& b = out.reader->entry(i);
        EXPECT_EQ(a.crc32, b.crc32);
        EXPECT_EQ(a.mod_time, b.mod_time);
        EXPECT_EQ(a.mod_date, b.mod_date);
        EXPECT_EQ(a.external_attributes, b.external_attributes);
        EXPECT_EQ(a.extra, b.extra);
        EXPECT_EQ(a.flags, b.flags);
    }
    // Replaced entries keep their method; replaced and added ones get the fixed time and mode.
    const std::pair<std::size_t, std::uint16_t> rewritten[] = {
        {0, zip::kMethodStored}, {4, zip::kMethodDeflate}, {5, zip::kMethodDeflate}, {6, zip::kMethodDeflate}};
    for (const auto& [i, method] : rewritten) {
        SCOPED_TRACE(names[i]);
        const zip::EntryInfo& e = out.reader->entry(i);
        EXPECT_EQ(e.method, method);
        EXPECT_EQ(e.mod_date, 0x21);
        EXPECT_EQ(e.mod_time, 0);
        EXPECT_EQ(e.external_attributes, 0100644u << 16);
    }
    EXPECT_EQ(out.text(0), "<Types>new</Types>");
    EXPECT_EQ(out.text(4), "<notes>new</notes>");
    EXPECT_EQ(out.text(5), "<p:sld>added</p:sld>");
    EXPECT_EQ(out.text(3), "\x89PNG-bytes");
}

TEST_F(WritePackageTest, SingleReplacedPartCountsEveryEntryIncludingDirectories) {
    auto facts = write_package_with_replaced_part(*package_, output_path_, "ppt/slides/slide1.xml", "<p:sld/>");
    ASSERT_TRUE(facts) << facts.error().display();
    EXPECT_EQ(facts->part_count, 6u);
    EXPECT_TRUE(facts->has_vba);
    Written out(output_path_);
    ASSERT_EQ(out.reader->entry_count(), 6u);
    EXPECT_EQ(out.reader->entry(1).method, zip::kMethodDeflate);
    EXPECT_TRUE(out.reader->entry(1).extra.empty());
    EXPECT_EQ(out.text(1), "<p:sld/>");
    for (std::size_t i : {0, 2, 3, 4, 5}) EXPECT_EQ(out.record(i), Written::local_record(*original_, input_bytes_, i));
}

TEST_F(WritePackageTest, RewriteAllWritesEveryKeptEntryAnew) {
    PackageEdits edits;
    edits.rewrite_all = true;
    edits.removed.insert("ppt/vbaProject.bin");
    auto facts = write_package(*package_, output_path_, edits);
    ASSERT_TRUE(facts) << facts.error().display();
    Written out(output_path_);
    ASSERT_EQ(out.reader->entry_count(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        const zip::EntryInfo& before = original_->entry(i);
        const zip::EntryInfo& after = out.reader->entry(i);
        SCOPED_TRACE(after.name);
        EXPECT_EQ(after.name, before.name);
        EXPECT_EQ(after.method, before.method);
        EXPECT_EQ(after.mod_date, 0x21);
        EXPECT_EQ(after.flags & zip::kFlagDataDescriptor, 0);
        EXPECT_TRUE(after.extra.empty());
        EXPECT_EQ(after.crc32, before.crc32);
        const auto content = original_->read(i);
        ASSERT_TRUE(content);
        EXPECT_EQ(out.text(i), std::string(content->begin(), content->end()));
    }
    EXPECT_TRUE(out.reader->entry(2).is_directory());
    EXPECT_EQ(out.reader->entry(2).external_attributes >> 16, 040644u);
}

TEST(WritePackage, AFailureOnTheThirdEntryLeavesAnArchiveOfTheFirstTwo) {
    TestEntry damaged = stored_entry("third.xml", "<3/>");
    damaged.offset_override = 1u << 20;
    TempDir dir;
    write_file(dir.file("in.pptx"), build_zip({stored_entry("first.xml", "<1/>"), deflated_entry("second.xml", "<2/>"),
                                               damaged, stored_entry("fourth.xml", "<4/>")}));
    auto package = open_package(dir.file("in.pptx"));
    ASSERT_TRUE(package);
    auto facts = write_package_with_replaced_part(*package, dir.file("out.pptx"), "first.xml", "<one/>");
    ASSERT_FALSE(facts);
    expect_error(facts.error(), ErrorKind::Zip, "local header of entry third.xml out of bounds");
    Written out(dir.file("out.pptx"));
    ASSERT_EQ(out.reader->entry_count(), 2u);
    EXPECT_EQ(out.text(0), "<one/>");
    EXPECT_EQ(out.text(1), "<2/>");
}

TEST(WritePackage, UnwritableOutputIsAnIoError) {
    TempDir dir;
    write_file(dir.file("in.pptx"), build_zip({stored_entry("a.xml", "<a/>")}));
    auto package = open_package(dir.file("in.pptx"));
    ASSERT_TRUE(package);
    auto facts = write_package(*package, dir.file("missing/out.pptx"), PackageEdits{});
    ASSERT_FALSE(facts);
    expect_error(facts.error(), ErrorKind::Io, "No such file or directory (os error 2)");
}

TEST(WritePackage, WritesFromAnInMemoryPackage) {
    const std::string bytes = build_zip({deflated_entry("xl/workbook.xml", "<workbook/>"), stored_entry("b", "b")});
    auto package = open_package_from_memory(span_of(bytes));
    ASSERT_TRUE(package);
    TempDir dir;
    auto facts = write_package_with_replaced_part(*package, dir.file("out.xlsx"), "b", "B");
    ASSERT_TRUE(facts) << facts.error().display();
    Written out(dir.file("out.xlsx"));
    EXPECT_EQ(out.text(0), "<workbook/>");
    EXPECT_EQ(out.text(1), "B");
}

// ---------------------------------------------------------------------------------------------
// Same file refusal, directories, round trip

class SameFileTest : public ::testing::Test {
protected:
    SameFileTest() {
        bytes_ = build_zip({stored_entry("a.xml", "<a/>")});
        path_ = dir_.file("deck.pptx");
        write_file(path_, bytes_);
        std::filesystem::create_symlink(path_, dir_.file("link.pptx"));
        std::filesystem::create_hard_link(path_, dir_.file("hard.pptx"));
    }
    // The same file under other names.
    std::vector<std::string> aliases() const {
        return {path_, dir_.file("link.pptx"), dir_.file("hard.pptx"), (dir_.path() / "." / "deck.pptx").string(),
                dir_.file("sub/../deck.pptx")};
    }
    TempDir dir_;
    std::string bytes_;
    std::string path_;
};

TEST_F(SameFileTest, WritingOverTheInputIsRefusedBeforeTouchingIt) {
    std::filesystem::create_directory(dir_.file("sub"));
    auto package = open_package(path_);
    ASSERT_TRUE(package);
    for (const auto& output : aliases()) {
        SCOPED_TRACE(output);
        auto facts = write_package_with_replaced_part(*package, output, "a.xml", "<b/>");
        ASSERT_FALSE(facts);
        EXPECT_EQ(facts.error().display(), "invalid input: input and output must be different files");
        EXPECT_EQ(read_file(path_), bytes_);
    }
}

TEST_F(SameFileTest, RoundTripOverTheInputIsRefusedBeforeCopying) {
    std::filesystem::create_directory(dir_.file("sub"));
    for (const auto& output : aliases()) {
        SCOPED_TRACE(output);
        auto manifest = roundtrip_package(path_, output);
        ASSERT_FALSE(manifest);
        EXPECT_EQ(manifest.error().display(), "invalid input: input and output must be different files");
        EXPECT_EQ(read_file(path_), bytes_);
    }
    EXPECT_TRUE(ensure_distinct_files(path_, dir_.file("other.pptx")));
    EXPECT_FALSE(ensure_distinct_files(dir_.file("link.pptx"), path_));
}

TEST(CreateParentDirectories, CreatesMissingAncestors) {
    TempDir dir;
    ASSERT_TRUE(create_parent_directories(dir.file("a/b/c/out.pptx")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "a/b/c"));
    EXPECT_TRUE(create_parent_directories("bare-name.pptx"));
    write_file(dir.file("file"), "x");
    auto blocked = create_parent_directories(dir.file("file/sub/out.pptx"));
    ASSERT_FALSE(blocked);
    EXPECT_EQ(blocked.error().kind, ErrorKind::Io);
}

TEST(RoundTripPackage, CopiesTheFileAndDescribesTheInputUnderTheOutputPath) {
    TempDir dir;
    const std::string bytes = build_zip({stored_entry("b.xml", "<b/>"), deflated_entry("a.xml", "<a/>")});
    write_file(dir.file("in.pptx"), bytes);
    const std::string output = dir.file("new/dir/out.pptx");
    auto manifest = roundtrip_package(dir.file("in.pptx"), output);
    ASSERT_TRUE(manifest) << manifest.error().display();
    EXPECT_EQ(read_file(output), bytes);
    EXPECT_EQ(manifest->path.value, output);
    ASSERT_EQ(manifest->parts.size(), 2u);
    EXPECT_EQ(manifest->parts[0].name, "a.xml");
}

TEST(RoundTripPackage, ANonArchiveIsCopiedThenRefused) {
    TempDir dir;
    write_file(dir.file("in.pptx"), "plain text");
    auto manifest = roundtrip_package(dir.file("in.pptx"), dir.file("out.pptx"));
    ASSERT_FALSE(manifest);
    expect_error(manifest.error(), ErrorKind::Zip, "invalid Zip archive");
    EXPECT_EQ(read_file(dir.file("out.pptx")), "plain text");
    auto missing = roundtrip_package(dir.file("none.pptx"), dir.file("out2.pptx"));
    ASSERT_FALSE(missing);
    expect_error(missing.error(), ErrorKind::Io, "No such file or directory (os error 2)");
}

}  // namespace
}  // namespace varnex
