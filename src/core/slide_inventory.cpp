#include "slide_inventory.hpp"

#include <algorithm>
#include <limits>
#include <map>
#include <set>
#include <utility>

#include <fmt/format.h>

#include "package_io.hpp"
#include "relationships.hpp"
#include "xml_events.hpp"
#include "xml_helpers.hpp"

namespace varnex {
namespace {

constexpr std::string_view kPresentationPart = "ppt/presentation.xml";

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

// The digits between `prefix` and ".xml", when the whole name has that shape.
std::optional<std::string_view> numbered_part_digits(std::string_view name, std::string_view prefix) {
    constexpr std::string_view suffix = ".xml";
    if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
        return std::nullopt;
    const auto digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (!std::ranges::all_of(digits, is_ascii_digit)) return std::nullopt;
    return digits;
}

constexpr std::string_view kSlidePrefix = "ppt/slides/slide";
constexpr std::string_view kSlideLayoutPrefix = "ppt/slideLayouts/slideLayout";

// A run of ASCII digits as a number; absent when it does not fit in 64 bits.
std::optional<std::uint64_t> digits_value(std::string_view digits) {
    std::uint64_t value = 0;
    for (const char c : digits) {
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::vector<std::string> entry_names_where(Package& package, bool (*keep)(std::string_view)) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < package.entry_count(); ++i)
        if (keep(package.entry_name(i))) names.push_back(package.entry_name(i));
    sort_natural(names);
    return names;
}

// The slide list order, when it names exactly the slides found in the package, each once.
std::optional<std::vector<std::string>> listed_order(const std::vector<std::string>& ids,
                                                     const std::vector<RelationshipSummary>& relationships,
                                                     const std::vector<std::string>& found) {
    std::map<std::string_view, std::string> slide_by_id;
    for (const auto& relationship : relationships)
        if (relationship_type_ends_with(relationship, "/slide"))
            slide_by_id.emplace(relationship.id, resolve_target(kPresentationPart, relationship.target));
    std::vector<std::string> order;
    for (const auto& id : ids)
        if (const auto slide = slide_by_id.find(id); slide != slide_by_id.end()) order.push_back(slide->second);
    if (order.size() != found.size()) return std::nullopt;
    const std::set<std::string_view> found_set(found.begin(), found.end());
    std::set<std::string_view> seen;
    for (const auto& name : order)
        if (!found_set.contains(name) || !seen.insert(name).second) return std::nullopt;
    return order;
}

// Where a new slide list goes when the presentation has none: after the master lists that
// precede it in the schema, else before the elements that follow it.
std::optional<std::size_t> new_slide_list_position(std::string_view xml) {
    for (const std::string_view end_tag : {"</p:handoutMasterIdLst>", "</p:notesMasterIdLst>", "</p:sldMasterIdLst>"})
        if (const auto at = xml.rfind(end_tag); at != std::string_view::npos) return at + end_tag.size();
    for (const std::string_view marker : {"<p:sldSz", "<p:notesSz", "<p:defaultTextStyle", "</p:presentation>"})
        if (const auto at = xml.rfind(marker); at != std::string_view::npos) return at;
    return std::nullopt;
}

std::string splice(std::string_view text, std::size_t at, std::size_t removed, std::string_view insertion) {
    std::string result;
    result.reserve(text.size() - removed + insertion.size());
    result.append(text.substr(0, at));
    result.append(insertion);
    result.append(text.substr(at + removed));
    return result;
}

}  // namespace

std::vector<NaturalChunk> natural_key(std::string_view name) {
    std::vector<NaturalChunk> key;
    std::size_t start = 0;
    while (start < name.size()) {
        const bool digits = is_ascii_digit(name[start]);
        std::size_t end = start;
        while (end < name.size() && is_ascii_digit(name[end]) == digits) ++end;
        const auto run = name.substr(start, end - start);
        if (digits) key.emplace_back(digits_value(run).value_or(0));
        else key.emplace_back(std::string(run));
        start = end;
    }
    return key;
}

std::strong_ordering compare_natural_keys(const std::vector<NaturalChunk>& a, const std::vector<NaturalChunk>& b) {
    // Variants order by alternative first, so text sorts before a number at the same position.
    return a <=> b;
}

bool natural_less(std::string_view a, std::string_view b) {
    return compare_natural_keys(natural_key(a), natural_key(b)) < 0;
}

void sort_natural(std::vector<std::string>& names) {
    std::vector<std::pair<std::vector<NaturalChunk>, std::string>> keyed;
    keyed.reserve(names.size());
    for (auto& name : names) keyed.emplace_back(natural_key(name), std::move(name));
    std::ranges::stable_sort(keyed, [](const auto& a, const auto& b) { return compare_natural_keys(a.first, b.first) < 0; });
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = std::move(keyed[i].second);
}

bool is_slide_part(std::string_view part_name) { return numbered_part_digits(part_name, kSlidePrefix).has_value(); }

bool is_slide_layout_part(std::string_view part_name) {
    return numbered_part_digits(part_name, kSlideLayoutPrefix).has_value();
}

std::optional<std::uint64_t> slide_number(std::string_view part_name) {
    const auto digits = numbered_part_digits(part_name, kSlidePrefix);
    if (!digits) return std::nullopt;
    return digits_value(*digits);
}

Result<std::vector<std::string>> slide_parts(Package& package) {
    auto found = entry_names_where(package, is_slide_part);
    VARNEX_TRY_ASSIGN(const auto presentation, read_archive_text(package, kPresentationPart));
    if (!presentation) return found;
    VARNEX_TRY_ASSIGN(const auto ids, slide_relationship_ids_in_presentation(*presentation));
    VARNEX_TRY_ASSIGN(const auto relationships, read_relationships(package, kPresentationPart));
    if (auto order = listed_order(ids, relationships, found)) return std::move(*order);
    return found;
}

Result<std::optional<std::string>> slide_part_at_index(Package& package, std::uint64_t index) {
    VARNEX_TRY_ASSIGN(auto slides, slide_parts(package));
    if (index >= slides.size()) return std::optional<std::string>();
    return std::optional<std::string>(std::move(slides[index]));
}

Result<std::string> slide_layout_target_at_index(Package& package, std::uint64_t index) {
    const auto layouts = entry_names_where(package, is_slide_layout_part);
    if (index >= layouts.size())
        return make_error(ErrorKind::XmlTextDecode, fmt::format("slide layout index {} was not found", index));
    const std::string_view layout = layouts[index];
    return fmt::format("../slideLayouts/{}", layout.substr(layout.rfind('/') + 1));
}

Result<std::vector<std::string>> slide_relationship_ids_in_presentation(std::string_view presentation_xml) {
    std::vector<std::string> ids;
    xml::Reader reader(presentation_xml);
    for (;;) {
        VARNEX_TRY_ASSIGN(const auto event, reader.next());
        if (event.kind == xml::EventKind::Eof) return ids;
        if (!event.is_start_like() || event.local_name() != "sldId") continue;
        // Section lists repeat sldId without r:id; those name no relationship.
        for (const auto& attribute : event.attributes()) {
            if (attribute.name != "r:id") continue;
            auto value = xml::unescape_attribute_value(attribute.raw_value);
            ids.push_back(value ? std::move(*value) : std::string());
            break;
        }
    }
}

std::uint64_t next_slide_id(std::string_view presentation_xml) {
    constexpr std::uint64_t kFirstSlideId = 256;
    std::uint64_t largest = kFirstSlideId - 1;
    std::set<std::uint64_t> taken;
    xml::Reader reader(presentation_xml);
    for (;;) {
        const auto event = reader.next();
        if (!event || event->kind == xml::EventKind::Eof) break;
        if (!event->is_start_like() || event->local_name() != "sldId") continue;
        // r:id shares the local name; its "rId.." value does not parse and is passed over.
        for (const auto& attribute : event->attributes()) {
            if (attribute.local_name() != "id") continue;
            if (const auto id = xml::parse_u64_decimal(attribute.raw_value)) {
                largest = std::max(largest, *id);
                taken.insert(*id);
            }
        }
    }
    if (largest < std::numeric_limits<std::uint64_t>::max()) return largest + 1;
    // No id above the largest: take the first free one rather than wrapping around to 0.
    std::uint64_t id = kFirstSlideId;
    for (auto it = taken.lower_bound(id); it != taken.end() && *it == id; ++it) ++id;
    return id;
}

Result<std::string> append_slide_id(std::string_view presentation_xml, std::uint64_t slide_id,
                                    std::string_view relationship_id) {
    const auto element = fmt::format(R"(<p:sldId id="{}" r:id="{}"/>)", slide_id, relationship_id);
    if (const auto end = presentation_xml.rfind("</p:sldIdLst>"); end != std::string_view::npos)
        return splice(presentation_xml, end, 0, element);
    const auto list = fmt::format("<p:sldIdLst>{}</p:sldIdLst>", element);
    // An empty list written as one self-closing tag becomes the new list, so that the
    // presentation never holds two.
    if (const auto start = xml::find_tag_start(presentation_xml, 0, "p:sldIdLst")) {
        const auto close = presentation_xml.find('>', *start);
        if (close != std::string_view::npos && presentation_xml[close - 1] == '/')
            return splice(presentation_xml, *start, close + 1 - *start, list);
    }
    const auto at = new_slide_list_position(presentation_xml);
    if (!at) return make_error(ErrorKind::XmlTextDecode, "expected closing marker </p:presentation>");
    return splice(presentation_xml, *at, 0, list);
}

}  // namespace varnex
