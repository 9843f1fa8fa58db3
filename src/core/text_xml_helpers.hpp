// The one place that turns plain text into DrawingML text markup and writes the run, paragraph
// and default-run property elements that the text editors put into slides.
//
// Every writer appends to an in-memory event writer, so none of them can fail; text and
// attribute values go through the writer's standard escaping (& < > ' ").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "error.hpp"
#include "xml_events.hpp"

namespace varnex {

// One property of a patch: absent = leave unchanged, an empty inner value = clear it.
template <class T>
using PatchSetting = std::optional<std::optional<T>>;

// A paragraph spacing amount: cleared, in EMU, or a multiple of the line (1.0 = single).
struct ParagraphSpacingValue {
    enum class Kind { Clear, Emu, Multiple };
    Kind kind = Kind::Clear;
    std::int64_t emu = 0;
    double multiple = 0.0;

    static ParagraphSpacingValue clear() { return {}; }
    static ParagraphSpacingValue from_emu(std::int64_t value) { return {Kind::Emu, value, 0.0}; }
    static ParagraphSpacingValue from_multiple(double value) { return {Kind::Multiple, 0, value}; }
};

// Absent settings leave that spacing alone.
struct ParagraphSpacingPatch {
    std::optional<ParagraphSpacingValue> space_before;
    std::optional<ParagraphSpacingValue> space_after;
    std::optional<ParagraphSpacingValue> line_spacing;

    bool empty() const { return !space_before && !space_after && !line_spacing; }
};

enum class UnderlineStyle { None, Single };

// The paragraph-level font settings written into `a:defRPr`.
struct ParagraphFontPatch {
    PatchSetting<bool> bold;
    PatchSetting<bool> italic;
    PatchSetting<UnderlineStyle> underline;
    PatchSetting<std::int64_t> font_size;  // EMU
    PatchSetting<std::string> language;
    PatchSetting<std::string> font_name;
    PatchSetting<std::string> color;       // sRGB text, written verbatim
    std::optional<std::string> fill_type;  // "solid" and "background" have an effect

    // b, i, u, sz, lang in that order, only the settings that change something; an entry
    // without a value asks for the attribute to be removed.
    std::vector<std::pair<std::string, std::optional<std::string>>> attribute_replacements() const;
};

// Attributes of a new `a:rPr`, in order; entries without a value are skipped.
using RunAttributeList = std::vector<std::pair<std::string, std::optional<std::string>>>;

// ---- Text into paragraphs and runs ---------------------------------------------------------

// One `a:p` per line of `text` (split at every line feed, empty pieces kept), each holding one
// run and nothing else.
void write_replacement_paragraphs(xml::Writer& writer, std::string_view text);
// The same paragraphs as markup text. Xml text decode error when the result is not UTF-8.
Result<std::string> replacement_paragraphs_xml(std::string_view text);

// <a:r><a:t>text</a:t></a:r>; the text element is never written self-closing.
void write_text_run(xml::Writer& writer, std::string_view text);
// The text element of a run: the run's prefix + "t" ("a:t" for "a:r", "t" without prefix).
void write_run_text_element(xml::Writer& writer, const xml::Event& run_start, std::string_view text);
// The run re-opened with its own name and attributes (also when it was self-closing), a text
// element and the run's end tag. Nothing the run held is written.
void write_text_only_run(xml::Writer& writer, const xml::Event& run_start, std::string_view text);
// Copies the rest of a run (the reader positioned just after its start tag, which the caller
// has written) through its end tag. The first direct `t` child gets `text` in place of its old
// text, character data and references; a run without one gains a text element before its end.
// Everything else is copied unchanged. End of input ends the copy; reader errors are Xml.
Status write_replaced_run_body(xml::Reader& reader, xml::Writer& writer, const xml::Event& run_start,
                               std::string_view text);
// The element with the text, with xml:space="preserve" when the text has white space at an end.
void write_text_element(xml::Writer& writer, std::string_view name, std::string_view text);

// ---- Run properties ------------------------------------------------------------------------

// <a:solidFill><a:srgbClr val="colour"/></a:solidFill>, or nothing without a colour.
void write_run_fill(xml::Writer& writer, const std::optional<std::string>& fill_color);
// An `a:rPr` with the listed attributes; children (fill, then `a:latin`) when a font name or a
// fill colour is given, self-closing otherwise.
void write_run_properties_formatting(xml::Writer& writer, const RunAttributeList& attributes,
                                     const std::optional<std::string>& font_name,
                                     const std::optional<std::string>& fill_color);
// An attribute-less `a:rPr` holding only `a:latin` with the typeface, or self-closing.
void write_run_properties_font_name(xml::Writer& writer, const std::optional<std::string>& font_name);
// noFill, solidFill, gradFill, blipFill, pattFill, grpFill.
bool is_fill_property(std::string_view local_name);

// ---- Paragraph properties ------------------------------------------------------------------

// An `a:pPr` with `algn` and a non-zero `lvl`, holding the spacing children of the patch.
void write_paragraph_properties(xml::Writer& writer, const std::optional<std::string>& alignment,
                                std::optional<std::uint64_t> level, const ParagraphSpacingPatch& spacing);
// a:lnSpc, a:spcBef, a:spcAft for the settings that hold an amount or a multiple.
void write_paragraph_spacing_children(xml::Writer& writer, const ParagraphSpacingPatch& spacing);
// Round half away from zero into the signed 64-bit range, saturating; NaN gives 0.
std::int64_t round_saturating(double value);
// `val` of a:spcPts for an EMU amount (hundredths of a point, rounded) and of a:spcPct for a
// multiple (thousandths of a percent, rounded).
std::int64_t spacing_points_value(std::int64_t emu);
std::int64_t spacing_percent_value(double multiple);

// ---- Default run properties ----------------------------------------------------------------

// An `a:defRPr` with the patch's valued attributes, holding the fill and font children when
// the patch sets a colour, a font name, or the fill type "solid" or "background".
void write_default_run_properties(xml::Writer& writer, const ParagraphFontPatch& patch);
void write_default_run_property_children(xml::Writer& writer, const ParagraphFontPatch& patch);

}  // namespace varnex
