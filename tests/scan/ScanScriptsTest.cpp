// What a page's scripts, embeds and objects contribute, one named row per case.

#include "scan/ScanDocument.h"

#include <QStringList>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tessaro {
namespace {

const QString kPage = QStringLiteral("http://example.test/a/b/page.htm");

QStringList ScriptMovies(const QString& text)
{
    TMovieRows list;
    TFoundMovies found(list);
    ScanScripts(kPage, {{text}}, found);
    return list.Addresses();
}

struct ScriptRow {
    const char* name;
    QString script;
    QStringList expected;
};

void PrintTo(const ScriptRow& row, std::ostream* os)
{
    *os << row.name;
}

class ScriptCandidates : public testing::TestWithParam<ScriptRow> {};

TEST_P(ScriptCandidates, FindsExactlyTheQuotedMovieNames)
{
    EXPECT_EQ(ScriptMovies(GetParam().script), GetParam().expected);
}

QString ManyQuotedStringsThen(const QString& last)
{
    QString text;
    for (int i = 0; i < 1100; ++i)
        text += QStringLiteral("a[%1] = \"x\";\n").arg(i);
    return text + QStringLiteral("load(\"%1\");").arg(last);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ScriptCandidates,
    testing::Values(
        ScriptRow{"PlainName", R"(load("intro.swf");)", {"http://example.test/a/b/intro.swf"}},
        ScriptRow{
            "QueryPartKept", R"(load("intro.swf?level=2&x=y");)", {"http://example.test/a/b/intro.swf?level=2&x=y"}},
        ScriptRow{"CapitalsFoundAndKept", R"(load("Intro.SWF");)", {"http://example.test/a/b/Intro.SWF"}},
        ScriptRow{"FurtherExtensionNotFound", R"(a("m.swf2"); b("x.swf.bak");)", {}},
        ScriptRow{"SingleQuoteDropsCandidate", R"(load("it's.swf");)", {}},
        ScriptRow{"BareExtensionIsBaseDirectory", R"(x = ".swf";)", {"http://example.test/a/b/.swf"}},
        ScriptRow{"TooShortNeverMatches", R"(x = "swf"; y = "";)", {}},
        ScriptRow{"QuestionMarkBeforeExtension", R"(x = "a?b.swf";)", {}},
        ScriptRow{
            "SpacesTrimmedAndEncoded", R"(x = "  my  movie.swf ";)", {"http://example.test/a/b/my%20%20movie.swf"}},
        ScriptRow{"OddQuoteCountContributesNothing", R"(load("intro.swf"); var s = "unclosed;)", {}},
        ScriptRow{"NoQuotes", R"(load('intro.swf');)", {}},
        ScriptRow{"TextBetweenPairsNotExamined", R"("a" intro.swf "b")", {}},
        ScriptRow{"EscapedQuotesPairByPosition", R"(s = "say \"hi\" m.swf";)", {"http://example.test/a/b/m.swf"}},
        ScriptRow{"EscapesUndoneBeforeTheTest",
                  R"(a("flash\/intro.swf"); b("m\x2eswf"); c("it\x27s.swf"); d("\u0073.swf");)",
                  {"http://example.test/a/b/flash/intro.swf", "http://example.test/a/b/m.swf",
                   "http://example.test/a/b/s.swf"}},
        ScriptRow{"RootRelative", R"(x = "/swf/m.swf";)", {"http://example.test/swf/m.swf"}},
        ScriptRow{"AbsoluteKept", R"(x = "http://cdn.test/m.swf";)", {"http://cdn.test/m.swf"}},
        ScriptRow{"SeveralInOrder",
                  R"(a("one.swf"); b("two.swf"); c("one.swf");)",
                  {"http://example.test/a/b/one.swf", "http://example.test/a/b/two.swf"}},
        ScriptRow{
            "MoreThanOneThousandQuotes", ManyQuotedStringsThen("late.swf"), {"http://example.test/a/b/late.swf"}}),
    [](const testing::TestParamInfo<ScriptRow>& info) { return std::string(info.param.name); });

TEST(ScanEmbeds, TakesEverySrcContainingTheExtensionAsWritten)
{
    TMovieRows list;
    TFoundMovies found(list);
    ScanEmbeds(kPage, {{"player.php?file=a.swf"}, {"movie.mp4"}, {"Big.SWF"}, {"clip.swfx"}, {""}, {"../up.swf"}},
               found);
    EXPECT_EQ(list.Addresses(),
              (QStringList{"http://example.test/a/b/player.php?file=a.swf", "http://example.test/a/b/Big.SWF",
                           "http://example.test/a/b/clip.swfx", "http://example.test/a/up.swf"}));
}

TEST(ScanObjects, TakesTheMovieOfFlashObjectsNamingTheVendor)
{
    const QString vendor = QStringLiteral("http://download.macromedia.com/pub/swflash.cab#version=6,0,0,0");
    TMovieRows list;
    TFoundMovies found(list);
    ScanObjects(kPage,
                {
                    {"http://example.test/other.cab", true, "ignored.swf"},       // no vendor domain
                    {vendor, false, ""},                                          // not a Flash object
                    {"HTTP://DOWNLOAD.MACROMEDIA.COM/x.cab", true, "first.swf"},  // codebase in capitals
                    {vendor, true, ""},                                           // no movie
                    {vendor, true, "player.php?id=7"},                            // extension not tested
                },
                found);
    EXPECT_EQ(list.Addresses(),
              (QStringList{"http://example.test/a/b/first.swf", "http://example.test/a/b/player.php?id=7"}));
}

}  // namespace
}  // namespace tessaro
