// The document model adapter against the real web engine: what the collector
// script reads of each document, across origins, and when the browser
// reports a completed document.

#include "platform/browser/DocumentModelPage.h"
#include "platform/browser/WebBrowser.h"
#include "platform/core/SnapshotBounds.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace tessaro {
namespace {

using test::LoopbackHttpServer;
using test::WaitUntil;

constexpr int kWaitMs = 20000;

std::string Page(const std::string& body)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>";
}

class DocumentModel : public testing::Test {
protected:
    void Load(const std::string& address)
    {
        int completed = 0;
        auto connection = QObject::connect(&browser, &TWebBrowser::DocumentComplete, [&] { ++completed; });
        browser.Navigate(QString::fromStdString(address));
        ASSERT_TRUE(WaitUntil([&] { return completed > 0; }, kWaitMs));
        QObject::disconnect(connection);
    }

    TDocumentSnapshot Snapshot()
    {
        std::optional<TDocumentSnapshot> taken;
        browser.Document()->TakeSnapshot([&](const TDocumentSnapshot& s) { taken = s; });
        EXPECT_TRUE(WaitUntil([&] { return taken.has_value(); }, kWaitMs));
        return taken.value_or(TDocumentSnapshot{});
    }

    QJsonObject Tree()
    {
        const TDocumentSnapshot s = Snapshot();
        EXPECT_TRUE(s.ok) << s.error.toStdString();
        return QJsonDocument::fromJson(s.json).object();
    }

    LoopbackHttpServer site;
    LoopbackHttpServer other;
    TWebBrowser browser;
};

TEST_F(DocumentModel, ReadsEveryDocumentAsWrittenInDocumentOrder)
{
    site.route("/top.html",
               Page(R"(
<object classid="clsid:D27CDB6E-AE6D-11cf-96B8-444553540000" codebase="cabs/swflash.cab#version=9,0,0,0">
  <param name="Movie" value="m.swf"><param name="quality" value="high">
  <embed src="fallback.swf">
</object>
<embed src=" spaced name.swf?a=1&amp;b=2">
<embed>
<script>var movie = "x.swf";</script>
<script src="ext.js"></script>
<object type="text/html" data="inner.html"></object>
<iframe src="same.html"></iframe>
<iframe src=")" + other.origin() +
                    R"(/cross.html"></iframe>
<iframe sandbox src=")" +
                    other.origin() + R"(/sandboxed.html"></iframe>)"),
               "text/html");
    site.route("/inner.html", Page(R"(<embed src="inner.swf">)"), "text/html");
    site.route("/ext.js", "var fromFile = 1;", "application/javascript");
    site.route("/same.html", Page(R"(<script>document.write('<embed src="written.swf">');</script>)"), "text/html");
    other.route("/cross.html", Page(R"(<object data="d.swf" type="application/x-shockwave-flash"></object>
<iframe src="nested.html"></iframe>)"),
                "text/html");
    other.route("/nested.html", Page(R"(<iframe src=")" + site.origin() + R"(/back.html"></iframe>)"), "text/html");
    site.route("/back.html", Page(R"(<embed src="back.swf">)"), "text/html");
    other.route("/sandboxed.html", Page(R"(<embed src="boxed.swf">)"), "text/html");

    Load(site.origin() + "/top.html");
    const QJsonObject top = Tree();

    EXPECT_EQ(top["url"].toString().toStdString(), site.origin() + "/top.html");
    const QJsonArray objects = top["objects"].toArray();
    ASSERT_EQ(objects.size(), 2);
    const QJsonObject object = objects[0].toObject();
    EXPECT_EQ(object["classid"].toString(), "clsid:D27CDB6E-AE6D-11cf-96B8-444553540000");
    EXPECT_EQ(object["codebase"].toString(), "cabs/swflash.cab#version=9,0,0,0") << "raw, not resolved";
    EXPECT_TRUE(object["data"].isNull());
    EXPECT_EQ(object["params"].toArray(), (QJsonArray{QJsonArray{"Movie", "m.swf"}, QJsonArray{"quality", "high"}}));
    EXPECT_EQ(top["embeds"].toArray(), (QJsonArray{"fallback.swf", " spaced name.swf?a=1&b=2", QJsonValue()}));
    EXPECT_EQ(top["scripts"].toArray(), (QJsonArray{"var movie = \"x.swf\";", ""}));

    // The document an object element shows is not one of the page's frames.
    const QJsonArray frames = top["frames"].toArray();
    ASSERT_EQ(frames.size(), 3);
    const QJsonObject same = frames[0].toObject();
    EXPECT_EQ(same["url"].toString().toStdString(), site.origin() + "/same.html");
    EXPECT_EQ(same["embeds"].toArray(), QJsonArray{"written.swf"});

    const QJsonObject cross = frames[1].toObject();
    EXPECT_EQ(cross["url"].toString().toStdString(), other.origin() + "/cross.html");
    ASSERT_EQ(cross["objects"].toArray().size(), 1);
    EXPECT_EQ(cross["objects"].toArray()[0].toObject()["data"].toString(), "d.swf");
    const QJsonObject nested = cross["frames"].toArray()[0].toObject();
    EXPECT_EQ(nested["url"].toString().toStdString(), other.origin() + "/nested.html");
    const QJsonObject back = nested["frames"].toArray()[0].toObject();
    EXPECT_EQ(back["url"].toString().toStdString(), site.origin() + "/back.html");
    EXPECT_EQ(back["embeds"].toArray(), QJsonArray{"back.swf"});

    const QJsonObject sandboxed = frames[2].toObject();
    EXPECT_EQ(sandboxed["url"].toString().toStdString(), other.origin() + "/sandboxed.html");
    EXPECT_EQ(sandboxed["embeds"].toArray(), QJsonArray{"boxed.swf"});
}

