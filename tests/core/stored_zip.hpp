// Builds small ZIP archives in memory, every entry stored uncompressed, for tests that need a
// package.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace varnex::testing {

inline std::uint32_t crc32_of(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline std::vector<std::uint8_t> stored_zip(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<std::uint8_t> out;
    auto u16 = [](std::vector<std::uint8_t>& v, std::uint32_t x) {
        v.push_back(static_cast<std::uint8_t>(x));
        v.push_back(static_cast<std::uint8_t>(x >> 8));
    };
    auto u32 = [&](std::vector<std::uint8_t>& v, std::uint32_t x) {
        u16(v, x & 0xFFFF);
        u16(v, x >> 16);
    };
    auto bytes = [](std::vector<std::uint8_t>& v, const std::string& s) { v.insert(v.end(), s.begin(), s.end()); };

    std::vector<std::uint8_t> central;
    for (const auto& [name, data] : entries) {
        const auto offset = static_cast<std::uint32_t>(out.size());
        const auto crc = crc32_of(data);
        const auto size = static_cast<std::uint32_t>(data.size());
        const auto name_size = static_cast<std::uint32_t>(name.size());
        u32(out, 0x04034b50);
        u16(out, 20), u16(out, 0), u16(out, 0), u16(out, 0), u16(out, 0x21);  // version, flags, stored, time, date
        u32(out, crc), u32(out, size), u32(out, size);
        u16(out, name_size), u16(out, 0);
        bytes(out, name), bytes(out, data);

        u32(central, 0x02014b50);
        u16(central, 20), u16(central, 20), u16(central, 0), u16(central, 0), u16(central, 0), u16(central, 0x21);
        u32(central, crc), u32(central, size), u32(central, size);
        u16(central, name_size), u16(central, 0), u16(central, 0), u16(central, 0), u16(central, 0);
        u32(central, 0), u32(central, offset);
        bytes(central, name);
    }
    const auto central_offset = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), central.begin(), central.end());
    const auto count = static_cast<std::uint32_t>(entries.size());
    u32(out, 0x06054b50);
    u16(out, 0), u16(out, 0), u16(out, count), u16(out, count);
    u32(out, static_cast<std::uint32_t>(central.size())), u32(out, central_offset);
    u16(out, 0);
    return out;
}

}  // namespace varnex::testing
