#include <gtest/gtest.h>

#include <cerrno>

#include "error.hpp"

namespace varnex {
namespace {

TEST(VarnexError, DisplayFormsCarryTheirPrefix) {
    const std::pair<ErrorKind, const char*> cases[] = {
        {ErrorKind::Io, "io error: m"},
        {ErrorKind::Zip, "zip error: m"},
        {ErrorKind::Xml, "xml error: m"},
        {ErrorKind::XmlTextDecode, "xml text decode error: m"},
        {ErrorKind::InvalidInput, "invalid input: m"},
    };
    for (const auto& [kind, expected] : cases) EXPECT_EQ((VarnexError{kind, "m"}.display()), expected);
}

TEST(VarnexError, OsErrorTextNamesTheErrorNumber) {
    EXPECT_EQ(os_error_text(ENOENT), "No such file or directory (os error 2)");
}

}  // namespace
}  // namespace varnex
