#include "download/DownloadSequence.h"
#include "download/DownloadTarget.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tessaro {
namespace {

TEST(DownloadTargetName, Table)
{
    struct Row {
        const char* name;
        std::string address;
        std::string expected;  // after the folder; "-" for an empty result
    };
    const std::string longPath(1500, 'p');
    const std::vector<Row> rows = {
        {"plain", "http://H/a/clip.swf", "clip.swf"},
        {"case kept, query dropped", "http://H/a/Clip.SWF?x=1", "Clip.SWF"},
        {"name in the query", "http://H/get.php?f=m.swf", "get.php?f=m.swf"},
        {"first swf wins", "http://H/a.swf/b.swf", "a.swf"},
        {"escapes kept", "http://H/my%20clip.swf", "my%20clip.swf"},
        {"no swf", "http://H/page.html", "-"},
        {"secure", "https://H/a/clip.swf", "clip.swf"},
        {"secure in capitals", "HTTPS://H/A/CLIP.SWF", "CLIP.SWF"},
        {"no scheme", "H/a/clip.swf", "-"},
        {"scheme only later", "file:///a/b.swf?u=http://x", "b.swf"},
        {"no slash before the swf", "a.swf?u=http://x", "a.swf"},
        {"long name capped at 1024", "http://H/" + longPath + ".swf", longPath.substr(1500 - 1020) + ".swf"},
        {"slash just inside the window", "http://H/" + std::string(1019, 'q') + ".swf",
         std::string(1019, 'q') + ".swf"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string result = DownloadTargetName(row.address, "/save/");
        if (row.expected == "-")
            EXPECT_EQ(result, "");
        else
            EXPECT_EQ(result, "/save/" + row.expected);
    }
}

// The web list as plain data; the sequence only reads and marks rows.
class ListRows : public DownloadRows {
public:
    struct Row {
        bool checked;
        std::string address;
        std::string status;
    };
    std::vector<Row> rows;

    int RowCount() const override { return static_cast<int>(rows.size()); }
    bool Checked(int row) const override { return rows.at(static_cast<size_t>(row)).checked; }
    QString Address(int row) const override
    {
        return QString::fromStdString(rows.at(static_cast<size_t>(row)).address);
    }
    // Not the text's own parse, so a pick that parses the text again shows.
    QUrl Url(int row) const override { return QUrl(QStringLiteral("http://parsed.test/%1").arg(row)); }
    std::string Status(int row) const override { return rows.at(static_cast<size_t>(row)).status; }
    void SetStatus(int row, const std::string& status) override { rows.at(static_cast<size_t>(row)).status = status; }
};

TEST(DownloadSequence, TakesPendingRowsInOrderEachOncePerCommand)
{
    ListRows list;
    list.rows = {
        {true, "http://h/top.html", "New"},     // no target name: marked, passed over
        {true, "http://h/saved.swf", "Saved"},  // skipped
        {false, "http://h/unchecked.swf", "New"}, {true, "http://h/preview.swf", "Preview"},
        {true, "http://h/failing.swf", "Failed"},  // a new command tries it again
    };
    DownloadSequence sequence;
    sequence.Begin();

    PickedDownload first = sequence.PickNext(list, "/save/");
    EXPECT_EQ(first.Row, 3);
    EXPECT_EQ(first.Address, QStringLiteral("http://h/preview.swf"));
    EXPECT_EQ(first.Url, QUrl(QStringLiteral("http://parsed.test/3")));
    EXPECT_EQ(first.Target, "/save/preview.swf");
    EXPECT_EQ(list.rows[0].status, "Failed");
    EXPECT_TRUE(list.rows[0].checked);

    // Checked meanwhile: taken when its turn comes.
    list.rows[2].checked = true;
    DownloadSequence::MarkFinished(list, first, true);
    EXPECT_EQ(list.rows[3].status, "Saved");

    PickedDownload second = sequence.PickNext(list, "/save/");
    EXPECT_EQ(second.Row, 2);
    DownloadSequence::MarkFinished(list, second, false);
    EXPECT_EQ(list.rows[2].status, "Failed");

    PickedDownload third = sequence.PickNext(list, "/save/");
    EXPECT_EQ(third.Row, 4);
    DownloadSequence::MarkFinished(list, third, false);

    // Every row had its try: the failed ones stay checked but the command ends.
    EXPECT_EQ(sequence.PickNext(list, "/save/").Row, -1);

    sequence.Begin();
    EXPECT_EQ(sequence.PickNext(list, "/save/").Row, 2);
}

TEST(DownloadSequence, MarksOnlyARowThatStillHoldsTheDownloadedAddress)
{
    ListRows list;
    list.rows = {{true, "http://h/a.swf", "New"}, {true, "http://h/b.swf", "New"}};
    const PickedDownload second{1, QStringLiteral("http://h/b.swf"), QUrl(QStringLiteral("http://h/b.swf")),
                                "/save/b.swf"};

    // Rebuilt by a new scan: row 1 now holds another movie.
    ListRows rebuilt;
    rebuilt.rows = {{true, "http://h/x.swf", "New"}, {true, "http://h/y.swf", "New"}};
    DownloadSequence::MarkFinished(rebuilt, second, true);
    EXPECT_EQ(rebuilt.rows[1].status, "New");

    // Cleared, or shorter than the row index.
    ListRows cleared;
    DownloadSequence::MarkFinished(cleared, second, true);
    ListRows shorter;
    shorter.rows = {{true, "http://h/b.swf", "New"}};
    DownloadSequence::MarkFinished(shorter, second, true);
    EXPECT_EQ(shorter.rows[0].status, "New");

    DownloadSequence::MarkFinished(list, second, true);
    EXPECT_EQ(list.rows[1].status, "Saved");
    EXPECT_EQ(list.rows[0].status, "New");
}

}  // namespace
}  // namespace tessaro
