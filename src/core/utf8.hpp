// UTF-8 decoding with the strict ranges of RFC 3629 (no overlongs, no surrogates, nothing
// above U+10FFFF), shared by every unit that validates or repairs text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varnex {

struct Utf8Sequence {
    char32_t code_point = 0;
    std::size_t length = 1;  // bytes consumed; for an invalid sequence, its maximal valid prefix
    bool valid = false;
};

// The sequence starting at text[pos] (pos < text.size()).
Utf8Sequence decode_utf8(std::string_view text, std::size_t pos);
bool is_valid_utf8(std::string_view text);
// The text with every invalid sequence replaced by U+FFFD.
std::string utf8_lossy(std::string_view bytes);
void append_utf8(std::string& out, char32_t code_point);

}  // namespace varnex
