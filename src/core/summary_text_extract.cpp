#include "summary_text_extract.hpp"

#include <algorithm>
#include <array>
#include <tuple>
#include <utility>

#include "utf8.hpp"
#include "xml_events.hpp"
#include "xml_helpers.hpp"

namespace varnex {

namespace {

using xml::Event;
using xml::EventKind;

// Appends the decoded text of a text or reference event.
void append_decoded(std::string& out, const Event& event) {
    if (event.kind == EventKind::Reference) {
        out += xml::xml_reference_content(event);
    } else if (event.body.find('\r') == std::string_view::npos) {
        out.append(event.body);  // nothing to normalise: skip the copy
    } else {
        out += xml::xml_text_content(event);
    }
}

bool is_text_like(const Event& event) {
    return event.kind == EventKind::Text || event.kind == EventKind::Reference;
}

// The local names the scanners act on, told apart once per event instead of by each scanner.
enum class Tag : std::uint8_t { Other, P, R, T, Br, Fld };

struct Local {
    explicit Local(std::string_view name) : text(name), tag(tag_of(name)) {}
    std::string_view text;
    Tag tag;

    static Tag tag_of(std::string_view name) {
        switch (name.size()) {
            case 1: return name[0] == 'p' ? Tag::P : name[0] == 'r' ? Tag::R : name[0] == 't' ? Tag::T : Tag::Other;
            case 2: return name == "br" ? Tag::Br : Tag::Other;
            case 3: return name == "fld" ? Tag::Fld : Tag::Other;
            default: return Tag::Other;
        }
    }
};

// Which events can change a scanner, as its declared traits say: kText (text and references)
// and kOtherNames (tags whose local name is not one of the named Tags). Every scanner ignores
// comments, CDATA, processing instructions and declarations.
enum class EventClass { Named, OtherName, Text, Ignored };

EventClass class_of(const Event& event, const Local& local) {
    switch (event.kind) {
        case EventKind::Start:
        case EventKind::Empty:
        case EventKind::End: return local.tag == Tag::Other ? EventClass::OtherName : EventClass::Named;
        case EventKind::Text:
        case EventKind::Reference: return EventClass::Text;
        default: return EventClass::Ignored;
    }
}

template <class Scanner>
void offer(Scanner& scanner, EventClass kind, const Event& event, const Local& local) {
    if (kind == EventClass::Ignored) return;
    if (kind == EventClass::OtherName && !Scanner::kOtherNames) return;
    if (kind == EventClass::Text && !Scanner::kText) return;
    scanner.on(event, local);
}

// Feeds every event of `xml` to each scanner, with the event's local name, until the end of
// input or the first reader error; from the tape when it can tell.
template <class... Scanners>
void scan_events(const PartScans* scans, std::string_view xml, xml::ReaderOptions options,
                 Scanners&... scanners) {
    const auto feed = [&](const Event& event, std::string_view name) {
        const Local local(name);
        const EventClass kind = class_of(event, local);
        (offer(scanners, kind, event, local), ...);
    };
    if (scans && scans->tape.replay(xml, options, feed)) return;
    xml::Reader reader(xml, options);
    for (;;) {
        auto event = reader.next();
        if (!event || event->kind == EventKind::Eof) return;
        feed(*event, event->local_name());
    }
}

// Appends to a list the scans build one item at a time. Most lists hold a few items: room for
// four from the start saves the reallocations of growing one by one.
template <class T, class... Item>
void append_to(std::vector<T>& list, Item&&... item) {
    if (list.capacity() == 0) list.reserve(4);
    list.emplace_back(std::forward<Item>(item)...);
}

// ---- the scanners; each is the state machine of one extraction ----

struct TextRunScanner {
    static constexpr bool kText = true;
    static constexpr bool kOtherNames = false;
    std::vector<std::string> result;
    std::string buffer;
    bool open = false;

