// A file name looks ahead to its line's end to tell a quote from an apostrophe, however long the
// line, and leaves what follows it for the next answer. (barwright's copy of this code is the same.)
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "file_names.h"

namespace {

TEST(Answers, QuotesAreFoundOnTheirOwnLineAcrossPieces) {
    const std::string longWord(10000, 'a');
    std::istringstream source("'" + longWord + " x' next\nO'Brien\n'" + longWord + "\n\"1'\"'2\" \xef\xbb\xbf");
    quenvar::detail::Answers in(source);
    std::string name, word;
    ASSERT_TRUE(readFileName(in, name));
    EXPECT_EQ(name, longWord + " x");
    EXPECT_TRUE(in >> word);
    EXPECT_EQ(word, "next");
    ASSERT_TRUE(readFileName(in, name));
    EXPECT_EQ(name, "O'Brien");
    ASSERT_TRUE(readFileName(in, name));
    EXPECT_EQ(name, "'" + longWord);
    ASSERT_TRUE(readFileName(in, name));
    EXPECT_EQ(name, "1''2\"");  // the last " has no partner
    ASSERT_TRUE(readFileName(in, name));
    EXPECT_EQ(name, "\xef\xbb\xbf");  // a byte-order mark after the start is text
    EXPECT_FALSE(readFileName(in, name));
}

}  // namespace
