#include "scan/AddressRules.h"

#include <QString>

#include <gtest/gtest.h>
#include <string>

namespace tessaro {
namespace {

std::string Utf8(const std::u16string& text)
{
    return QString::fromStdU16String(text).toStdString();
}

struct ResolveCase {
    const char* name;
    std::u16string page;
    std::u16string reference;
    std::u16string expected;
};

void PrintTo(const ResolveCase& c, std::ostream* os)
{
    *os << c.name;
}

class ResolveAddressTest : public testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveAddressTest, GivesTheExpectedAddress)
{
    const ResolveCase& c = GetParam();
    EXPECT_EQ(Utf8(ResolveAddress(c.page, c.reference)), Utf8(c.expected));
}

#define R u"http://www.host.example"

const ResolveCase kWorkedExamples[] = {
    {"PlainNameGetsBaseDirectory", R u"/a/b/page.htm", u"m.swf", R u"/a/b/m.swf"},
    {"RootRelative", R u"/a/b/page.htm", u"/m.swf", R u"/m.swf"},
    {"OneLevelUp", R u"/a/b/page.htm", u"../m.swf", R u"/a/m.swf"},
    {"OnlyOneLevelIsClimbed", R u"/a/b/page.htm", u"../../m.swf", R u"/a/../m.swf"},
    {"SlashesInQueryDoNotMoveBase", R u"/a/page.php?u=/x/y", u"m.swf", R u"/a/m.swf"},
    {"AbsoluteInCapitals", R u"/a/b/page.htm", u"HTTP://Other.Example/M.swf", u"HTTP://Other.Example/M.swf"},
    {"InnerBlankEncoded", R u"/a/b/page.htm", u"my movie.swf", R u"/a/b/my%20movie.swf"},
    {"DotSegmentKept", R u"/a/b/", u"./m.swf", R u"/a/b/./m.swf"},
};
INSTANTIATE_TEST_SUITE_P(WorkedExamples, ResolveAddressTest, testing::ValuesIn(kWorkedExamples),
                         [](const auto& info) { return std::string(info.param.name); });

const ResolveCase kEdgeCases[] = {
    {"BlanksTrimmedBeforeRootTest", R u"/a/b/page.htm", u"  /m.swf ", R u"/m.swf"},
    {"HttpOnlyInQueryIsRelative", R u"/a/b/page.htm", u"player.swf?movie=http://x.example/m.swf",
     R u"/a/b/player.swf?movie=http://x.example/m.swf"},
    {"SecureReferenceIsAbsolute", R u"/a/b/page.htm", u"https://x.example/m.swf", u"https://x.example/m.swf"},
    {"SecureReferenceAnyCase", R u"/a/b/page.htm", u"HtTpS://x.example/m.swf", u"HtTpS://x.example/m.swf"},
    {"OtherSchemeIsAbsolute", R u"/a/b/page.htm", u"ftp://x.example/m.swf", u"ftp://x.example/m.swf"},
    {"HostRelativeTakesPageScheme", R u"/a/b/page.htm", u"//cdn.example/m.swf", u"http://cdn.example/m.swf"},
    {"HostRelativeOnSecurePage", u"https://h.example/a/p.htm", u"//cdn.example/m.swf", u"https://cdn.example/m.swf"},
    {"DotsInMiddleAreNotClimbed", R u"/a/b/page.htm", u"sub/../m.swf", R u"/a/b/sub/../m.swf"},
    {"QueryRightAfterHostRootStaysOutOfQuery", u"http://h.example?u=/x/y", u"/m.swf", u"http://h.example/m.swf"},
    {"QueryRightAfterHostKeepsHostForPlainName", u"http://h.example?u=/x/y", u"m.swf", u"http://h.example/m.swf"},
    {"NoSlashBeforeCutPointGivesReferenceBack", u"page.htm?x=/y", u"m.swf", u"m.swf"},
    {"TopDirectoryParentKeepsHost", R u"/page.htm", u"../m.swf", R u"/m.swf"},
    {"SecurePageRootKeepsHost", u"https://h.example/a/b/p.htm", u"/m.swf", u"https://h.example/m.swf"},
    {"SecurePageParent", u"https://h.example/a/b/p.htm", u"../m.swf", u"https://h.example/a/m.swf"},
    {"HostWithoutPathGetsSlash", u"http://h.example", u"/m.swf", u"http://h.example/m.swf"},
    {"PortAndFragmentKept", u"http://127.0.0.1:8080/d/p.htm#top", u"m.swf#f", u"http://127.0.0.1:8080/d/m.swf#f"},
    {"EmptyReferenceGivesBaseDirectory", R u"/a/b/page.htm", u"", R u"/a/b/"},
    {"NonAsciiKept", R u"/\u00e9t\u00e9/p.htm", u"\u5f71\u7247.swf", R u"/\u00e9t\u00e9/\u5f71\u7247.swf"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, ResolveAddressTest, testing::ValuesIn(kEdgeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ResolveAddress, LongAddressWithoutHostPartUsesItsFirst1024Characters)
{
    const std::u16string page = u"x:" + std::u16string(1100, u'a');
    EXPECT_EQ(ResolveAddress(page, u"/m.swf"), page.substr(0, 1024) + u"m.swf");
}

struct EncodeCase {
    const char* name;
    std::u16string text;
    std::u16string expected;
};

class EncodeSpacesTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeSpacesTest, TrimsAndEncodesBlanks)
{
    EXPECT_EQ(Utf8(EncodeSpaces(GetParam().text)), Utf8(GetParam().expected));
}

const EncodeCase kEncodeCases[] = {
    {"Empty", u"", u""},
    {"BlanksOnly", u"    ", u""},
    {"NoBlanks", u"a/b.swf", u"a/b.swf"},
    {"InnerBlank", u"my movie.swf", u"my%20movie.swf"},
    {"AdjacentInnerBlanks", u"a  b", u"a%20%20b"},
    {"SurroundingBlanks", u"  a b  ", u"a%20b"},
    {"TabsAndLineBreaksUntouched", u"\ta\nb\t", u"\ta\nb\t"},
    {"TabsInsideBlanksKept", u" \ta b\t ", u"\ta%20b\t"},
};
INSTANTIATE_TEST_SUITE_P(Cases, EncodeSpacesTest, testing::ValuesIn(kEncodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaro
