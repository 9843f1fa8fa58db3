#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "byte_search.hpp"

namespace varnex {
namespace {

// Every needle, start offset and haystack length around the widths the search works in (one
// byte, sixteen and thirty-two candidates at a time), with matches at the edges and decoys
// that share the first and last byte.
TEST(ByteSearch, AgreesWithStringFindEverywhere) {
    const std::string needles[] = {"<", "<p", "<p:sp", "r:embed=\"", "</mc:AlternateContent>", "<p:spp"};
    for (const std::string& needle : needles) {
        for (std::size_t size = 0; size <= 80; ++size) {
            std::string text(size, 'x');
            for (std::size_t k = 0; k < size; k += 7) text[k] = '<';  // decoys: first byte
            if (size >= needle.size()) text.replace(size - needle.size(), needle.size(), needle);  // match at the end
            if (size > 40 + needle.size()) {
                std::string decoy = needle;  // first and last byte right, middle wrong
                if (decoy.size() > 2) decoy[1] = '#';
                text.replace(33, decoy.size(), decoy);
            }
            for (std::size_t from = 0; from <= size + 1; ++from) {
                const std::string_view haystack(text);
                const std::size_t expected = from > size ? std::string_view::npos : haystack.find(needle, from);
                ASSERT_EQ(find_bytes(haystack, needle, from), expected) << needle << " size " << size << " from " << from;
            }
        }
    }
    EXPECT_EQ(find_bytes("abc", "", 2), 2u);
    EXPECT_EQ(find_bytes("abc", "", 4), std::string_view::npos);
}

}  // namespace
}  // namespace varnex
