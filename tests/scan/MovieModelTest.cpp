// The movie model as the lists show it: a page scan's snapshot to rows, the
// rows that come later, the list command, the rows taken off, the user's
// check marks and what the transfer and the reading write on a row.

#include "scan/MovieModel.h"

#include "scan/DocumentSnapshot.h"
#include "scan/FoundMovies.h"
#include "scan/ScanDocument.h"

#include <QStringList>

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace tessaro {
namespace {

using TKind = TMovieModel::TKind;

// A scan of a snapshot as the window's page scan runs it, from given rows.
TMovieRows Scanned(const QByteArray& json, TMovieRows given = {})
{
    const THtmlDocument document = DocumentFromSnapshot(json);
    TFoundMovies found(given);
    ScanDocument(&document, found);
    ScanDocumentThorough(&document, found);
    return given;
}

TMovieRow Web(const QString& path, bool guess = false)
{
    TMovieRow row = WebMovieRow("http://site.test/" + path);
    row.guess = guess;
    return row;
}

TMovieRow Cached(const QString& number, const QString& name, const QString& path, const QString& details)
{
    TMovieRow row;
    row.foundIn = TFoundIn::Cache;
    row.cacheNumber = number;
    row.fileName = name;
    row.size = QStringLiteral("66");
    row.localPath = path;
    row.details = details;
    return row;
}

// The captions, then each row as a view shows it: its check box, its
// cells, and the tooltips it has. Past a few rows, only their count and the
// last one.
QStringList Shown(const TMovieModel& model)
{
    QStringList captions;
    for (int column = 0; column < model.columnCount(); ++column)
        captions.append(model.headerData(column, Qt::Horizontal).toString());
    QStringList shown{captions.join(" | ")};
    const int first = model.rowCount() > 4 ? model.rowCount() - 1 : 0;
    if (first > 0)
        shown.append(QString::number(model.rowCount()) + " rows, the last:");
    for (int row = first; row < model.rowCount(); ++row) {
        const bool checked = model.index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
        QStringList cells;
        QString tips;
        for (int column = 0; column < model.columnCount(); ++column) {
            cells.append(model.index(row, column).data().toString());
            if (const QVariant tip = model.index(row, column).data(Qt::ToolTipRole); tip.isValid())
                tips += QStringLiteral(" {%1: %2}").arg(captions[column], tip.toString());
        }
        shown.append((checked ? "[x] " : "[ ] ") + cells.join(" | ") + tips);
    }
    return shown;
}

QString Guesses(const TMovieModel& model)
{
    QStringList guesses;
    for (const TMovieRow& row : model.Found())
        if (row.guess)
            guesses.append(row.address);
    return "guesses: " + guesses.join(", ");
}

// What the views hear, in words.
void Listen(TMovieModel& model, QStringList& heard)
{
    QObject::connect(&model, &TMovieModel::CheckChanged, [&heard](int row, bool checked) {
        heard.append(QStringLiteral("row %1 %2").arg(row).arg(checked ? "checked" : "unchecked"));
    });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [&heard](const QModelIndex&, int first, int last) {
        heard.append(QStringLiteral("rows %1-%2 removed").arg(first).arg(last));
    });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&heard](const QModelIndex&, int first, int last) {
        heard.append(QStringLiteral("rows %1-%2 inserted").arg(first).arg(last));
    });
}

struct ModelCase {
    const char* name;
    TKind kind;
    // Works on the model; says what it saw on the way.
    std::function<void(TMovieModel&, QStringList& notes)> act;
    QStringList expected;  // Shown() at the end, then the notes
};

void PrintTo(const ModelCase& row, std::ostream* os)
{
    *os << row.name;
}

class MovieModelRows : public testing::TestWithParam<ModelCase> {};

TEST_P(MovieModelRows, ShowWhatWasFoundAndWrittenOnThem)
{
    TMovieModel model(GetParam().kind);
    QStringList notes;
    GetParam().act(model, notes);
    EXPECT_EQ((Shown(model) + notes).join('\n').toStdString(), GetParam().expected.join('\n').toStdString());
}

const QByteArray kPage = R"({"url": "http://site.test/page.html",
    "embeds": ["Intro.swf", "intro.SWF", "b/clip.swf"],
    "scripts": ["load('later.swf'); load('b/CLIP.swf');"]})";
