#include "zip_archive.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numeric>

#include <fmt/format.h>
#include <libdeflate.h>

namespace varnex::zip {
namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;
constexpr std::uint16_t kZip64ExtraId = 0x0001;

constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kMaxCommentSize = 0xffff;

constexpr std::uint32_t k32Max = 0xffffffffu;
constexpr std::uint16_t k16Max = 0xffffu;

// Deflate cannot expand one compressed byte into more than about 1032 bytes.
constexpr std::uint64_t kMaxDeflateRatio = 1032;
constexpr std::uint64_t kDeflateSlack = 1024;
// Inflation starts from a buffer of at most this many bytes (or a multiple of the compressed
// size) and grows by doubling, so memory follows what the data really yields, not its claim.
constexpr std::uint64_t kInflateFirstBuffer = std::uint64_t{4} << 20;
constexpr std::uint64_t kInflateFirstRatio = 32;

constexpr std::size_t kWriteBufferSize = 256 * 1024;
constexpr std::size_t kCopyChunk = 1 << 20;
constexpr std::uint64_t kPageSize = 4096;

// New entries: 1980-01-01 00:00:00, Unix, regular file 0644.
constexpr std::uint16_t kFixedDosDate = 0x21;
constexpr std::uint16_t kFixedDosTime = 0;
constexpr std::uint16_t kVersionMadeBy = (3u << 8) | 20u;
constexpr std::uint32_t kFileAttributes = 0100644u << 16;
constexpr std::uint32_t kDirectoryAttributes = (040644u << 16) | 0x10u;

std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t get64(const std::uint8_t* p) { return get32(p) | (static_cast<std::uint64_t>(get32(p + 4)) << 32); }

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}
void put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    put32(out, static_cast<std::uint32_t>(v));
    put32(out, static_cast<std::uint32_t>(v >> 32));
}
void put_bytes(std::vector<std::uint8_t>& out, std::string_view bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

std::string_view as_text(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

tl::unexpected<VarnexError> invalid_archive(std::string_view what) {
    return zip_error(fmt::format("invalid Zip archive: {}", what));
}

// The error with its kind changed to Zip: raw copies and closing report every failure as Zip.
template <class T>
Result<T> as_zip(Result<T> result) {
    if (!result && result.error().kind != ErrorKind::Zip) result.error().kind = ErrorKind::Zip;
    return result;
}

Status pread_full(int fd, std::uint8_t* out, std::size_t length, std::uint64_t offset) {
    while (length > 0) {
        const ssize_t n = ::pread(fd, out, std::min<std::size_t>(length, 1u << 30), static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return io_error_from_errno(errno);
        }
        if (n == 0) return io_error("unexpected end of file");
        out += n;
        length -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return {};
}

Status write_full(int fd, const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, std::min<std::size_t>(length, 1u << 30));
        if (n < 0) {
            if (errno == EINTR) continue;
            return io_error_from_errno(errno);
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return {};
}

// Finds the central record's ZIP64 extra block and takes from it the fields that the record
// defers to it. The block's position is kept even when nothing is deferred, so that a later
// rewrite of the offset updates this block instead of adding a second one.
Status apply_zip64_extra(EntryInfo& e) {
    const auto* extra = reinterpret_cast<const std::uint8_t*>(e.extra.data());
    const std::size_t length = e.extra.size();
    const bool deferred = e.zip64_uncompressed || e.zip64_compressed || e.zip64_offset || e.zip64_disk;
    for (std::size_t pos = 0; pos + 4 <= length;) {
        const std::uint16_t id = get16(extra + pos);
        const std::uint16_t size = get16(extra + pos + 2);
        if (pos + 4 + size > length) break;
        if (id != kZip64ExtraId) {
            pos += 4 + size;
            continue;
        }
        e.zip64_data_pos = static_cast<int>(pos + 4);
        const std::uint8_t* p = extra + pos + 4;
        std::size_t left = size;
        auto take = [&](auto& field, std::size_t width) {
            if (left < width) return false;
            field = width == 8 ? get64(p) : get32(p);
            p += width;
            left -= width;
            return true;
        };
        if ((e.zip64_uncompressed && !take(e.uncompressed_size, 8)) || (e.zip64_compressed && !take(e.compressed_size, 8)) ||
            (e.zip64_offset && !take(e.local_header_offset, 8)) || (e.zip64_disk && !take(e.disk_start, 4)))
            break;
        return {};
    }
    if (!deferred) return {};
    return invalid_archive(fmt::format("missing or short ZIP64 extra field for entry {}", e.name));
}

// Parses the record at `p` (bounded by `end`); advances `p` past it.
Status parse_central_record(const std::uint8_t*& p, const std::uint8_t* end, EntryInfo& e) {
    if (static_cast<std::size_t>(end - p) < kCentralHeaderSize) return invalid_archive("truncated central directory");
    if (get32(p) != kCentralHeaderSignature) return invalid_archive("bad central directory entry signature");
    e.version_made_by = get16(p + 4);
    e.version_needed = get16(p + 6);
    e.flags = get16(p + 8);
    e.method = get16(p + 10);
    e.mod_time = get16(p + 12);
    e.mod_date = get16(p + 14);
    e.crc32 = get32(p + 16);
    const std::uint32_t compressed = get32(p + 20);
    const std::uint32_t uncompressed = get32(p + 24);
    const std::size_t name_length = get16(p + 28);
    const std::size_t extra_length = get16(p + 30);
    const std::size_t comment_length = get16(p + 32);
    const std::uint16_t disk = get16(p + 34);
    e.internal_attributes = get16(p + 36);
    e.external_attributes = get32(p + 38);
    const std::uint32_t offset = get32(p + 42);
    const std::size_t variable = name_length + extra_length + comment_length;
    if (static_cast<std::size_t>(end - p) - kCentralHeaderSize < variable)
        return invalid_archive("truncated central directory");
    const char* text = reinterpret_cast<const char*>(p + kCentralHeaderSize);
    e.name.assign(text, name_length);
    e.extra.assign(text + name_length, extra_length);
    e.comment.assign(text + name_length + extra_length, comment_length);
    e.compressed_size = compressed;
    e.uncompressed_size = uncompressed;
    e.local_header_offset = offset;
    e.disk_start = disk;
    e.zip64_uncompressed = uncompressed == k32Max;
    e.zip64_compressed = compressed == k32Max;
    e.zip64_offset = offset == k32Max;
    e.zip64_disk = disk == k16Max;
    VARNEX_TRY(apply_zip64_extra(e));
    p += kCentralHeaderSize + variable;
    return {};
}

struct EndRecord {
    std::uint64_t entries = 0;
    std::uint64_t directory_size = 0;
    std::uint64_t directory_offset = 0;
    std::uint64_t directory_bound = 0;  // the central directory must end by here
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reader

ArchiveReader::~ArchiveReader() {
    if (fd_ >= 0) ::close(fd_);
    if (decompressor_ != nullptr) libdeflate_free_decompressor(decompressor_);
}

Result<std::unique_ptr<ArchiveReader>> ArchiveReader::open_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return io_error_from_errno(errno);
    std::unique_ptr<ArchiveReader> reader(new ArchiveReader());
    reader->fd_ = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return io_error_from_errno(errno);
    if (S_ISDIR(st.st_mode)) return io_error_from_errno(EISDIR);
    reader->size_ = static_cast<std::uint64_t>(st.st_size);
    VARNEX_TRY(reader->load_central_directory());
    return reader;
}

Result<std::unique_ptr<ArchiveReader>> ArchiveReader::open_memory(std::span<const std::uint8_t> bytes) {
    std::unique_ptr<ArchiveReader> reader(new ArchiveReader());
    reader->memory_ = bytes;
    reader->size_ = bytes.size();
    VARNEX_TRY(reader->load_central_directory());
    return reader;
}

Status ArchiveReader::read_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > size_ || out.size() > size_ - offset) return io_error("read past the end of the archive");
    if (fd_ < 0) {
        if (!out.empty()) std::memcpy(out.data(), memory_.data() + offset, out.size());
        return {};
    }
    return pread_full(fd_, out.data(), out.size(), offset);
}

Result<std::span<const std::uint8_t>> ArchiveReader::view(std::uint64_t offset, std::size_t length,
                                                          std::vector<std::uint8_t>& scratch) const {
    if (offset > size_ || length > size_ - offset) return io_error("read past the end of the archive");
    if (fd_ < 0) return memory_.subspan(static_cast<std::size_t>(offset), length);
    scratch.resize(length);
    VARNEX_TRY(pread_full(fd_, scratch.data(), length, offset));
    return std::span<const std::uint8_t>(scratch);
}

namespace {

// Finds the end record: the last signature whose comment reaches the end of the file exactly,
// else the last one whose comment fits (tolerating trailing bytes).
Result<EndRecord> find_end_record(const ArchiveReader& reader) {
    const std::uint64_t size = reader.size();
    if (size < kEndSize) return invalid_archive("could not find central directory end");
    const std::uint64_t tail_length = std::min<std::uint64_t>(size, kEndSize + kMaxCommentSize);
    const std::uint64_t tail_start = size - tail_length;
    std::vector<std::uint8_t> scratch;
    auto tail_view = reader.view(tail_start, static_cast<std::size_t>(tail_length), scratch);
    if (!tail_view) return tl::unexpected(tail_view.error());
    const std::uint8_t* tail = tail_view->data();

    std::optional<std::uint64_t> found;
    std::optional<std::uint64_t> loose;
    for (std::uint64_t i = tail_length - kEndSize + 1; i-- > 0;) {
        if (get32(tail + i) != kEndSignature) continue;
        const std::uint64_t comment_end = i + kEndSize + get16(tail + i + 20);
        if (comment_end == tail_length) {
            found = i;
            break;
        }
        if (comment_end < tail_length && !loose) loose = i;
    }
    if (!found) found = loose;
    if (!found) return invalid_archive("could not find central directory end");
    const std::uint8_t* end = tail + *found;
    const std::uint64_t end_offset = tail_start + *found;

    EndRecord record;
    const std::uint16_t disk = get16(end + 4);
    const std::uint16_t directory_disk = get16(end + 6);
    const std::uint16_t disk_entries = get16(end + 8);
    record.entries = get16(end + 10);
    record.directory_size = get32(end + 12);
    record.directory_offset = get32(end + 16);
    record.directory_bound = end_offset;

    // A ZIP64 locator right before the end record points at the ZIP64 end record.
    if (end_offset >= kZip64LocatorSize) {
        std::uint8_t locator[kZip64LocatorSize];
        VARNEX_TRY(reader.read_at(end_offset - kZip64LocatorSize, locator));
        if (get32(locator) == kZip64LocatorSignature) {
            const std::uint64_t z_offset = get64(locator + 8);
            if (z_offset > end_offset - kZip64LocatorSize || end_offset - kZip64LocatorSize - z_offset < kZip64EndSize)
                return invalid_archive("ZIP64 end record out of bounds");
            std::uint8_t z[kZip64EndSize];
            VARNEX_TRY(reader.read_at(z_offset, z));
            if (get32(z) != kZip64EndSignature) return invalid_archive("bad ZIP64 end record signature");
            if (get32(z + 16) != 0 || get32(z + 20) != 0 || get64(z + 24) != get64(z + 32))
                return invalid_archive("multi-disk archives are not supported");
            record.entries = get64(z + 32);
            record.directory_size = get64(z + 40);
            record.directory_offset = get64(z + 48);
            record.directory_bound = z_offset;
            return record;
        }
    }
    if ((disk != 0 && disk != k16Max) || (directory_disk != 0 && directory_disk != k16Max) ||
        disk_entries != record.entries)
        return invalid_archive("multi-disk archives are not supported");
    return record;
}

}  // namespace

Status ArchiveReader::load_central_directory() {
    VARNEX_TRY_ASSIGN(const EndRecord end, as_zip(find_end_record(*this)));
    if (end.directory_offset > end.directory_bound || end.directory_size > end.directory_bound - end.directory_offset)
        return invalid_archive("central directory out of bounds");
    if (end.entries > end.directory_size / kCentralHeaderSize)
        return invalid_archive("entry count does not fit the central directory");
    central_directory_offset_ = end.directory_offset;

    std::vector<std::uint8_t> scratch;
    VARNEX_TRY_ASSIGN(const auto directory,
                      as_zip(view(end.directory_offset, static_cast<std::size_t>(end.directory_size), scratch)));
    const std::uint8_t* p = directory.data();
    const std::uint8_t* const directory_end = p + directory.size();
    entries_.resize(static_cast<std::size_t>(end.entries));
    for (auto& e : entries_) VARNEX_TRY(parse_central_record(p, directory_end, e));

    // Each entry's room runs to the next header above it or to the central directory; two
    // entries that claim one header overlap completely and are refused when opened.
    const std::size_t n = entries_.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return entries_[a].local_header_offset < entries_[b].local_header_offset;
    });
    limits_.assign(n, 0);
    shared_offset_.assign(n, false);
    for (std::size_t i = 0; i < n;) {
        const std::uint64_t offset = entries_[order[i]].local_header_offset;
        std::size_t j = i;
        while (j < n && entries_[order[j]].local_header_offset == offset) ++j;
        const std::uint64_t next = j < n ? entries_[order[j]].local_header_offset : central_directory_offset_;
        for (std::size_t k = i; k < j; ++k) {
            limits_[order[k]] = std::min(next, central_directory_offset_);
            shared_offset_[order[k]] = j - i > 1;
        }
        i = j;
    }

    by_name_.reserve(n);
    for (std::size_t i = 0; i < n; ++i) by_name_.emplace(entries_[i].name, i);
    return {};
}