TEST_F(DocumentModel, ReadsTheFramesOfAFrameset)
{
    site.route("/frameset.html",
               "<html><frameset cols=\"50%,50%\"><frame src=\"left.html\"><frame src=\"" + other.origin() +
                   "/right.html\"><noframes><embed src=\"no.swf\"></noframes></frameset></html>",
               "text/html");
    site.route("/left.html", Page(R"(<embed src="left.swf">)"), "text/html");
    other.route("/right.html", Page(R"(<embed src="right.swf">)"), "text/html");
    Load(site.origin() + "/frameset.html");

    const QJsonArray frames = Tree()["frames"].toArray();
    ASSERT_EQ(frames.size(), 2);
    EXPECT_EQ(frames[0].toObject()["embeds"].toArray(), QJsonArray{"left.swf"});
    EXPECT_EQ(frames[1].toObject()["url"].toString().toStdString(), other.origin() + "/right.html");
    EXPECT_EQ(frames[1].toObject()["embeds"].toArray(), QJsonArray{"right.swf"});
}

// An attribute one past its bound is left out whole, in the top document
// and in a frame of another origin, and the snapshot says it was cut; one at
// the bound is read.
TEST_F(DocumentModel, AnAttributePastItsBoundIsLeftOutAndTheSnapshotIsCut)
{
    // Counted in UTF-16 units, as the script counts: one more byte in UTF-8.
    const std::string atBound = std::string(kMaxSnapshotAttributeText - 1, 'a') + "\u00e9";
    const std::string past = std::string(kMaxSnapshotAttributeText - 3, 'b') + ".swf";
    const std::string embeds = "<embed src=\"at.swf\" flashvars=\"" + atBound + "\"><embed src=\"" + past +
                               "\" type=\"application/x-shockwave-flash\"><object data=\"" + past + "\"></object>";
    // A frame whose address is past the bound too.
    const std::string longFrame = "<iframe src=\"whole.html#" + std::string(kMaxSnapshotAttributeText, 'q') + "\">";
    site.route("/cut.html", Page(embeds + "<iframe src=\"" + other.origin() + "/cut.html\"></iframe>" + longFrame),
               "text/html");
    other.route("/cut.html", Page(embeds), "text/html");
    site.route("/whole.html", Page("<embed src=\"at.swf\" flashvars=\"" + atBound + "\">"), "text/html");

    Load(site.origin() + "/whole.html");
    const TDocumentSnapshot whole = Snapshot();
    EXPECT_TRUE(whole.ok);
    EXPECT_FALSE(whole.cut);

    Load(site.origin() + "/cut.html");
    const TDocumentSnapshot cut = Snapshot();
    ASSERT_TRUE(cut.ok) << cut.error.toStdString();
    EXPECT_TRUE(cut.cut);
    EXPECT_LT(cut.json.size(), 3 * kMaxSnapshotAttributeText) << "each value at the bound once, no longer one";
    const QJsonObject top = QJsonDocument::fromJson(cut.json).object();
    for (const QJsonObject& document : {top, top["frames"].toArray()[0].toObject()}) {
        EXPECT_EQ(document["embeds"].toArray(), (QJsonArray{"at.swf", QJsonValue()}));
        EXPECT_EQ(document["embedAttributes"].toArray()[0].toObject()["flashvars"].toString().size(),
                  kMaxSnapshotAttributeText);
        EXPECT_TRUE(document["objects"].toArray()[0].toObject()["data"].isNull());
    }
    ASSERT_EQ(top["frames"].toArray().size(), 2);
    const QJsonObject longAddress = top["frames"].toArray()[1].toObject();
    EXPECT_TRUE(longAddress["url"].isNull());
    EXPECT_FALSE(longAddress.contains("embeds"));
}