const QByteArray kGrown = R"({"url": "http://site.test/page.html",
    "embeds": ["Intro.swf", "b/clip.swf", "later.swf", "grown.swf"], "scripts": []})";

INSTANTIATE_TEST_SUITE_P(
    Table, MovieModelRows,
    testing::Values(
        ModelCase{"AScanListsEachMovieOnceAsFirstSpelled",
                  TKind::Web,
                  [](TMovieModel& model, QStringList& notes) {
                      model.Replace(Scanned(kPage));
                      notes << Guesses(model) << model.Row(1).Url().path();
                  },
                  {"Index | Flash | Status", "[ ] 1 | http://site.test/Intro.swf | New",
                   "[ ] 2 | http://site.test/b/clip.swf | New", "[ ] 3 | http://site.test/later.swf | New",
                   "guesses: http://site.test/later.swf", "/b/clip.swf"}},
        ModelCase{"AGrowthScanAppendsAndWhatMarkupNowPlaysIsNoGuess",
                  TKind::Web,
                  [](TMovieModel& model, QStringList& notes) {
                      model.Replace(Scanned(kPage));
                      model.SetStatus(0, "Saved");
                      model.SetChecked(1, true);
                      Listen(model, notes);
                      const TMovieRows grown = Scanned(kGrown, model.Found());
                      model.TakeGuessesFrom(grown, model.Found().Size());
                      const auto appended = model.Append(grown.List().mid(model.Found().Size()));
                      notes << QStringLiteral("appended %1").arg(appended.count) << Guesses(model);
                  },
                  {"Index | Flash | Status", "[ ] 1 | http://site.test/Intro.swf | Saved",
                   "[x] 2 | http://site.test/b/clip.swf | New", "[ ] 3 | http://site.test/later.swf | New",
                   "[ ] 4 | http://site.test/grown.swf | New", "rows 3-3 inserted", "appended 1", "guesses: "}},
        ModelCase{
            "RowsClearedOffTheListStayFoundAndComeNotAgain",
            TKind::Web,
            [](TMovieModel& model, QStringList& notes) {
                model.Replace(TMovieRows::OfAddresses({"http://site.test/a.swf", "http://site.test/b.swf"}));
                Listen(model, notes);
                model.ClearList();
                model.ClearList();  // an empty list: nothing happens
                const auto appended = model.Append({Web("A.SWF"), Web("c.swf"), Web("C.swf")});
                notes << QStringLiteral("appended %1 of 3, found %2").arg(appended.count).arg(model.Found().Size())
                      << QStringLiteral("listed at %1 and %2")
                             .arg(model.RowOf("http://SITE.test/C.SWF"))
                             .arg(model.RowOf("http://site.test/a.swf"));
            },
            {"Index | Flash | Status", "[ ] 1 | http://site.test/c.swf | New", "rows 0-1 removed", "rows 0-0 inserted",
             "appended 1 of 3, found 3", "listed at 0 and -1"}},
        ModelCase{"RowsStopAtThePageCapAndSaySo",
                  TKind::Web,
                  [](TMovieModel& model, QStringList& notes) {
                      TMovieRows rows;
                      for (qsizetype i = 0; i + 1 < kMaxPageRows; ++i)
                          rows.Append(Web(QStringLiteral("m%1.swf").arg(i)));
                      model.Replace(rows);
                      const auto appended = model.Append({Web("M0.swf"), Web("last.swf"), Web("past.swf")});
                      notes << QStringLiteral("appended %1%2").arg(appended.count).arg(appended.full ? ", full" : "");
                      notes << QStringLiteral("nothing more: %1").arg(model.Append({Web("more.swf")}).full);
                  },
                  {"Index | Flash | Status", "10000 rows, the last:", "[ ] 10000 | http://site.test/last.swf | New",
                   "appended 1, full", "nothing more: 1"}},
        ModelCase{
            "RowsTakenOffGoFromListAndPageAndTheRestAreNumberedAgain",
            TKind::Web,
            [](TMovieModel& model, QStringList& notes) {
                model.Replace(TMovieRows::OfAddresses({"http://site.test/kept-off.swf"}));
                model.Append({Web("gone-off.swf", true)});
                model.ClearList();
                model.Append(
                    {Web("a.swf"), Web("g1.swf", true), Web("g2.swf", true), Web("b.swf"), Web("g3.swf", true)});
                model.SetChecked(3, true);
                Listen(model, notes);
                QObject::connect(&model, &QAbstractItemModel::dataChanged,
                                 [&notes](const QModelIndex& from, const QModelIndex& to) {
                                     notes << QStringLiteral("rows %1-%2 numbered again").arg(from.row()).arg(to.row());
                                 });
                const qsizetype taken = model.Remove([](const TMovieRow& row) { return row.guess; });
                notes << QStringLiteral("taken off %1, found %2").arg(taken).arg(model.Found().Size());
            },
            {"Index | Flash | Status", "[ ] 1 | http://site.test/a.swf | New", "[x] 2 | http://site.test/b.swf | New",
             "rows 4-4 removed", "rows 1-2 removed", "rows 1-1 numbered again", "taken off 4, found 3"}},
        ModelCase{
            "TheUserChecksTheCaptionColumnOnly",
            TKind::Web,
            [](TMovieModel& model, QStringList& notes) {
                model.Replace(TMovieRows::OfAddresses({"http://site.test/a.swf", "http://site.test/b.swf"}));
                Listen(model, notes);
                notes << QStringLiteral("flags %1 %2")
                             .arg(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsUserCheckable))
                             .arg(model.flags(model.index(0, 1)).testFlag(Qt::ItemIsUserCheckable));
                const bool taken = model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole);
                const bool cell = model.setData(model.index(1, 1), Qt::Checked, Qt::CheckStateRole);
                const bool text = model.setData(model.index(0, 0), "x", Qt::EditRole);
                notes
                    << QStringLiteral("taken %1 %2 %3, any %4").arg(taken).arg(cell).arg(text).arg(model.AnyChecked());
                model.CheckAll(true);
                model.CheckAll(false);
                notes << QStringLiteral("any %1").arg(model.AnyChecked());
            },
            {"Index | Flash | Status", "[ ] 1 | http://site.test/a.swf | New", "[ ] 2 | http://site.test/b.swf | New",
             "flags 1 0", "row 1 checked", "taken 1 0 0, any 1", "row 0 checked", "row 0 unchecked", "row 1 unchecked",
             "any 0"}},
        ModelCase{
            "TransfersAndReadingsWriteStatusDetailsAndKeptBytes",
            TKind::Web,
            [](TMovieModel& model, QStringList& notes) {
                model.Replace(TMovieRows::OfAddresses({"http://site.test/a.swf", "http://site.test/b.swf"}));
                model.SetStatus(0, "Failed");
                model.SetStatusReason(0, "HTTP 404");
                model.SetRead(1, "Flash version 8, Stage 550 x 400", std::make_shared<const std::string>("FWS"));
                model.SetStatus(5, "Saved");  // no such row: nothing happens
                notes << QStringLiteral("kept %1").arg(model.Row(1).kept ? "yes" : "no");
                model.ForgetKept();
                notes << QStringLiteral("kept %1").arg(model.Row(1).kept ? "yes" : "no");
            },
            {"Index | Flash | Status", "[ ] 1 | http://site.test/a.swf | Failed {Status: HTTP 404}",
             "[ ] 2 | http://site.test/b.swf | New {Flash: Flash version 8, Stage 550 x 400}", "kept yes", "kept no"}},
        ModelCase{
            "CacheRowsKeepEveryCopyAndClearingForgetsThem",
            TKind::Cache,
            [](TMovieModel& model, QStringList& notes) {
                model.Append(
                    {Cached("1", "m[1].swf", "/c/a/m[1].swf", ""), Cached("2", "m[1].swf", "/c/b/m[1].swf", "")});
                notes << QStringLiteral("listed %1").arg(model.RowCount());
                model.ClearList();
                model.Append({Cached("1", "n[1].swf", "/c/n[1].swf", "Flash version 6")});
                notes << QStringLiteral("found %1, at %2").arg(model.Found().Size()).arg(model.Row(0).Url().toString());
            },
            {"Index | Flash | Size | Local Path", "[ ] 1 | n[1].swf | 66 | /c/n[1].swf {Flash: Flash version 6}",
             "listed 2", "found 1, at file:///c/n[1].swf"}}),
    [](const testing::TestParamInfo<ModelCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaro
