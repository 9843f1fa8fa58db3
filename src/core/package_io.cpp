#include "package_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include <fmt/format.h>
#include <openssl/evp.h>

#include "zip_archive.hpp"

namespace varnex {

// ---------------------------------------------------------------------------------------------
// Package

Package::Package(std::string path, std::unique_ptr<zip::ArchiveReader> archive)
    : path_(std::move(path)), archive_(std::move(archive)) {}
Package::Package(Package&&) noexcept = default;
Package& Package::operator=(Package&&) noexcept = default;
Package::~Package() = default;

std::size_t Package::entry_count() const { return archive_->entry_count(); }
const std::string& Package::entry_name(std::size_t index) const { return archive_->entry(index).name; }
std::optional<std::size_t> Package::find_entry(std::string_view name) const { return archive_->find(name); }

Result<Package> open_package(const std::string& path) {
    VARNEX_TRY_ASSIGN(auto archive, zip::ArchiveReader::open_file(path));
    return Package(path, std::move(archive));
}

Result<Package> open_package_from_memory(std::span<const std::uint8_t> bytes) {
    VARNEX_TRY_ASSIGN(auto archive, zip::ArchiveReader::open_memory(bytes));
    return Package(std::string(), std::move(archive));
}

// ---------------------------------------------------------------------------------------------
// Reading parts

Result<std::optional<std::string>> read_archive_text(Package& package, std::string_view name) {
    const auto index = package.find_entry(name);
    if (!index) return std::optional<std::string>();
    auto bytes = package.archive().read(*index);
    if (!bytes) {
        // An entry that cannot be opened counts as missing; only read failures are errors.
        if (bytes.error().kind == ErrorKind::Zip) return std::optional<std::string>();
        return tl::unexpected(std::move(bytes).error());
    }
    std::string text(bytes->begin(), bytes->end());
    if (!is_valid_utf8(text)) return io_error(fmt::format("entry {} is not valid UTF-8", name));
    return std::optional<std::string>(std::move(text));
}

Result<std::optional<std::vector<std::uint8_t>>> read_archive_bytes(Package& package, std::string_view name) {
    const auto index = package.find_entry(name);
    if (!index) return std::optional<std::vector<std::uint8_t>>();
    VARNEX_TRY_ASSIGN(auto bytes, package.archive().read(*index));
    return std::optional<std::vector<std::uint8_t>>(std::move(bytes));
}

PartKind part_kind(std::string_view name) {
    if (name.ends_with(".rels")) return PartKind::Relationships;
    if (name.ends_with("vbaProject.bin")) return PartKind::Vba;
    if (name.ends_with(".xml")) return PartKind::Xml;
    if (name.starts_with("ppt/media/")) return PartKind::Media;
    if (name.starts_with("ppt/embeddings/")) return PartKind::Embedding;
    return PartKind::Binary;
}

void update_package_facts(std::string_view name, std::uint64_t& part_count, bool& has_vba) {
    ++part_count;
    if (part_kind(name) == PartKind::Vba) has_vba = true;
}

// ---------------------------------------------------------------------------------------------
// Files

namespace {

// Invalid input when the file at `output` is the one that `input` describes.
Status refuse_same_file(const struct stat& input, const std::string& output) {
    struct stat out {};
    if (::stat(output.c_str(), &out) != 0) return {};
    if (out.st_dev == input.st_dev && out.st_ino == input.st_ino)
        return invalid_input("input and output must be different files");
    return {};
}

Status ensure_output_is_not_input(const Package& input, const std::string& output) {
    const int fd = input.archive().fd();
    if (fd < 0) return {};
    struct stat in {};
    if (::fstat(fd, &in) != 0) return io_error_from_errno(errno);
    return refuse_same_file(in, output);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

Status copy_file(const std::string& input, const std::string& output) {
    FileDescriptor in(::open(input.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return io_error_from_errno(errno);
    FileDescriptor out(::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (out.get() < 0) return io_error_from_errno(errno);
    bool kernel_copy = true;
    std::vector<char> buffer;
    for (;;) {
        if (kernel_copy) {
            const ssize_t n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, std::size_t{1} << 30, 0);
            if (n > 0) continue;
            if (n == 0) break;
            if (errno == EINTR) continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL && errno != EPERM)
                return io_error_from_errno(errno);
            kernel_copy = false;
            buffer.resize(std::size_t{1} << 20);
        }
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return io_error_from_errno(errno);
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out.get(), buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return io_error_from_errno(errno);
            }
            done += w;
        }
    }
    if (::close(out.release()) != 0) return io_error_from_errno(errno);
    return {};
}

}  // namespace

Status create_parent_directories(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return {};
    const std::filesystem::path parent(path.substr(0, slash));
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error) return io_error(os_error_text(error.value()));
    return {};
}