    void on(const Event& event, const Local& local) {
        if (event.kind == EventKind::Start && local.tag == Tag::T) {
            buffer.clear();
            open = true;
        } else if (event.kind == EventKind::End && local.tag == Tag::T) {
            if (open && !buffer.empty()) append_to(result, std::move(buffer));
            buffer.clear();
            open = false;
        } else if (open && is_text_like(event)) {
            append_decoded(buffer, event);
        }
    }
};

// Start and empty tags only, which the trimming of text does not affect.
struct ElementPresenceScanner {
    static constexpr bool kText = false;
    static constexpr bool kOtherNames = true;
    std::vector<std::string_view> names;
    std::vector<bool> present;

    void on(const Event& event, const Local& local) {
        if (!event.is_start_like()) return;
        for (std::size_t k = 0; k < names.size(); ++k)
            if (names[k] == local.text) present[k] = true;
    }
};

struct ParagraphTextScanner {
    static constexpr bool kText = true;
    static constexpr bool kOtherNames = false;
    std::vector<std::string> result;
    std::string pieces;
    bool in_paragraph = false;
    bool in_text = false;

    void on(const Event& event, const Local& local) {
        switch (event.kind) {
            case EventKind::Start:
                if (local.tag == Tag::P) {
                    pieces.clear();
                    in_paragraph = true;
                } else if (local.tag == Tag::T) {
                    if (in_paragraph) in_text = true;
                } else if (local.tag == Tag::Br && in_paragraph) {
                    pieces += '\v';
                }
                break;
            case EventKind::Empty:
                if (local.tag == Tag::Br && in_paragraph) {
                    pieces += '\v';
                } else if (local.tag == Tag::P) {
                    append_to(result);
                }
                break;
            case EventKind::End:
                if (local.tag == Tag::T) {
                    in_text = false;
                } else if (local.tag == Tag::P && in_paragraph) {
                    append_to(result, std::move(pieces));
                    pieces.clear();
                    in_paragraph = false;
                }
                break;
            case EventKind::Text:
            case EventKind::Reference:
                if (in_paragraph && in_text) append_decoded(pieces, event);
                break;
            default: break;
        }
    }
};

struct RunTextScanner {
    static constexpr bool kText = true;
    static constexpr bool kOtherNames = false;
    PerParagraphRuns<std::string> result;
    std::vector<std::string> runs;
    std::string run;
    bool in_paragraph = false;
    bool in_run = false;
    bool in_text = false;

    void on(const Event& event, const Local& local) {
        switch (event.kind) {
            case EventKind::Start:
                if (local.tag == Tag::P) {
                    runs.clear();
                    in_paragraph = true;
                } else if (local.tag == Tag::R) {
                    if (in_paragraph) {
                        run.clear();
                        in_run = true;
                    }
                } else if (local.tag == Tag::T && in_run) {
                    in_text = true;
                }
                break;
            case EventKind::Empty:
                if (local.tag == Tag::P) {
                    append_to(result);
                } else if (local.tag == Tag::R && in_paragraph) {
                    append_to(runs);
                }
                break;
            case EventKind::End:
                if (local.tag == Tag::T) {
                    in_text = false;
                } else if (local.tag == Tag::R) {
                    if (in_run) append_to(runs, std::move(run));
                    run.clear();
                    in_run = false;
                } else if (local.tag == Tag::P && in_paragraph) {
                    append_to(result, std::move(runs));
                    runs.clear();
                    in_paragraph = false;
                }
                break;
            case EventKind::Text:
            case EventKind::Reference:
                if (in_run && in_text) append_decoded(run, event);
                break;
            default: break;
        }
    }
};

struct LineBreakScanner {
    static constexpr bool kText = false;
    static constexpr bool kOtherNames = false;
    PerParagraphRuns<std::uint64_t> result;
    std::vector<std::uint64_t> breaks;
    std::uint64_t runs = 0;
    bool in_paragraph = false;

