// What the thorough scan adds to a page's rows, one named row per case.

#include "scan/DocumentSnapshot.h"
#include "scan/ScanDocument.h"

#include <QStringList>

#include <gtest/gtest.h>
#include <string>

namespace tessaro {
namespace {

const QString kPage = QStringLiteral("http://example.test/a/b/page.htm");
const QString kFlashType = QStringLiteral("application/x-shockwave-flash");

THtmlDocument WithScript(const QString& text, const QString& loaded = {})
{
    THtmlDocument document;
    document.URL = kPage;
    document.scripts = {{text, loaded}};
    return document;
}

THtmlDocument WithObject(const TObjectAttributes& attributes)
{
    THtmlDocument document;
    document.URL = kPage;
    document.applets = {ObjectElementFromAttributes(attributes)};
    return document;
}

THtmlDocument WithEmbed(const THtmlEmbedElement& embed, bool inNoscript = false)
{
    THtmlDocument document;
    document.URL = kPage;
    (inNoscript ? document.noscriptEmbeds : document.embeds) = {embed};
    return document;
}

struct ThoroughRow {
    const char* name;
    THtmlDocument document;
    QStringList expected;  // relative to the page's folder; "?" before a row only text named (a guess)
};

void PrintTo(const ThoroughRow& row, std::ostream* os)
{
    *os << row.name;
}

class ThoroughRows : public testing::TestWithParam<ThoroughRow> {};

TEST_P(ThoroughRows, AddsExactlyTheMoviesThePagePlays)
{
    TMovieRows list;
    TFoundMovies found(list);
    ScanDocumentThorough(&GetParam().document, found);
    QStringList expected;
    QList<bool> guesses;
    for (QString path : GetParam().expected) {
        const bool guess = path.startsWith(QLatin1Char('?'));
        path = path.mid(guess ? 1 : 0);
        expected.append((path.startsWith(QLatin1String("http")) ? "" : "http://example.test/a/b/") + path);
        guesses.append(guess);
    }
    EXPECT_EQ(list.Addresses(), expected);
    for (qsizetype i = 0; i < list.Size() && i < guesses.size(); ++i)
        EXPECT_EQ(list.At(i).guess, guesses[i]) << list.At(i).address.toStdString();
}

// A script's movie that an element of a later frame plays is found, not guessed.
THtmlDocument GuessedThenPlayed()
{
    THtmlDocument document = WithScript("load('played.swf'); load('only.swf');");
    document.noscriptEmbeds = {{"fallback.swf"}};
    THtmlDocument frame;
    frame.URL = kPage;
    frame.embeds = {{"played.swf", kFlashType}};
    document.frames = {frame};
    return document;
}

THtmlDocument WithBaseAndFrame()
{
    THtmlDocument document = WithScript("load('top.swf');");
    document.baseURL = "http://cdn.test/flash/";
    THtmlDocument frame = WithScript("load('frame.swf');");
    frame.URL = "http://other.test/f/frame.html";
    document.frames = {frame};
    return document;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ThoroughRows,
    testing::Values(
        ThoroughRow{"SingleAndDoubleQuotesEscapesUndone",
                    WithScript(R"(a('x\/one.swf'); b("x\x2Ftwo.swf"); c('\u0078/three.swf'); d("\u{78}/four.swf");)"),
                    {"?x/one.swf", "?x/two.swf", "?x/three.swf", "?x/four.swf"}},
        ThoroughRow{"ApostropheInACommentHidesOnlyItsLine", WithScript("// don't\nload('m.swf');"), {"?m.swf"}},
        ThoroughRow{"QuotesInsideAStringAreItsText", WithScript(R"(s = "it's 'x.swf'"; t = 'a \' b.swf';)"), {}},
        ThoroughRow{"UnclosedStringAtTheEnd", WithScript(R"(load('m.swf\')"), {}},
        ThoroughRow{"BareExtensionMarkupAndBlanksAreNoAddresses",
                    WithScript(R"(a('.swf'); b('dir/.swf'); c('<embed src="m.swf">'); d('a b.swf'); e(".SWF");)"),
                    {}},
        ThoroughRow{"QueryAndFragmentKept", WithScript("load('m.swf?v=1#top');"), {"?m.swf?v=1#top"}},
        ThoroughRow{"ExternalFileText", WithScript("", "var m = 'ext.swf';"), {"?ext.swf"}},
        ThoroughRow{"OneRowPerMovieWhateverItsCase", WithScript("a('M.SWF'); b('m.swf');"), {"?M.SWF"}},
        ThoroughRow{"FlashObjectWhateverItsCodebaseWithFlashVars",
                    WithObject({"",
                                kFlashType,
                                "",
                                "player.swf",
                                {"flashvars"},
                                {"a=b&movie=x%2Fy.swf&&n&skin=+s.swf+&title=t.swf.txt"}}),
                    {"player.swf", "?x/y.swf", "?s.swf"}},
        ThoroughRow{"ObjectNotHostingThePlayer",
                    WithObject({"", "image/svg+xml", "http://download.macromedia.com/x.cab", "m.swf", {}, {}}),
                    {}},
        ThoroughRow{"FlashEmbedWhateverItsAddressItsQueryAsVariables",
                    WithEmbed({"c.php?path=m.swf#f", kFlashType, "intro=i.swf"}),
                    {"c.php?path=m.swf#f", "?m.swf", "?i.swf"}},
        ThoroughRow{"EmbedOfAnotherType", WithEmbed({"m.swf", "video/mp4"}), {}},
        ThoroughRow{"NoscriptEmbedByItsAddress", WithEmbed({"n.swf"}, true), {"?n.swf"}},
        ThoroughRow{
            "AGuessAnElementPlaysLaterIsNoGuess", GuessedThenPlayed(), {"?fallback.swf", "played.swf", "?only.swf"}},
        ThoroughRow{"BaseAddressAndFramesDepthFirst",
                    WithBaseAndFrame(),
                    {"?http://cdn.test/flash/top.swf", "?http://other.test/f/frame.swf"}}),
    [](const testing::TestParamInfo<ThoroughRow>& info) { return std::string(info.param.name); });

// Where each movie's player resolves the movie's own loads.
TEST(ThoroughPlayerBases, AreTheElementsBaseElseItsDocuments)
{
    THtmlDocument document;
    document.URL = kPage;
    document.embeds = {{"one.swf", kFlashType, "", "http://cdn.test/flash/"},
                       {"two/two.swf", kFlashType, "", "."},
                       {"three.swf", kFlashType, "", "../assets/"},
                       {"one.swf", kFlashType, "", "http://elsewhere.test/"}};
    document.applets = {ObjectElementFromAttributes({"", "", "", "four.swf", {"base"}, {"http://cdn.test/obj/"}})};
    document.scripts = {{"load('five.swf');"}};
    THtmlDocument frame;
    frame.URL = "http://other.test/f/frame.html";
    frame.embeds = {{"six.swf", kFlashType}};
    document.frames = {frame};

    TMovieRows list;
    TFoundMovies found(list);
    TPlayerBases bases;
    ScanDocumentThorough(&document, found, &bases);
    QStringList got;
    for (auto it = bases.cbegin(); it != bases.cend(); ++it)
        got.append(it.key() + " -> " + it.value());
    got.sort();
    EXPECT_EQ(got.join('\n').toStdString(),
              "http://example.test/a/b/four.swf -> http://cdn.test/obj/\n"
              "http://example.test/a/b/one.swf -> http://cdn.test/flash/\n"  // the first element decides
              "http://example.test/a/b/three.swf -> http://example.test/a/assets/\n"
              "http://example.test/a/b/two/two.swf -> http://example.test/a/b/two/\n"
              "http://other.test/f/six.swf -> http://other.test/f/frame.html");
    EXPECT_TRUE(list.Find("http://example.test/a/b/five.swf")) << "a script's movie is listed, with no base";
}

}  // namespace
}  // namespace tessaro