std::optional<std::size_t> ArchiveReader::find(std::string_view name) const {
    const auto it = by_name_.find(name);
    if (it == by_name_.end()) return std::nullopt;
    return it->second;
}

Status ArchiveReader::check_readable(std::size_t index) const {
    const EntryInfo& e = entries_[index];
    if (e.is_encrypted()) return zip_error(fmt::format("encrypted entry {}", e.name));
    switch (e.method) {
        case kMethodStored:
            if (e.compressed_size != e.uncompressed_size)
                return zip_error(fmt::format("stored entry {} has differing sizes", e.name));
            break;
        case kMethodDeflate:
            if (e.compressed_size > (std::numeric_limits<std::uint64_t>::max() - kDeflateSlack) / kMaxDeflateRatio ||
                e.uncompressed_size > e.compressed_size * kMaxDeflateRatio + kDeflateSlack)
                return zip_error(fmt::format("declared size of entry {} exceeds what its data can hold", e.name));
            break;
        default: return zip_error(fmt::format("unsupported compression method {}", e.method));
    }
    if (e.uncompressed_size > std::numeric_limits<std::size_t>::max() / 2)
        return zip_error(fmt::format("entry {} is too large", e.name));
    return {};
}

Result<EntryLocation> ArchiveReader::locate(std::size_t index) const {
    const EntryInfo& e = entries_[index];
    if (shared_offset_[index]) return zip_error(fmt::format("overlapping entries at offset {}", e.local_header_offset));
    EntryLocation loc;
    loc.header_offset = e.local_header_offset;
    loc.limit = limits_[index];
    if (loc.header_offset > loc.limit || loc.limit - loc.header_offset < kLocalHeaderSize)
        return zip_error(fmt::format("local header of entry {} out of bounds", e.name));
    std::uint8_t header[kLocalHeaderSize];
    VARNEX_TRY(as_zip(read_at(loc.header_offset, header)));
    if (get32(header) != kLocalHeaderSignature) return zip_error(fmt::format("bad local header signature for entry {}", e.name));
    const std::uint64_t variable = std::uint64_t{get16(header + 26)} + get16(header + 28);
    if (loc.limit - loc.header_offset - kLocalHeaderSize < variable)
        return zip_error(fmt::format("local header of entry {} out of bounds", e.name));
    loc.data_offset = loc.header_offset + kLocalHeaderSize + variable;
    if (e.compressed_size > loc.limit - loc.data_offset) return zip_error(fmt::format("entry data out of bounds for entry {}", e.name));
    loc.data_end = loc.data_offset + e.compressed_size;
    return loc;
}

