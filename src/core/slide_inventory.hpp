// Slides and slide layouts of a package, their presentation order, and the slide list edits.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "error.hpp"

namespace varnex {

class Package;

// One piece of a natural sort key: a run of non-digits, or a run of ASCII digits as a number
// (0 when the run exceeds 64 bits).
using NaturalChunk = std::variant<std::string, std::uint64_t>;

std::vector<NaturalChunk> natural_key(std::string_view name);
// Numbers by value, text byte-wise, text before a number at the same position, a key that is
// a prefix of the other first.
std::strong_ordering compare_natural_keys(const std::vector<NaturalChunk>& a, const std::vector<NaturalChunk>& b);
bool natural_less(std::string_view a, std::string_view b);
// Stable sort in natural order ("slide2.xml" before "slide10.xml").
void sort_natural(std::vector<std::string>& names);

// "ppt/slides/slide{digits}.xml" and "ppt/slideLayouts/slideLayout{digits}.xml", nothing else.
bool is_slide_part(std::string_view part_name);
bool is_slide_layout_part(std::string_view part_name);
// The number of a slide part name; absent for other names and numbers beyond 64 bits.
std::optional<std::uint64_t> slide_number(std::string_view part_name);

// The slide parts in presentation order: the slide list of ppt/presentation.xml when it names
// exactly the slide parts of the package, each once; their natural order otherwise.
Result<std::vector<std::string>> slide_parts(Package& package);
// Absent when `index` is not below the number of slides.
Result<std::optional<std::string>> slide_part_at_index(Package& package, std::uint64_t index);
// "../slideLayouts/{file}" for the layout at `index` in natural order; xml text decode error
// "slide layout index {} was not found" when there is none.
Result<std::string> slide_layout_target_at_index(Package& package, std::uint64_t index);

// The unescaped r:id of every sldId element that has one, in document order. Xml error on
// malformed markup.
Result<std::vector<std::string>> slide_relationship_ids_in_presentation(std::string_view presentation_xml);
// One more than the largest numeric sldId id, at least 256.
std::uint64_t next_slide_id(std::string_view presentation_xml);
// Adds <p:sldId id r:id/> at the end of the slide list, creating the list where it is missing.
Result<std::string> append_slide_id(std::string_view presentation_xml, std::uint64_t slide_id,
                                    std::string_view relationship_id);

}  // namespace varnex
