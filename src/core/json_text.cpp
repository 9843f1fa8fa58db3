#include "json_text.hpp"

#include <algorithm>
#include <array>
#include <charconv>

#include "utf8.hpp"

namespace varnex::json {

namespace {

// A newline and the indentation of the common depths, appended in one piece.
constexpr std::string_view kNewlineAndSpaces =
    "\n                                                                "
    "                                                                ";

// Bytes that cannot be copied into a string literal as they are: the controls, '"' and '\\'
// need an escape, and bytes from 0x80 up start a sequence that must be checked.
constexpr std::array<bool, 256> make_special() {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) table[static_cast<std::size_t>(c)] = c < 0x20 || c == '"' || c == '\\' || c >= 0x80;
    return table;
}
constexpr auto kSpecial = make_special();

bool is_special(char c) { return kSpecial[static_cast<unsigned char>(c)]; }

}  // namespace

void Writer::newline_indent() {
    constexpr std::size_t kSpaces = kNewlineAndSpaces.size() - 1;
    std::size_t width = levels_.size() * 2;
    std::size_t piece = std::min(width, kSpaces);
    out_.append(kNewlineAndSpaces.data(), piece + 1);
    for (width -= piece; width > 0; width -= piece) {
        piece = std::min(width, kSpaces);
        out_.append(kNewlineAndSpaces.data() + 1, piece);
    }
}

void Writer::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (levels_.empty()) return;
    // An array element: separate from the previous one and put it on its own line.
    if (levels_.back().has_members) out_.push_back(',');
    levels_.back().has_members = true;
    newline_indent();
}

void Writer::key(std::string_view name) {
    if (levels_.back().has_members) out_.push_back(',');
    levels_.back().has_members = true;
    newline_indent();
    append_string_literal(out_, name);
    out_.append(": ");
    after_key_ = true;
}

void Writer::open(char bracket) {
    before_value();
    out_.push_back(bracket);
    levels_.push_back(Level{});
}

void Writer::close(char bracket) {
    const bool had_members = levels_.back().has_members;
    levels_.pop_back();
    if (had_members) newline_indent();
    out_.push_back(bracket);
}

void Writer::null_value() {
    before_value();
    out_.append("null");
}

void Writer::bool_value(bool value) {
    before_value();
    out_.append(value ? "true" : "false");
}

void Writer::uint_value(std::uint64_t value) {
    before_value();
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out_.append(buffer, end);
}

void Writer::int_value(std::int64_t value) {
    before_value();
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out_.append(buffer, end);
}

void Writer::string_value(std::string_view value) {
    before_value();
    append_string_literal(out_, value);
}

void append_string_literal(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t copied = 0;  // text[copied, i) is waiting to be copied as it is
    std::size_t i = 0;
    while (true) {
        while (i < size && !is_special(data[i])) ++i;
        if (i == size) break;
        const auto c = static_cast<unsigned char>(data[i]);
        if (c >= 0x80) {
            const Utf8Sequence sequence = decode_utf8(text, i);
            if (sequence.valid) {  // copied with the run around it
                i += sequence.length;
                continue;
            }
            out.append(data + copied, i - copied);
            out.append("\xEF\xBF\xBD");
            i += sequence.length;
            copied = i;
            continue;
        }
        out.append(data + copied, i - copied);
        switch (c) {
            case '"': out.append("\\\""); break;
            case '\\': out.append("\\\\"); break;
            case '\b': out.append("\\b"); break;
            case '\t': out.append("\\t"); break;
            case '\n': out.append("\\n"); break;
            case '\f': out.append("\\f"); break;
            case '\r': out.append("\\r"); break;
            default: {
                const char escape[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
                out.append(escape, sizeof escape);
            }
        }
        copied = ++i;
    }
    out.append(data + copied, size - copied);
    out.push_back('"');
}

}  // namespace varnex::json