Result<std::uint64_t> ArchiveReader::record_end(std::size_t index, const EntryLocation& loc) const {
    const EntryInfo& e = entries_[index];
    if ((e.flags & kFlagDataDescriptor) == 0) return loc.data_end;
    // crc + two sizes, optionally signed; the sizes take 8 bytes when the local header carries
    // a ZIP64 extra field.
    std::uint8_t header[kLocalHeaderSize];
    VARNEX_TRY(as_zip(read_at(loc.header_offset, header)));
    const std::size_t name_length = get16(header + 26);
    std::vector<std::uint8_t> extra(get16(header + 28));
    VARNEX_TRY(as_zip(read_at(loc.header_offset + kLocalHeaderSize + name_length, extra)));
    bool zip64 = false;
    for (std::size_t pos = 0; pos + 4 <= extra.size(); pos += 4 + get16(extra.data() + pos + 2))
        if (get16(extra.data() + pos) == kZip64ExtraId) zip64 = true;
    std::uint64_t length = zip64 ? 20 : 12;
    const std::uint64_t room = loc.limit - loc.data_end;
    std::uint8_t head[8];
    if (room >= 8) {
        VARNEX_TRY(as_zip(read_at(loc.data_end, head)));
        if (get32(head) == kDescriptorSignature && (e.crc32 != kDescriptorSignature || get32(head + 4) == e.crc32))
            length += 4;
    }
    if (length > room) return zip_error(fmt::format("data descriptor of entry {} out of bounds", e.name));
    return loc.data_end + length;
}