    void on(const Event& event, const Local& local) {
        const bool start = event.kind == EventKind::Start;
        const bool empty = event.kind == EventKind::Empty;
        if (start && local.tag == Tag::P) {
            breaks.clear();
            runs = 0;
            in_paragraph = true;
        } else if (empty && local.tag == Tag::P) {
            append_to(result);
        } else if ((start || empty) && in_paragraph) {
            if (local.tag == Tag::R) ++runs;
            else if (local.tag == Tag::Br) append_to(breaks, runs);
        } else if (event.kind == EventKind::End && local.tag == Tag::P && in_paragraph) {
            append_to(result, std::move(breaks));
            breaks.clear();
            in_paragraph = false;
        }
    }
};

struct FieldScanner {
    static constexpr bool kText = true;
    static constexpr bool kOtherNames = false;
    PerParagraphRuns<ParagraphFieldSummary> result;
    std::vector<ParagraphFieldSummary> fields;
    std::string text;
    std::uint64_t runs = 0;
    std::uint64_t breaks = 0;
    bool in_paragraph = false;
    bool in_field = false;
    bool in_text = false;

    void on(const Event& event, const Local& local) {
        switch (event.kind) {
            case EventKind::Start:
                if (local.tag == Tag::P) {
                    fields.clear();
                    runs = breaks = 0;
                    in_paragraph = true;
                } else if (local.tag == Tag::Fld) {
                    if (in_paragraph) {
                        text.clear();
                        in_field = true;
                    }
                } else if (local.tag == Tag::T) {
                    if (in_field) in_text = true;
                } else {
                    count(local);
                }
                break;
            case EventKind::Empty:
                if (local.tag == Tag::P) {
                    append_to(result);
                } else if (local.tag == Tag::Fld) {
                    if (in_paragraph) append_to(fields, ParagraphFieldSummary{runs, breaks, std::string()});
                } else {
                    count(local);
                }
                break;
            case EventKind::End:
                if (local.tag == Tag::T) {
                    in_text = false;
                } else if (local.tag == Tag::Fld && in_field) {
                    append_to(fields, ParagraphFieldSummary{runs, breaks, std::move(text)});
                    text.clear();
                    in_field = false;
                } else if (local.tag == Tag::P && in_paragraph) {
                    append_to(result, std::move(fields));
                    fields.clear();
                    in_paragraph = false;
                }
                break;
            case EventKind::Text:
            case EventKind::Reference:
                if (in_field && in_text) append_decoded(text, event);
                break;
            default: break;
        }
    }

    void count(const Local& local) {
        if (!in_paragraph) return;
        if (local.tag == Tag::R) ++runs;
        else if (local.tag == Tag::Br) ++breaks;
    }
};

// One run property: the attribute `attribute` of the element `element` inside a run.
struct RunProperty {
    std::string_view element;
    std::string_view attribute;
};

using RawRunValues = PerParagraphRuns<std::optional<std::string_view>>;

// Reads several run properties at once; every property follows the same paragraph and run
// state, so this equals one scan per property. Raw values are views into the scanned text.
// The values go to `sink` as they are settled: begin_paragraph() when a paragraph opens,
// run(values) for each run (all absent for an empty run element), end_paragraph() when the
// paragraph closes, and empty_paragraph() for an empty paragraph element.
template <std::size_t N, class Sink>
struct RunPropertyScanner {
    using Values = std::array<std::optional<std::string_view>, N>;
    static constexpr bool kText = false;
    static constexpr bool kOtherNames = true;  // the property elements

    std::array<RunProperty, N> properties;
    Sink& sink;
    Values value{};  // this run's
    bool in_paragraph = false;
    bool in_run = false;

