#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "zip_archive.hpp"
#include "zip_builder.hpp"

namespace varnex::zip {
namespace {

using varnex::testing::build_zip;
using varnex::testing::crc_of;
using varnex::testing::deflated_entry;
using varnex::testing::extra_block;
using varnex::testing::le;
using varnex::testing::read_file;
using varnex::testing::stored_entry;
using varnex::testing::TempDir;
using varnex::testing::TestEntry;
using varnex::testing::to_bytes;
using varnex::testing::write_file;
using varnex::testing::ZipOptions;

std::span<const std::uint8_t> span_of(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::string text_of(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::unique_ptr<ArchiveReader> open_or_fail(const std::string& bytes) {
    auto reader = ArchiveReader::open_memory(span_of(bytes));
    EXPECT_TRUE(reader) << reader.error().display();
    return reader ? std::move(*reader) : nullptr;
}
// The reader keeps a view of the bytes: a temporary would dangle.
std::unique_ptr<ArchiveReader> open_or_fail(std::string&&) = delete;

// ---------------------------------------------------------------------------------------------
// Reading

TEST(ArchiveReader, ReadsEntriesAndTheirRecordsFromFileAndMemory) {
    TestEntry deflated = deflated_entry("ppt/slides/slide1.xml", std::string(5000, 'x') + "<end/>");
    deflated.local_extra = extra_block(0xcafe, "local");
    deflated.central_extra = extra_block(0xcafe, "central");
    deflated.comment = "entry comment";
    deflated.internal_attributes = 1;
    TestEntry directory = stored_entry("ppt/media/", "");
    directory.external_attributes = (040755u << 16) | 0x10;
    const std::string bytes = build_zip({stored_entry("[Content_Types].xml", "<Types/>"), deflated, directory,
                                         stored_entry("empty.bin", "")},
                                        {.comment = "archive comment"});
    TempDir dir;
    write_file(dir.file("a.zip"), bytes);
    auto from_file = ArchiveReader::open_file(dir.file("a.zip"));
    ASSERT_TRUE(from_file) << from_file.error().display();

    auto from_memory = open_or_fail(bytes);
    for (const ArchiveReader* reader : {from_file->get(), from_memory.get()}) {
        ASSERT_EQ(reader->entry_count(), 4u);
        const EntryInfo& e = reader->entry(1);
        EXPECT_EQ(e.name, "ppt/slides/slide1.xml");
        EXPECT_EQ(e.method, kMethodDeflate);
        EXPECT_EQ(e.mod_time, 0x6b4a);
        EXPECT_EQ(e.mod_date, 0x5a8c);
        EXPECT_EQ(e.version_made_by, 0x031e);
        EXPECT_EQ(e.internal_attributes, 1);
        EXPECT_EQ(e.external_attributes, 0100600u << 16);
        EXPECT_EQ(e.extra, extra_block(0xcafe, "central"));
        EXPECT_EQ(e.comment, "entry comment");
        EXPECT_EQ(e.uncompressed_size, 5006u);
        EXPECT_FALSE(e.is_directory());
        EXPECT_TRUE(reader->entry(2).is_directory());

        EXPECT_EQ(reader->find("ppt/media/"), 2u);
        EXPECT_EQ(reader->find("PPT/media/"), std::nullopt);

        auto slide = reader->read(1);
        ASSERT_TRUE(slide) << slide.error().display();
        EXPECT_EQ(text_of(*slide), std::string(5000, 'x') + "<end/>");
        EXPECT_EQ(text_of(*reader->read(0)), "<Types/>");
        EXPECT_TRUE(reader->read(2)->empty());
        EXPECT_TRUE(reader->read(3)->empty());
    }
}

TEST(ArchiveReader, FindReturnsTheFirstOfDuplicateNames) {
    const std::string bytes = build_zip({stored_entry("a", "first"), stored_entry("a", "second")});
    auto reader = open_or_fail(bytes);
    ASSERT_EQ(reader->entry_count(), 2u);
    EXPECT_EQ(reader->find("a"), 0u);
}

TEST(ArchiveReader, ReadsZip64RecordsAndExtraFields) {
    TestEntry big = deflated_entry("big.xml", std::string(3000, 'z'));
    big.zip64 = true;
    const std::string bytes = build_zip({stored_entry("first", "1"), big}, {.zip64_end = true});
    auto reader = open_or_fail(bytes);
    ASSERT_EQ(reader->entry_count(), 2u);
    const EntryInfo& e = reader->entry(1);
    EXPECT_TRUE(e.zip64_compressed && e.zip64_uncompressed && e.zip64_offset);
    EXPECT_EQ(e.uncompressed_size, 3000u);
    EXPECT_EQ(e.local_header_offset, 36u);  // after the first local record: 30 + 5 + 1
    EXPECT_EQ(text_of(*reader->read(1)), std::string(3000, 'z'));
}

TEST(ArchiveReader, FindsTheEndRecordPastAFakeSignatureInTheComment) {
    std::string fake;
    le(fake, 0x06054b50, 4);
    fake += std::string(30, '\0');
    const std::string bytes = build_zip({stored_entry("a", "x")}, {.comment = fake});
    auto reader = open_or_fail(bytes);
    ASSERT_EQ(reader->entry_count(), 1u);
    EXPECT_EQ(text_of(*reader->read(0)), "x");
}

TEST(ArchiveReader, InflatesHighRatioEntriesBeyondTheFirstBuffer) {
    // 12 MiB of zeros deflate to a few KiB: the output buffer has to grow several times.
    const std::string zeros(12u << 20, '\0');
    const std::string bytes = build_zip({deflated_entry("zeros.bin", zeros)});
    auto reader = open_or_fail(bytes);
    auto content = reader->read(0);
    ASSERT_TRUE(content) << content.error().display();
    EXPECT_EQ(content->size(), zeros.size());
    EXPECT_EQ(text_of(*content), zeros);
}

// How a damaged archive fails: at opening, or when one entry is read.
struct DamageCase {
    const char* what;
    std::function<std::string()> archive;
    bool fails_at_open;
    ErrorKind kind;
    const char* message_prefix;
};

std::string with_entry(std::function<void(TestEntry&)> damage, std::string content = "hello hello hello") {
    TestEntry e = deflated_entry("part.xml", content);
    damage(e);
    return build_zip({e, stored_entry("after", "tail")});
}

TEST(ArchiveReader, RefusesDamagedArchives) {
    const std::string valid = build_zip({stored_entry("a.xml", "<a/>"), deflated_entry("b.xml", "<b>text</b>")});
    const DamageCase cases[] = {
        {"empty file", [] { return std::string(); }, true, ErrorKind::Zip,
         "invalid Zip archive: could not find central directory end"},
        {"not a zip", [] { return std::string(1000, 'n'); }, true, ErrorKind::Zip,
         "invalid Zip archive: could not find central directory end"},
        {"truncated before the end record", [&] { return valid.substr(0, valid.size() - 10); }, true, ErrorKind::Zip,
         "invalid Zip archive"},
        {"truncated central directory", [&] { return valid.substr(0, 80) + valid.substr(valid.size() - 22); }, true,
         ErrorKind::Zip, "invalid Zip archive: central directory out of bounds"},
        {"directory offset past the end",
         [] { return build_zip({stored_entry("a", "x")}, {.directory_offset = 0x7fffff00}); }, true, ErrorKind::Zip,
         "invalid Zip archive: central directory out of bounds"},
        {"directory offset into the entry data",
         [] { return build_zip({stored_entry("a", "x")}, {.directory_offset = 4}); }, true, ErrorKind::Zip,
         "invalid Zip archive: bad central directory entry signature"},
        {"count larger than the directory holds",
         [] { return build_zip({stored_entry("a", "x")}, {.entry_count = 1000}); }, true, ErrorKind::Zip,
         "invalid Zip archive: entry count does not fit the central directory"},
        {"huge ZIP64 count",
         [] { return build_zip({stored_entry("a", "x")}, {.zip64_end = true, .entry_count = 1ull << 60}); }, true,
         ErrorKind::Zip, "invalid Zip archive: entry count does not fit the central directory"},
        {"ZIP64 locator pointing nowhere",
         [] {
             std::string z = build_zip({stored_entry("a", "x")}, {.zip64_end = true});
             z[z.size() - 22 - 5] = 0x7f;  // top byte of the locator's offset of the ZIP64 end record
             return z;
         },
         true, ErrorKind::Zip, "invalid Zip archive: ZIP64 end record out of bounds"},
        {"ZIP64 sizes missing from the extra field",
         [] {
             TestEntry e = stored_entry("a", "x");
             e.compressed_size = 0xffffffff;
             return build_zip({e});
         },
         true, ErrorKind::Zip, "invalid Zip archive: missing or short ZIP64 extra field"},
        {"declared size far beyond what deflate can produce",
         [] {
             return with_entry([](TestEntry& e) {
                 e.zip64 = true;
                 e.uncompressed_size = 1ull << 40;
             });
         },
         false, ErrorKind::Zip,
         "declared size of entry part.xml exceeds"},
        {"stored entry with differing sizes",
         [] {
             TestEntry e = stored_entry("s", "abc");
             e.uncompressed_size = 1u << 30;
             return build_zip({e});
         },
         false, ErrorKind::Zip, "stored entry s has differing sizes"},
        {"encrypted flag", [] { return with_entry([](TestEntry& e) { e.flags |= 1; }); }, false, ErrorKind::Zip,
         "encrypted entry"},
        {"unsupported method", [] { return with_entry([](TestEntry& e) { e.method = 12; }); }, false, ErrorKind::Zip,
         "unsupported compression method 12"},
        {"wrong CRC", [] { return with_entry([](TestEntry& e) { e.crc ^= 1; }); }, false, ErrorKind::Io,
         "CRC-32 mismatch in entry part.xml"},
        {"corrupt deflate data", [] { return with_entry([](TestEntry& e) { e.stored[0] = '\xff'; }); }, false,
         ErrorKind::Io, "corrupt deflate stream"},
        {"deflate yields less than declared",
         [] { return with_entry([](TestEntry& e) { e.uncompressed_size += 1; }); }, false, ErrorKind::Io,
         "entry part.xml does not decompress to its declared size"},
        {"deflate yields more than declared",
         [] { return with_entry([](TestEntry& e) { e.uncompressed_size -= 1; }); }, false, ErrorKind::Io,
         "entry part.xml does not decompress to its declared size"},
        {"compressed size reaching into the next entry",
         [] { return with_entry([](TestEntry& e) { e.compressed_size += 20; }); }, false, ErrorKind::Zip,
         "entry data out of bounds"},
        {"local header offset past the central directory",
         [] { return with_entry([](TestEntry& e) { e.offset_override = 5000; }); }, false, ErrorKind::Zip,
         "local header of entry part.xml out of bounds"},
        {"local header offset inside another entry's data",
         [] { return with_entry([](TestEntry& e) { e.offset_override = 1; }); }, false, ErrorKind::Zip,
         "bad local header signature"},
        {"two entries sharing one local header",
         [] {
             TestEntry twin = stored_entry("twin", "data");
             twin.offset_override = 0;
             return build_zip({stored_entry("a", "data"), twin});
         },
         false, ErrorKind::Zip, "overlapping entries"},
        {"local header claiming more room than the entry has",
         [] {
             std::string z = with_entry([](TestEntry&) {}, "");
             z[28] = '\x7f';  // the local extra field length
             return z;
         },
         false, ErrorKind::Zip, "local header of entry part.xml out of bounds"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = c.archive();
        auto reader = ArchiveReader::open_memory(span_of(bytes));
        if (c.fails_at_open) {
            ASSERT_FALSE(reader);
            EXPECT_EQ(reader.error().kind, c.kind);
            EXPECT_TRUE(reader.error().message.starts_with(c.message_prefix)) << reader.error().message;
            continue;
        }
        ASSERT_TRUE(reader) << reader.error().display();
        auto content = (*reader)->read(0);
        ASSERT_FALSE(content);
        EXPECT_EQ(content.error().kind, c.kind);
        EXPECT_TRUE(content.error().message.starts_with(c.message_prefix)) << content.error().message;
    }
}

TEST(ArchiveReader, MissingFileIsAnIoError) {
    auto reader = ArchiveReader::open_file("/nonexistent/varnex/none.zip");
    ASSERT_FALSE(reader);
    EXPECT_EQ(reader.error().kind, ErrorKind::Io);
    EXPECT_EQ(reader.error().message, "No such file or directory (os error 2)");
}

// ---------------------------------------------------------------------------------------------
// Writing

// The bytes of one entry's local record in an archive (header, data, descriptor).
std::string local_record(const ArchiveReader& reader, const std::string& bytes, std::size_t index) {
    auto loc = reader.locate(index);
    EXPECT_TRUE(loc) << loc.error().display();
    auto end = reader.record_end(index, *loc);
    EXPECT_TRUE(end) << end.error().display();
    return bytes.substr(loc->header_offset, *end - loc->header_offset);
}

void expect_same_record_but_offset(const EntryInfo& a, const EntryInfo& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.version_made_by, b.version_made_by);
    EXPECT_EQ(a.version_needed, b.version_needed);
    EXPECT_EQ(a.flags, b.flags);
    EXPECT_EQ(a.method, b.method);
    EXPECT_EQ(a.mod_time, b.mod_time);
    EXPECT_EQ(a.mod_date, b.mod_date);
    EXPECT_EQ(a.crc32, b.crc32);
    EXPECT_EQ(a.compressed_size, b.compressed_size);
    EXPECT_EQ(a.uncompressed_size, b.uncompressed_size);
    EXPECT_EQ(a.internal_attributes, b.internal_attributes);
    EXPECT_EQ(a.external_attributes, b.external_attributes);
    EXPECT_EQ(a.comment, b.comment);
}

TEST(ArchiveWriter, NewEntriesCarryTheFixedOptions) {
    TempDir dir;
    const std::string path = dir.file("new.zip");
    {
        auto writer = ArchiveWriter::create(path);
        ASSERT_TRUE(writer);
        ASSERT_TRUE((*writer)->add_entry("stored.xml", kMethodStored, std::string_view("<s/>")));
        ASSERT_TRUE((*writer)->add_entry("deflated.xml", kMethodDeflate, std::string_view("<d>dddddddddd</d>")));
        ASSERT_TRUE((*writer)->add_entry("empty", kMethodDeflate, std::string_view()));
        ASSERT_TRUE((*writer)->add_entry("ppt/média.xml", kMethodStored, std::string_view("u")));
        ASSERT_TRUE((*writer)->add_directory("ppt/"));
        auto refused = (*writer)->add_entry("x", 12, std::string_view("x"));
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().kind, ErrorKind::Zip);
        EXPECT_EQ(refused.error().message, "unsupported compression method 12");
        ASSERT_TRUE((*writer)->finish());
    }
    const std::string bytes = read_file(path);
    auto reader = open_or_fail(bytes);
    ASSERT_EQ(reader->entry_count(), 5u);
    const char* names[] = {"stored.xml", "deflated.xml", "empty", "ppt/média.xml", "ppt/"};
    const std::uint16_t methods[] = {kMethodStored, kMethodDeflate, kMethodDeflate, kMethodStored, kMethodStored};
    for (std::size_t i = 0; i < 5; ++i) {
        const EntryInfo& e = reader->entry(i);
        EXPECT_EQ(e.name, names[i]);
        EXPECT_EQ(e.method, methods[i]) << e.name;
        EXPECT_EQ(e.mod_date, 0x21);
        EXPECT_EQ(e.mod_time, 0);
        EXPECT_EQ(e.flags & ~kFlagUtf8, 0) << e.name;
        EXPECT_EQ((e.flags & kFlagUtf8) != 0, i == 3) << e.name;
        EXPECT_EQ(e.version_made_by >> 8, 3);
        EXPECT_EQ(e.external_attributes >> 16, i == 4 ? 040644u : 0100644u) << e.name;
        EXPECT_TRUE(e.extra.empty());
        EXPECT_TRUE(reader->read(i)) << e.name;
    }
    EXPECT_EQ(text_of(*reader->read(1)), "<d>dddddddddd</d>");
    // No data descriptors: sizes and CRC sit in the local header.
    EXPECT_EQ(bytes.substr(0, 4), std::string("PK\x03\x04", 4));
    std::uint32_t local_crc;
    std::memcpy(&local_crc, bytes.data() + 14, 4);
    EXPECT_EQ(local_crc, crc_of("<s/>"));
}

TEST(ArchiveWriter, RawCopyKeepsEveryStoredByte) {
    TestEntry with_descriptor = deflated_entry("descriptor.xml", std::string(400, 'q'));
    with_descriptor.descriptor = true;
    with_descriptor.flags = kFlagDataDescriptor;
    TestEntry with_extras = deflated_entry("extras.xml", "<x>extras</x>");
    with_extras.local_extra = extra_block(0x5455, "\x03\x01\x02\x03\x04\x05\x06\x07\x08");
    with_extras.central_extra = extra_block(0x5455, "\x03\x01\x02\x03\x04");
    with_extras.comment = "kept";
    TestEntry encrypted = stored_entry("secret.bin", "ciphertext");
    encrypted.flags = kFlagEncrypted;
    TestEntry zip64 = deflated_entry("zip64.xml", std::string(100, 'w'));
    zip64.zip64 = true;
    // ZIP64 in the local header only: the descriptor's sizes take 8 bytes.
    TestEntry local64 = stored_entry("local64.bin", "wide descriptor");
    std::string sizes;
    le(sizes, local64.uncompressed_size, 8);
    le(sizes, local64.compressed_size, 8);
    local64.local_extra = extra_block(1, sizes);
    local64.descriptor = true;
    local64.flags = kFlagDataDescriptor;
    const std::string input = build_zip({stored_entry("skipped", "not copied"), with_descriptor, with_extras,
                                         encrypted, zip64, local64});
    TempDir dir;
    write_file(dir.file("in.zip"), input);
    auto from_file = ArchiveReader::open_file(dir.file("in.zip"));
    ASSERT_TRUE(from_file);
    auto from_memory = open_or_fail(input);
    // The records reach exactly to the end of their descriptors.
    EXPECT_EQ(local_record(*from_memory, input, 1).size(), 30 + 14 + with_descriptor.stored.size() + 16);
    EXPECT_EQ(local_record(*from_memory, input, 5).size(), 30 + 11 + 20 + local64.stored.size() + 24);

    // Copying every entry but the first moves each one to a new offset.
    for (const ArchiveReader* source : {from_file->get(), from_memory.get()}) {
        const std::string path = dir.file("out.zip");
        {
            auto writer = ArchiveWriter::create(path);
            ASSERT_TRUE(writer);
            for (std::size_t i = 1; i < source->entry_count(); ++i) ASSERT_TRUE((*writer)->copy_raw(*source, i)) << i;
            ASSERT_TRUE((*writer)->finish());
        }
        const std::string output = read_file(path);
        auto copy = open_or_fail(output);
        ASSERT_EQ(copy->entry_count(), source->entry_count() - 1);
        for (std::size_t i = 0; i < copy->entry_count(); ++i) {
            SCOPED_TRACE(copy->entry(i).name);
            expect_same_record_but_offset(source->entry(i + 1), copy->entry(i));
            EXPECT_EQ(local_record(*copy, output, i), local_record(*source, input, i + 1));
            EXPECT_LT(copy->entry(i).local_header_offset, source->entry(i + 1).local_header_offset);
        }
        EXPECT_EQ(copy->entry(1).extra, with_extras.central_extra);
        // The ZIP64 block keeps its layout; only the offset inside it changes.
        const EntryInfo& z = copy->entry(3);
        EXPECT_TRUE(z.zip64_offset);
        EXPECT_EQ(z.extra.size(), source->entry(4).extra.size());
        EXPECT_EQ(z.extra.substr(0, 20), source->entry(4).extra.substr(0, 20));
        EXPECT_EQ(text_of(*copy->read(3)), std::string(100, 'w'));
        EXPECT_EQ(text_of(*copy->read(0)), std::string(400, 'q'));
    }
}

TEST(ArchiveWriter, RawCopyAcrossFilesystemsFallsBackToBufferedCopy) {
    // The kernel refuses copy_file_range between a tmpfs and another filesystem type.
    if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
    const std::string shm_path = "/dev/shm/varnex-raw-copy-" + std::to_string(::getpid()) + ".zip";
    const std::string input = build_zip({deflated_entry("a.xml", std::string(3u << 20, 'a') + "end"),
                                         stored_entry("b.bin", "bbbb")});
    write_file(shm_path, input);
    auto source = ArchiveReader::open_file(shm_path);
    std::filesystem::remove(shm_path);  // the open descriptor keeps the data
    ASSERT_TRUE(source);
    TempDir dir;
    const std::string path = dir.file("out.zip");
    {
        auto writer = ArchiveWriter::create(path);
        ASSERT_TRUE(writer);
        ASSERT_TRUE((*writer)->copy_raw(**source, 1));
        ASSERT_TRUE((*writer)->copy_raw(**source, 0));
        ASSERT_TRUE((*writer)->finish());
    }
    const std::string output = read_file(path);
    auto copy = open_or_fail(output);
    ASSERT_EQ(copy->entry_count(), 2u);
    EXPECT_EQ(local_record(*copy, output, 0), local_record(**source, input, 1));
    EXPECT_EQ(local_record(*copy, output, 1), local_record(**source, input, 0));
    EXPECT_EQ(text_of(*copy->read(1)), std::string(3u << 20, 'a') + "end");
}

TEST(ArchiveWriter, AnAbandonedArchiveListsTheEntriesCompletedSoFar) {
    TestEntry damaged = stored_entry("third", "333");
    damaged.offset_override = 1u << 20;  // beyond the archive
    const std::string input = build_zip({stored_entry("first", "1"), stored_entry("second", "22"), damaged});
    auto source = open_or_fail(input);
    TempDir dir;
    const std::string path = dir.file("partial.zip");
    {
        auto writer = ArchiveWriter::create(path);
        ASSERT_TRUE(writer);
        ASSERT_TRUE((*writer)->copy_raw(*source, 0));
        ASSERT_TRUE((*writer)->copy_raw(*source, 1));
        auto failed = (*writer)->copy_raw(*source, 2);
        ASSERT_FALSE(failed);
        EXPECT_EQ(failed.error().kind, ErrorKind::Zip);
        // Dropped without finish(): the destructor closes the archive.
    }
    const std::string bytes = read_file(path);
    auto partial = open_or_fail(bytes);
    ASSERT_EQ(partial->entry_count(), 2u);
    EXPECT_EQ(partial->entry(1).name, "second");
    EXPECT_EQ(text_of(*partial->read(1)), "22");
}

TEST(ArchiveWriter, FailingToCloseAnAbandonedArchivePrintsOneLine) {
    ::testing::internal::CaptureStderr();
    {
        auto writer = ArchiveWriter::create("/dev/full");
        ASSERT_TRUE(writer);
        ASSERT_TRUE((*writer)->add_entry("a", kMethodStored, std::string_view("buffered, not yet written")));
    }
    const std::string printed = ::testing::internal::GetCapturedStderr();
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(printed.find('\n'), printed.size() - 1) << printed;
    EXPECT_NE(printed.find("/dev/full"), std::string::npos) << printed;
}

TEST(ArchiveWriter, FinishReportsAWriteFailureAsZipError) {
    auto writer = ArchiveWriter::create("/dev/full");
    ASSERT_TRUE(writer);
    auto finished = (*writer)->finish();
    ASSERT_FALSE(finished);
    EXPECT_EQ(finished.error().kind, ErrorKind::Zip);
    EXPECT_EQ(finished.error().message, "No space left on device (os error 28)");
}

TEST(ArchiveWriter, ManyEntriesGetZip64EndRecords) {
    TempDir dir;
    const std::string path = dir.file("many.zip");
    constexpr std::size_t kCount = 70000;
    {
        auto writer = ArchiveWriter::create(path);
        ASSERT_TRUE(writer);
        for (std::size_t i = 0; i < kCount; ++i)
            ASSERT_TRUE((*writer)->add_entry(std::to_string(i), kMethodStored, std::string_view()));
        ASSERT_TRUE((*writer)->finish());
    }
    const std::string bytes = read_file(path);
    auto reader = open_or_fail(bytes);
    ASSERT_EQ(reader->entry_count(), kCount);
    EXPECT_EQ(reader->entry(kCount - 1).name, std::to_string(kCount - 1));
}

TEST(ArchiveWriter, CreateFailureIsAnIoError) {
    auto writer = ArchiveWriter::create("/nonexistent/varnex/out.zip");
    ASSERT_FALSE(writer);
    EXPECT_EQ(writer.error().kind, ErrorKind::Io);
    EXPECT_EQ(writer.error().message, "No such file or directory (os error 2)");
}

}  // namespace
}  // namespace varnex::zip