Status ArchiveReader::inflate(std::span<const std::uint8_t> input, std::vector<std::uint8_t>& out,
                              std::uint64_t expected, const std::string& name) const {
    if (decompressor_ == nullptr) {
        decompressor_ = libdeflate_alloc_decompressor();
        if (decompressor_ == nullptr) return io_error("out of memory");
    }
    std::uint64_t capacity = std::min(expected, std::max(kInflateFirstBuffer, input.size() * kInflateFirstRatio));
    for (;;) {
        out.resize(static_cast<std::size_t>(capacity));
        std::size_t produced = 0;
        const auto result = libdeflate_deflate_decompress(decompressor_, input.data(), input.size(), out.data(),
                                                          out.size(), &produced);
        if (result == LIBDEFLATE_INSUFFICIENT_SPACE && capacity < expected) {
            capacity = std::min(expected, capacity * 2);
            continue;
        }
        if (result == LIBDEFLATE_SUCCESS && produced == expected) return {};
        out.clear();
        if (result == LIBDEFLATE_SUCCESS || result == LIBDEFLATE_INSUFFICIENT_SPACE)
            return io_error(fmt::format("entry {} does not decompress to its declared size", name));
        return io_error(fmt::format("corrupt deflate stream in entry {}", name));
    }
}

Result<std::vector<std::uint8_t>> ArchiveReader::read(std::size_t index) const {
    std::vector<std::uint8_t> out;
    VARNEX_TRY(read_into(index, out));
    return out;
}

Status ArchiveReader::read_into(std::size_t index, std::vector<std::uint8_t>& out) const {
    const EntryInfo& e = entries_[index];
    VARNEX_TRY(check_readable(index));
    VARNEX_TRY_ASSIGN(const EntryLocation loc, locate(index));
    const auto compressed_size = static_cast<std::size_t>(e.compressed_size);
    if (e.method == kMethodStored) {
        out.resize(compressed_size);
        VARNEX_TRY(read_at(loc.data_offset, out));
    } else {
        std::vector<std::uint8_t> scratch;
        VARNEX_TRY_ASSIGN(const auto input, view(loc.data_offset, compressed_size, scratch));
        VARNEX_TRY(inflate(input, out, e.uncompressed_size, e.name));
    }
    if (libdeflate_crc32(0, out.data(), out.size()) != e.crc32)
        return io_error(fmt::format("CRC-32 mismatch in entry {}", e.name));
    return {};
}

// ---------------------------------------------------------------------------------------------
// Writer

Result<std::unique_ptr<ArchiveWriter>> ArchiveWriter::create(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return io_error_from_errno(errno);
    std::unique_ptr<ArchiveWriter> writer(new ArchiveWriter(fd, path));
    writer->buffer_.reserve(kWriteBufferSize);
    return writer;
}

ArchiveWriter::~ArchiveWriter() {
    if (fd_ >= 0) close_incomplete();
    if (compressor_ != nullptr) libdeflate_free_compressor(compressor_);
}