    void on(const Event& event, const Local& local) {
        switch (event.kind) {
            case EventKind::Start:
                if (local.tag == Tag::P) {
                    sink.begin_paragraph();
                    in_paragraph = true;
                } else if (local.tag == Tag::R && in_paragraph) {
                    in_run = true;
                    value.fill(std::nullopt);
                } else if (in_run) {
                    read_values(event, local);
                }
                break;
            case EventKind::Empty:
                if (local.tag == Tag::P) {
                    sink.empty_paragraph();
                } else if (local.tag == Tag::R && in_paragraph) {
                    sink.run(Values{});
                } else if (in_run) {
                    read_values(event, local);
                }
                break;
            case EventKind::End:
                if (local.tag == Tag::R && in_run) {
                    sink.run(value);
                    in_run = false;
                } else if (local.tag == Tag::P && in_paragraph) {
                    sink.end_paragraph();
                    in_paragraph = false;
                }
                break;
            default: break;
        }
    }

    // A matching element sets the value anew: its first attribute of that name, or none.
    void read_values(const Event& event, const Local& local) {
        std::array<bool, N> matched{};
        bool any = false;
        for (std::size_t k = 0; k < N; ++k) {
            matched[k] = properties[k].element == local.text;
            if (matched[k]) value[k].reset();
            any = any || matched[k];
        }
        if (!any) return;
        for (const auto& attr : event.attributes()) {
            const std::string_view name = attr.local_name();
            for (std::size_t k = 0; k < N; ++k) {
                if (!matched[k] || properties[k].attribute != name) continue;
                value[k] = is_valid_utf8(attr.raw_value) ? attr.raw_value : std::string_view();
                matched[k] = false;  // the first such attribute counts
            }
        }
    }
};

// Per paragraph, per run: one property's values, each turned into its reading by `read`.
template <class T, class Read>
struct PropertyRuns {
    Read read;
    PerParagraphRuns<T> result;
    std::vector<T> paragraph;

    void begin_paragraph() { paragraph.clear(); }
    void add(std::optional<std::string_view> raw) { append_to(paragraph, read(raw)); }
    void end_paragraph() {
        append_to(result, std::move(paragraph));
        paragraph.clear();
    }
    void empty_paragraph() { append_to(result); }
};

template <class T, class Read>
PropertyRuns<T, Read> property_runs(Read read) {
    return PropertyRuns<T, Read>{read, {}, {}};
}

// Fans the values of several properties out to one PropertyRuns each, in order.
template <class... Lists>
struct PropertySink {
    std::tuple<Lists&...> lists;

    void begin_paragraph() { std::apply([](auto&... list) { (list.begin_paragraph(), ...); }, lists); }
    void end_paragraph() { std::apply([](auto&... list) { (list.end_paragraph(), ...); }, lists); }
    void empty_paragraph() { std::apply([](auto&... list) { (list.empty_paragraph(), ...); }, lists); }
    template <class Values>
    void run(const Values& values) {
        run_each(values, std::index_sequence_for<Lists...>{});
    }
    template <class Values, std::size_t... K>
    void run_each(const Values& values, std::index_sequence<K...>) {
        (std::get<K>(lists).add(values[K]), ...);
    }
};

template <class Out, class In, class Convert>
PerParagraphRuns<Out> convert_runs(const PerParagraphRuns<In>& values, Convert convert) {
    PerParagraphRuns<Out> out;
    out.reserve(values.size());
    for (const auto& paragraph : values) {
        auto& converted = out.emplace_back();
        converted.reserve(paragraph.size());
        for (const auto& value : paragraph) converted.push_back(convert(value));
    }
    return out;
}

std::optional<std::string> owned(std::optional<std::string_view> raw) {
    if (!raw) return std::nullopt;
    return std::string(*raw);
}

std::optional<std::string_view> as_raw(std::optional<std::string_view> raw) { return raw; }

RawRunValues run_property_values(std::string_view xml, std::string_view element, std::string_view attribute) {
    auto raw = property_runs<std::optional<std::string_view>>(as_raw);
    PropertySink<decltype(raw)> sink{{raw}};
    RunPropertyScanner<1, decltype(sink)> scanner{{RunProperty{element, attribute}}, sink};
    scan_events(nullptr, xml, {}, scanner);
    return std::move(raw.result);
}

// Calls `visit` with each element `name` of `text` in turn (tag search and element end, the
// next search starting at the end of the previous element); stops when either is missing.
template <class Visit>
void for_each_element(std::string_view text, std::string_view name, Visit visit) {
    std::size_t cursor = 0;
    for (;;) {
        const auto start = xml::find_tag_start(text, cursor, name);
        if (!start) return;
        const auto end = xml::find_element_end(text, *start, name);
        if (!end) return;
        visit(text.substr(*start, *end - *start));
        cursor = *end;
    }
}

std::string join(const std::vector<std::string>& pieces, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) out += separator;
        out += pieces[i];
    }
    return out;
}

}  // namespace

