// Relationships parts: naming, reading, id allocation, edits and target resolution.
//
// Relationship types are recognised by the ending of their URI ("/slide", "/image", ...), never
// by the full URI, so that transitional and strict URIs are treated alike.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "models.hpp"
#include "xml_events.hpp"

namespace varnex {

class Package;

inline constexpr std::string_view kRelationshipsNamespace =
    "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr std::string_view kSlideRelationshipType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide";
inline constexpr std::string_view kSlideLayoutRelationshipType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideLayout";
inline constexpr std::string_view kImageRelationshipType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";

// "dir/_rels/name.rels" for "dir/name"; "_rels/name.rels" for a name without a folder.
std::string relationship_part_name(std::string_view part_name);

// The relationships of `source_part` (empty for the package root); an empty list when the part
// has no relationships part. Io error when that part cannot be read or is not UTF-8.
Result<std::vector<RelationshipSummary>> read_relationships(Package& package, std::string_view source_part);

// Every element with local name `Relationship`, in document order. Never fails: parsing stops
// at the first malformed markup and keeps what was read before it.
std::vector<RelationshipSummary> parse_relationships(std::string_view xml);

// Copies of the records whose type equals `relationship_type` exactly.
std::vector<RelationshipSummary> relationships_by_type(const std::vector<RelationshipSummary>& relationships,
                                                       std::string_view relationship_type);

bool relationship_type_ends_with(const RelationshipSummary& relationship, std::string_view suffix);

// The unescaped `Id` of a start or empty tag (the later one when it is repeated; empty when
// it cannot be unescaped); absent when the tag has none.
std::optional<std::string> relationship_id(const xml::Event& start_tag);

// "rId{n}" with n one more than the largest numeric "rId" id, "rId1" when there is none.
std::string next_relationship_id(std::string_view xml);

// Insert `<Relationship Id Type Target/>` before the last "</Relationships>". add_relationship
// escapes the values (invalid input when the marker is missing); append_relationship writes
// them as given (xml text decode error when the marker is missing).
Result<std::string> add_relationship(std::string_view xml, std::string_view id, std::string_view type,
                                     std::string_view target);
Result<std::string> append_relationship(std::string_view xml, std::string_view id, std::string_view type,
                                        std::string_view target);

struct RelationshipRemoval {
    std::string xml;
    std::size_t removed = 0;  // number of Relationship elements dropped
};

// Drops every Relationship element whose Id is in `ids`; everything else is kept byte for byte.
Result<RelationshipRemoval> remove_relationships_by_id(std::string_view xml,
                                                       const std::set<std::string, std::less<>>& ids);

// Gives each Relationship whose unescaped Target is a key of `targets` the mapped target
// (unescaped text; escaped when written); everything else is kept byte for byte.
Result<std::string> rewrite_relationship_targets(std::string_view xml,
                                                 const std::map<std::string, std::string, std::less<>>& targets);

// The part name that `target` names as seen from `source_part` ("" for the package root).
// ".." never climbs above the package root. External targets must not be passed here.
std::string resolve_target(std::string_view source_part, std::string_view target);

// The relative target by which `source_part` names `destination_part`.
std::string make_relative_target(std::string_view source_part, std::string_view destination_part);

std::string empty_relationships_xml();
// A new slide's relationships part: one slideLayout relationship "rId1" to `layout_target`,
// which is written as given.
std::string slide_layout_rels_xml(std::string_view layout_target);

}  // namespace varnex