// Bytes buffered by write() always precede a pending copy: a copy starts only on an empty buffer,
// and write() sends the pending copy out before it buffers anything new.
Status ArchiveWriter::flush() {
    if (!buffer_.empty()) {
        auto status = write_full(fd_, buffer_.data(), buffer_.size());
        buffer_.clear();
        VARNEX_TRY(status);
    }
    return flush_pending_copy();
}

Status ArchiveWriter::flush_pending_copy() {
    if (!pending_) return {};
    const PendingCopy copy = *pending_;
    pending_.reset();
    auto status = copy_range(*copy.reader, copy.input_offset, copy.output_offset, copy.length);
    if (!status) {
        // The entries this copy carried never reached the file: an incomplete archive must not
        // list them.
        central_.resize(copy.first_record);
        offset_ = copy.output_offset;
        return as_zip(std::move(status));
    }
    return {};
}

Status ArchiveWriter::write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) return io_error("archive is closed");
    VARNEX_TRY(flush_pending_copy());
    offset_ += bytes.size();
    if (buffer_.size() + bytes.size() <= kWriteBufferSize) {
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
        return {};
    }
    VARNEX_TRY(flush());
    if (bytes.size() < kWriteBufferSize) {
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
        return {};
    }
    return write_full(fd_, bytes.data(), bytes.size());
}

Status ArchiveWriter::copy_range(const ArchiveReader& reader, std::uint64_t offset, std::uint64_t output_offset,
                                 std::uint64_t length) {
    if (offset > reader.size() || length > reader.size() - offset) return io_error("read past the end of the archive");
    auto in_offset = static_cast<off_t>(offset);
    // The kernel copies without the data passing through user space, but only at full speed
    // when input and output sit at the same offset within a page; otherwise a buffer is faster.
    const bool page_aligned = (offset - output_offset) % kPageSize == 0;
    while (length > 0 && copy_file_range_works_ && page_aligned) {
        const ssize_t n = ::copy_file_range(reader.fd(), &in_offset, fd_, nullptr,
                                            static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 30)), 0);
        if (n > 0) {
            length -= static_cast<std::uint64_t>(n);
            continue;
        }
        if (n == 0) return io_error("unexpected end of file");
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL && errno != EBADF &&
            errno != EPERM)
            return io_error_from_errno(errno);
        copy_file_range_works_ = false;
    }
    if (length > 0) copy_buffer_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(length, kCopyChunk)));
    while (length > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length, kCopyChunk));
        VARNEX_TRY(pread_full(reader.fd(), copy_buffer_.data(), n, static_cast<std::uint64_t>(in_offset)));
        VARNEX_TRY(write_full(fd_, copy_buffer_.data(), n));
        in_offset += static_cast<off_t>(n);
        length -= n;
    }
    return {};
}

Status ArchiveWriter::add_new(EntryInfo info, std::span<const std::uint8_t> stored) {
    if (info.name.size() > k16Max) return zip_error("entry name too long");
    if (info.compressed_size >= k32Max || info.uncompressed_size >= k32Max)
        return zip_error(fmt::format("entry {} is too large for an archive without ZIP64", info.name));
    for (const char c : info.name)
        if (static_cast<unsigned char>(c) >= 0x80) info.flags |= kFlagUtf8;
    info.version_made_by = kVersionMadeBy;
    info.mod_time = kFixedDosTime;
    info.mod_date = kFixedDosDate;

    std::vector<std::uint8_t> header;
    header.reserve(kLocalHeaderSize + info.name.size());
    put32(header, kLocalHeaderSignature);
    put16(header, info.version_needed);
    put16(header, info.flags);
    put16(header, info.method);
    put16(header, info.mod_time);
    put16(header, info.mod_date);
    put32(header, info.crc32);
    put32(header, static_cast<std::uint32_t>(info.compressed_size));
    put32(header, static_cast<std::uint32_t>(info.uncompressed_size));
    put16(header, static_cast<std::uint16_t>(info.name.size()));
    put16(header, 0);
    put_bytes(header, info.name);

    CentralRecord record{std::move(info), offset_};
    VARNEX_TRY(write(header));
    VARNEX_TRY(write(stored));
    central_.push_back(std::move(record));
    return {};
}

