// Shared helpers that locate, read and rewrite elements and attributes in part XML.
//
// Two kinds: text searches over the part's bytes (positions are byte offsets; elements are
// matched by their qualified name as written, so `p:sp` is not found under another prefix),
// and functions over the events of the streaming reader (matched by local name where they say
// so). Text searches never fail: a missing element is absent and the caller words the error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "error.hpp"
#include "xml_events.hpp"

#include "utf8.hpp"

namespace varnex::xml {

// ---- Text searches ------------------------------------------------------------------------

// Offset of the first "<" + name at or after `start` that is followed by `>`, `/` or a Unicode
// white-space character (so `<p:sp` never matches `<p:spTree`). An occurrence at the very end
// of the text does not count.
std::optional<std::size_t> find_tag_start(std::string_view text, std::size_t start, std::string_view name);

// The first start tag of `name` (by find_tag_start from 0), from its `<` through the next `>`.
std::optional<std::string_view> element_start_tag(std::string_view text, std::string_view name);

// Offset just past the end tag that closes the element whose "<" + name is at `start`,
// counting nested openings of the same name (a nested self-closing one counts as an opening
// without a close). Absent when the closing tags run out.
std::optional<std::size_t> find_element_end(std::string_view text, std::size_t start, std::string_view name);

// The text with the first element of `name` (first plain "<" + name, no boundary test)
// replaced: a self-closing tag alone, else through the first following "</name>". Unchanged
// when the start, its `>` or the end tag is missing.
std::string replace_element(std::string_view text, std::string_view name, std::string_view replacement);

// The text with `insertion` placed just before the last occurrence of `marker`.
// XmlTextDecode "expected closing marker {marker}" when the marker does not occur.
Result<std::string> insert_before(std::string_view text, std::string_view marker, std::string_view insertion);

// The raw text between `name="` (first plain occurrence, no word boundary: `id` also matches
// the end of `spid`) and the next `"`.
std::optional<std::string_view> attribute_value(std::string_view text, std::string_view name);
std::optional<std::string> extract_string_attribute(std::string_view text, std::string_view name);
// attribute_value parsed by parse_i64_decimal.
std::optional<std::int64_t> attribute_i64(std::string_view text, std::string_view name);

// Everything up to and including the last ':' ("p:" for "p:sp"); empty without a colon.
std::string element_prefix(std::string_view qualified_name);

// The largest parsable `id` of the `<p:cNvPr` tags of the text; 0 when there is none.
std::uint64_t max_cnvpr_id(std::string_view text);

// True exactly for the local names of shape-tree shapes: sp, pic, cxnSp, grpSp, graphicFrame.
bool is_shape_element_name(std::string_view local_name);
bool is_shape_tree_shape(std::string_view local_name);

struct ShapeStart {
    std::size_t offset = 0;
    std::string_view name;  // the qualified name that matched, e.g. "p:grpSp"
};
// The earliest start tag of p:sp, p:pic, p:graphicFrame, p:grpSp or p:cxnSp (find_tag_start
// rules) in text[start, end).
std::optional<ShapeStart> find_next_shape_start(std::string_view text, std::size_t start, std::size_t end);

// The top-level shape elements of the text in document order. Shapes inside a listed group
// are part of the group's slice; an mc:AlternateContent block is skipped as a whole.
std::vector<std::string_view> extract_shape_blocks(std::string_view text);

// ---- Numbers and text decoding ------------------------------------------------------------

// ASCII decimal digits with an optional leading '+'; absent when empty, not a number or
// beyond 64 bits.
std::optional<std::uint64_t> parse_u64_decimal(std::string_view text);
// As above with an optional leading '+' or '-', within the signed 64-bit range.
std::optional<std::int64_t> parse_i64_decimal(std::string_view text);

// The bytes as UTF-8, each invalid sequence replaced by U+FFFD.
using varnex::utf8_lossy;

// An attribute value with the five predefined entities and decimal/hexadecimal character
// references decoded. Absent when the value holds an unknown entity, a malformed reference
// (a '&' without ';') or a reference to a character XML does not allow.
std::optional<std::string> unescape_attribute_value(std::string_view raw);

// ---- Event functions ----------------------------------------------------------------------

// True at the first start or empty tag whose local name equals `local_name`; false at the end
// of input or at the first reader error.
bool has_element(std::string_view text, std::string_view local_name);

// Reads past the end of the element whose start tag was the last event read.
// XmlTextDecode "unexpected end of XML while skipping element" at the end of input first;
// reader errors as they are (Xml).
Status skip_current_element(Reader& reader);

// The raw (still escaped) value of the first attribute whose qualified name equals `name`,
// as UTF-8 with invalid sequences replaced.
std::optional<std::string> raw_attribute(const Event& event, std::string_view name);
// raw_attribute parsed by parse_u64_decimal.
std::optional<std::uint64_t> extract_u64_attr(const Event& event, std::string_view name);
// A numeric DrawingML attribute (offsets, extents), read by extract_u64_attr.
std::optional<std::uint64_t> drawingml_attribute(const Event& event, std::string_view name);

// The event's text with carriage return and carriage return + line feed turned into line feed.
std::string xml_text_content(const Event& event);
// A character reference as UTF-8, a predefined entity as its character, anything else
// (an unknown entity, a reference to a character XML does not allow) as written: "&name;".
std::string xml_reference_content(const Event& event);

// Rewritten start or empty tags (the kind and name are kept). Attributes are walked as read,
// in order: an attribute named in the list (first match by qualified name) takes the listed
// value, the others keep their raw value. Listed names that did not occur are appended in
// list order.
//
// rewrite_event_attributes and rewrite_event_optional_attributes take plain text values and
// escape them with escape_text; with_raw_attributes takes values already escaped and writes
// them as they are. In the optional form, an entry without a value removes the attribute and
// is not appended.
using AttributeValues = std::vector<std::pair<std::string_view, std::string_view>>;
using OptionalAttributeValues = std::vector<std::pair<std::string_view, std::optional<std::string_view>>>;
OwnedTag rewrite_event_attributes(const Event& event, const AttributeValues& replacements);
OwnedTag rewrite_event_optional_attributes(const Event& event, const OptionalAttributeValues& replacements);
OwnedTag with_raw_attributes(const Event& event, const AttributeValues& raw_values);

}  // namespace varnex::xml
