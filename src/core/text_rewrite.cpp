#include "text_rewrite.hpp"

#include <algorithm>
#include <optional>

#include <fmt/format.h>

#include "slide_inventory.hpp"
#include "text_xml_helpers.hpp"
#include "utf8.hpp"
#include "xml_events.hpp"

namespace varnex {

namespace {

using xml::Event;
using xml::EventKind;

constexpr std::string_view kEndInsideTextBody = "unexpected end of XML while rewriting text body";

bool is_start(const Event& event, std::string_view local) {
    return event.kind == EventKind::Start && event.local_name() == local;
}

// Counts the start tags of one local name and follows the chosen one until its end tag.
class ElementTarget {
public:
    ElementTarget(std::string_view local_name, std::uint64_t index) : local_name_(local_name), index_(index) {}

    // Call for every event, before acting on it. True when `event` opens the target.
    bool enter(const Event& event, const xml::Reader& reader) {
        if (!is_start(event, local_name_)) return false;
        const bool chosen = !inside_ && seen_ == index_;
        ++seen_;
        if (chosen) {
            inside_ = true;
            depth_ = reader.depth();
        }
        return chosen;
    }
    // Call for every end tag, after acting on it. True when it closes the target.
    bool leave(const Event& event, const xml::Reader& reader) {
        if (!inside_ || event.kind != EventKind::End || reader.depth() >= depth_) return false;
        inside_ = false;
        return true;
    }
    bool inside() const { return inside_; }

private:
    std::string_view local_name_;
    std::uint64_t index_;
    std::uint64_t seen_ = 0;
    bool inside_ = false;
    std::size_t depth_ = 0;  // reader depth just inside the target
};

xml::Writer output_for(std::string_view slide_xml, std::string_view text) {
    return xml::Writer(slide_xml.size() + text.size() + 64);
}

// The content of a text body whose start tag was just written: paragraphs are dropped and the
// paragraphs of `text` written before the body's end tag. Returns the number dropped, at least 1.
Result<std::uint64_t> rewrite_text_body_content(xml::Reader& reader, xml::Writer& writer, std::string_view text) {
    const std::size_t body_depth = reader.depth();
    std::uint64_t removed = 0;
    std::optional<std::size_t> skipping;  // while dropping a paragraph: the depth its end returns to
    for (;;) {
        VARNEX_TRY_ASSIGN(const Event event, reader.next());
        if (event.kind == EventKind::Eof) return xml_text_decode_error(std::string(kEndInsideTextBody));
        if (skipping) {
            if (event.kind == EventKind::End && reader.depth() == *skipping) skipping.reset();
            continue;
        }
        if (event.is_start_like() && event.local_name() == "p") {
            ++removed;
            if (event.kind == EventKind::Start) skipping = reader.depth() - 1;
            continue;
        }
        if (event.kind == EventKind::End && reader.depth() < body_depth) {
            write_replacement_paragraphs(writer, text);
            writer.write(event);
            return std::max<std::uint64_t>(removed, 1);
        }
        writer.write(event);
    }
}

bool is_text_piece(EventKind kind) {
    return kind == EventKind::Text || kind == EventKind::Reference || kind == EventKind::CData;
}

// Follows `t` elements: call for every event; true while inside one.
class TextElementDepth {
public:
    void track(const Event& event) {
        if (event.local_name() != "t") return;
        if (event.kind == EventKind::Start) ++depth_;
        else if (event.kind == EventKind::End && depth_ > 0) --depth_;
    }
    bool inside() const { return depth_ > 0; }

private:
    std::size_t depth_ = 0;
};

// Rewrites the target paragraph with `text` in place of its old text: every text node,
// reference and character data block inside its `t` elements. The first text node receives
// `text`, later ones are emptied (each of these counts), references and character data are
// dropped. A paragraph whose text elements hold only references or character data gets `text`
// where the first of them was (count 1); one whose text elements are empty stays as it is.
class ParagraphTextRewrite {
public:
    // `paragraph` runs from the paragraph's start tag to the end of the slide; only its own
    // events are looked at, to learn whether it holds any text node.
    ParagraphTextRewrite(std::string_view paragraph, std::string_view text) : text_(text) {
        xml::Reader reader(paragraph);
        TextElementDepth in_text;
        for (auto event = reader.next(); event && event->kind != EventKind::Eof; event = reader.next()) {
            in_text.track(*event);
            if (in_text.inside() && event->kind == EventKind::Text) {
                has_text_node_ = true;
                break;
            }
            if (reader.depth() == 0) break;
        }
        // A reader error stops the look-ahead; the rewrite reports it when it gets there.
    }

    // Writes the event, rewritten where it belongs to the old text.
    void write(const Event& event, xml::Writer& writer) {
        in_text_.track(event);
        if (!in_text_.inside() || !is_text_piece(event.kind)) {
            writer.write(event);
            return;
        }
        const bool receives = !written_ && (event.kind == EventKind::Text || !has_text_node_);
        if (receives) {
            writer.write_text(text_);
            written_ = true;
        }
        if (event.kind == EventKind::Text || receives) ++count_;
    }

