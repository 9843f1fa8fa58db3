#include "relationships.hpp"

#include <limits>
#include <unordered_set>

#include <fmt/format.h>

#include "package_io.hpp"
#include "xml_helpers.hpp"

namespace varnex {
namespace {

constexpr std::string_view kRelationshipsEnd = "</Relationships>";
constexpr std::string_view kXmlDeclaration = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)";

bool is_relationship_tag(const xml::Event& event) {
    return event.is_start_like() && event.local_name() == "Relationship";
}

// Malformed escapes make the value empty rather than dropping the record.
std::string unescaped_or_empty(std::string_view raw) {
    auto value = xml::unescape_attribute_value(raw);
    return value ? std::move(*value) : std::string();
}

RelationshipSummary relationship_from_tag(const xml::Event& tag) {
    RelationshipSummary record;
    for (const auto& attribute : tag.attributes()) {
        const auto name = attribute.local_name();
        if (name == "Id") record.id = unescaped_or_empty(attribute.raw_value);
        else if (name == "Type") record.relationship_type = unescaped_or_empty(attribute.raw_value);
        else if (name == "Target") record.target = unescaped_or_empty(attribute.raw_value);
        else if (name == "TargetMode") record.target_mode = unescaped_or_empty(attribute.raw_value);
    }
    return record;
}

std::string relationship_element(std::string_view id, std::string_view type, std::string_view target) {
    return fmt::format(R"(<Relationship Id="{}" Type="{}" Target="{}"/>)", id, type, target);
}

std::vector<std::string_view> split_segments(std::string_view text) {
    std::vector<std::string_view> segments;
    std::size_t start = 0;
    for (;;) {
        const auto slash = text.find('/', start);
        segments.push_back(text.substr(start, slash == std::string_view::npos ? slash : slash - start));
        if (slash == std::string_view::npos) return segments;
        start = slash + 1;
    }
}

std::string join_segments(const std::vector<std::string_view>& segments) {
    std::string joined;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) joined += '/';
        joined += segments[i];
    }
    return joined;
}

// Skips the rest of an element whose start tag was just read.
Status skip_removed_element(xml::Reader& reader) {
    std::size_t depth = 1;
    for (;;) {
        VARNEX_TRY_ASSIGN(const auto event, reader.next());
        switch (event.kind) {
            case xml::EventKind::Eof:
                return make_error(ErrorKind::XmlTextDecode, "unexpected EOF while removing relationship");
            case xml::EventKind::Start: ++depth; break;
            case xml::EventKind::End:
                if (--depth == 0) return {};
                break;
            default: break;
        }
    }
}

}  // namespace

std::string relationship_part_name(std::string_view part_name) {
    const auto slash = part_name.rfind('/');
    if (slash == std::string_view::npos) return fmt::format("_rels/{}.rels", part_name);
    return fmt::format("{}/_rels/{}.rels", part_name.substr(0, slash), part_name.substr(slash + 1));
}

Result<std::vector<RelationshipSummary>> read_relationships(Package& package, std::string_view source_part) {
    VARNEX_TRY_ASSIGN(const auto text, read_archive_text(package, relationship_part_name(source_part)));
    if (!text) return std::vector<RelationshipSummary>{};
    return parse_relationships(*text);
}

std::vector<RelationshipSummary> parse_relationships(std::string_view xml) {
    std::vector<RelationshipSummary> records;
    xml::Reader reader(xml);
    for (;;) {
        auto event = reader.next();
        if (!event || event->kind == xml::EventKind::Eof) break;
        if (is_relationship_tag(*event)) records.push_back(relationship_from_tag(*event));
    }
    return records;
}

std::vector<RelationshipSummary> relationships_by_type(const std::vector<RelationshipSummary>& relationships,
                                                       std::string_view relationship_type) {
    std::vector<RelationshipSummary> selected;
    for (const auto& relationship : relationships)
        if (relationship.relationship_type == relationship_type) selected.push_back(relationship);
    return selected;
}

bool relationship_type_ends_with(const RelationshipSummary& relationship, std::string_view suffix) {
    return std::string_view(relationship.relationship_type).ends_with(suffix);
}

std::optional<std::string> relationship_id(const xml::Event& start_tag) {
    std::optional<std::string> id;
    for (const auto& attribute : start_tag.attributes())
        if (attribute.local_name() == "Id") id = unescaped_or_empty(attribute.raw_value);
    return id;
}