Status ArchiveWriter::add_entry(std::string_view name, std::uint16_t method, std::span<const std::uint8_t> data) {
    if (method != kMethodStored && method != kMethodDeflate)
        return zip_error(fmt::format("unsupported compression method {}", method));
    if (data.size() >= k32Max) return zip_error(fmt::format("entry {} is too large for an archive without ZIP64", name));
    EntryInfo info;
    info.name = std::string(name);
    info.method = method;
    info.version_needed = method == kMethodDeflate ? 20 : 10;
    info.external_attributes = kFileAttributes;
    info.crc32 = libdeflate_crc32(0, data.data(), data.size());
    info.uncompressed_size = data.size();
    if (method == kMethodStored) {
        info.compressed_size = data.size();
        return add_new(std::move(info), data);
    }
    if (compressor_ == nullptr) {
        compressor_ = libdeflate_alloc_compressor(6);
        if (compressor_ == nullptr) return io_error("out of memory");
    }
    std::vector<std::uint8_t> compressed(libdeflate_deflate_compress_bound(compressor_, data.size()));
    const std::size_t n = libdeflate_deflate_compress(compressor_, data.data(), data.size(), compressed.data(), compressed.size());
    if (n == 0) return io_error("deflate compression failed");
    compressed.resize(n);
    info.compressed_size = n;
    return add_new(std::move(info), compressed);
}

Status ArchiveWriter::add_directory(std::string_view name) {
    EntryInfo info;
    info.name = std::string(name);
    info.method = kMethodStored;
    info.version_needed = 20;
    info.external_attributes = kDirectoryAttributes;
    return add_new(std::move(info), {});
}

Status ArchiveWriter::copy_raw(const ArchiveReader& reader, std::size_t index) {
    if (fd_ < 0) return zip_error("archive is closed");
    VARNEX_TRY_ASSIGN(const EntryLocation loc, reader.locate(index));
    VARNEX_TRY_ASSIGN(const std::uint64_t end, reader.record_end(index, loc));
    const std::uint64_t length = end - loc.header_offset;
    if (loc.header_offset > reader.size() || length > reader.size() - loc.header_offset)
        return zip_error("read past the end of the archive");
    CentralRecord record{reader.entry(index), offset_};
    if (reader.fd() < 0) {
        VARNEX_TRY(as_zip(write(reader.memory().subspan(static_cast<std::size_t>(loc.header_offset),
                                                         static_cast<std::size_t>(length)))));
    } else if (pending_ && pending_->reader == &reader && pending_->input_offset + pending_->length == loc.header_offset) {
        pending_->length += length;
        offset_ += length;
    } else {
        VARNEX_TRY(as_zip(flush()));
        pending_ = PendingCopy{&reader, loc.header_offset, offset_, length, central_.size()};
        offset_ += length;
    }
    central_.push_back(std::move(record));
    return {};
}

namespace {

// The central extra field with the ZIP64 offset set to `offset`: patched in place when the
// record already defers its offset there, added to the ZIP64 block when it now needs to.
Result<std::string> central_extra(const EntryInfo& e, std::uint64_t offset, bool& offset_in_zip64) {
    offset_in_zip64 = e.zip64_offset || offset >= k32Max;
    if (!offset_in_zip64) return e.extra;
    std::string extra = e.extra;
    if (e.zip64_offset) {
        std::vector<std::uint8_t> bytes;
        put64(bytes, offset);
        const std::size_t slot = static_cast<std::size_t>(e.zip64_data_pos) + 8 * e.zip64_uncompressed + 8 * e.zip64_compressed;
        extra.replace(slot, 8, as_text(bytes));
        return extra;
    }
    std::vector<std::uint8_t> block;
    if (e.zip64_uncompressed) put64(block, e.uncompressed_size);
    if (e.zip64_compressed) put64(block, e.compressed_size);
    put64(block, offset);
    if (e.zip64_disk) put32(block, e.disk_start);
    if (e.zip64_data_pos >= 0) {
        const std::size_t header = static_cast<std::size_t>(e.zip64_data_pos) - 4;
        const std::size_t old_size = get16(reinterpret_cast<const std::uint8_t*>(extra.data()) + header + 2);
        extra.erase(header, 4 + old_size);
    }
    std::vector<std::uint8_t> whole;
    put16(whole, kZip64ExtraId);
    put16(whole, static_cast<std::uint16_t>(block.size()));
    whole.insert(whole.end(), block.begin(), block.end());
    extra.append(as_text(whole));
    if (extra.size() > k16Max) return zip_error(fmt::format("extra field of entry {} too long", e.name));
    return extra;
}

}  // namespace

