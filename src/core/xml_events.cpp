#include "xml_events.hpp"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <fmt/format.h>

namespace varnex::xml {
namespace {

enum : std::uint8_t { kSpace = 1, kNameStart = 2, kNameChar = 4 };

// Bytes of multi-byte UTF-8 sequences count as name characters: names are compared as
// written, never normalised, so the exact Unicode name classes do not matter here.
constexpr std::array<std::uint8_t, 256> make_classes() {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        std::uint8_t flags = 0;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') flags |= kSpace;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80)
            flags |= kNameStart | kNameChar;
        if ((c >= '0' && c <= '9') || c == '-' || c == '.') flags |= kNameChar;
        table[static_cast<std::size_t>(c)] = flags;
    }
    return table;
}
constexpr auto kClasses = make_classes();

bool has_class(char c, std::uint8_t flag) { return (kClasses[static_cast<unsigned char>(c)] & flag) != 0; }
bool is_space(char c) { return has_class(c, kSpace); }
bool is_name_start(char c) { return has_class(c, kNameStart); }
bool is_name_char(char c) { return has_class(c, kNameChar); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::size_t skip_name(std::string_view s, std::size_t i) {
    while (i < s.size() && is_name_char(s[i])) ++i;
    return i;
}
std::size_t skip_space(std::string_view s, std::size_t i) {
    while (i < s.size() && is_space(s[i])) ++i;
    return i;
}

// Position of `c` in s[from, to), or `to`.
std::size_t find_byte(std::string_view s, char c, std::size_t from, std::size_t to) {
    if (from >= to) return to;
    const void* hit = std::memchr(s.data() + from, c, to - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - s.data()) : to;
}

// Position of the first `quote` or '<' at or after `from`, or s.size(): the end of an
// attribute value and the one byte it must not hold, found in one pass.
std::size_t find_quote_or_lt(std::string_view s, char quote, std::size_t from) {
    std::size_t i = from;
    const char* const data = s.data();
#if defined(__SSE2__)
    const __m128i quotes = _mm_set1_epi8(quote);
    const __m128i lts = _mm_set1_epi8('<');
    for (; i + 16 <= s.size(); i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, quotes), _mm_cmpeq_epi8(v, lts))));
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    while (i < s.size() && data[i] != quote && data[i] != '<') ++i;
    return i;
}

// Names quoted in messages are cut short (at a UTF-8 boundary) so a huge name in hostile
// input cannot make a huge message.
std::string shown(std::string_view name) {
    constexpr std::size_t kMax = 64;
    if (name.size() <= kMax) return std::string(name);
    std::size_t cut = kMax;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return std::string(name.substr(0, cut)) + "...";
}

bool is_proper_prefix_of(std::string_view rest, std::string_view keyword) {
    return rest.size() < keyword.size() && keyword.substr(0, rest.size()) == rest;
}

void escape_into(std::string& out, std::string_view text, bool escape_apostrophe) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* entity = nullptr;
        switch (text[i]) {
            case '&': entity = "&amp;"; break;
            case '<': entity = "&lt;"; break;
            case '>': entity = "&gt;"; break;
            case '"': entity = "&quot;"; break;
            case '\'': if (escape_apostrophe) entity = "&apos;"; break;
            default: break;
        }
        if (!entity) continue;
        out.append(text.substr(run, i - run));
        out.append(entity);
        run = i + 1;
    }
    out.append(text.substr(run));
}

}  // namespace

void AttributeIterator::advance() {
    // Lenient scan: anything that is not `name = quoted value` is stepped over.
    while (true) {
        std::size_t i = skip_space(rest_, 0);
        if (i >= rest_.size()) break;
        if (!is_name_start(rest_[i])) {
            rest_.remove_prefix(i + 1);
            continue;
        }
        const std::size_t name_end = skip_name(rest_, i);
        std::size_t j = skip_space(rest_, name_end);
        if (j >= rest_.size() || rest_[j] != '=') {
            rest_.remove_prefix(name_end);
            continue;
        }
        j = skip_space(rest_, j + 1);
        if (j >= rest_.size()) break;
        const char quote = rest_[j];
        if (quote != '"' && quote != '\'') {  // unquoted value: step over it
            while (j < rest_.size() && !is_space(rest_[j])) ++j;
            rest_.remove_prefix(j);
            continue;
        }
        const std::size_t close = rest_.find(quote, j + 1);
        if (close == std::string_view::npos) break;
        current_ = Attribute{rest_.substr(i, name_end - i), rest_.substr(j + 1, close - j - 1), quote};
        rest_.remove_prefix(close + 1);
        done_ = false;
        return;
    }
    rest_ = {};
    done_ = true;
}

