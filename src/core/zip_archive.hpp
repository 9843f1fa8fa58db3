// The ZIP container: a reader of the central directory with on-demand entry reads, and a writer
// that adds compressed entries or copies input entries exactly as they are stored.
//
// Archives are untrusted. Every offset and size is checked against the archive before it is
// used, and declared sizes are bounded by what the stored data could produce, so a damaged or
// hostile archive yields a Zip error rather than a crash, a hang or a huge allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "error.hpp"

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace varnex::zip {

inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflate = 8;

inline constexpr std::uint16_t kFlagEncrypted = 1u << 0;
inline constexpr std::uint16_t kFlagDataDescriptor = 1u << 3;
inline constexpr std::uint16_t kFlagUtf8 = 1u << 11;

// One central-directory record as the archive stores it. Sizes and the offset are the true
// values (taken from the ZIP64 extra field where the record defers to it); the zip64_* flags
// remember which fields were deferred, so that a raw copy writes the record back the same way.
struct EntryInfo {
    std::string name;
    std::uint16_t version_made_by = 0;
    std::uint16_t version_needed = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t mod_time = 0;
    std::uint16_t mod_date = 0;
    std::uint32_t crc32 = 0;
    std::uint64_t compressed_size = 0;
    std::uint64_t uncompressed_size = 0;
    std::uint32_t disk_start = 0;
    std::uint16_t internal_attributes = 0;
    std::uint32_t external_attributes = 0;
    std::uint64_t local_header_offset = 0;
    std::string extra;    // central-directory extra field, raw
    std::string comment;  // raw

    bool zip64_uncompressed = false;
    bool zip64_compressed = false;
    bool zip64_offset = false;
    bool zip64_disk = false;
    // Position in `extra` of the ZIP64 block's data (after its 4-byte header); -1 when absent.
    int zip64_data_pos = -1;

    bool is_directory() const { return !name.empty() && name.back() == '/'; }
    bool is_encrypted() const { return (flags & kFlagEncrypted) != 0; }
};

// Where an entry's bytes lie, from its local header.
struct EntryLocation {
    std::uint64_t header_offset = 0;
    std::uint64_t data_offset = 0;  // first byte of the stored data
    std::uint64_t data_end = 0;     // one past the stored data
    std::uint64_t limit = 0;        // the entry's room ends here (next header or central directory)
};

class ArchiveReader {
public:
    // Io error when the file cannot be opened or read; Zip error when it is not a readable archive.
    static Result<std::unique_ptr<ArchiveReader>> open_file(const std::string& path);
    // The bytes must outlive the reader.
    static Result<std::unique_ptr<ArchiveReader>> open_memory(std::span<const std::uint8_t> bytes);

    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;
    ~ArchiveReader();

    std::size_t entry_count() const { return entries_.size(); }
    const EntryInfo& entry(std::size_t index) const { return entries_[index]; }
    // The first entry whose name equals `name` byte for byte.
    std::optional<std::size_t> find(std::string_view name) const;

    // Zip error when this reader cannot decode the entry: encrypted, an unsupported method, or
    // declared sizes that its stored data cannot produce.
    Status check_readable(std::size_t index) const;
    // Reads the local header; Zip error when it or the stored data lies outside the entry's room.
    Result<EntryLocation> locate(std::size_t index) const;
    // One past the entry's data descriptor (or its data when it has none): the end of what a raw
    // copy moves. Zip error when the descriptor does not fit.
    Result<std::uint64_t> record_end(std::size_t index, const EntryLocation& location) const;
    // The whole decompressed entry. Zip error when it cannot be opened (check_readable, locate);
    // Io error on a read failure, corrupt compressed data or a CRC mismatch.
    Result<std::vector<std::uint8_t>> read(std::size_t index) const;
    // read() into `out`, reusing its capacity: a loop over many entries then touches fresh
    // memory only for the largest one.
    Status read_into(std::size_t index, std::vector<std::uint8_t>& out) const;

    // Raw access for copying. fd() is -1 for an in-memory archive, whose bytes are memory().
    int fd() const { return fd_; }
    std::span<const std::uint8_t> memory() const { return memory_; }
    std::uint64_t size() const { return size_; }
    // Io error on a read failure or a range past the end.
    Status read_at(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // `length` bytes at `offset`: a view into memory, or read into `scratch`.
    Result<std::span<const std::uint8_t>> view(std::uint64_t offset, std::size_t length,
                                               std::vector<std::uint8_t>& scratch) const;

private:
    ArchiveReader() = default;
    Status load_central_directory();
    Status inflate(std::span<const std::uint8_t> input, std::vector<std::uint8_t>& out,
                   std::uint64_t expected, const std::string& name) const;

    int fd_ = -1;
    std::span<const std::uint8_t> memory_;
    std::uint64_t size_ = 0;
    std::uint64_t central_directory_offset_ = 0;
    std::vector<EntryInfo> entries_;
    std::vector<std::uint64_t> limits_;   // per entry: end of its room
    std::vector<bool> shared_offset_;     // per entry: another entry claims the same header
    std::unordered_map<std::string_view, std::size_t> by_name_;
    mutable libdeflate_decompressor* decompressor_ = nullptr;
};

// Writes a new archive. Entries are appended one by one; finish() writes the central directory.
// An archive that is dropped unfinished (after a failure) is still closed with the entries that
// were completed, so it stays readable.
class ArchiveWriter {
public:
    // Creates or truncates the file (mode 0666 before the umask). Io error on failure.
    static Result<std::unique_ptr<ArchiveWriter>> create(const std::string& path);

    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;
    // Closes an unfinished archive as close_incomplete() does.
    ~ArchiveWriter();

    // A new file entry with the fixed options (DOS time 1980-01-01 00:00, mode 0644, no ZIP64)
    // compressed by `method` (Stored or Deflate). Zip error when the entry cannot be started
    // (method, name or size out of range); Io error when writing fails.
    Status add_entry(std::string_view name, std::uint16_t method, std::span<const std::uint8_t> data);
    Status add_entry(std::string_view name, std::uint16_t method, std::string_view data) {
        return add_entry(name, method,
                         std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
    }
    // A directory entry with the same fixed options (stored, empty).
    Status add_directory(std::string_view name);
    // Copies the entry's local header, stored data and data descriptor unchanged; its central
    // record keeps every field but the offset. Zip error on any failure. The copy may be
    // deferred until the next write, finish() or close: `reader` must stay open until then.
    Status copy_raw(const ArchiveReader& reader, std::size_t index);

    // Writes the central directory and end record and closes the file. Zip error on failure.
    Status finish();
    // finish() for an archive abandoned after a failure; if that fails too, one diagnostic line
    // goes to the standard error stream.
    void close_incomplete();

    std::size_t entries_written() const { return central_.size(); }
    std::uint64_t bytes_written() const { return offset_; }

private:
    struct CentralRecord {
        EntryInfo info;
        std::uint64_t offset = 0;
    };

    // Raw copies of entries that lie back to back in the input are gathered and copied in one
    // go when the next written byte or the end needs them (one system call instead of one per
    // entry).
    struct PendingCopy {
        const ArchiveReader* reader = nullptr;
        std::uint64_t input_offset = 0;
        std::uint64_t output_offset = 0;
        std::uint64_t length = 0;
        std::size_t first_record = 0;  // central records whose bytes the copy carries
    };

    ArchiveWriter(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    Status write(std::span<const std::uint8_t> bytes);
    // Writes the buffered bytes and any pending raw copy, in order.
    Status flush();
    Status flush_pending_copy();
    Status copy_range(const ArchiveReader& reader, std::uint64_t offset, std::uint64_t output_offset,
                      std::uint64_t length);
    Status add_new(EntryInfo info, std::span<const std::uint8_t> stored);
    Status write_central_directory();

    int fd_ = -1;
    std::string path_;
    std::uint64_t offset_ = 0;  // bytes handed to write(), buffered or not
    std::vector<std::uint8_t> buffer_;
    std::vector<CentralRecord> central_;
    std::optional<PendingCopy> pending_;
    std::vector<std::uint8_t> copy_buffer_;
    libdeflate_compressor* compressor_ = nullptr;
    bool copy_file_range_works_ = true;
};

}  // namespace varnex::zip
