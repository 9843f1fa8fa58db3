#include "xml_helpers.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "byte_search.hpp"
#include "utf8.hpp"

#include <fmt/format.h>

namespace varnex::xml {
namespace {

constexpr std::size_t npos = std::string_view::npos;

std::string joined(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const auto part : parts) out.append(part);
    return out;
}

// The concatenation of `parts`, built on the stack when it is short: the text searches ask for
// "<" + name many times per part, and a heap copy per question adds up. Not copyable: the view
// may point into the object itself.
class Joined {
public:
    Joined(std::initializer_list<std::string_view> parts) {
        std::size_t total = 0;
        for (const auto part : parts) total += part.size();
        char* out = small_;
        if (total > sizeof small_) {
            large_.resize(total);
            out = large_.data();
        }
        std::size_t at = 0;
        for (const auto part : parts) {
            if (!part.empty()) std::memcpy(out + at, part.data(), part.size());
            at += part.size();
        }
        view_ = std::string_view(out, total);
    }
    Joined(const Joined&) = delete;
    Joined& operator=(const Joined&) = delete;
    operator std::string_view() const { return view_; }  // NOLINT: used as the text it holds

private:
    char small_[64];
    std::string large_;
    std::string_view view_;
};

// Remembers the last answer of a forward search so that callers asking from a non-decreasing
// sequence of positions scan the text once instead of once per question.
template <class Search>
class ForwardSearch {
public:
    explicit ForwardSearch(Search search) : search_(std::move(search)) {}
    std::size_t at_or_after(std::size_t pos) {
        if (!known_ || pos < from_ || (found_ != npos && found_ < pos)) {
            found_ = search_(pos);
            from_ = pos;
            known_ = true;
        }
        return found_;
    }

private:
    Search search_;
    bool known_ = false;
    std::size_t from_ = 0;
    std::size_t found_ = npos;
};

auto bytes_search(std::string_view text, std::string needle) {
    return ForwardSearch([text, needle = std::move(needle)](std::size_t pos) { return find_bytes(text, needle, pos); });
}

bool is_unicode_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

// Whether text[i] ends a tag name: '>', '/', or a white-space code point.
bool is_tag_boundary(std::string_view text, std::size_t i) {
    const char c = text[i];
    if (c == '>' || c == '/') return true;
    const Utf8Sequence d = decode_utf8(text, i);
    return d.valid && is_unicode_white_space(d.code_point);
}


// find_tag_start with its needle "<" + name already built.
std::optional<std::size_t> find_tag(std::string_view text, std::size_t start, std::string_view needle) {
    std::size_t pos = start;
    while (true) {
        const std::size_t hit = find_bytes(text, needle, pos);
        if (hit == npos) return std::nullopt;
        const std::size_t after = hit + needle.size();
        if (after >= text.size()) return std::nullopt;
        if (is_tag_boundary(text, after)) return hit;
        pos = hit + 1;
    }
}

bool is_xml_char(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Appends what the reference `&name;` stands for; false for an unknown entity or a reference
// to a character XML does not allow.
bool append_reference(std::string& out, std::string_view name) {
    static constexpr std::pair<std::string_view, char> kPredefined[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, c] : kPredefined) {
        if (name == entity) {
            out += c;
            return true;
        }
    }
    if (name.size() < 2 || name[0] != '#') return false;
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) return false;
    char32_t cp = 0;
    for (const char c : digits) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (hex && c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else return false;
        cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(v);
        if (cp > 0x10FFFF) return false;
    }
    if (!is_xml_char(cp)) return false;
    append_utf8(out, cp);
    return true;
}

struct Replacement {
    std::string_view name;
    std::optional<std::string> raw;  // absent: remove the attribute
};