bool trim_text_body(std::string_view& body) {
    std::size_t b = 0, e = body.size();
    while (b < e && is_space(body[b])) ++b;
    while (e > b && is_space(body[e - 1])) --e;
    if (b == e) return false;
    body = body.substr(b, e - b);
    return true;
}

Reader::Reader(std::string_view input, ReaderOptions options) : input_(input), options_(options) {
    open_.reserve(16);  // part XML nests about ten deep
}

tl::unexpected<VarnexError> Reader::fail(std::string message) {
    error_ = VarnexError{ErrorKind::Xml, std::move(message)};
    return tl::unexpected(*error_);
}

tl::unexpected<VarnexError> Reader::fail_here(const char* what) {
    return fail(fmt::format("{} at byte {}", what, pos_));
}

tl::unexpected<VarnexError> Reader::fail_attribute(std::size_t at, std::string_view name, const char* what) {
    return fail(fmt::format("bad attribute syntax at byte {} in <{}>: {}", at, shown(name), what));
}

tl::unexpected<VarnexError> Reader::fail_end_tag(std::string_view name) {
    if (open_.empty()) return fail(fmt::format("unexpected end tag </{}> at byte {}", shown(name), pos_));
    return fail(fmt::format("mismatched end tag: expected </{}>, found </{}> at byte {}", shown(open_.back()),
                            shown(name), pos_));
}

inline Event Reader::emit(EventKind kind, std::size_t end, std::string_view name, std::string_view body) {
    Event event{kind, std::string_view(input_.data() + pos_, end - pos_), name, body, pos_};
    pos_ = end;
    return event;
}

Result<Event> Reader::next() {
    if (error_) return tl::unexpected(*error_);
    while (pos_ < input_.size()) {
        const char c = input_[pos_];
        if (c == '<') return read_markup();
        if (c == '&') return read_reference();
        Event text = read_text();
        if (!options_.trim_text || trim_text_body(text.body)) return text;
        // white space only: dropped
    }
    return Event{EventKind::Eof, input_.substr(pos_, 0), {}, {}, pos_};
}

Event Reader::read_text() {
    // The next '<' is remembered so that text split by many references is scanned once.
    if (next_lt_ <= pos_) next_lt_ = find_byte(input_, '<', pos_, input_.size());
    const std::size_t end = find_byte(input_, '&', pos_, next_lt_);
    const std::string_view text = input_.substr(pos_, end - pos_);
    return emit(EventKind::Text, end, {}, text);
}

Result<Event> Reader::read_reference() {
    const std::string_view s = input_;
    std::size_t i = pos_ + 1;
    if (i < s.size() && s[i] == '#') {
        ++i;
        const bool hex = i < s.size() && s[i] == 'x';
        if (hex) ++i;
        const std::size_t digits = i;
        while (i < s.size() && (hex ? is_hex_digit(s[i]) : is_digit(s[i]))) ++i;
        if (i == digits) i = s.size();  // no digits: not a reference
    } else if (i < s.size() && is_name_start(s[i])) {
        i = skip_name(s, i);
    } else {
        i = s.size();
    }
    if (i >= s.size() || s[i] != ';') return fail_here("stray '&'");
    return emit(EventKind::Reference, i + 1, s.substr(pos_ + 1, i - pos_ - 1), {});
}

Result<Event> Reader::read_markup() {
    const std::string_view s = input_;
    if (pos_ + 1 >= s.size()) return fail_here("unclosed tag");
    const char c = s[pos_ + 1];
    if (c == '/') return read_end_tag();
    if (c == '?') return read_processing_instruction();
    if (c == '!') return read_declaration_markup();
    if (is_name_start(c)) return read_start_tag();
    return fail_here("stray '<'");
}

