// The walk over a whole page: order, frames, duplicates, and the tree built
// from the collector script's snapshot.

#include "scan/ScanDocument.h"

#include "scan/DocumentSnapshot.h"

#include <QByteArray>
#include <QStringList>

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace tessaro {
namespace {

const QString kVendorCab = QStringLiteral("http://download.macromedia.com/pub/shockwave/cabs/flash/swflash.cab");

QStringList Scan(const THtmlDocument* top)
{
    TMovieRows list;
    TFoundMovies found(list);
    ScanDocument(top, found);
    return list.Addresses();
}

TEST(ScanDocument, WalksDepthFirstResolvingInEachFramesOwnAddress)
{
    THtmlDocument nested;
    nested.URL = "http://other.test:81/deep/nested.html";
    nested.scripts = {{R"(go("n.swf");)"}};

    THtmlDocument cross;
    cross.URL = "http://other.test:81/x/cross.html";
    cross.embeds = {{"c.swf"}};
    cross.frames = {nested};

    THtmlDocument same;
    same.URL = "http://site.test/pages/same.html";
    same.applets = {{kVendorCab, true, "../s.swf"}};

    THtmlDocument top;
    top.URL = "http://site.test/pages/top.html";
    top.scripts = {{R"(go("t-script.swf");)"}};
    top.embeds = {{"t-embed.swf"}};
    top.applets = {{kVendorCab, true, "t-object.swf"}};
    top.frames = {same, cross};

    EXPECT_EQ(Scan(&top), (QStringList{
                              "http://site.test/pages/t-object.swf",  // objects, embeds, scripts
                              "http://site.test/pages/t-embed.swf",
                              "http://site.test/pages/t-script.swf",
                              "http://site.test/s.swf",
                              "http://other.test:81/x/c.swf",
                              "http://other.test:81/deep/n.swf",
                          }));
}

TEST(ScanDocument, KeepsOneEntryPerMovieSpelledAsFoundFirst)
{
    THtmlDocument frame;
    frame.URL = "http://site.test/a/frame.html";
    frame.embeds = {{"HTTP://SITE.TEST/A/Movie.swf"}};

    THtmlDocument top;
    top.URL = "http://site.test/a/top.html";
    top.embeds = {{"Movie.swf"}};
    top.scripts = {{R"(load("movie.SWF"); load("Movie.swf");)"}};
    top.frames = {frame};

    EXPECT_EQ(Scan(&top), QStringList{"http://site.test/a/Movie.swf"});

    // Letters beyond A to Z compare without case too.
    THtmlDocument accented;
    accented.URL = "http://site.test/";
    accented.embeds = {{QStringLiteral("\u00C4rger.swf")}, {QStringLiteral("\u00E4RGER.SWF")}};
    EXPECT_EQ(Scan(&accented), QStringList{QStringLiteral("http://site.test/\u00C4rger.swf")});
}

TEST(ScanDocument, NullOrEmptyDocumentFindsNothing)
{
    EXPECT_TRUE(Scan(nullptr).isEmpty());
    THtmlDocument empty;
    empty.URL = "http://site.test/";
    empty.frames = {THtmlDocument{}};
    EXPECT_TRUE(Scan(&empty).isEmpty());
}

struct ObjectRow {
    const char* name;
    TObjectAttributes attributes;
    bool hostsFlash;
    QString movie;
};

void PrintTo(const ObjectRow& row, std::ostream* os)
{
    *os << row.name;
}

class FlashObjects : public testing::TestWithParam<ObjectRow> {};

TEST_P(FlashObjects, HostsThePlayerAndPlaysItsMovie)
{
    const THtmlObjectElement element = ObjectElementFromAttributes(GetParam().attributes);
    EXPECT_EQ(element.hostsFlash, GetParam().hostsFlash);
    EXPECT_EQ(element.Movie, GetParam().movie);
    EXPECT_EQ(element.codeBase, GetParam().attributes.codebase);
}

const QString kClassId = QStringLiteral("clsid:D27CDB6E-AE6D-11cf-96B8-444553540000");

INSTANTIATE_TEST_SUITE_P(
    Rules, FlashObjects,
    testing::Values(
        ObjectRow{"ClassIdWithMovieParam",
                  {kClassId, "", kVendorCab, "", {"quality", "movie"}, {"high", "m.swf"}},
                  true,
                  "m.swf"},
        ObjectRow{"ClassIdInLowerCaseAndParamNameInCapitals",
                  {kClassId.toLower(), "", "", "", {"MOVIE"}, {"m.swf"}},
                  true,
                  "m.swf"},
        ObjectRow{"ClassIdWithoutPrefixIsNotTheControl", {kClassId.mid(6), "", "", "d.swf", {}, {}}, false, ""},
        ObjectRow{"FlashTypeWithData", {"", "application/x-shockwave-flash", "", "d.swf", {}, {}}, true, "d.swf"},
        ObjectRow{"FlashTypeInCapitalsWithParameters",
                  {"", "Application/X-Shockwave-Flash; v=9", "", "d.swf", {}, {}},
                  true,
                  "d.swf"},
        ObjectRow{"SrcParamBeforeData", {kClassId, "", "", "d.swf", {"Src"}, {"s.swf"}}, true, "s.swf"},
        ObjectRow{
            "MovieParamBeforeSrcParam", {kClassId, "", "", "", {"src", "movie"}, {"s.swf", "m.swf"}}, true, "m.swf"},
        ObjectRow{"EmptyMovieParamFallsBack", {kClassId, "", "", "d.swf", {"movie"}, {""}}, true, "d.swf"},
        ObjectRow{
            "OtherControl", {"clsid:166B1BCA-3F9C-11CF-8075-444553540000", "", kVendorCab, "m.dcr", {}, {}}, false, ""},
        ObjectRow{"PlainObject", {"", "image/svg+xml", "", "pic.svg", {}, {}}, false, ""},
        // Not the control, but a browser plays it by its name: the thorough scan's.
        ObjectRow{"UntypedObjectNamesWhatItPlays", {"", "", "", "u.swf", {}, {}}, false, "u.swf"}),
    [](const testing::TestParamInfo<ObjectRow>& info) { return std::string(info.param.name); });

TEST(DocumentSnapshot, BuildsTheTreeAndLeavesOutFramesThatCouldNotBeRead)
{
    const QByteArray json = R"({
        "url": "http://site.test/top.html",
        "objects": [{"classid": "clsid:d27cdb6e-ae6d-11cf-96b8-444553540000", "type": null,
                     "codebase": "http://download.macromedia.com/x.cab", "data": null,
                     "params": [["movie", "m.swf"]]}],
        "embeds": ["e.swf", null],
        "scripts": ["var a = 1;", ""],
        "frames": [null, {"url": "http://site.test/f.html", "frames": []}]
    })";
    const THtmlDocument top = DocumentFromSnapshot(json);
    EXPECT_EQ(top.URL, "http://site.test/top.html");
    ASSERT_EQ(top.applets.size(), 1u);
    EXPECT_TRUE(top.applets[0].hostsFlash);
    EXPECT_EQ(top.applets[0].Movie, "m.swf");
    EXPECT_EQ(top.applets[0].codeBase, "http://download.macromedia.com/x.cab");
    ASSERT_EQ(top.embeds.size(), 2u);
    EXPECT_EQ(top.embeds[0].src, "e.swf");
    EXPECT_EQ(top.embeds[1].src, "");
    ASSERT_EQ(top.scripts.size(), 2u);
    EXPECT_EQ(top.scripts[0].text, "var a = 1;");
    ASSERT_EQ(top.frames.size(), 1u);
    EXPECT_EQ(top.frames[0].URL, "http://site.test/f.html");
}

