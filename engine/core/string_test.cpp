#include "engine/core/string.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/array.h"

namespace {

TEST(StringTest, EmptyStringHasABuffer)
{
    cTarvelString s;
    EXPECT_EQ(s.Length(), 0u);
    ASSERT_NE(s.c_str(), nullptr);
    EXPECT_EQ(s.c_str()[0], '\0');
    cTarvelString fromNull(static_cast<const char*>(nullptr));
    EXPECT_STREQ(fromNull.c_str(), "");
}

TEST(StringTest, CharAtNeverReadsPastTheBuffer)
{
    cTarvelString s("abc");
    EXPECT_EQ(s.CharAt(0), 'a');
    EXPECT_EQ(s.CharAt(2), 'c');
    EXPECT_EQ(s.CharAt(3), '\0');
    EXPECT_EQ(s.CharAt(4), '\0');
    EXPECT_EQ(s.CharAt(0xFFFFFFFFu), '\0');
}

TEST(StringTest, NumbersInAndOut)
{
    EXPECT_STREQ(cTarvelString::FromInt(INT_MIN).c_str(), "-2147483648");
    EXPECT_STREQ(cTarvelString(INT_MAX).c_str(), "2147483647");
    cTarvelString s;
    s.SetInt(-42);
    EXPECT_STREQ(s.c_str(), "-42");
    EXPECT_EQ(s.ToInt(), -42);
    EXPECT_EQ(cTarvelString("12abc").ToInt(), 12);
    EXPECT_FLOAT_EQ(cTarvelString("2.5").ToFloat(), 2.5f);
    EXPECT_EQ(cTarvelString("-1e300").ToFloat(), -HUGE_VALF);
    EXPECT_EQ(cTarvelString("99999999999").ToInt(), INT_MAX);

    struct Case {
        double value;
        const char* text;
    };
    for (Case c : {Case{1.0, "1."}, Case{0.5, "0.5"}, Case{-2.25, "-2.25"}, Case{123456.0, "123456."}}) {
        s.SetFloat(c.value, 6);
        EXPECT_STREQ(s.c_str(), c.text) << c.value;
    }
}

TEST(StringTest, ComparisonIsByteWiseAndCaseSensitive)
{
    EXPECT_TRUE(cTarvelString("abc") == cTarvelString("abc"));
    EXPECT_TRUE(cTarvelString("abc") != cTarvelString("abcd"));
    EXPECT_TRUE(cTarvelString("abcd") != cTarvelString("abc"));
    EXPECT_TRUE(cTarvelString("abc") != cTarvelString("ABC"));
    EXPECT_TRUE(cTarvelString() == "");
}

TEST(StringTest, ConcatenationAndAssignment)
{
    cTarvelString a("ab");
    cTarvelString b("cd");
    EXPECT_STREQ((a + b).c_str(), "abcd");
    EXPECT_STREQ(("x" + b).c_str(), "xcd");
    EXPECT_STREQ((a + "y").c_str(), "aby");
    a += b;
    a += "e";
    EXPECT_STREQ(a.c_str(), "abcde");
    // Appending or assigning a string to itself (or a part of itself).
    a += a;
    EXPECT_STREQ(a.c_str(), "abcdeabcde");
    a = a.c_str() + 5;
    EXPECT_STREQ(a.c_str(), "abcde");
    const cTarvelString& self = a;  // through a reference: not flagged as a mistake
    a = self;
    EXPECT_STREQ(a.c_str(), "abcde");
    cTarvelString copy(a);
    a = "z";
    EXPECT_STREQ(copy.c_str(), "abcde");
}

// Assignments that reuse the buffer and ones that reallocate, growing and
// shrinking, from outside the string and from inside it.
TEST(StringTest, ReassignmentKeepsExactlyTheNewText)
{
    const std::string source(300, 'x');
    cTarvelString s;
    for (uint32_t length : {0u, 1u, 11u, 23u, 24u, 25u, 40u, 100u, 300u, 7u, 0u, 64u, 3u}) {
        std::string text = source.substr(0, length);
        for (uint32_t i = 0; i < length; ++i)
            text[i] = char('a' + (i + length) % 26);
        s = text.c_str();
        EXPECT_EQ(std::string(s.c_str()), text) << length;
        EXPECT_EQ(s.Length(), length);
    }
    s = "0123456789abcdefghij";
    s.Assign(s.c_str() + 4, 6);
    EXPECT_STREQ(s.c_str(), "456789");
    s.Assign("abc\0def", 7);
    EXPECT_EQ(s.Length(), 3u) << "the text ends at its first NUL, as every string does";
    s.SetInt(-7);
    EXPECT_STREQ(s.c_str(), "-7");
    s.SetFloat(0.25, 6);
    EXPECT_STREQ(s.c_str(), "0.25");
}

TEST(StringTest, Utf8Conversions)
{
    cTarvelString ansi("f\xFCr");
    cTarvelString utf8 = ansi.ToUtf8();
    ASSERT_EQ(utf8.Length(), 4u);
    EXPECT_EQ(std::string(utf8.c_str()), std::string("f\xC3\xBCr"));
    WCHAR* wide = utf8.ToWideFromUtf8();
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide[0], u'f');
    EXPECT_EQ(wide[1], u'\u00FC');
    EXPECT_EQ(wide[2], u'r');
    EXPECT_EQ(wide[3], 0);
    std::free(wide);
}

TEST(StringTest, WideStrings)
{
    cTarvelWString empty;
    EXPECT_EQ(empty.Length(), 0u);
    EXPECT_EQ(empty.c_str()[0], 0);

    cTarvelWString w("f\xFCr");
    ASSERT_EQ(w.Length(), 3u);
    EXPECT_EQ(w.c_str()[1], u'\u00FC');
    w += u"!";
    cTarvelWString joined = w + u"?";
    EXPECT_EQ(joined.Length(), 5u);
    char* ansi = joined.ToAnsi();
    EXPECT_STREQ(ansi, "f\xFCr!?");
    std::free(ansi);
    cTarvelWString copy(joined);
    joined = u"x";
    EXPECT_EQ(copy.Length(), 5u);
    EXPECT_EQ(joined.Length(), 1u);
}

TEST(StringTest, SplitString)
{
    struct Case {
        const char* text;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"a,,b", {"a", "b"}},
        {"a,b,", {"a", "b"}},
        {",a", {"a"}},
        {"", {""}},
        {",", {}},
        {"abc", {"abc"}},
        {"a,b,c", {"a", "b", "c"}},
    };
    tStringArray out;
    out.Add("stale");
    for (const Case& c : cases) {
        SplitString(c.text, out, ',');
        ASSERT_EQ(out.Count(), static_cast<int32_t>(c.pieces.size())) << c.text;
        for (size_t i = 0; i < c.pieces.size(); ++i)
            EXPECT_STREQ(out[static_cast<int32_t>(i)].c_str(), c.pieces[i].c_str()) << c.text;
    }
}

} // namespace
