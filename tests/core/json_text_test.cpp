#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "json_text.hpp"

namespace varnex::json {
namespace {

// Each character class, and what it must come out as inside a string literal.
struct Piece {
    std::string_view in;
    std::string_view out;
};
constexpr Piece kPieces[] = {
    {"\"", "\\\""},   {"\\", "\\\\"}, {"\b", "\\b"},       {"\t", "\\t"},     {"\n", "\\n"},
    {"\f", "\\f"},    {"\r", "\\r"},  {"\x01", "\\u0001"}, {"\x1f", "\\u001f"}, {"/", "/"},
    {"\x7f", "\x7f"}, {"\xc3\xa9", "\xc3\xa9"},  {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
    {"\xff", "\xef\xbf\xbd"},  // not UTF-8 at all
    {"\xc3", "\xef\xbf\xbd"},  // a sequence cut short
    {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // a surrogate, byte by byte
};

// Plain text long enough that escapes land inside, before and after the runs copied whole.
const std::string kPlain(40, 'a');

TEST(JsonStrings, EscapesEveryClassAtTheStartMiddleAndEnd) {
    for (const Piece& piece : kPieces) {
        const std::string in[] = {std::string(piece.in) + kPlain, kPlain + std::string(piece.in) + kPlain,
                                  kPlain + std::string(piece.in), std::string(piece.in)};
        const std::string out[] = {std::string(piece.out) + kPlain, kPlain + std::string(piece.out) + kPlain,
                                   kPlain + std::string(piece.out), std::string(piece.out)};
        for (std::size_t k = 0; k < 4; ++k) {
            std::string literal;
            append_string_literal(literal, in[k]);
            EXPECT_EQ(literal, "\"" + out[k] + "\"") << k;

            Writer writer;  // values and keys take the same escapes
            writer.begin_object();
            writer.key(in[k]);
            writer.string_value(in[k]);
            writer.end_object();
            EXPECT_EQ(writer.take(), "{\n  \"" + out[k] + "\": \"" + out[k] + "\"\n}") << k;
        }
    }
}

TEST(JsonStrings, AWriterKnowsWhetherItsTextIsAscii) {
    Writer ascii;
    ascii.string_value("plain \x7f text");
    EXPECT_TRUE(ascii.is_ascii());
    Writer repaired;
    repaired.string_value("\xff");
    EXPECT_FALSE(repaired.is_ascii());
    EXPECT_EQ(repaired.text(), "\"\xef\xbf\xbd\"");
}

// A long result in a caller's storage: the text is the same as in the writer's own buffer.
TEST(JsonWriter, GrowsCallerStorageAndKeepsTheText) {
    // Hands out exactly the room asked for, so the writer comes back for more again and again.
    struct Exact final : Storage {
        std::string bytes;
        int grown = 0;
        Area grow(std::size_t used, std::size_t size) override {
            EXPECT_LE(used, bytes.size());
            EXPECT_GT(size, bytes.size());
            bytes.resize(size);
            ++grown;
            return {bytes.data(), bytes.size()};
        }
    };
    Exact area;
    Writer into(area);
    Writer own;
    for (Writer* writer : {&into, &own}) {
        writer->begin_array();
        for (int i = 0; i < 3000; ++i) writer->string_value("item " + std::to_string(i));
        writer->end_array();
    }
    EXPECT_GT(area.grown, 100);
    EXPECT_EQ(into.text(), own.text());
    EXPECT_EQ(own.take().substr(0, 16), "[\n  \"item 0\",\n  ");
}

// Indentation at every depth, deep ones included.
TEST(JsonWriter, IndentsEveryDepth) {
    Writer writer;
    std::string expected;
    constexpr int kDepth = 40;
    for (int depth = 0; depth < kDepth; ++depth) {
        writer.begin_array();
        expected += (depth == 0 ? "" : "\n" + std::string(2 * depth, ' ')) + "[";
    }
    writer.null_value();
    expected += "\n" + std::string(2 * kDepth, ' ') + "null";
    for (int depth = kDepth - 1; depth >= 0; --depth) {
        writer.end_array();
        expected += "\n" + std::string(2 * depth, ' ') + "]";
    }
    EXPECT_EQ(writer.take(), expected);
}

}  // namespace
}  // namespace varnex::json
