// Opening packages, reading parts, the manifest, and the entry loop that writes a new package.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "error.hpp"
#include "models.hpp"
#include "utf8.hpp"

namespace varnex {

namespace zip {
class ArchiveReader;
}

// An open input package: the central directory has been read; parts are read on demand.
class Package {
public:
    Package(Package&&) noexcept;
    Package& operator=(Package&&) noexcept;
    ~Package();

    std::size_t entry_count() const;
    // Entry names in central-directory order.
    const std::string& entry_name(std::size_t index) const;
    // Index of the first entry whose name equals `name` byte for byte.
    std::optional<std::size_t> find_entry(std::string_view name) const;
    // Path the package was opened from; empty for an in-memory package.
    const std::string& path() const { return path_; }

    zip::ArchiveReader& archive() { return *archive_; }
    const zip::ArchiveReader& archive() const { return *archive_; }

private:
    friend Result<Package> open_package(const std::string& path);
    friend Result<Package> open_package_from_memory(std::span<const std::uint8_t> bytes);
    Package(std::string path, std::unique_ptr<zip::ArchiveReader> archive);

    std::string path_;
    std::unique_ptr<zip::ArchiveReader> archive_;
};

// Io error when the file cannot be opened; Zip error when it is not a readable archive.
Result<Package> open_package(const std::string& path);
// The bytes must outlive the package.
Result<Package> open_package_from_memory(std::span<const std::uint8_t> bytes);

// Absent when the entry is missing or cannot be opened (encrypted, unsupported method).
// Io error on a read failure, a checksum mismatch or invalid UTF-8.
Result<std::optional<std::string>> read_archive_text(Package& package, std::string_view name);
// Absent when the entry is missing; Zip error when it cannot be opened; Io error on read failure.
Result<std::optional<std::vector<std::uint8_t>>> read_archive_bytes(Package& package, std::string_view name);

PartKind part_kind(std::string_view name);
void update_package_facts(std::string_view name, std::uint64_t& part_count, bool& has_vba);

struct PackageWriteFacts {
    std::uint64_t part_count = 0;
    bool has_vba = false;
};

// What an operation changes in the package it writes.
struct PackageEdits {
    std::map<std::string, std::string, std::less<>> replaced;  // part name -> new content
    std::set<std::string, std::less<>> removed;                 // skipped while copying; wins over replaced
    std::vector<std::pair<std::string, std::string>> added;     // appended in this order
    // Write every kept entry anew instead of copying it raw (slide deletion, image replacement):
    // each is decompressed and written with the replaced-entry options; directories stay
    // (stored) directories. An entry that cannot be decompressed then fails the write.
    bool rewrite_all = false;
};

// The entry loop: input entries in order (replaced ones re-compressed with the replaced-entry
// options, removed ones skipped, others copied raw), then the added parts (Deflate). Refuses,
// before opening anything for writing, an output that is the input file under any name
// (symlink, hard link, other spelling). On failure after the output was opened, the archive is
// still closed so that it lists the entries completed so far. Raw copies move stored bytes
// only, so they also carry entries this reader cannot decode (encrypted, other methods).
Result<PackageWriteFacts> write_package(Package& input, const std::string& output, const PackageEdits& edits);
Result<PackageWriteFacts> write_package_with_replaced_part(Package& input, const std::string& output,
                                                           std::string_view part_name, std::string_view bytes);

// Creates the parent directory of `path` and its missing ancestors (no-op for a bare name).
Status create_parent_directories(const std::string& path);
// Invalid input "input and output must be different files" when both name the same file.
Status ensure_distinct_files(const std::string& input, const std::string& output);

Result<PackageManifest> inspect_package(const std::string& path);
Result<PackageManifest> roundtrip_package(const std::string& input, const std::string& output);

}  // namespace varnex
