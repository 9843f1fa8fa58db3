// Assembles ZIP archives byte by byte for tests, so that every field is known and any of them
// can be damaged on purpose.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <libdeflate.h>

namespace varnex::testing {

inline std::string deflate_bytes(const std::string& data) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(6);
    std::string out(libdeflate_deflate_compress_bound(c, data.size()), '\0');
    out.resize(libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

inline std::uint32_t crc_of(const std::string& data) { return libdeflate_crc32(0, data.data(), data.size()); }

struct TestEntry {
    std::string name;
    std::string stored;  // the bytes as stored (compressed when method is 8)
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressed_size = 0;
    std::uint64_t uncompressed_size = 0;
    std::uint16_t flags = 0;
    std::uint16_t mod_time = 0x6b4a;
    std::uint16_t mod_date = 0x5a8c;
    std::uint16_t version_made_by = 0x031e;
    std::uint16_t version_needed = 20;
    std::uint16_t internal_attributes = 0;
    std::uint32_t external_attributes = 0100600u << 16;
    std::string local_extra;
    std::string central_extra;
    std::string comment;
    bool zip64 = false;       // sizes and offset go to ZIP64 extra fields
    bool descriptor = false;  // sizes and CRC follow the data in a signed descriptor
    std::optional<std::uint64_t> offset_override;  // central record's local header offset
};

inline TestEntry stored_entry(std::string name, const std::string& content) {
    TestEntry e;
    e.name = std::move(name);
    e.stored = content;
    e.method = 0;
    e.crc = crc_of(content);
    e.compressed_size = e.uncompressed_size = content.size();
    e.version_needed = 10;
    return e;
}

inline TestEntry deflated_entry(std::string name, const std::string& content) {
    TestEntry e;
    e.name = std::move(name);
    e.stored = deflate_bytes(content);
    e.method = 8;
    e.crc = crc_of(content);
    e.compressed_size = e.stored.size();
    e.uncompressed_size = content.size();
    return e;
}

inline void le(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

inline std::string extra_block(std::uint16_t id, const std::string& data) {
    std::string out;
    le(out, id, 2);
    le(out, data.size(), 2);
    return out + data;
}

struct ZipOptions {
    bool zip64_end = false;  // ZIP64 end record and locator, with the plain record's fields saturated
    std::string comment;
    std::optional<std::uint64_t> entry_count;       // override of the end record's count
    std::optional<std::uint64_t> directory_offset;  // override of the end record's offset
};

// The local record (header, data, descriptor) of each entry, the central directory, the end.
inline std::string build_zip(const std::vector<TestEntry>& entries, const ZipOptions& options = {}) {
    std::string out;
    std::vector<std::uint64_t> offsets;
    for (const auto& e : entries) {
        offsets.push_back(out.size());
        std::string extra = e.local_extra;
        if (e.zip64) {
            std::string z;
            le(z, e.uncompressed_size, 8);
            le(z, e.compressed_size, 8);
            extra = extra_block(1, z) + extra;
        }
        le(out, 0x04034b50, 4);
        le(out, e.version_needed, 2);
        le(out, e.flags, 2);
        le(out, e.method, 2);
        le(out, e.mod_time, 2);
        le(out, e.mod_date, 2);
        le(out, e.descriptor ? 0 : e.crc, 4);
        le(out, e.zip64 ? 0xffffffff : e.descriptor ? 0 : e.compressed_size, 4);
        le(out, e.zip64 ? 0xffffffff : e.descriptor ? 0 : e.uncompressed_size, 4);
        le(out, e.name.size(), 2);
        le(out, extra.size(), 2);
        out += e.name + extra + e.stored;
        if (e.descriptor) {
            const int width = extra.starts_with(std::string("\x01\x00", 2)) ? 8 : 4;
            le(out, 0x08074b50, 4);
            le(out, e.crc, 4);
            le(out, e.compressed_size, width);
            le(out, e.uncompressed_size, width);
        }
    }
    const std::uint64_t directory_offset = out.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        const std::uint64_t offset = e.offset_override.value_or(offsets[i]);
        std::string extra = e.central_extra;
        if (e.zip64) {
            std::string z;
            le(z, e.uncompressed_size, 8);
            le(z, e.compressed_size, 8);
            le(z, offset, 8);
            extra = extra_block(1, z) + extra;
        }
        le(out, 0x02014b50, 4);
        le(out, e.version_made_by, 2);
        le(out, e.version_needed, 2);
        le(out, e.flags, 2);
        le(out, e.method, 2);
        le(out, e.mod_time, 2);
        le(out, e.mod_date, 2);
        le(out, e.crc, 4);
        le(out, e.zip64 ? 0xffffffff : e.compressed_size, 4);
        le(out, e.zip64 ? 0xffffffff : e.uncompressed_size, 4);
        le(out, e.name.size(), 2);
        le(out, extra.size(), 2);
        le(out, e.comment.size(), 2);
        le(out, 0, 2);
        le(out, e.internal_attributes, 2);
        le(out, e.external_attributes, 4);
        le(out, e.zip64 ? 0xffffffff : offset, 4);
        out += e.name + extra + e.comment;
    }
    const std::uint64_t directory_size = out.size() - directory_offset;
    const std::uint64_t count = options.entry_count.value_or(entries.size());
    const std::uint64_t cd_offset = options.directory_offset.value_or(directory_offset);
    if (options.zip64_end) {
        const std::uint64_t zip64_end = out.size();
        le(out, 0x06064b50, 4);
        le(out, 44, 8);
        le(out, 0x032d, 2);
        le(out, 45, 2);
        le(out, 0, 4);
        le(out, 0, 4);
        le(out, count, 8);
        le(out, count, 8);
        le(out, directory_size, 8);
        le(out, cd_offset, 8);
        le(out, 0x07064b50, 4);
        le(out, 0, 4);
        le(out, zip64_end, 8);
        le(out, 1, 4);
    }
    le(out, 0x06054b50, 4);
    le(out, 0, 2);
    le(out, 0, 2);
    le(out, options.zip64_end ? 0xffff : count, 2);
    le(out, options.zip64_end ? 0xffff : count, 2);
    le(out, options.zip64_end ? 0xffffffff : directory_size, 4);
    le(out, options.zip64_end ? 0xffffffff : cd_offset, 4);
    le(out, options.comment.size(), 2);
    out += options.comment;
    return out;
}

inline std::vector<std::uint8_t> to_bytes(const std::string& s) { return {s.begin(), s.end()}; }

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh directory under the system's temporary directory, removed with the object.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnex-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace varnex::testing
