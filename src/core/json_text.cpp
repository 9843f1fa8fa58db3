#include "json_text.hpp"

#include <charconv>

#include "utf8.hpp"

namespace varnex::json {

void Writer::newline_indent() {
    out_.push_back('\n');
    out_.append(levels_.size() * 2, ' ');
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
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text[0]);
        if (c >= 0x80) {
            const Utf8Sequence sequence = decode_utf8(text, 0);
            out.append(sequence.valid ? text.substr(0, sequence.length) : std::string_view("\xEF\xBF\xBD"));
            text.remove_prefix(sequence.length);
            continue;
        }
        switch (c) {
            case '"': out.append("\\\""); break;
            case '\\': out.append("\\\\"); break;
            case '\b': out.append("\\b"); break;
            case '\t': out.append("\\t"); break;
            case '\n': out.append("\\n"); break;
            case '\f': out.append("\\f"); break;
            case '\r': out.append("\\r"); break;
            default:
                if (c < 0x20) {
                    out.append("\\u00");
                    out.push_back(hex[c >> 4]);
                    out.push_back(hex[c & 0xF]);
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
        text.remove_prefix(1);
    }
    out.push_back('"');
}

}  // namespace varnex::json
