// Putting a snapshot together from the collector's reports: which reports
// are taken, where they go, and when the snapshot is complete.

#include "platform/browser/CollectorReports.h"

#include "scan/DocumentSnapshot.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace tessaro {
namespace {

const std::string kA(32, 'a');
const std::string kB(32, 'b');
const std::string kC(32, 'c');

std::string Slot(const std::string& slot, int depth)
{
    return R"({"slot":")" + slot + R"(","depth":)" + std::to_string(depth) + "}";
}

std::string Tree(const std::string& url, const std::string& frames = "")
{
    return R"({"url":")" + url + R"(","frames":[)" + frames + "]}";
}

struct ReportRow {
    const char* name;
    std::string top;
    std::vector<std::string> reports;  // "<slot> <depth> <tree>", in arrival order
    bool complete;
    std::string assembled;
};

void PrintTo(const ReportRow& row, std::ostream* out)
{
    *out << row.name;
}

class CollectorReports : public testing::TestWithParam<ReportRow> {};

TEST_P(CollectorReports, TakesOnlyWhatItsSlotsAskFor)
{
    const ReportRow& row = GetParam();
    TCollectorReports reports;
    EXPECT_FALSE(reports.Complete());
    reports.SetTop(QByteArray::fromStdString(row.top));
    for (const std::string& report : row.reports)
        reports.AddReport(QByteArray::fromStdString(report));
    EXPECT_EQ(reports.Complete(), row.complete);
    EXPECT_EQ(reports.Assembled().toStdString(), row.assembled);
}

const std::string kDeepest = std::to_string(kMaxSnapshotFrameDepth);

INSTANTIATE_TEST_SUITE_P(
    Rows, CollectorReports,
    testing::Values(
        ReportRow{"NoSlots", Tree("t"), {}, true, Tree("t")},
        ReportRow{"OneSlot", Tree("t", Slot(kA, 1)), {kA + " 1 " + Tree("a")}, true, Tree("t", Tree("a"))},
        ReportRow{"Missing",
                  Tree("t", Slot(kA, 1) + "," + Slot(kB, 1)),
                  {kB + " 1 " + Tree("b")},
                  false,
                  Tree("t", "null," + Tree("b"))},
        // A frame that has a frame of its own answer for it states the
        // wrong depth; the real answer is still taken.
        ReportRow{"WrongDepthRefused",
                  Tree("t", Slot(kA, 1)),
                  {kA + " 2 " + Tree("http://elsewhere/"), kA + " 1 " + Tree("a")},
                  true,
                  Tree("t", Tree("a"))},
        ReportRow{"OnlyTheFirstAnswerCounts",
                  Tree("t", Slot(kA, 1)),
                  {kA + " 1 " + Tree("a"), kA + " 1 " + Tree("http://elsewhere/")},
                  true,
                  Tree("t", Tree("a"))},
        ReportRow{"UnaskedSlotIgnored", Tree("t"), {kA + " 1 " + Tree("a")}, true, Tree("t")},
        // A nested frame may answer before the frame whose tree holds its slot.
        ReportRow{"NestedBeforeItsHolder",
                  Tree("t", Slot(kA, 1)),
                  {kB + " 2 " + Tree("b"), kA + " 1 " + Tree("a", Slot(kB, 2))},
                  true,
                  Tree("t", Tree("a", Tree("b")))},
        // A slot must lie below the document holding it, and within the bound.
        ReportRow{"SlotNotBelowItsHolder",
                  Tree("t", Slot(kA, 1)),
                  {kA + " 1 " + Tree("a", Slot(kB, 1)), kB + " 1 " + Tree("b")},
                  true,
                  Tree("t", Tree("a", "null"))},
        ReportRow{"SlotPastTheDepthBound",
                  Tree("t", Slot(kA, kMaxSnapshotFrameDepth + 1)),
                  {kA + " " + std::to_string(kMaxSnapshotFrameDepth + 1) + " " + Tree("a")},
                  true,
                  Tree("t", "null")},
        ReportRow{"SlotAtTheDepthBound",
                  Tree("t", Slot(kA, kMaxSnapshotFrameDepth)),
                  {kA + " " + kDeepest + " " + Tree("a")},
                  true,
                  Tree("t", Tree("a"))},
        ReportRow{"MalformedReportsIgnored",
                  Tree("t", Slot(kA, 1)),
                  {kA, kA + " 1", kA + " x " + Tree("a"), kA.substr(1) + " 1 " + Tree("a"),
                   "ZZ" + kA.substr(2) + " 1 " + Tree("a"), kA + " 0 " + Tree("a"), kA + " -1 " + Tree("a")},
                  false,
                  Tree("t", "null")},
        // Text that only starts like a slot stays as it is.
        ReportRow{
            "NotQuiteASlot", Tree("t", R"({"slot":"x","depth":1})"), {}, true, Tree("t", R"({"slot":"x","depth":1})")},
        // A slot used twice in the trees is filled once.
        ReportRow{"SlotRepeated",
                  Tree("t", Slot(kA, 1) + "," + Slot(kA, 1)),
                  {kA + " 1 " + Tree("a")},
                  true,
                  Tree("t", Tree("a") + ",null")},
        ReportRow{"ChainToTheBound",
                  Tree("t", Slot(kA, 1)),
                  {kA + " 1 " + Tree("a", Slot(kB, 2)), kB + " 2 " + Tree("b", Slot(kC, 3)), kC + " 3 " + Tree("c")},
                  true,
                  Tree("t", Tree("a", Tree("b", Tree("c"))))}),
    [](const testing::TestParamInfo<ReportRow>& info) { return std::string(info.param.name); });

TEST(CollectorReportsBounds, ReportsPastTheCountBoundAreLeftOut)
{
    TCollectorReports reports;
    std::string frames;
    for (int i = 0; i <= TCollectorReports::kMaxReports; ++i)
        frames += (i ? "," : "") + Slot(QByteArray::number(i).rightJustified(32, '0').toStdString(), 1);
    reports.SetTop(QByteArray::fromStdString(Tree("t", frames)));
    for (int i = 0; i <= TCollectorReports::kMaxReports; ++i)
        reports.AddReport(QByteArray::number(i).rightJustified(32, '0') + " 1 " + QByteArray::fromStdString(Tree("f")));
    EXPECT_FALSE(reports.Complete());
    const QByteArray assembled = reports.Assembled();
    EXPECT_EQ(assembled.count(QByteArray::fromStdString(Tree("f"))), TCollectorReports::kMaxReports);
    EXPECT_TRUE(assembled.endsWith(",null]}"));
    EXPECT_TRUE(reports.Cut());
}

// A collector marks a tree it left something out of; a page's text cannot,
// as its quotes are escaped.
TEST(CollectorReportsBounds, ACutTreeMakesACutSnapshot)
{
    const std::string cutTree = R"({"url":"a","frames":[],"cut":true})";
    struct Row {
        const char* name;
        std::string top;
        std::string report;
        bool cut;
    };
    for (const Row& row : std::vector<Row>{
             {"whole", Tree("t", Slot(kA, 1)), kA + " 1 " + Tree("a"), false},
             {"top cut", R"({"url":"t","frames":[],"cut":true})", "", true},
             {"a frame cut", Tree("t", Slot(kA, 1)), kA + " 1 " + cutTree, true},
             {"a page's text", Tree(R"(x\"cut\":true)", Slot(kA, 1)), kA + " 1 " + Tree(R"(\"cut\":true)"), false},
         }) {
        SCOPED_TRACE(row.name);
        TCollectorReports reports;
        reports.SetTop(QByteArray::fromStdString(row.top));
        if (!row.report.empty())
            reports.AddReport(QByteArray::fromStdString(row.report));
        EXPECT_TRUE(reports.Complete());
        EXPECT_EQ(reports.Cut(), row.cut);
    }
}

}  // namespace
}  // namespace tessaro