OwnedTag rewrite_tag(const Event& event, const std::vector<Replacement>& replacements) {
    OwnedTag tag{std::string(event.name), {}, event.kind == EventKind::Empty};
    std::vector<bool> occurred(replacements.size(), false);
    for (const Attribute& attr : event.attributes()) {
        const auto it = std::find_if(replacements.begin(), replacements.end(),
                                     [&](const Replacement& r) { return r.name == attr.name; });
        if (it == replacements.end()) {
            tag.attributes.emplace_back(attr.name, attr.raw_value);
            continue;
        }
        for (std::size_t k = 0; k < replacements.size(); ++k)
            if (replacements[k].name == attr.name) occurred[k] = true;
        if (it->raw) tag.attributes.emplace_back(attr.name, *it->raw);
    }
    for (std::size_t k = 0; k < replacements.size(); ++k) {
        if (occurred[k] || !replacements[k].raw) continue;
        // A name listed twice is appended once, so the tag never carries a duplicate.
        for (std::size_t j = k + 1; j < replacements.size(); ++j)
            if (replacements[j].name == replacements[k].name) occurred[j] = true;
        tag.attributes.emplace_back(replacements[k].name, *replacements[k].raw);
    }
    return tag;
}

}  // namespace

// ---- Text searches ------------------------------------------------------------------------

std::optional<std::size_t> find_tag_start(std::string_view text, std::size_t start, std::string_view name) {
    return find_tag(text, start, Joined{"<", name});
}

std::optional<std::string_view> element_start_tag(std::string_view text, std::string_view name) {
    const auto start = find_tag_start(text, 0, name);
    if (!start) return std::nullopt;
    const std::size_t gt = text.find('>', *start);
    if (gt == npos) return std::nullopt;
    return text.substr(*start, gt + 1 - *start);
}

std::optional<std::size_t> find_element_end(std::string_view text, std::size_t start, std::string_view name) {
    std::size_t cursor = start + 1 + name.size();
    if (start >= text.size() || cursor > text.size()) return std::nullopt;
    const Joined opening{"<", name};
    const Joined closing_text{"</", name, ">"};
    const std::string_view closing = closing_text;
    std::size_t depth = 1;
    std::size_t close = find_bytes(text, closing, cursor);  // the first close at or after the cursor
    while (true) {
        if (close == npos) return std::nullopt;
        if (close < cursor) {
            close = find_bytes(text, closing, cursor);
            continue;
        }
        // Only an opening before this close matters, so the search for one stops there; a name
        // that ends right at the close is followed by its '<' and never counts either way.
        const std::size_t open = find_tag(text.substr(0, close), cursor, opening).value_or(npos);
        if (open == npos) {
            cursor = close + closing.size();
            if (--depth == 0) return cursor;
        } else {
            cursor = open + 1 + name.size();
            ++depth;
        }
    }
}

std::string replace_element(std::string_view text, std::string_view name, std::string_view replacement) {
    const std::size_t start = find_bytes(text, joined({"<", name}), 0);
    if (start == npos) return std::string(text);
    const std::size_t gt = text.find('>', start);
    if (gt == npos) return std::string(text);
    std::size_t end;
    if (gt > start && text[gt - 1] == '/') {
        end = gt + 1;
    } else {
        const std::string closing = joined({"</", name, ">"});
        const std::size_t close = find_bytes(text, closing, gt);
        if (close == npos) return std::string(text);
        end = close + closing.size();
    }
    std::string out;
    out.reserve(text.size() - (end - start) + replacement.size());
    out.append(text.substr(0, start)).append(replacement).append(text.substr(end));
    return out;
}

Result<std::string> insert_before(std::string_view text, std::string_view marker, std::string_view insertion) {
    const std::size_t at = text.rfind(marker);
    if (at == npos) return xml_text_decode_error(fmt::format("expected closing marker {}", marker));
    std::string out;
    out.reserve(text.size() + insertion.size());
    out.append(text.substr(0, at)).append(insertion).append(text.substr(at));
    return out;
}

std::optional<std::string_view> attribute_value(std::string_view text, std::string_view name) {
    const std::size_t at = find_bytes(text, Joined{name, "=\""}, 0);
    if (at == npos) return std::nullopt;
    const std::size_t begin = at + name.size() + 2;
    const std::size_t close = text.find('"', begin);
    if (close == npos) return std::nullopt;
    return text.substr(begin, close - begin);
}

std::optional<std::string> extract_string_attribute(std::string_view text, std::string_view name) {
    const auto value = attribute_value(text, name);
    if (!value) return std::nullopt;
    return std::string(*value);
}

