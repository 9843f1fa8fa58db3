// Substring search for the short needles the XML text searches use ("<p:sp", "r:embed=\"").
//
// The inputs are slices of one part, often a few hundred bytes, searched many times each; the
// setup of a general-purpose search would cost more than the scan itself.
#pragma once

#include <cstddef>
#include <string_view>

namespace varnex {

// Offset of the first occurrence of `needle` in `haystack` at or after `from`; npos when there
// is none or `from` is past the end. An empty needle is found at `from`.
std::size_t find_bytes(std::string_view haystack, std::string_view needle, std::size_t from = 0);

}  // namespace varnex