    std::uint64_t count() const { return count_; }

private:
    std::string_view text_;
    bool has_text_node_ = false;
    bool written_ = false;
    TextElementDepth in_text_;
    std::uint64_t count_ = 0;
};

}  // namespace

// ---- Slide transformers --------------------------------------------------------------------

Result<SlideRewrite> replace_text_nodes(std::string_view slide_xml, std::string_view search,
                                        std::string_view replacement) {
    if (search.empty()) return SlideRewrite{std::string(slide_xml), 0};
    xml::Reader reader(slide_xml);
    xml::Writer writer = output_for(slide_xml, {});
    std::uint64_t total = 0;
    TextElementDepth in_text;
    std::string replaced;
    for (;;) {
        VARNEX_TRY_ASSIGN(const Event event, reader.next());
        if (event.kind == EventKind::Eof) break;
        in_text.track(event);
        if (event.kind == EventKind::Text && in_text.inside()) {
            const std::string_view node = event.body;
            if (!is_valid_utf8(node))
                return xml_text_decode_error(fmt::format("invalid UTF-8 in text at byte {}", event.offset));
            std::size_t found = node.find(search);
            if (found != std::string_view::npos) {
                replaced.clear();
                std::size_t from = 0;
                for (; found != std::string_view::npos; found = node.find(search, from)) {
                    replaced.append(node.substr(from, found - from));
                    replaced.append(replacement);
                    from = found + search.size();
                    ++total;
                }
                replaced.append(node.substr(from));
                writer.write_text(replaced);
                continue;
            }
        }
        writer.write(event);
    }
    return SlideRewrite{writer.take(), total};
}

Result<SlideRewrite> set_shape_text_at_index_in_slide(std::string_view slide_xml, std::uint64_t shape_index,
                                                      std::string_view text) {
    xml::Reader reader(slide_xml);
    xml::Writer writer = output_for(slide_xml, text);
    ElementTarget shape("sp", shape_index);
    std::uint64_t count = 0;
    for (;;) {
        VARNEX_TRY_ASSIGN(const Event event, reader.next());
        if (event.kind == EventKind::Eof) break;
        shape.enter(event, reader);
        writer.write(event);
        if (shape.inside() && is_start(event, "txBody")) {
            VARNEX_TRY_ASSIGN(const std::uint64_t removed, rewrite_text_body_content(reader, writer, text));
            count += removed;
        }
        shape.leave(event, reader);
    }
    return SlideRewrite{writer.take(), count};
}

Result<SlideRewrite> set_shape_paragraph_text_at_index_in_slide(std::string_view slide_xml,
                                                                std::uint64_t shape_index,
                                                                std::uint64_t paragraph_index,
                                                                std::string_view text) {
    xml::Reader reader(slide_xml);
    xml::Writer writer = output_for(slide_xml, text);
    ElementTarget shape("sp", shape_index);
    ElementTarget paragraph("p", paragraph_index);
    std::optional<ParagraphTextRewrite> rewrite;
    for (;;) {
        VARNEX_TRY_ASSIGN(const Event event, reader.next());
        if (event.kind == EventKind::Eof) break;
        if (paragraph.inside()) {
            rewrite->write(event, writer);
            paragraph.leave(event, reader);
            continue;
        }
        shape.enter(event, reader);
        if (shape.inside() && paragraph.enter(event, reader))
            rewrite.emplace(slide_xml.substr(event.offset), text);
        writer.write(event);
        shape.leave(event, reader);
    }
    const std::uint64_t count = rewrite ? rewrite->count() : 0;
    return SlideRewrite{writer.take(), count};
}

Result<SlideRewrite> replace_text_run_at_index_in_slide(std::string_view slide_xml, std::uint64_t run_index,
                                                        std::string_view text) {
    xml::Reader reader(slide_xml);
    xml::Writer writer = output_for(slide_xml, text);
    std::uint64_t runs = 0;
    std::uint64_t count = 0;
    for (;;) {
        VARNEX_TRY_ASSIGN(const Event event, reader.next());
        if (event.kind == EventKind::Eof) break;
        if (event.is_start_like() && event.local_name() == "r" && runs++ == run_index) {
            count = 1;
            if (event.kind == EventKind::Empty) {
                write_text_only_run(writer, event, text);
            } else {
                writer.write(event);
                VARNEX_TRY(write_replaced_run_body(reader, writer, event, text));
            }
            continue;
        }
        writer.write(event);
    }
    return SlideRewrite{writer.take(), count};
}

// ---- Package operations --------------------------------------------------------------------

namespace {

// The slide's bytes as the transformers see them. An entry listed in the directory that cannot
// be read is an archive error.
Result<std::string> read_slide(Package& package, std::string_view part_name) {
    VARNEX_TRY_ASSIGN(auto bytes, read_archive_bytes(package, part_name));
    if (!bytes) return zip_error(fmt::format("slide part {} was not found", part_name));
    return std::string(bytes->begin(), bytes->end());
}

Result<std::string> resolve_slide(Package& package, std::uint64_t slide_index) {
    VARNEX_TRY_ASSIGN(auto part, slide_part_at_index(package, slide_index));
    if (!part) return invalid_input(fmt::format("slide index {} was not found", slide_index));
    return std::move(*part);
}

}  // namespace

Result<SlideEditOutcome> rewrite_slide_at_index(const std::string& input, const std::string& output,
                                                std::uint64_t slide_index, const SlideTransformer& transform) {
    VARNEX_TRY(create_parent_directories(output));
    VARNEX_TRY_ASSIGN(Package package, open_package(input));
    VARNEX_TRY_ASSIGN(const std::string part_name, resolve_slide(package, slide_index));
    VARNEX_TRY_ASSIGN(const std::string slide_xml, read_slide(package, part_name));
    VARNEX_TRY_ASSIGN(SlideRewrite rewrite, transform(slide_xml));
    PackageEdits edits;
    edits.replaced.emplace(part_name, std::move(rewrite.xml));
    VARNEX_TRY_ASSIGN(const PackageWriteFacts facts, write_package(package, output, edits));
    return SlideEditOutcome{rewrite.count, facts};
}

Result<TextReplacementSummary> replace_slide_text_inner(const std::string& input, const std::string& output,
                                                        std::string_view search, std::string_view replacement,
                                                        std::optional<std::uint64_t> slide_index) {
    VARNEX_TRY(create_parent_directories(output));
    VARNEX_TRY_ASSIGN(Package package, open_package(input));
    std::optional<std::string> chosen;
    if (slide_index) {
        VARNEX_TRY_ASSIGN(chosen, resolve_slide(package, *slide_index));
    }
    PackageEdits edits;
    std::uint64_t total = 0;
    if (!search.empty()) {
        for (std::size_t i = 0; i < package.entry_count(); ++i) {
            const std::string& name = package.entry_name(i);
            const bool target = chosen ? name == *chosen : is_slide_part(name);
            if (!target || edits.replaced.contains(name)) continue;
            VARNEX_TRY_ASSIGN(const std::string slide_xml, read_slide(package, name));
            VARNEX_TRY_ASSIGN(SlideRewrite rewrite, replace_text_nodes(slide_xml, search, replacement));
            total += rewrite.count;
            edits.replaced.emplace(name, std::move(rewrite.xml));
        }
    }
    VARNEX_TRY_ASSIGN(const PackageWriteFacts facts, write_package(package, output, edits));
    return TextReplacementSummary{PathText{output}, total, facts.part_count, facts.has_vba};
}

Result<TextReplacementSummary> replace_slide_text(const std::string& input, const std::string& output,
                                                  std::string_view search, std::string_view replacement) {
    return replace_slide_text_inner(input, output, search, replacement, std::nullopt);
}

Result<TextReplacementSummary> replace_slide_text_at_index(const std::string& input, const std::string& output,
                                                           std::uint64_t slide_index, std::string_view search,
                                                           std::string_view replacement) {
    return replace_slide_text_inner(input, output, search, replacement, slide_index);
}

Result<TextRunReplacementSummary> replace_slide_text_run_at_index(const std::string& input,
                                                                  const std::string& output,
                                                                  std::uint64_t slide_index,
                                                                  std::uint64_t run_index,
                                                                  std::string_view replacement) {
    VARNEX_TRY_ASSIGN(const SlideEditOutcome outcome,
                      rewrite_slide_at_index(input, output, slide_index, [&](std::string_view xml) {
                          return replace_text_run_at_index_in_slide(xml, run_index, replacement);
                      }));
    return TextRunReplacementSummary{PathText{output}, slide_index,           run_index,
                                     outcome.count,    outcome.facts.part_count, outcome.facts.has_vba};
}

Result<ShapeTextSetSummary> set_slide_shape_text_at_index(const std::string& input, const std::string& output,
                                                          std::uint64_t slide_index, std::uint64_t shape_index,
                                                          std::string_view replacement) {
    VARNEX_TRY_ASSIGN(const SlideEditOutcome outcome,
                      rewrite_slide_at_index(input, output, slide_index, [&](std::string_view xml) {
                          return set_shape_text_at_index_in_slide(xml, shape_index, replacement);
                      }));
    return ShapeTextSetSummary{PathText{output}, slide_index,           shape_index,
                               outcome.count,    outcome.facts.part_count, outcome.facts.has_vba};
}

Result<ParagraphTextSetSummary> set_slide_shape_paragraph_text_at_index(const std::string& input,
                                                                        const std::string& output,
                                                                        std::uint64_t slide_index,
                                                                        std::uint64_t shape_index,
                                                                        std::uint64_t paragraph_index,
                                                                        std::string_view replacement) {
    VARNEX_TRY_ASSIGN(const SlideEditOutcome outcome,
                      rewrite_slide_at_index(input, output, slide_index, [&](std::string_view xml) {
                          return set_shape_paragraph_text_at_index_in_slide(xml, shape_index, paragraph_index,
                                                                            replacement);
                      }));
    return ParagraphTextSetSummary{PathText{output}, slide_index,   shape_index,
                                   paragraph_index,  outcome.count, outcome.facts.part_count,
                                   outcome.facts.has_vba};
}

}  // namespace varnex
