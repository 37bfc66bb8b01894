// Names from a page or a movie are text: a hostile name, in every form a
// scanner meets it, gives no row, no target name and no file; rows stop at
// the page's cap; the quoted-string finder works in proportion to the text.

#include "download/DownloadTarget.h"
#include "platform/files/AtomicFile.h"
#include "scan/DocumentSnapshot.h"
#include "scan/MovieReadingRun.h"
#include "scan/MovieReferences.h"
#include "scan/ScanDocument.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

namespace tessaro {
namespace {

using B = test::TMovieBuilder;

const QString kPage = QStringLiteral("http://host.test/page/index.html");

struct HostileName {
    const char* name;
    char32_t character;  // what each form below stands for
    // How a script writes it; "\0" only stands for a NUL.
    std::vector<QString> escapes;
};

QString Hex(char32_t c, int width)
{
    return QString::number(static_cast<uint>(c), 16).rightJustified(width, u'0');
}

std::vector<QString> Escapes(char32_t c)
{
    return {"\\x" + Hex(c, 2), "\\u" + Hex(c, 4), "\\u{" + Hex(c, 1) + "}", "\\u{" + Hex(c, 6) + "}"};
}

// What the name stands for, a row's address as the download would see it.
std::string Address(const HostileName& row, const std::string& file)
{
    return "http://host.test/" + file + QString::fromUcs4(&row.character, 1).toStdString() + ".swf";
}

// Every place of a page where the scanners take a name, holding it.
THtmlDocument PageNaming(const HostileName& row)
{
    const QString raw = QString::fromUcs4(&row.character, 1);
    THtmlDocument document;
    document.URL = kPage;
    for (const QString& escape : row.escapes) {
        document.scripts.push_back({"load(\"http://host.test/.bashrc" + escape + ".swf\");"});
        document.scripts.push_back(
            {"var m = '/.profile" + escape + ".swf';", "so.addVariable('x', '.inputrc" + escape + ".swf');"});
    }
    const QString percent = "%" + Hex(row.character, 2);
    document.embeds = {{"/.bash_login" + raw + ".swf", "application/x-shockwave-flash",
                        "movie=/.bash_logout" + (row.character < 0x80 ? percent : raw) + ".swf"}};
    document.noscriptEmbeds = {{"/noscript" + raw + ".swf"}};
    document.applets = {ObjectElementFromAttributes({"clsid:D27CDB6E-AE6D-11CF-96B8-444553540000",
                                                     "",
                                                     "http://download.macromedia.com/",
                                                     "/object" + raw + ".swf",
                                                     {},
                                                     {}})};
    document.links = {"/link" + raw + ".swf"};
    document.frameSources = {"/frame" + raw + ".swf"};
    THtmlDocument frame = document;
    frame.URL = "http://host.test/frame" + raw + "/index.html";
    document.frames = {frame};
    return document;
}

class HostileNames : public testing::TestWithParam<HostileName> {};

TEST_P(HostileNames, GiveNoRowNoTargetNameAndNoFile)
{
    const HostileName& row = GetParam();
    const THtmlDocument document = PageNaming(row);
    TMovieRows list;
    TFoundMovies found(list);
    ScanDocument(&document, found);
    ScanDocumentThorough(&document, found);
    EXPECT_EQ(list.Addresses(), QStringList()) << "every name of the page holds the character";

    // A row that held it anyway would save as no file at all.
    const test::TempDir home;
    for (const char* file : {".bashrc", ".profile", ".bash_logout"}) {
        SCOPED_TRACE(file);
        const std::string address = Address(row, file);
        EXPECT_EQ(DownloadTargetName(address, home.folder()), "");
        const std::string bare = address.substr(address.rfind('/') + 1);
        AtomicFile target(home.folder() + bare);
        if (row.character == 0) {
            EXPECT_FALSE(target.Open());
            EXPECT_EQ(target.LastFailure(), AtomicFile::Failure::Create);
            EXPECT_FALSE(target.Commit());
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(home.path()));
}

// A movie's string pool names it too: the run that reads the page's movies
// lists none of those names.
TEST_P(HostileNames, ReadFromAMovieGiveNoRow)
{
    const HostileName& row = GetParam();
    const std::string bashrc = Address(row, ".bash_logout");
    const std::string relative = "/.profile" + QString::fromUcs4(&row.character, 1).toStdString() + ".swf";
    const std::string movie = B().FileAttributes(true)
                                  .Tag(82, B::U32(1) + B::CString("frame1") + B::AbcFile({bashrc, relative}))
                                  .Tag(12, B::PushStrings({bashrc, relative}))
                                  .Build();
    std::mutex mutex;
    std::vector<TMovieReadingRun::TReport> reports;
    auto fetch = [&](const QUrl&, const std::atomic<bool>&) { return TMovieReadingRun::TFetched{true, movie}; };
    QObject owner;
    {
        TMovieReadingRun run(
            &owner, TMovieRows::OfAddresses({"http://host.test/page/loader.swf"}), kPage,
            std::make_shared<TMovieStore>(),
            [&](const TMovieReadingRun::TReport& report) {
                const std::lock_guard lock(mutex);
                reports.push_back(report);
            },
            std::make_shared<TMovieReaderPool>(&owner), fetch);
        EXPECT_TRUE(test::WaitUntil(
            [&] {
                const std::lock_guard lock(mutex);
                return !reports.empty() && reports.back().finished;
            },
            10000));
    }
    for (const auto& report : reports)
        EXPECT_TRUE(report.appended.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, HostileNames,
                         testing::Values(HostileName{"NUL", 0,
                                                     [] {
                                                         std::vector<QString> forms = Escapes(0);
                                                         forms.push_back("\\0");
                                                         return forms;
                                                     }()},
                                         HostileName{"Escape", 0x1B, Escapes(0x1B)},
                                         HostileName{"Newline", 0x0A, {"\\n", "\\x0a"}},
                                         HostileName{"Tab", 0x09, {"\\t", "\\u0009"}},
                                         HostileName{"Delete", 0x7F, Escapes(0x7F)},
                                         HostileName{"ControlSequenceIntroducer", 0x9B, Escapes(0x9B)}),
                         [](const testing::TestParamInfo<HostileName>& info) { return std::string(info.param.name); });

// One past the cap is refused and said; a row already there is still found.
TEST(PageRows, StopAtTheCapAndSaySo)
{
    for (const qsizetype count : {kMaxPageRows, kMaxPageRows + 1}) {
        SCOPED_TRACE(count);
        TMovieRows list;
        TFoundMovies found(list);
        std::optional<QString> last;
        for (qsizetype i = 0; i < count; ++i)
            last = found.Add(kPage, QStringLiteral("m%1.swf").arg(i));
        EXPECT_EQ(list.Size(), kMaxPageRows);
        EXPECT_EQ(found.Full(), count > kMaxPageRows);
        EXPECT_EQ(last.has_value(), count == kMaxPageRows);
        EXPECT_EQ(found.Add(kPage, "M0.SWF"), QStringLiteral("http://host.test/page/m0.swf"));
    }
    // The rows a run starts with count: a reading run's list holds the page's.
    TMovieRows full;
    for (qsizetype i = 0; i < kMaxPageRows; ++i)
        full.Append(WebMovieRow(QStringLiteral("http://host.test/m%1.swf").arg(i)));
    TFoundMovies more(full);
    EXPECT_EQ(more.Add(kPage, "/named-by-a-movie.swf"), std::nullopt);
    EXPECT_TRUE(more.Full());

    // An address longer than a row holds, written or once resolved.
    TMovieRows list;
    TFoundMovies found(list);
    const QString longName = QString(kMaxRowAddress - 16, u'a') + ".swf";
    EXPECT_NE(found.Add(kPage, "http://h.test/" + longName.right(kMaxRowAddress - 14)), std::nullopt);
    EXPECT_EQ(found.Add(kPage, "http://h.test/" + longName.right(kMaxRowAddress - 13)), std::nullopt);
    EXPECT_EQ(found.Add(kPage, longName), std::nullopt) << "the page's folder makes it too long";
}

// The finder looks at each character a few times at most, whatever
// the quotes and escapes; what it finds is what it found before.
TEST(QuotedScriptStringsWork, IsInProportionToTheText)
{
    struct Row {
        const char* name;
        QString script;
        QStringList strings;
    };
    const qsizetype units = 200000;
    const std::vector<Row> rows = {
        {"lone single quotes, each escaping the next", QString("'\\").repeated(units), {}},
        {"lone double quotes, each escaping the next", QString("\"\\").repeated(units), {}},
        {"an unclosed quote before closed strings of the other kind", "'" + QString("\"a\" ").repeated(units / 4),
         QStringList(units / 4, "a")},
        {"lone quotes, then a string on the next line", QString("'\\").repeated(units) + " \n'm.swf'", {"m.swf"}},
        {"\\u{ again and again in one string",
         "\"" + QString("\\u{").repeated(units) + "\"",
         {QString("u{").repeated(units)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qsizetype examined = 0;
        EXPECT_EQ(QuotedScriptStrings(row.script, &examined), row.strings);
        EXPECT_LE(examined, 8 * row.script.size());
    }
}

}  // namespace
}  // namespace tessaro