Status ArchiveWriter::write_central_directory() {
    const std::uint64_t directory_offset = offset_;
    std::vector<std::uint8_t> out;
    for (const auto& [e, offset] : central_) {
        bool offset_in_zip64 = false;
        VARNEX_TRY_ASSIGN(const std::string extra, central_extra(e, offset, offset_in_zip64));
        out.clear();
        put32(out, kCentralHeaderSignature);
        put16(out, e.version_made_by);
        put16(out, e.version_needed);
        put16(out, e.flags);
        put16(out, e.method);
        put16(out, e.mod_time);
        put16(out, e.mod_date);
        put32(out, e.crc32);
        put32(out, e.zip64_compressed ? k32Max : static_cast<std::uint32_t>(e.compressed_size));
        put32(out, e.zip64_uncompressed ? k32Max : static_cast<std::uint32_t>(e.uncompressed_size));
        put16(out, static_cast<std::uint16_t>(e.name.size()));
        put16(out, static_cast<std::uint16_t>(extra.size()));
        put16(out, static_cast<std::uint16_t>(e.comment.size()));
        put16(out, e.zip64_disk ? k16Max : 0);
        put16(out, e.internal_attributes);
        put32(out, e.external_attributes);
        put32(out, offset_in_zip64 ? k32Max : static_cast<std::uint32_t>(offset));
        put_bytes(out, e.name);
        put_bytes(out, extra);
        put_bytes(out, e.comment);
        VARNEX_TRY(write(out));
    }
    const std::uint64_t directory_size = offset_ - directory_offset;
    const std::uint64_t count = central_.size();
    out.clear();
    // ZIP64 end records only when the plain end record cannot hold the numbers.
    const bool zip64 = count >= k16Max || directory_size >= k32Max || directory_offset >= k32Max;
    if (zip64) {
        const std::uint64_t zip64_end_offset = offset_;
        put32(out, kZip64EndSignature);
        put64(out, kZip64EndSize - 12);
        put16(out, (3u << 8) | 45u);
        put16(out, 45);
        put32(out, 0);
        put32(out, 0);
        put64(out, count);
        put64(out, count);
        put64(out, directory_size);
        put64(out, directory_offset);
        put32(out, kZip64LocatorSignature);
        put32(out, 0);
        put64(out, zip64_end_offset);
        put32(out, 1);
    }
    put32(out, kEndSignature);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint16_t>(std::min<std::uint64_t>(count, k16Max)));
    put16(out, static_cast<std::uint16_t>(std::min<std::uint64_t>(count, k16Max)));
    put32(out, static_cast<std::uint32_t>(std::min<std::uint64_t>(directory_size, k32Max)));
    put32(out, static_cast<std::uint32_t>(std::min<std::uint64_t>(directory_offset, k32Max)));
    put16(out, 0);
    VARNEX_TRY(write(out));
    return flush();
}

Status ArchiveWriter::finish() {
    if (fd_ < 0) return zip_error("archive is closed");
    auto status = as_zip(write_central_directory());
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && status) status = zip_error(os_error_text(errno));
    return status;
}

void ArchiveWriter::close_incomplete() {
    if (fd_ < 0) return;
    // A pending copy that fails drops the entries it carried and the rest can still be listed;
    // a failed entry may have left part of its bytes behind, so the directory goes after them.
    (void)flush_pending_copy();
    Status status = flush();
    if (status) {
        const off_t end = ::lseek(fd_, 0, SEEK_CUR);
        if (end < 0) status = io_error_from_errno(errno);
        else offset_ = static_cast<std::uint64_t>(end);
    }
    if (status) {
        status = finish();
    } else {
        ::close(fd_);
        fd_ = -1;
    }
    if (!status) std::fprintf(stderr, "varnex: could not close the incomplete archive %s: %s\n", path_.c_str(),
                              status.error().message.c_str());
}

}  // namespace varnex::zip
