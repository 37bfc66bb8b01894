#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

namespace tessaro {

// The pieces of one page snapshot as the collector scripts hand them over,
// put together. The top document's tree holds, in place of each frame of
// another origin, the text {"slot":"<32 hex digits>","depth":<n>}; that
// frame reports "<slot> <depth> <tree>", whose tree may hold slots in turn.
// A report is taken only for a slot that a taken tree holds, at the depth
// given there, once; slots deeper than the snapshot's depth bound, and
// reports past the count and size bounds, are left out.
class TCollectorReports {
public:
    // All reports together, top tree included, in bytes.
    static constexpr qsizetype kMaxBytes = 64 * 1024 * 1024;
    // Frame reports kept per snapshot, waiting ones included.
    static constexpr int kMaxReports = 1000;

    void Clear();
    void SetTop(const QByteArray& tree);
    bool HaveTop() const;
    // One frame's report as the collector wrote it, after its secret.
    void AddReport(QByteArrayView report);
    // The top tree is there and every slot it holds, down to the depth
    // bound, has its report.
    bool Complete() const;
    // The top tree with each report in its slot's place; a slot without
    // one is null.
    QByteArray Assembled() const;
    // A tree taken says its collector left something out, or a report was
    // refused by the count or size bound.
    bool Cut() const { return cut_; }

private:
    void Expect(const QByteArray& tree, int depth);
    void Take(const QByteArray& slot, int depth, const QByteArray& tree);
    void Splice(const QByteArray& tree, int depth, QByteArray& out, QHash<QByteArray, bool>& used) const;

    bool haveTop_ = false;
    QByteArray top_;
    QHash<QByteArray, int> expected_;  // slot -> its depth, not yet reported
    struct TTaken {
        int depth = 0;
        QByteArray tree;
    };
    QHash<QByteArray, TTaken> taken_;        // slot -> its report
    QHash<QByteArray, QByteArray> waiting_;  // "slot depth" -> a tree before its slot is known
    qsizetype bytes_ = 0;
    int reports_ = 0;
    bool cut_ = false;
};

}  // namespace tessaro