std::string_view utf8_text(std::string_view bytes, std::string& storage) {
    if (is_valid_utf8(bytes)) return bytes;
    storage = utf8_lossy(bytes);
    return storage;
}

std::vector<std::string> extract_text_runs(std::string_view xml) {
    TextRunScanner scanner;
    scan_events(nullptr, xml, xml::ReaderOptions{.trim_text = true}, scanner);
    return std::move(scanner.result);
}

TextRunsAndElements extract_text_runs_and_elements(std::string_view xml, std::vector<std::string_view> local_names,
                                                   PartScans* scans) {
    TextRunScanner texts;
    ElementPresenceScanner elements{std::move(local_names), {}};
    elements.present.assign(elements.names.size(), false);
    scan_events(scans, xml, xml::ReaderOptions{.trim_text = true}, texts, elements);
    return {std::move(texts.result), std::move(elements.present)};
}

PartScans scan_part_with_text_runs(std::string_view xml, std::vector<std::string_view> local_names,
                                   TextRunsAndElements& texts) {
    TextRunScanner runs;
    ElementPresenceScanner elements{std::move(local_names), {}};
    elements.present.assign(elements.names.size(), false);
    // A trimming reader returns the same events with their text trimmed, and drops the text
    // that is only white space.
    PartScans scans(xml, [&](const Event& event, std::string_view name) {
        const Local local(name);
        const EventClass kind = class_of(event, local);
        if (event.kind != EventKind::Text) {
            offer(runs, kind, event, local);
            offer(elements, kind, event, local);
            return;
        }
        Event trimmed = event;
        if (!xml::trim_text_body(trimmed.body)) return;
        offer(runs, kind, trimmed, local);
        offer(elements, kind, trimmed, local);
    });
    texts = {std::move(runs.result), std::move(elements.present)};
    return scans;
}

std::vector<std::string> extract_paragraph_texts(std::string_view xml, PartScans* scans) {
    ParagraphTextScanner scanner;
    scan_events(scans, xml, {}, scanner);
    return std::move(scanner.result);
}

std::vector<TableSummary> extract_tables(std::string_view text, PartScans* scans) {
    std::vector<TableSummary> tables;
    for_each_element(text, "a:tbl", [&](std::string_view table_xml) {
        const std::pair key{reinterpret_cast<std::uintptr_t>(table_xml.data()), table_xml.size()};
        if (scans) {
            if (const auto known = scans->tables.find(key); known != scans->tables.end()) {
                tables.push_back(known->second);
                return;
            }
        }
        TableSummary& table = tables.emplace_back();
        for_each_element(table_xml, "a:tr", [&](std::string_view row_xml) {
            auto& row = table.rows.emplace_back();
            for_each_element(row_xml, "a:tc", [&](std::string_view cell_xml) {
                row.push_back(join(extract_paragraph_texts(cell_xml, scans), "\n"));
            });
            table.col_count = std::max<std::uint64_t>(table.col_count, row.size());
        });
        table.row_count = table.rows.size();
        if (scans) scans->tables.emplace(key, table);
    });
    return tables;
}

std::optional<bool> read_bool_property(std::optional<std::string_view> raw) {
    if (!raw) return std::nullopt;
    if (*raw == "1" || *raw == "true" || *raw == "on") return true;
    if (*raw == "0" || *raw == "false" || *raw == "off") return false;
    return std::nullopt;
}