TEST_F(DocumentModel, AFailedLoadIsAnEmptyDocument)
{
    Load("http://127.0.0.1:1/nothing-here.html");
    const QJsonObject top = Tree();
    EXPECT_TRUE(top["embeds"].toArray().isEmpty());
    EXPECT_TRUE(top["frames"].toArray().isEmpty());
}

TEST_F(DocumentModel, CompletesForThePageAndForFramesFinishingAfterIt)
{
    site.route("/page.html", Page(R"(<iframe src="early.html"></iframe><script>
window.addEventListener('load', () => setTimeout(() => {
  for (const name of ['late1.html', 'late2.html']) {
    const f = document.createElement('iframe'); f.src = name; document.body.appendChild(f);
  }
}, 100));</script>)"),
               "text/html");
    for (const char* name : {"/early.html", "/late1.html", "/late2.html"})
        site.route(name, Page("<p>frame</p>"), "text/html");

    int completed = 0;
    QObject::connect(&browser, &TWebBrowser::DocumentComplete, [&] { ++completed; });
    browser.Navigate(QString::fromStdString(site.origin() + "/page.html"));
    ASSERT_TRUE(WaitUntil([&] { return completed >= 3; }, kWaitMs));
    // The early frame finished before the page did and adds no notification.
    WaitUntil([] { return false; }, 500);
    EXPECT_EQ(completed, 3);
    EXPECT_EQ(Tree()["frames"].toArray().size(), 3);
}

TEST_F(DocumentModel, CrossOriginFramesReportOnlyToTheProgram)
{
    // The page listens to every message and forges a request of its own.
    site.route("/spy.html", Page(R"(<iframe src=")" + other.origin() + R"(/secret.html"></iframe><script>
window.seen = [];
window.addEventListener('message', ev => window.seen.push(JSON.stringify(ev.data)));
window.addEventListener('load', () => frames[0].postMessage(
    {__tessaroDocumentModel: 'collect', slot: '0123456789abcdef0123456789abcdef'}, '*'));
</script>)"),
               "text/html");
    other.route("/secret.html", Page("<script>var token = \"S3CR3T\";</script>"), "text/html");
    Load(site.origin() + "/spy.html");

    const QJsonObject frame = Tree()["frames"].toArray()[0].toObject();
    EXPECT_EQ(frame["scripts"].toArray(), QJsonArray{"var token = \"S3CR3T\";"});

    QString seen;
    bool answered = false;
    browser.page()->runJavaScript(QStringLiteral("JSON.stringify(window.seen)"), [&](const QVariant& v) {
        seen = v.toString();
        answered = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return answered; }, kWaitMs));
    EXPECT_FALSE(seen.contains("S3CR3T")) << seen.toStdString();
}

// A cross-origin frame sees the slot its parent asks it to report under. It
// forges reports under the collector's source name (with no secret, with a
// guessed one), and has a frame of its own answer in its place; the top page
// forges a report too. The snapshot holds only what the documents hold.
TEST_F(DocumentModel, ReportsWithoutTheSecretOrFromAnotherFrameAreIgnored)
{
    const std::string forge = R"(
function forge(text) {
  eval('console.info(' + JSON.stringify(text) + ')\n//# sourceURL=userscript:tessaro-document-model');
}
function lie(slot) {
  const tree = JSON.stringify({url: 'http://elsewhere.test/', embeds: ['stolen.swf'], frames: []});
  forge('__tessaroDocumentModel:tree ' + JSON.stringify({slot, tree: JSON.parse(tree)}));
  forge('__tessaroDocumentModel:tree ' + slot + ' 1 ' + tree);
  forge('__tessaroDocumentModel:tree 00000000000000000000000000000000 ' + slot + ' 1 ' + tree);
  forge('__tessaroDocumentModel:tree  ' + slot + ' 1 ' + tree);
})";
    site.route("/top.html", Page(R"(<iframe src=")" + other.origin() + R"(/liar.html"></iframe><script>)" + forge + R"(
lie('0123456789abcdef0123456789abcdef');</script>)"),
               "text/html");
    other.route("/liar.html",
                Page(R"(<script>)" + forge + R"(
window.addEventListener('message', ev => {
  const slot = ev.data && ev.data.slot;
  if (!slot || ev.source === frames[0]) return;
  lie(slot);
  frames[0].postMessage({__tessaroDocumentModel: 'collect', slot}, '*');
}, true);
</script><embed src="liar.swf"><iframe src=")" +
                     site.origin() + R"(/inner.html"></iframe>)"),
                "text/html");
    site.route("/inner.html", Page(R"(<embed src="inner.swf">)"), "text/html");
    Load(site.origin() + "/top.html");

    // Until the inner frame has loaded and could answer for the liar.
    TDocumentSnapshot s;
    for (int attempt = 0; attempt < 20; ++attempt) {
        s = Snapshot();
        ASSERT_TRUE(s.ok) << s.error.toStdString();
        if (s.json.contains("inner.swf"))
            break;
        WaitUntil([] { return false; }, 100);
    }
    const QJsonObject top = QJsonDocument::fromJson(s.json).object();
    QStringList documents;
    std::function<void(const QJsonObject&)> list = [&](const QJsonObject& tree) {
        documents.append(tree["url"].toString());
        for (const QJsonValue& src : tree["embeds"].toArray())
            documents.append(src.toString());
        for (const QJsonValue& frame : tree["frames"].toArray())
            list(frame.toObject());
    };
    list(top);
    EXPECT_EQ(documents.join(' ').toStdString(), site.origin() + "/top.html " + other.origin() +
                                                     "/liar.html liar.swf " + site.origin() + "/inner.html inner.swf");
    const QJsonArray frames = top["frames"].toArray();
    ASSERT_EQ(frames.size(), 1);
    const QJsonObject liar = frames[0].toObject();
    EXPECT_EQ(liar["url"].toString().toStdString(), other.origin() + "/liar.html");
    EXPECT_EQ(liar["embeds"].toArray(), QJsonArray{"liar.swf"});
    const QJsonObject inner = liar["frames"].toArray()[0].toObject();
    EXPECT_EQ(inner["url"].toString().toStdString(), site.origin() + "/inner.html");
    EXPECT_EQ(inner["embeds"].toArray(), QJsonArray{"inner.swf"});
}

// The secret is the load's: a page that changes its address without a new
// document keeps its frames, and they keep reporting.
TEST_F(DocumentModel, FramesStillReportAfterTheTopChangesItsAddressInPlace)
{
    site.route("/top.html", Page(R"(<iframe src=")" + other.origin() + R"(/cross.html"></iframe>)"), "text/html");
    other.route("/cross.html", Page(R"(<embed src="c.swf">)"), "text/html");
    Load(site.origin() + "/top.html");
    auto frameEmbeds = [&] { return Tree()["frames"].toArray()[0].toObject()["embeds"].toArray(); };
    for (int attempt = 0; attempt < 20 && frameEmbeds().isEmpty(); ++attempt)
        WaitUntil([] { return false; }, 100);
    ASSERT_EQ(frameEmbeds(), QJsonArray{"c.swf"});

    bool moved = false;
    browser.page()->runJavaScript(QStringLiteral("location.hash = 'part'; history.pushState({}, '', 'moved.html');"),
                                  [&](const QVariant&) { moved = true; });
    ASSERT_TRUE(WaitUntil([&] { return moved; }, kWaitMs));
    WaitUntil([] { return false; }, 300);
    const QJsonObject top = Tree();
    EXPECT_EQ(top["url"].toString().toStdString(), site.origin() + "/moved.html");
    EXPECT_EQ(top["frames"].toArray()[0].toObject()["embeds"].toArray(), QJsonArray{"c.swf"});
}

}  // namespace
}  // namespace tessaro
