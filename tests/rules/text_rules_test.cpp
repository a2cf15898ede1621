// UTF-8 and UTF-16, the one conversion every part of the program takes: what
// a name the system gives becomes, what a file name may be, and how the
// bytes of a script or a registry string are read.
#include "text/Utf.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace std::literals;

namespace {

// One character of each UTF-8 length, and a pair of surrogates.
const std::string kMixed = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
const std::u16string kMixedUnits = u"A\u00E9\u20AC\U0001F600";
// An unpaired surrogate, as WTF-8 keeps it.
const std::string kLone = "a\xED\xA0\x80z";

TEST(TextRules, Utf8AndUtf16RoundTripWithAnUnpairedSurrogateKept)
{
    EXPECT_EQ(text::utf16FromUtf8(kMixed), kMixedUnits);
    EXPECT_EQ(text::utf8FromUtf16(kMixedUnits), kMixed);
    EXPECT_EQ(text::utf16FromUtf8(kLone), u"a\xD800z"s);
    EXPECT_EQ(text::utf8FromUtf16(u"a\xD800z"s), kLone);
    EXPECT_EQ(text::utf8FromUtf16(u"a\xD800z"s, text::LoneSurrogate::Replace), "a\xEF\xBF\xBDz");
    EXPECT_EQ(text::utf8FromUtf16(u"\xDC00\xD800"s, text::LoneSurrogate::Replace), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(text::utf8FromUtf16(kMixedUnits, text::LoneSurrogate::Replace), kMixed);
    EXPECT_EQ(text::utf16FromUtf8("a\0b"sv), u"a\0b"s);
    // Bytes that are no UTF-8: a stray continuation, a cut sequence, an
    // overlong form, a code point past U+10FFFF.
    EXPECT_EQ(text::utf16FromUtf8("\x80x\xE2\x82"), u"\xFFFDx\xFFFD\xFFFD"s);
    EXPECT_EQ(text::utf16FromUtf8("\xC0\xAF"), u"\xFFFD\xFFFD"s);
    EXPECT_EQ(text::utf16FromUtf8("\xF4\x90\x80\x80"), u"\xFFFD\xFFFD\xFFFD\xFFFD"s);
}

// A file is opened only by a name that is UTF-8 throughout.
TEST(TextRules, AnExactConversionRefusesWhatIsNoUtf8)
{
    EXPECT_EQ(text::exactUtf16FromUtf8(kMixed).value_or(u"?"), kMixedUnits);
    EXPECT_EQ(text::exactUtf16FromUtf8("").value_or(u"?"), u"");
    EXPECT_EQ(text::exactUtf16FromUtf8("\xEF\xBF\xBD").value_or(u"?"), u"\xFFFD"s); // the replacement character itself
    for (const std::string& bad : {kLone, "\xED\xBF\xBF"s, "\x80"s, "ab\xE2\x82"s, "\xC0\xAF"s, "\xF4\x90\x80\x80"s,
                                  "\xF8\x88\x80\x80\x80"s})
        EXPECT_FALSE(text::exactUtf16FromUtf8(bad).has_value()) << bad;
}

TEST(TextRules, CharactersAndUnpairedSurrogates)
{
    const std::u16string units = u"\U0001F600\xDC00x\xD800"s;
    EXPECT_EQ(text::utf16CharacterAt(units, 0).codePoint, U'\U0001F600');
    EXPECT_EQ(text::utf16CharacterAt(units, 0).units, 2u);
    EXPECT_EQ(text::utf16CharacterAt(units, 1).codePoint, 0xDE00u); // the pair's second half, alone
    EXPECT_EQ(text::utf16CharacterAt(units, 2).codePoint, 0xDC00u);
    EXPECT_EQ(text::utf16CharacterAt(units, 4).units, 1u); // a high surrogate at the end
    EXPECT_TRUE(text::isSurrogate(0xD800) && text::isSurrogate(0xDFFF));
    EXPECT_FALSE(text::isSurrogate(0xE000) || text::isSurrogate(0x1F600));

    // Both forms of the text name the same first unpaired surrogate.
    EXPECT_EQ(text::unpairedSurrogate(units).value_or(0), u'\xDC00');
    EXPECT_EQ(text::unpairedSurrogate(text::utf8FromUtf16(units)).value_or(0), u'\xDC00');
    EXPECT_FALSE(text::unpairedSurrogate(kMixedUnits).has_value());
    EXPECT_FALSE(text::unpairedSurrogate(kMixed).has_value());
    EXPECT_EQ(text::characterCount(kMixed), 4u);
}

// A Version 5.00 script and a registry string are UTF-16 LE bytes.
TEST(TextRules, Utf16Bytes)
{
    EXPECT_TRUE(text::startsWithUtf16Mark("\xFF\xFE" "R\0"sv));
    EXPECT_FALSE(text::startsWithUtf16Mark("\xFE\xFF"));
    EXPECT_FALSE(text::startsWithUtf16Mark("\xFF"));
    const std::string bytes = text::utf16BytesFromUtf8(kMixed);
    EXPECT_EQ(bytes.size(), 2 * kMixedUnits.size() + 2);
    EXPECT_EQ(text::utf16Units(bytes), kMixedUnits + u'\0');
    EXPECT_EQ(text::utf8FromUtf16Bytes(bytes + "x\0y"s), kMixed); // up to the first NUL
    EXPECT_EQ(text::utf8FromUtf16Bytes("a\0b"sv), "a"); // an odd last byte is ignored
    EXPECT_EQ(text::utf16Bytes(u"\xD800"s), "\x00\xD8"s);
}

} // namespace