std::optional<std::int64_t> attribute_i64(std::string_view text, std::string_view name) {
    const auto value = attribute_value(text, name);
    if (!value) return std::nullopt;
    return parse_i64_decimal(*value);
}

std::string element_prefix(std::string_view qualified_name) {
    const std::size_t colon = qualified_name.rfind(':');
    return colon == npos ? std::string() : std::string(qualified_name.substr(0, colon + 1));
}

std::uint64_t max_cnvpr_id(std::string_view text) {
    // Same result as taking each tag and searching it afresh, but every search runs forward
    // once, so many tags (or one huge one) cost a single pass.
    auto tags = bytes_search(text, "<p:cNvPr");
    auto tag_ends = bytes_search(text, ">");
    auto ids = bytes_search(text, "id=\"");
    auto quotes = bytes_search(text, "\"");
    std::uint64_t largest = 0;
    for (std::size_t tag = tags.at_or_after(0); tag != npos; tag = tags.at_or_after(tag + 1)) {
        const std::size_t tag_end = tag_ends.at_or_after(tag);
        if (tag_end == npos) break;
        const std::size_t id = ids.at_or_after(tag);
        if (id == npos || id >= tag_end) continue;
        const std::size_t value = id + 4;
        const std::size_t close = quotes.at_or_after(value);
        if (close == npos || close >= tag_end) continue;
        if (const auto n = parse_u64_decimal(text.substr(value, close - value))) largest = std::max(largest, *n);
    }
    return largest;
}

bool is_shape_element_name(std::string_view local_name) {
    return local_name == "sp" || local_name == "pic" || local_name == "cxnSp" || local_name == "grpSp" ||
           local_name == "graphicFrame";
}

bool is_shape_tree_shape(std::string_view local_name) { return is_shape_element_name(local_name); }

std::optional<ShapeStart> find_next_shape_start(std::string_view text, std::size_t start, std::size_t end) {
    static constexpr std::string_view kNames[] = {"p:sp", "p:pic", "p:graphicFrame", "p:grpSp", "p:cxnSp"};
    const std::string_view window = text.substr(0, std::min(end, text.size()));
    // Every name begins with "<p:", so one forward scan over that prefix finds the earliest
    // match of all five without searching the text five times.
    for (std::size_t pos = start; (pos = find_bytes(window, "<p:", pos)) != npos; ++pos) {
        for (const std::string_view name : kNames) {
            const std::size_t after = pos + 1 + name.size();
            if (after < window.size() && window.substr(pos + 1, name.size()) == name && is_tag_boundary(window, after))
                return ShapeStart{pos, name};
        }
    }
    return std::nullopt;
}

std::vector<std::string_view> extract_shape_blocks(std::string_view text) {
    constexpr std::string_view kAlternate = "mc:AlternateContent";
    std::vector<std::string_view> blocks;
    blocks.reserve(8);
    auto alternate_opens = bytes_search(text, "<mc:AlternateContent");
    auto alternate_closes = bytes_search(text, "</mc:AlternateContent>");
    // The last opening and closing of mc:AlternateContent before the current shape start,
    // tracked forward since shape starts only increase.
    std::size_t last_open = npos, last_close = npos;
    std::size_t cursor = 0;
    while (const auto shape = find_next_shape_start(text, cursor, text.size())) {
        for (std::size_t o = alternate_opens.at_or_after(last_open == npos ? 0 : last_open + 1);
             o != npos && o < shape->offset; o = alternate_opens.at_or_after(o + 1))
            last_open = o;
        // Without an opening before the shape the closings cannot matter; they are caught up
        // with once there is one.
        if (last_open != npos) {
            for (std::size_t c = alternate_closes.at_or_after(last_close == npos ? 0 : last_close + 1);
                 c != npos && c < shape->offset; c = alternate_closes.at_or_after(c + 1))
                last_close = c;
        }
        std::optional<std::size_t> end;
        const bool inside_alternate = last_open != npos && (last_close == npos || last_close < last_open);
        if (inside_alternate) {
            end = find_element_end(text, last_open, kAlternate);
        } else {
            end = find_element_end(text, shape->offset, shape->name);
            if (end) blocks.push_back(text.substr(shape->offset, *end - shape->offset));
        }
        if (!end || *end <= cursor) break;
        cursor = *end;
    }
    return blocks;
}

