#include "text_xml_helpers.hpp"

#include <cmath>
#include <limits>

#include "utf8.hpp"
#include "xml_helpers.hpp"

namespace varnex {

namespace {

using xml::EventKind;

void write_start(xml::Writer& writer, std::string_view name,
                 std::vector<std::pair<std::string, std::string>> attributes = {}) {
    writer.write_tag(xml::OwnedTag{std::string(name), std::move(attributes), false});
}

void write_empty(xml::Writer& writer, std::string_view name,
                 std::vector<std::pair<std::string, std::string>> attributes = {}) {
    writer.write_tag(xml::OwnedTag{std::string(name), std::move(attributes), true});
}

// The tag as a start tag, its attribute bytes untouched: a self-closing `<x .../>` loses its slash.
void write_reopened(xml::Writer& writer, const xml::Event& tag) {
    if (tag.kind == EventKind::Empty && tag.raw.ends_with("/>")) {
        writer.write_raw(tag.raw.substr(0, tag.raw.size() - 2));
        writer.write_raw(">");
    } else {
        writer.write(tag);
    }
}

std::string run_text_element_name(std::string_view run_name) {
    return xml::element_prefix(run_name) + "t";
}

// Unicode White_Space, the characters trimming removes.
bool is_unicode_space(char32_t c) {
    switch (c) {
        case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20: case 0x85: case 0xA0:
        case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

bool has_space_at_an_end(std::string_view text) {
    if (text.empty()) return false;
    std::size_t last = text.size() - 1;
    while (last > 0 && (static_cast<unsigned char>(text[last]) & 0xC0) == 0x80) --last;
    const auto space_at = [&](std::size_t pos) {
        const Utf8Sequence sequence = decode_utf8(text, pos);
        return sequence.valid && is_unicode_space(sequence.code_point);
    };
    return space_at(0) || space_at(last);
}

void write_solid_fill(xml::Writer& writer, std::string_view color) {
    write_start(writer, "a:solidFill");
    write_empty(writer, "a:srgbClr", {{"val", xml::escape_text(color)}});
    writer.write_end("a:solidFill");
}

void write_latin(xml::Writer& writer, std::string_view typeface) {
    write_empty(writer, "a:latin", {{"typeface", xml::escape_text(typeface)}});
}

const std::string* set_value(const PatchSetting<std::string>& setting) {
    return setting && *setting ? &**setting : nullptr;
}

std::optional<std::string> flag_value(const std::optional<bool>& value) {
    if (!value) return std::nullopt;
    return std::string(*value ? "1" : "0");
}

}  // namespace

// ---- Text into paragraphs and runs ---------------------------------------------------------

void write_replacement_paragraphs(xml::Writer& writer, std::string_view text) {
    for (;;) {
        const auto line_feed = text.find('\n');
        write_start(writer, "a:p");
        write_text_run(writer, text.substr(0, line_feed));
        writer.write_end("a:p");
        if (line_feed == std::string_view::npos) break;
        text.remove_prefix(line_feed + 1);
    }
}

Result<std::string> replacement_paragraphs_xml(std::string_view text) {
    xml::Writer writer(text.size() + 32);
    write_replacement_paragraphs(writer, text);
    std::string markup = writer.take();
    if (!is_valid_utf8(markup)) return xml_text_decode_error("replacement text is not valid UTF-8");
    return markup;
}

void write_text_run(xml::Writer& writer, std::string_view text) {
    write_start(writer, "a:r");
    write_start(writer, "a:t");
    writer.write_text(text);
    writer.write_end("a:t");
    writer.write_end("a:r");
}

void write_run_text_element(xml::Writer& writer, const xml::Event& run_start, std::string_view text) {
    const std::string name = run_text_element_name(run_start.name);
    write_start(writer, name);
    writer.write_text(text);
    writer.write_end(name);
}

void write_text_only_run(xml::Writer& writer, const xml::Event& run_start, std::string_view text) {
    write_reopened(writer, run_start);
    write_run_text_element(writer, run_start, text);
    writer.write_end(run_start.name);
}

Status write_replaced_run_body(xml::Reader& reader, xml::Writer& writer, const xml::Event& run_start,
                               std::string_view text) {
    std::size_t depth = 0;         // 0: direct children of the run
    bool text_written = false;
    bool in_target_text = false;   // inside the first direct `t`, whose old content is dropped
    for (;;) {
        VARNEX_TRY_ASSIGN(const xml::Event event, reader.next());
        switch (event.kind) {
            case EventKind::Eof:
                return {};
            case EventKind::Start:
                if (depth == 0 && !text_written && event.local_name() == "t") {
                    in_target_text = true;
                    text_written = true;
                }
                writer.write(event);
                ++depth;
                continue;
            case EventKind::Empty:
                if (depth == 0 && !text_written && event.local_name() == "t") {
                    write_reopened(writer, event);
                    writer.write_text(text);
                    writer.write_end(event.name);
                    text_written = true;
                } else {
                    writer.write(event);
                }
                continue;
            case EventKind::End:
                if (depth == 0) {
                    if (!text_written) write_run_text_element(writer, run_start, text);
                    writer.write(event);
                    return {};
                }
                --depth;
                if (in_target_text && depth == 0) {
                    writer.write_text(text);
                    in_target_text = false;
                }
                writer.write(event);
                continue;
            case EventKind::Text:
            case EventKind::CData:
            case EventKind::Reference:
                if (!in_target_text) writer.write(event);
                continue;
            default:
                writer.write(event);
                continue;
        }
    }
}

void write_text_element(xml::Writer& writer, std::string_view name, std::string_view text) {
    std::vector<std::pair<std::string, std::string>> attributes;
    if (has_space_at_an_end(text)) attributes.emplace_back("xml:space", "preserve");
    write_start(writer, name, std::move(attributes));
    writer.write_text(text);
    writer.write_end(name);
}

// ---- Run properties ------------------------------------------------------------------------

void write_run_fill(xml::Writer& writer, const std::optional<std::string>& fill_color) {
    if (fill_color) write_solid_fill(writer, *fill_color);
}

void write_run_properties_formatting(xml::Writer& writer, const RunAttributeList& attributes,
                                     const std::optional<std::string>& font_name,
                                     const std::optional<std::string>& fill_color) {
    xml::OwnedTag tag{"a:rPr", {}, false};
    for (const auto& [name, value] : attributes)
        if (value) tag.attributes.emplace_back(name, xml::escape_text(*value));
    if (!font_name && !fill_color) {
        tag.empty = true;
        writer.write_tag(tag);
        return;
    }
    writer.write_tag(tag);
    write_run_fill(writer, fill_color);
    if (font_name) write_latin(writer, *font_name);
    writer.write_end("a:rPr");
}

void write_run_properties_font_name(xml::Writer& writer, const std::optional<std::string>& font_name) {
    if (!font_name) {
        write_empty(writer, "a:rPr");
        return;
    }
    write_start(writer, "a:rPr");
    write_latin(writer, *font_name);
    writer.write_end("a:rPr");
}

bool is_fill_property(std::string_view local_name) {
    return local_name == "noFill" || local_name == "solidFill" || local_name == "gradFill" ||
           local_name == "blipFill" || local_name == "pattFill" || local_name == "grpFill";
}

// ---- Paragraph properties ------------------------------------------------------------------

std::int64_t round_saturating(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = std::round(value);  // halves away from zero
    // 2^63 is exactly representable; everything at or above it saturates.
    if (rounded >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
    if (rounded < -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(rounded);
}

std::int64_t spacing_points_value(std::int64_t emu) {
    // Exact integer rounding: a double would lose the low digits of large amounts.
    const std::int64_t quotient = emu / 127;
    const std::int64_t remainder = emu % 127;
    if (remainder >= 64) return quotient + 1;
    if (remainder <= -64) return quotient - 1;
    return quotient;
}

std::int64_t spacing_percent_value(double multiple) { return round_saturating(multiple * 100000.0); }

void write_paragraph_properties(xml::Writer& writer, const std::optional<std::string>& alignment,
                                std::optional<std::uint64_t> level, const ParagraphSpacingPatch& spacing) {
    xml::OwnedTag tag{"a:pPr", {}, spacing.empty()};
    if (alignment) tag.attributes.emplace_back("algn", xml::escape_text(*alignment));
    if (level && *level != 0) tag.attributes.emplace_back("lvl", std::to_string(*level));
    writer.write_tag(tag);
    if (spacing.empty()) return;
    write_paragraph_spacing_children(writer, spacing);
    writer.write_end("a:pPr");
}

void write_paragraph_spacing_children(xml::Writer& writer, const ParagraphSpacingPatch& spacing) {
    const std::pair<const char*, const std::optional<ParagraphSpacingValue>*> settings[] = {
        {"a:lnSpc", &spacing.line_spacing},
        {"a:spcBef", &spacing.space_before},
        {"a:spcAft", &spacing.space_after},
    };
    for (const auto& [element, setting] : settings) {
        if (!*setting || (*setting)->kind == ParagraphSpacingValue::Kind::Clear) continue;
        const ParagraphSpacingValue& value = **setting;
        const bool multiple = value.kind == ParagraphSpacingValue::Kind::Multiple;
        const std::int64_t amount = multiple ? spacing_percent_value(value.multiple) : spacing_points_value(value.emu);
        write_start(writer, element);
        write_empty(writer, multiple ? "a:spcPct" : "a:spcPts", {{"val", std::to_string(amount)}});
        writer.write_end(element);
    }
}

// ---- Default run properties ----------------------------------------------------------------

std::vector<std::pair<std::string, std::optional<std::string>>> ParagraphFontPatch::attribute_replacements() const {
    std::vector<std::pair<std::string, std::optional<std::string>>> entries;
    if (bold) entries.emplace_back("b", flag_value(*bold));
    if (italic) entries.emplace_back("i", flag_value(*italic));
    if (underline) {
        std::optional<std::string> value;
        if (*underline) value = **underline == UnderlineStyle::Single ? "sng" : "none";
        entries.emplace_back("u", std::move(value));
    }
    if (font_size) {
        std::optional<std::string> value;
        if (*font_size) value = std::to_string(**font_size / 127);  // truncates toward zero
        entries.emplace_back("sz", std::move(value));
    }
    if (language) entries.emplace_back("lang", *language);
    return entries;
}

void write_default_run_properties(xml::Writer& writer, const ParagraphFontPatch& patch) {
    xml::OwnedTag tag{"a:defRPr", {}, false};
    for (const auto& [name, value] : patch.attribute_replacements())
        if (value) tag.attributes.emplace_back(name, xml::escape_text(*value));
    const bool filled = patch.fill_type == "solid" || patch.fill_type == "background";
    tag.empty = !set_value(patch.color) && !set_value(patch.font_name) && !filled;
    writer.write_tag(tag);
    if (tag.empty) return;
    write_default_run_property_children(writer, patch);
    writer.write_end("a:defRPr");
}

void write_default_run_property_children(xml::Writer& writer, const ParagraphFontPatch& patch) {
    if (const std::string* color = set_value(patch.color)) {
        write_solid_fill(writer, *color);
    } else if (patch.fill_type == "solid") {
        write_empty(writer, "a:solidFill");
    } else if (patch.fill_type == "background") {
        write_empty(writer, "a:noFill");
    }
    if (const std::string* font_name = set_value(patch.font_name)) write_latin(writer, *font_name);
}

}  // namespace varnex