Status ensure_distinct_files(const std::string& input, const std::string& output) {
    struct stat in {};
    if (::stat(input.c_str(), &in) != 0) return {};
    return refuse_same_file(in, output);
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

using ReplacementLookup = std::function<const std::string_view*(std::string_view)>;

std::span<const std::uint8_t> as_bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

Status write_entries(Package& input, zip::ArchiveWriter& writer, const ReplacementLookup& replacement,
                     const PackageEdits* edits, PackageWriteFacts& facts) {
    const zip::ArchiveReader& archive = input.archive();
    const bool rewrite_all = edits != nullptr && edits->rewrite_all;
    for (std::size_t i = 0; i < archive.entry_count(); ++i) {
        const zip::EntryInfo& entry = archive.entry(i);
        if (edits != nullptr && edits->removed.contains(entry.name)) continue;
        update_package_facts(entry.name, facts.part_count, facts.has_vba);
        if (const std::string_view* bytes = replacement(entry.name)) {
            VARNEX_TRY(writer.add_entry(entry.name, entry.method, *bytes));
        } else if (!rewrite_all) {
            VARNEX_TRY(writer.copy_raw(archive, i));
        } else if (entry.is_directory()) {
            VARNEX_TRY(writer.add_directory(entry.name));
        } else {
            VARNEX_TRY_ASSIGN(const auto content, archive.read(i));
            VARNEX_TRY(writer.add_entry(entry.name, entry.method, content));
        }
    }
    if (edits != nullptr) {
        for (const auto& [name, content] : edits->added) {
            update_package_facts(name, facts.part_count, facts.has_vba);
            VARNEX_TRY(writer.add_entry(name, zip::kMethodDeflate, as_bytes(content)));
        }
    }
    return {};
}

Result<PackageWriteFacts> write_package_with(Package& input, const std::string& output,
                                             const ReplacementLookup& replacement, const PackageEdits* edits) {
    VARNEX_TRY(ensure_output_is_not_input(input, output));
    VARNEX_TRY_ASSIGN(auto writer, zip::ArchiveWriter::create(output));
    PackageWriteFacts facts;
    if (auto status = write_entries(input, *writer, replacement, edits, facts); !status) {
        // The entries written so far stay readable.
        writer->close_incomplete();
        return tl::unexpected(std::move(status).error());
    }
    VARNEX_TRY(writer->finish());
    return facts;
}

}  // namespace

Result<PackageWriteFacts> write_package(Package& input, const std::string& output, const PackageEdits& edits) {
    std::string_view found;
    const ReplacementLookup lookup = [&](std::string_view name) -> const std::string_view* {
        const auto it = edits.replaced.find(name);
        if (it == edits.replaced.end()) return nullptr;
        found = it->second;
        return &found;
    };
    return write_package_with(input, output, lookup, &edits);
}

Result<PackageWriteFacts> write_package_with_replaced_part(Package& input, const std::string& output,
                                                           std::string_view part_name, std::string_view bytes) {
    const ReplacementLookup lookup = [&](std::string_view name) -> const std::string_view* {
        return name == part_name ? &bytes : nullptr;
    };
    return write_package_with(input, output, lookup, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Manifest and round trip

namespace {

std::string sha256_hex(const std::vector<std::uint8_t>& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) return std::string();
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(kHex[digest[i] >> 4]);
        hex.push_back(kHex[digest[i] & 0x0f]);
    }
    return hex;
}

}  // namespace

Result<PackageManifest> inspect_package(const std::string& path) {
    VARNEX_TRY_ASSIGN(Package package, open_package(path));
    const zip::ArchiveReader& archive = package.archive();
    PackageManifest manifest;
    manifest.path.value = path;
    manifest.parts.reserve(archive.entry_count());
    std::vector<std::uint8_t> content;  // one entry at a time, in one reused buffer
    for (std::size_t i = 0; i < archive.entry_count(); ++i) {
        PartRecord record;
        record.name = archive.entry(i).name;
        VARNEX_TRY(archive.read_into(i, content));
        record.size = content.size();
        record.sha256 = sha256_hex(content);
        if (record.sha256.empty()) return io_error("SHA-256 digest failed");
        record.kind = part_kind(record.name);
        manifest.parts.push_back(std::move(record));
    }
    std::stable_sort(manifest.parts.begin(), manifest.parts.end(),
                     [](const PartRecord& a, const PartRecord& b) { return a.name < b.name; });
    return manifest;
}

Result<PackageManifest> roundtrip_package(const std::string& input, const std::string& output) {
    VARNEX_TRY(ensure_distinct_files(input, output));
    VARNEX_TRY(create_parent_directories(output));
    VARNEX_TRY(copy_file(input, output));
    VARNEX_TRY_ASSIGN(PackageManifest manifest, inspect_package(input));
    manifest.path.value = output;
    return manifest;
}

}  // namespace varnex