std::string next_relationship_id(std::string_view xml) {
    const auto relationships = parse_relationships(xml);
    std::optional<std::uint64_t> largest;
    for (const auto& relationship : relationships) {
        const std::string_view id = relationship.id;
        if (id.size() <= 3 || !id.starts_with("rId")) continue;
        if (const auto number = xml::parse_u64_decimal(id.substr(3)); number && (!largest || *number > *largest))
            largest = number;
    }
    if (!largest) return "rId1";
    if (*largest < std::numeric_limits<std::uint64_t>::max()) return fmt::format("rId{}", *largest + 1);
    // One more than the largest id does not fit: take the first free id instead of wrapping
    // around to an id that may be taken.
    std::unordered_set<std::string_view> taken;
    for (const auto& relationship : relationships) taken.insert(relationship.id);
    for (std::uint64_t n = 1;; ++n) {
        auto candidate = fmt::format("rId{}", n);
        if (!taken.contains(candidate)) return candidate;
    }
}

Result<std::string> add_relationship(std::string_view xml, std::string_view id, std::string_view type,
                                     std::string_view target) {
    const auto marker = xml.rfind(kRelationshipsEnd);
    if (marker == std::string_view::npos) return invalid_input("relationships part is missing </Relationships>");
    std::string result;
    result.reserve(xml.size() + 64 + id.size() + type.size() + target.size());
    result.append(xml.substr(0, marker));
    result.append(relationship_element(xml::xml_attr(id), xml::xml_attr(type), xml::xml_attr(target)));
    result.append(xml.substr(marker));
    return result;
}

Result<std::string> append_relationship(std::string_view xml, std::string_view id, std::string_view type,
                                        std::string_view target) {
    return xml::insert_before(xml, kRelationshipsEnd, relationship_element(id, type, target));
}

Result<RelationshipRemoval> remove_relationships_by_id(std::string_view xml,
                                                       const std::set<std::string, std::less<>>& ids) {
    RelationshipRemoval removal;
    xml::Reader reader(xml);
    xml::Writer writer(xml.size());
    for (;;) {
        VARNEX_TRY_ASSIGN(const auto event, reader.next());
        if (event.kind == xml::EventKind::Eof) break;
        if (is_relationship_tag(event)) {
            const auto id = relationship_id(event);
            if (id && ids.contains(*id)) {
                ++removal.removed;
                if (event.kind == xml::EventKind::Start) VARNEX_TRY(skip_removed_element(reader));
                continue;
            }
        }
        writer.write(event);
    }
    removal.xml = writer.take();
    return removal;
}

Result<std::string> rewrite_relationship_targets(std::string_view xml,
                                                 const std::map<std::string, std::string, std::less<>>& targets) {
    xml::Reader reader(xml);
    xml::Writer writer(xml.size());
    for (;;) {
        VARNEX_TRY_ASSIGN(const auto event, reader.next());
        if (event.kind == xml::EventKind::Eof) break;
        if (is_relationship_tag(event)) {
            const auto mapped = targets.find(relationship_from_tag(event).target);
            if (mapped != targets.end()) {
                writer.write_tag(xml::rewrite_event_attributes(event, {{"Target", mapped->second}}));
                continue;
            }
        }
        writer.write(event);
    }
    return writer.take();
}

std::string resolve_target(std::string_view source_part, std::string_view target) {
    if (target.starts_with('/')) return std::string(target.substr(1));
    auto segments = split_segments(source_part);
    segments.pop_back();
    for (const auto segment : split_segments(target)) {
        if (segment.empty() || segment == ".") continue;
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
            continue;
        }
        segments.push_back(segment);
    }
    return join_segments(segments);
}

std::string make_relative_target(std::string_view source_part, std::string_view destination_part) {
    auto source = split_segments(source_part);
    source.pop_back();
    if (source.empty()) return std::string(destination_part);
    const auto destination = split_segments(destination_part);
    const std::size_t destination_dirs = destination.size() - 1;
    std::size_t shared = 0;
    while (shared < source.size() && shared < destination_dirs && source[shared] == destination[shared]) ++shared;
    std::vector<std::string_view> segments(source.size() - shared, "..");
    segments.insert(segments.end(), destination.begin() + static_cast<std::ptrdiff_t>(shared), destination.end());
    return join_segments(segments);
}

std::string empty_relationships_xml() {
    return fmt::format("{}\n<Relationships xmlns=\"{}\"></Relationships>\n", kXmlDeclaration, kRelationshipsNamespace);
}

std::string slide_layout_rels_xml(std::string_view layout_target) {
    return fmt::format("{}\n<Relationships xmlns=\"{}\">{}</Relationships>\n", kXmlDeclaration, kRelationshipsNamespace,
                       relationship_element("rId1", kSlideLayoutRelationshipType, layout_target));
}

}  // namespace varnex
