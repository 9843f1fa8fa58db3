// Opens the input as an in-memory archive, reads every entry and copies every entry raw into
// a writer, which must never crash, hang or allocate beyond what the data can produce.
#include <cstddef>
#include <cstdint>
#include <span>

#include "zip_archive.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto reader = varnex::zip::ArchiveReader::open_memory(std::span<const std::uint8_t>(data, size));
    if (!reader) return 0;
    auto writer = varnex::zip::ArchiveWriter::create("/dev/null");
    for (std::size_t i = 0; i < (*reader)->entry_count(); ++i) {
        (void)(*reader)->read(i);
        if (writer) (void)(*writer)->copy_raw(**reader, i);
    }
    if (writer) (void)(*writer)->finish();
    return 0;
}