// ---- Numbers and text decoding ------------------------------------------------------------

std::optional<std::uint64_t> parse_u64_decimal(std::string_view text) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::int64_t> parse_i64_decimal(std::string_view text) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) {
        text.remove_prefix(1);
        if (!text.empty() && text[0] == '+') return std::nullopt;
    }
    const auto magnitude = parse_u64_decimal(text);
    if (!magnitude) return std::nullopt;
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        if (*magnitude > kMax + 1) return std::nullopt;
        return *magnitude == kMax + 1 ? std::numeric_limits<std::int64_t>::min()
                                      : -static_cast<std::int64_t>(*magnitude);
    }
    if (*magnitude > kMax) return std::nullopt;
    return static_cast<std::int64_t>(*magnitude);
}


std::optional<std::string> unescape_attribute_value(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    std::size_t i = 0;
    while (true) {
        const std::size_t amp = raw.find('&', i);
        out.append(raw.substr(i, amp == npos ? npos : amp - i));
        if (amp == npos) return out;
        const std::size_t semi = raw.find(';', amp + 1);
        if (semi == npos || !append_reference(out, raw.substr(amp + 1, semi - amp - 1))) return std::nullopt;
        i = semi + 1;
    }
}

// ---- Event functions ----------------------------------------------------------------------

bool has_element(std::string_view text, std::string_view local_name) {
    Reader reader(text);
    while (true) {
        const auto event = reader.next();
        if (!event || event->kind == EventKind::Eof) return false;
        if (event->is_start_like() && event->local_name() == local_name) return true;
    }
}

Status skip_current_element(Reader& reader) {
    std::size_t depth = 1;
    while (true) {
        VARNEX_TRY_ASSIGN(const Event event, reader.next());
        switch (event.kind) {
            case EventKind::Start: ++depth; break;
            case EventKind::End:
                if (--depth == 0) return {};
                break;
            case EventKind::Eof: return xml_text_decode_error("unexpected end of XML while skipping element");
            default: break;
        }
    }
}

std::optional<std::string> raw_attribute(const Event& event, std::string_view name) {
    for (const Attribute& attr : event.attributes())
        if (attr.name == name) return utf8_lossy(attr.raw_value);
    return std::nullopt;
}

std::optional<std::uint64_t> extract_u64_attr(const Event& event, std::string_view name) {
    const auto value = raw_attribute(event, name);
    if (!value) return std::nullopt;
    return parse_u64_decimal(*value);
}

std::optional<std::uint64_t> drawingml_attribute(const Event& event, std::string_view name) {
    return extract_u64_attr(event, name);
}

std::string xml_text_content(const Event& event) {
    const std::string_view text = event.body;
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (true) {
        const std::size_t cr = text.find('\r', i);
        out.append(text.substr(i, cr == npos ? npos : cr - i));
        if (cr == npos) return out;
        out += '\n';
        i = cr + 1;
        if (i < text.size() && text[i] == '\n') ++i;
    }
}

std::string xml_reference_content(const Event& event) {
    std::string out;
    if (!append_reference(out, event.name)) out = joined({"&", event.name, ";"});
    return out;
}

OwnedTag rewrite_event_attributes(const Event& event, const AttributeValues& replacements) {
    std::vector<Replacement> list;
    list.reserve(replacements.size());
    for (const auto& [name, value] : replacements) list.push_back({name, escape_text(value)});
    return rewrite_tag(event, list);
}

OwnedTag rewrite_event_optional_attributes(const Event& event, const OptionalAttributeValues& replacements) {
    std::vector<Replacement> list;
    list.reserve(replacements.size());
    for (const auto& [name, value] : replacements)
        list.push_back({name, value ? std::optional<std::string>(escape_text(*value)) : std::nullopt});
    return rewrite_tag(event, list);
}

OwnedTag with_raw_attributes(const Event& event, const AttributeValues& raw_values) {
    std::vector<Replacement> list;
    list.reserve(raw_values.size());
    for (const auto& [name, value] : raw_values) list.push_back({name, std::string(value)});
    return rewrite_tag(event, list);
}

}  // namespace varnex::xml
