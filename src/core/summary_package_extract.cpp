#include "summary_package_extract.hpp"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <utility>

#include <fmt/format.h>

#include "package_io.hpp"
#include "relationships.hpp"
#include "slide_inventory.hpp"
#include "summary_shape_extract.hpp"
#include "summary_text_extract.hpp"
#include "zip_archive.hpp"

namespace varnex {

namespace {

std::string_view as_text(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Opens every entry, as a reader of the whole package would, and reports whether one of them
// is a VBA project. An entry that cannot be opened is a Zip error.
Result<bool> package_has_vba(Package& package) {
    const zip::ArchiveReader& archive = package.archive();
    bool has_vba = false;
    for (std::size_t i = 0; i < archive.entry_count(); ++i) {
        VARNEX_TRY(archive.check_readable(i));
        VARNEX_TRY(archive.locate(i));
        if (part_kind(archive.entry(i).name) == PartKind::Vba) has_vba = true;
    }
    return has_vba;
}

// The records whose type ends with one of `suffixes`, in order (copies).
std::vector<RelationshipSummary> relationships_with_type_suffix(const std::vector<RelationshipSummary>& relationships,
                                                                std::initializer_list<std::string_view> suffixes) {
    std::vector<RelationshipSummary> selected;
    for (const auto& relationship : relationships) {
        const bool matches = std::any_of(suffixes.begin(), suffixes.end(), [&](std::string_view suffix) {
            return relationship.relationship_type.ends_with(suffix);
        });
        if (matches) selected.push_back(relationship);
    }
    return selected;
}

}  // namespace

Result<std::vector<std::string>> read_notes(Package& package, std::string_view slide_part,
                                            const std::vector<RelationshipSummary>& relationships) {
    // Only the first notes relationship counts, even when it leads nowhere.
    const auto notes = std::find_if(relationships.begin(), relationships.end(), [](const RelationshipSummary& r) {
        return r.relationship_type.ends_with("/notesSlide");
    });
    if (notes == relationships.end()) return std::vector<std::string>();
    const std::string part = resolve_target(slide_part, notes->target);
    auto bytes = read_archive_bytes(package, part);
    if (!bytes) {
        if (bytes.error().kind == ErrorKind::Zip) return std::vector<std::string>();  // cannot be opened
        return tl::unexpected(std::move(bytes).error());
    }
    if (!*bytes) return std::vector<std::string>();
    std::string storage;
    return extract_text_runs(utf8_text(as_text(**bytes), storage));
}

Result<SlideSummary> summarize_slide_part(Package& package, std::string_view slide_part) {
    if (!package.find_entry(slide_part)) return zip_error("specified file not found in archive");
    VARNEX_TRY_ASSIGN(const auto bytes, read_archive_bytes(package, slide_part));
    if (!bytes) return zip_error("specified file not found in archive");

    SlideSummary slide;
    slide.part = std::string(slide_part);
    VARNEX_TRY_ASSIGN(slide.relationships, read_relationships(package, slide_part));
    VARNEX_TRY_ASSIGN(slide.notes, read_notes(package, slide_part, slide.relationships));
    const auto& all = slide.relationships;
    slide.image_relationships = relationships_with_type_suffix(all, {"/image"});
    slide.chart_relationships = relationships_with_type_suffix(all, {"/chart"});
    slide.comment_relationships = relationships_with_type_suffix(all, {"/comments", "/comment"});
    slide.media_relationships = relationships_with_type_suffix(all, {"/audio", "/media", "/video"});
    slide.ole_relationships = relationships_with_type_suffix(all, {"/oleObject", "/package"});

    std::string storage;
    const std::string_view xml = utf8_text(as_text(*bytes), storage);
    // Read once: the slide's text runs are gathered on that reading, and the scans of the
    // shapes, their groups and the tables replay it. The element tests ride on the text-run
    // scan; they see the same tags as has_element.
    TextRunsAndElements scan;
    PartScans scans = scan_part_with_text_runs(xml, {"transition", "timing"}, scan);
    slide.shapes = extract_shapes(xml, &scans);
    slide.texts = std::move(scan.texts);
    slide.has_transition = scan.present[0];
    slide.has_timing = scan.present[1];
    slide.tables = extract_tables(xml, &scans);
    return slide;
}

Status visit_presentation_summary(const std::string& path, const std::function<void(const PresentationFacts&)>& on_facts,
                                  const std::function<void(SlideSummary&&)>& on_slide) {
    VARNEX_TRY_ASSIGN(Package package, open_package(path));
    VARNEX_TRY_ASSIGN(const auto parts, slide_parts(package));
    PresentationFacts facts;
    facts.slide_count = parts.size();
    VARNEX_TRY_ASSIGN(facts.has_vba, package_has_vba(package));
    on_facts(facts);
    for (const auto& part : parts) {
        VARNEX_TRY_ASSIGN(auto slide, summarize_slide_part(package, part));
        on_slide(std::move(slide));
    }
    return {};
}

Result<PresentationSummary> summarize_presentation(const std::string& path) {
    PresentationSummary summary;
    summary.path.value = path;
    VARNEX_TRY(visit_presentation_summary(
        path,
        [&](const PresentationFacts& facts) {
            summary.slide_count = facts.slide_count;
            summary.has_vba = facts.has_vba;
            summary.slides.reserve(facts.slide_count);
        },
        [&](SlideSummary&& slide) { summary.slides.push_back(std::move(slide)); }));
    return summary;
}

Result<SlideSummary> summarize_slide_at_index(const std::string& path, std::uint64_t slide_index) {
    VARNEX_TRY_ASSIGN(Package package, open_package(path));
    VARNEX_TRY_ASSIGN(const auto part, slide_part_at_index(package, slide_index));
    if (!part) return invalid_input(fmt::format("slide index {} was not found", slide_index));
    return summarize_slide_part(package, *part);
}

}  // namespace varnex
