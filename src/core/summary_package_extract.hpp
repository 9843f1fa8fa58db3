// Presentation and slide summaries: read-only descriptions of a package's slides.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "models.hpp"
#include "summary_models.hpp"

namespace varnex {

class Package;

// Every slide in presentation order, and whether any entry is a VBA project. Io error when
// the file cannot be opened, Zip error when it is not an archive, an entry cannot be opened,
// or a slide named by the presentation is missing ("specified file not found in archive").
Result<PresentationSummary> summarize_presentation(const std::string& path);

// What a presentation summary holds besides its slides; known before the first slide is read.
struct PresentationFacts {
    std::uint64_t slide_count = 0;
    bool has_vba = false;
};

// summarize_presentation with the slides handed over one at a time, in presentation order, so
// that a caller writing each one out never holds more than one slide's records. `on_facts` is
// called once, before the first slide; the first failure ends the walk.
Status visit_presentation_summary(const std::string& path, const std::function<void(const PresentationFacts&)>& on_facts,
                                  const std::function<void(SlideSummary&&)>& on_slide);

// The slide at the zero-based position in presentation order; invalid input
// "slide index {} was not found" past the last slide.
Result<SlideSummary> summarize_slide_at_index(const std::string& path, std::uint64_t slide_index);

// The summary of one slide part of an open package.
Result<SlideSummary> summarize_slide_part(Package& package, std::string_view slide_part);

// The text runs of the notes slide named by the slide's first notesSlide relationship; empty
// when there is none, or when its part is missing or cannot be opened. Io error when the part
// cannot be read.
Result<std::vector<std::string>> read_notes(Package& package, std::string_view slide_part,
                                            const std::vector<RelationshipSummary>& relationships);

}  // namespace varnex