Result<Event> Reader::read_start_tag() {
    const std::string_view s = input_;
    const std::size_t name_begin = pos_ + 1;
    const std::size_t name_end = skip_name(s, name_begin);
    const std::string_view name(s.data() + name_begin, name_end - name_begin);
    const auto unclosed = [&] { return fail_here("unclosed tag"); };
    const auto bad = [&](std::size_t at, const char* what) { return fail_attribute(at, name, what); };
    std::size_t i = name_end;
    while (true) {
        const std::size_t before_space = i;
        i = skip_space(s, i);
        if (i >= s.size()) return unclosed();
        const char c = s[i];
        if (c == '>') {
            open_.push_back(name);
            return emit(EventKind::Start, i + 1, name, std::string_view(s.data() + name_end, i - name_end));
        }
        if (c == '/') {
            if (i + 1 >= s.size()) return unclosed();
            if (s[i + 1] != '>') return bad(i, "expected '>' after '/'");
            return emit(EventKind::Empty, i + 2, name, std::string_view(s.data() + name_end, i - name_end));
        }
        if (c == '<') return unclosed();
        if (i == before_space) return bad(i, "expected white space before attribute");
        if (!is_name_start(c)) return bad(i, "expected attribute name");
        i = skip_space(s, skip_name(s, i));
        if (i >= s.size()) return unclosed();
        if (s[i] == '<') return unclosed();
        if (s[i] != '=') return bad(i, "expected '=' after attribute name");
        i = skip_space(s, i + 1);
        if (i >= s.size()) return unclosed();
        const char quote = s[i];
        if (quote == '<') return unclosed();
        if (quote != '"' && quote != '\'') return bad(i, "attribute value must be quoted");
        const std::size_t stop = find_quote_or_lt(s, quote, i + 1);
        if (stop == s.size()) return unclosed();
        if (s[stop] != quote) {  // a '<' first: an error either way
            if (find_byte(s, quote, stop, s.size()) == s.size()) return unclosed();
            return bad(stop, "'<' in attribute value");
        }
        i = stop + 1;
    }
}

Result<Event> Reader::read_end_tag() {
    const std::string_view s = input_;
    const std::size_t name_begin = pos_ + 2;
    // Nearly always the end tag of the open element, written as "</name>": the general path
    // below finds the same name and end, byte by byte.
    if (!open_.empty()) {
        const std::string_view open = open_.back();
        if (s.size() - name_begin > open.size() && s[name_begin + open.size()] == '>' &&
            std::memcmp(s.data() + name_begin, open.data(), open.size()) == 0) {
            open_.pop_back();
            const std::string_view name(s.data() + name_begin, open.size());
            return emit(EventKind::End, name_begin + open.size() + 1, name, {});
        }
    }
    const std::size_t name_end = name_begin < s.size() && is_name_start(s[name_begin]) ? skip_name(s, name_begin)
                                                                                       : name_begin;
    const std::size_t i = skip_space(s, name_end);
    if (i >= s.size() || s[i] == '<') return fail_here("unclosed tag");
    if (name_end == name_begin || s[i] != '>') return fail_here("bad end tag");
    const std::string_view name(s.data() + name_begin, name_end - name_begin);
    if (open_.empty() || open_.back() != name) return fail_end_tag(name);
    open_.pop_back();
    return emit(EventKind::End, i + 1, name, {});
}

Result<Event> Reader::read_processing_instruction() {
    const std::string_view s = input_;
    const auto truncated = [&] {
        return fail(fmt::format("unexpected end of input inside processing instruction at byte {}", pos_));
    };
    const std::size_t target_begin = pos_ + 2;
    if (target_begin >= s.size()) return truncated();
    if (!is_name_start(s[target_begin])) return fail(fmt::format("bad processing instruction at byte {}", pos_));
    const std::size_t target_end = skip_name(s, target_begin);
    if (target_end >= s.size()) return truncated();
    if (!is_space(s[target_end]) && s[target_end] != '?')
        return fail(fmt::format("bad processing instruction at byte {}", pos_));
    const std::size_t close = s.find("?>", target_end);
    if (close == std::string_view::npos) return truncated();
    const std::string_view target = s.substr(target_begin, target_end - target_begin);
    const std::size_t body_begin = std::min(skip_space(s, target_end), close);
    const auto kind = target == "xml" ? EventKind::Declaration : EventKind::ProcessingInstruction;
    return emit(kind, close + 2, target, s.substr(body_begin, close - body_begin));
}

Result<Event> Reader::read_declaration_markup() {
    const std::string_view rest = input_.substr(pos_);
    struct Form {
        std::string_view open, close, what;
        EventKind kind;
    };
    static constexpr Form kForms[] = {
        {"<!--", "-->", "comment", EventKind::Comment},
        {"<![CDATA[", "]]>", "CDATA section", EventKind::CData},
    };
    for (const auto& form : kForms) {
        if (rest.starts_with(form.open)) {
            const std::size_t inner = pos_ + form.open.size();
            const std::size_t close = input_.find(form.close, inner);
            if (close == std::string_view::npos)
                return fail(fmt::format("unexpected end of input inside {} at byte {}", form.what, pos_));
            return emit(form.kind, close + form.close.size(), {}, input_.substr(inner, close - inner));
        }
    }
    if (rest.starts_with("<!DOCTYPE")) return read_doctype();
    if (rest == "<!")
        return fail(fmt::format("unexpected end of input inside markup declaration at byte {}", pos_));
    for (const auto& form : kForms) {
        if (is_proper_prefix_of(rest, form.open))
            return fail(fmt::format("unexpected end of input inside {} at byte {}", form.what, pos_));
    }
    if (is_proper_prefix_of(rest, "<!DOCTYPE"))
        return fail(fmt::format("unexpected end of input inside document type declaration at byte {}", pos_));
    return fail(fmt::format("bad markup declaration at byte {}", pos_));
}

Result<Event> Reader::read_doctype() {
    // Only delimited, never interpreted: quoted literals, and comments and processing
    // instructions of the internal subset, may hold '>' and ']' that do not end anything.
    const std::string_view s = input_;
    const std::size_t body_begin = skip_space(s, pos_ + 9);
    std::size_t i = body_begin;
    bool in_subset = false;
    while (i < s.size()) {
        const char c = s[i];
        std::string_view closer;
        std::size_t skip = 1;
        if (c == '"' || c == '\'') {
            closer = c == '"' ? std::string_view("\"") : std::string_view("'");
        } else if (in_subset && s.substr(i).starts_with("<!--")) {
            closer = "-->";
            skip = 4;
        } else if (in_subset && s.substr(i).starts_with("<?")) {
            closer = "?>";
            skip = 2;
        } else if (c == '[' && !in_subset) {
            in_subset = true;
        } else if (c == ']' && in_subset) {
            in_subset = false;
        } else if (c == '>' && !in_subset) {
            return emit(EventKind::DocType, i + 1, {}, s.substr(body_begin, i - body_begin));
        }
        if (closer.empty()) {
            ++i;
            continue;
        }
        const std::size_t close = s.find(closer, i + skip);
        if (close == std::string_view::npos) break;
        i = close + closer.size();
    }
    return fail(fmt::format("unexpected end of input inside document type declaration at byte {}", pos_));
}

std::string escape_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    escape_into(out, text, true);
    return out;
}

std::string xml_attr(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    escape_into(out, text, false);
    return out;
}

void Writer::write_tag(const OwnedTag& tag) {
    flush();
    out_ += '<';
    out_ += tag.name;
    for (const auto& [name, value] : tag.attributes) {
        out_ += ' ';
        out_ += name;
        out_ += "=\"";
        std::size_t run = 0;
        for (std::size_t q = value.find('"'); q != std::string::npos; q = value.find('"', run)) {
            out_.append(value, run, q - run);
            out_ += "&quot;";
            run = q + 1;
        }
        out_.append(value, run);
        out_ += '"';
    }
    out_ += tag.empty ? "/>" : ">";
}

void Writer::write_end(std::string_view name) {
    flush();
    out_ += "</";
    out_ += name;
    out_ += '>';
}

void Writer::write_text(std::string_view text) {
    flush();
    escape_into(out_, text, true);
}

}  // namespace varnex::xml
