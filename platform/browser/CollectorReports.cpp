#include "platform/browser/CollectorReports.h"

#include "platform/core/SnapshotBounds.h"

#include <functional>
#include <optional>

namespace tessaro {

namespace {

constexpr QByteArrayView kSlotStart = "{\"slot\":\"";
constexpr QByteArrayView kDepthKey = "\",\"depth\":";
constexpr qsizetype kSlotDigits = 32;
// What a collector adds to a document it left something out of. Page texts
// are JSON strings, where a quote is escaped, so only a collector writes it.
constexpr QByteArrayView kCutMark = "\"cut\":true";

// Up to length bytes of text from at; empty past its end.
QByteArrayView Part(QByteArrayView text, qsizetype at, qsizetype length = -1)
{
    if (at >= text.size())
        return {};
    const qsizetype left = text.size() - at;
    return text.sliced(at, length < 0 || length > left ? left : length);
}

bool IsSlot(QByteArrayView text)
{
    if (text.size() != kSlotDigits)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

std::optional<int> Depth(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 3)
        return std::nullopt;
    int depth = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        depth = depth * 10 + (c - '0');
    }
    return depth;
}

// One slot's place in a tree: where its text starts and ends.
struct TSlotPlace {
    qsizetype begin = 0;
    qsizetype end = 0;
    QByteArray slot;
    int depth = 0;
};

// Each slot text of a tree, in order. Page texts in the tree are JSON
// strings, where a quote is escaped, so the bare key only stands where a
// collector left a slot; a text that starts like one but is not is passed.
void ForEachSlot(const QByteArray& tree, const std::function<void(const TSlotPlace&)>& visit)
{
    for (qsizetype at = tree.indexOf(kSlotStart); at >= 0; at = tree.indexOf(kSlotStart, at + 1)) {
        const qsizetype slotAt = at + kSlotStart.size();
        const QByteArrayView slot = Part(tree, slotAt, kSlotDigits);
        if (!IsSlot(slot) || !Part(tree, slotAt + kSlotDigits).startsWith(kDepthKey))
            continue;
        const qsizetype depthAt = slotAt + kSlotDigits + kDepthKey.size();
        const qsizetype close = tree.indexOf('}', depthAt);
        if (close < 0)
            continue;
        const std::optional<int> depth = Depth(Part(tree, depthAt, close - depthAt));
        if (!depth)
            continue;
        visit({at, close + 1, slot.toByteArray(), *depth});
    }
}

QByteArray WaitingKey(QByteArrayView slot, int depth)
{
    return slot.toByteArray() + ' ' + QByteArray::number(depth);
}

}  // namespace

void TCollectorReports::Clear()
{
    *this = TCollectorReports();
}

void TCollectorReports::SetTop(const QByteArray& tree)
{
    if (haveTop_ || tree.size() > kMaxBytes - bytes_)
        return;
    haveTop_ = true;
    top_ = tree;
    cut_ = cut_ || tree.contains(kCutMark);
    bytes_ += tree.size();
    Expect(top_, 0);
}

bool TCollectorReports::HaveTop() const
{
    return haveTop_;
}

void TCollectorReports::AddReport(QByteArrayView report)
{
    if (reports_ >= kMaxReports || report.size() > kMaxBytes - bytes_) {
        cut_ = true;
        return;
    }
    const qsizetype depthEnd = report.indexOf(' ', kSlotDigits + 1);
    if (report.size() <= kSlotDigits || report.at(kSlotDigits) != ' ' || depthEnd < 0)
        return;
    const QByteArrayView slot = report.first(kSlotDigits);
    const std::optional<int> depth = Depth(Part(report, kSlotDigits + 1, depthEnd - kSlotDigits - 1));
    if (!IsSlot(slot) || !depth || *depth < 1 || *depth > kMaxSnapshotFrameDepth)
        return;
    const QByteArray tree = Part(report, depthEnd + 1).toByteArray();
    ++reports_;
    bytes_ += tree.size();
    const QByteArray name = slot.toByteArray();
    if (const auto expected = expected_.constFind(name); expected != expected_.constEnd() && *expected == *depth) {
        expected_.erase(expected);
        Take(name, *depth, tree);
    } else if (!taken_.contains(name)) {
        // Its slot may be in a tree that has not come yet.
        waiting_.insert(WaitingKey(slot, *depth), tree);
    }
}

void TCollectorReports::Take(const QByteArray& slot, int depth, const QByteArray& tree)
{
    cut_ = cut_ || tree.contains(kCutMark);
    taken_.insert(slot, {depth, tree});
    Expect(tree, depth);
}

void TCollectorReports::Expect(const QByteArray& tree, int depth)
{
    ForEachSlot(tree, [&](const TSlotPlace& place) {
        // A frame lies below the document that holds its slot.
        if (place.depth <= depth || place.depth > kMaxSnapshotFrameDepth || taken_.contains(place.slot) ||
            expected_.contains(place.slot))
            return;
        const QByteArray key = WaitingKey(place.slot, place.depth);
        if (waiting_.contains(key)) {
            Take(place.slot, place.depth, waiting_.take(key));
        } else {
            expected_.insert(place.slot, place.depth);
        }
    });
}

bool TCollectorReports::Complete() const
{
    return haveTop_ && expected_.isEmpty();
}

QByteArray TCollectorReports::Assembled() const
{
    // Most pages have no frame of another origin: no copy then.
    if (!top_.contains(kSlotStart))
        return top_;
    QByteArray out;
    out.reserve(bytes_);
    QHash<QByteArray, bool> used;
    Splice(top_, 0, out, used);
    return out;
}

void TCollectorReports::Splice(const QByteArray& tree, int depth, QByteArray& out, QHash<QByteArray, bool>& used) const
{
    qsizetype copied = 0;
    ForEachSlot(tree, [&](const TSlotPlace& place) {
        if (place.begin < copied)
            return;
        out.append(QByteArrayView(tree).sliced(copied, place.begin - copied));
        copied = place.end;
        const auto report = taken_.constFind(place.slot);
        // Depth grows with every splice, so this ends within the bound.
        if (report == taken_.constEnd() || report->depth != place.depth || place.depth <= depth ||
            used.contains(place.slot)) {
            out.append("null");
            return;
        }
        used.insert(place.slot, true);
        Splice(report->tree, place.depth, out, used);
    });
    out.append(QByteArrayView(tree).sliced(copied));
}

}  // namespace tessaro
