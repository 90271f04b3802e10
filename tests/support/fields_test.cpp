#include "support/fields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {
bool failAllocations = false;  // makes every allocation of this test program fail while set
}  // namespace

void* operator new(std::size_t size) {
    if (!failAllocations) {
        if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    }
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace seedwell::support {
namespace {

TEST(GetField, CountsPiecesFromOne) {
    EXPECT_EQ(GetField("main,joe@x.com,pw", ",", 1), "main");
    EXPECT_EQ(GetField("main,joe@x.com,pw", ",", 2), "joe@x.com");
    EXPECT_EQ(GetField("main,joe@x.com,pw", ",", 3), "pw");
    EXPECT_EQ(GetField("main,joe@x.com,pw", ",", 4), "");
    EXPECT_EQ(GetField("only", ",", 1), "only");
    EXPECT_EQ(GetField("only", ",", 2), "");
}

TEST(GetField, IndexOutOfRangeOrEmptyTextGivesEmpty) {
    for (int index : {0, -1, -2147483647 - 1, 2147483647}) {
        EXPECT_EQ(GetField("a,b", ",", index), "") << index;
    }
    EXPECT_EQ(GetField("", ",", 1), "");
    EXPECT_EQ(GetField("", "", 1), "");
}

TEST(GetField, EmptyPiecesCountLikeAnyOther) {
    EXPECT_EQ(GetField("main,,pw", ",", 2), "");
    EXPECT_EQ(GetField("main,,pw", ",", 3), "pw");
    EXPECT_EQ(GetField("main,joe@x.com,", ",", 3), "");
    EXPECT_EQ(GetField(",", ",", 1), "");
    EXPECT_EQ(GetField(",", ",", 2), "");
    EXPECT_EQ(GetField(",", ",", 3), "");
    EXPECT_EQ(GetField("main,a@b,pass,word", ",", 3), "pass");  // a comma ends the password
    EXPECT_EQ(GetField("main,a@b,pass,word", ",", 4), "word");
}

TEST(GetField, NothingIsTrimmedOrUnquoted) {
    EXPECT_EQ(GetField(" main , joe ", ",", 1), " main ");
    EXPECT_EQ(GetField(" main , joe ", ",", 2), " joe ");
    EXPECT_EQ(GetField("\"main\",x", ",", 1), "\"main\"");
}

TEST(GetField, TakesAnAddressApart) {
    EXPECT_EQ(GetField("joe@x.com", "@", 1), "joe");
    EXPECT_EQ(GetField("joe@x.com", "@", 2), "x.com");
    EXPECT_EQ(GetField("joe", "@", 1), "joe");
    EXPECT_EQ(GetField("joe", "@", 2), "");
    EXPECT_EQ(GetField("joe@x@y", "@", 2), "x");
    EXPECT_EQ(GetField("@", "@", 1), "");
    EXPECT_EQ(GetField("@", "@", 2), "");
}

TEST(GetField, MatchesTheDelimiterExactly) {
    EXPECT_EQ(GetField("aXbxc", "x", 1), "aXb");
    EXPECT_EQ(GetField("a::b::c", "::", 3), "c");
    EXPECT_EQ(GetField("aaa", "aa", 2), "a");  // occurrences do not overlap
    EXPECT_EQ(GetField("a,b", "", 1), "a,b");  // an empty delimiter cuts nothing
    EXPECT_EQ(GetField("a,b", "", 2), "");
    EXPECT_EQ(GetField("caf\xC3\xA9,x", ",", 1), "caf\xC3\xA9");
    EXPECT_EQ(GetField(std::string_view("a\0b,c", 5), ",", 1), std::string("a\0b", 3));
}

// A field lost for want of memory is a failure, never an empty field that would pass the line
// over in silence.
TEST(GetField, LetsALackOfMemoryThrough) {
    const std::string line = "main," + std::string(100, 'a') + "@example.com,pw";
    failAllocations = true;
    bool thrown = false;
    try {
        (void)GetField(line, ",", 2);
    } catch (const std::bad_alloc&) {
        thrown = true;
    }
    failAllocations = false;
    EXPECT_TRUE(thrown);
}

}  // namespace
}  // namespace seedwell::support