TEST(DocumentSnapshot, RejectsWhatIsNotASnapshot)
{
    for (const QByteArray& bad : {QByteArray(""), QByteArray("[1,2]"), QByteArray("{\"url\": 5}"),
                                  QByteArray("{\"embeds\": {}}"), QByteArray("{\"url\": \"x\"")})
        EXPECT_THROW(DocumentFromSnapshot(bad), std::runtime_error) << bad.left(40).toStdString();
}

// Past each bound the tree is cut short without an error: frames nested
// deeper, items past the count, script text past the total.
TEST(DocumentSnapshot, KeepsWithinItsBounds)
{
    QByteArray deep;
    for (int i = 0; i < 100; ++i)
        deep += R"({"embeds":["e.swf"],"frames":[)";
    for (int i = 0; i < 100; ++i)
        deep += "]}";
    int depth = 0;
    for (THtmlDocument document = DocumentFromSnapshot(deep); !document.frames.empty(); ++depth) {
        ASSERT_EQ(document.frames.size(), 1u);
        THtmlDocument frame = std::move(document.frames[0]);
        document = std::move(frame);
        EXPECT_EQ(document.embeds.size(), 1u);
    }
    EXPECT_EQ(depth, kMaxSnapshotFrameDepth);

    QByteArray many = R"({"objects":[)";
    for (qsizetype i = 0; i <= kMaxSnapshotElements; ++i)
        many += (i ? "," : "") + QByteArray(R"({"params":[["movie","m.swf"],["src","s.swf"]]})");
    many += R"(],"embeds":[)";
    for (qsizetype i = 0; i <= kMaxSnapshotElements; ++i)
        many += (i ? "," : "") + QByteArray(R"("e.swf")");
    many += "]}";
    const THtmlDocument wide = DocumentFromSnapshot(many);
    EXPECT_EQ(wide.applets.size(), size_t(kMaxSnapshotElements));
    EXPECT_EQ(wide.embeds.size(), size_t(kMaxSnapshotElements));

    // Three scripts of 40% of the total each, the last in a frame.
    const QByteArray part((kMaxSnapshotScriptText * 2) / 5, 'x');
    const QByteArray texts =
        R"({"scripts":[")" + part + R"(",")" + part + R"("],"frames":[{"scripts":[")" + part + R"(","y"]}]})";
    const THtmlDocument top = DocumentFromSnapshot(texts);
    ASSERT_EQ(top.scripts.size(), 2u);
    EXPECT_EQ(top.scripts[1].text.size(), part.size());
    ASSERT_EQ(top.frames.size(), 1u);
    ASSERT_EQ(top.frames[0].scripts.size(), 1u);
    EXPECT_EQ(top.frames[0].scripts[0].text.size(), kMaxSnapshotScriptText - 2 * part.size());

    // An attribute at its bound is kept, one past it left out; a document
    // whose address is past it gives nothing but its frames.
    const QByteArray at(kMaxSnapshotAttributeText, 'a');
    const QByteArray past = at + 'b';
    const THtmlDocument attributes = DocumentFromSnapshot(
        R"({"url":"http://h.test/","embeds":[")" + at + R"(",")" + past + R"("],"links":[")" + past +
        R"("],"frames":[{"url":"http://h.test/)" + past + R"(","embeds":["e.swf"],"frames":[{"embeds":["f.swf"]}]}]})");
    EXPECT_EQ(attributes.embeds.size(), 2u);
    EXPECT_EQ(attributes.embeds[0].src.size(), at.size());
    EXPECT_EQ(attributes.embeds[1].src, QString());
    EXPECT_EQ(attributes.links, std::vector<QString>{QString()});
    ASSERT_EQ(attributes.frames.size(), 1u);
    EXPECT_TRUE(attributes.frames[0].URL.isEmpty());
    EXPECT_TRUE(attributes.frames[0].embeds.empty());
    ASSERT_EQ(attributes.frames[0].frames.size(), 1u);
    EXPECT_EQ(attributes.frames[0].frames[0].embeds.size(), 1u);
}

}  // namespace
}  // namespace tessaro