std::optional<bool> read_underline_property(std::optional<std::string_view> raw) {
    if (!raw) return std::nullopt;
    return *raw != "none";
}

std::optional<std::int64_t> read_font_size_property(std::optional<std::string_view> raw) {
    if (!raw) return std::nullopt;
    return xml::parse_i64_decimal(*raw);
}

PerParagraphRuns<std::optional<std::string>> extract_paragraph_run_property(std::string_view xml,
                                                                           std::string_view element,
                                                                           std::string_view attribute) {
    return convert_runs<std::optional<std::string>>(run_property_values(xml, element, attribute), owned);
}

PerParagraphRuns<std::optional<bool>> extract_paragraph_run_bool_attribute(std::string_view xml,
                                                                           std::string_view attribute) {
    return convert_runs<std::optional<bool>>(run_property_values(xml, "rPr", attribute), read_bool_property);
}

PerParagraphRuns<std::optional<bool>> extract_paragraph_run_underline(std::string_view xml) {
    return convert_runs<std::optional<bool>>(run_property_values(xml, "rPr", "u"), read_underline_property);
}

PerParagraphRuns<std::optional<std::int64_t>> extract_paragraph_run_font_size(std::string_view xml) {
    return convert_runs<std::optional<std::int64_t>>(run_property_values(xml, "rPr", "sz"),
                                                     read_font_size_property);
}

ParagraphDetails extract_paragraph_details(std::string_view xml, PartScans* scans) {
    ParagraphTextScanner paragraphs;
    RunTextScanner runs;
    LineBreakScanner breaks;
    FieldScanner fields;
    auto bold = property_runs<std::optional<bool>>(read_bool_property);
    auto italic = property_runs<std::optional<bool>>(read_bool_property);
    auto underline = property_runs<std::optional<bool>>(read_underline_property);
    auto font_size = property_runs<std::optional<std::int64_t>>(read_font_size_property);
    auto font_name = property_runs<std::optional<std::string>>(owned);
    PropertySink<decltype(bold), decltype(italic), decltype(underline), decltype(font_size), decltype(font_name)> sink{
        {bold, italic, underline, font_size, font_name}};
    RunPropertyScanner<5, decltype(sink)> properties{
        {RunProperty{"rPr", "b"}, {"rPr", "i"}, {"rPr", "u"}, {"rPr", "sz"}, {"latin", "typeface"}}, sink};
    scan_events(scans, xml, {}, paragraphs, runs, breaks, fields, properties);

    ParagraphDetails details;
    details.paragraphs = std::move(paragraphs.result);
    details.runs = std::move(runs.result);
    details.line_breaks = std::move(breaks.result);
    details.fields = std::move(fields.result);
    details.bold = std::move(bold.result);
    details.italic = std::move(italic.result);
    details.underline = std::move(underline.result);
    details.font_size = std::move(font_size.result);
    details.font_name = std::move(font_name.result);
    return details;
}

bool details_are_childrens(std::string_view group, const std::vector<std::string_view>& children,
                           const PartScans& scans) {
    // Outside a paragraph every scan ignores all but a paragraph's opening (Start or Empty `p`),
    // and after a child whose elements are complete none is inside a paragraph, run, text or
    // field again: so the events around the children must not open a paragraph.
    const auto whole = scans.tape.range_of(group);
    if (!whole) return false;
    std::size_t at = whole->first;
    const auto opens_paragraph = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k) {
            const Event event = scans.tape.event(k);
            if (event.is_start_like() && Local(scans.tape.local_name(k)).tag == Tag::P) return true;
        }
        return false;
    };
    for (const std::string_view child : children) {
        const auto range = scans.tape.balanced_range_of(child);
        if (!range || range->first < at || range->second > whole->second) return false;
        if (opens_paragraph(at, range->first)) return false;
        at = range->second;
    }
    return !opens_paragraph(at, whole->second);
}

}  // namespace varnex
