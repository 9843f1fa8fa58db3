#include "json_text.hpp"

#include <charconv>

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

namespace {

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0 if it is malformed.
std::size_t utf8_sequence_length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlongs
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = utf8_sequence_length(text);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

void append_string_literal(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text[0]);
        if (c >= 0x80) {
            const std::size_t length = utf8_sequence_length(text);
            if (length == 0) {
                out.append("\xEF\xBF\xBD");
                text.remove_prefix(1);
            } else {
                out.append(text.substr(0, length));
                text.remove_prefix(length);
            }
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
