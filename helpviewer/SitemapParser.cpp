#include "helpviewer/SitemapParser.h"

#include <QHash>
#include <QRegularExpression>

namespace tessaro {

namespace {

QHash<QString, QString> Attributes(const QString& text)
{
    static const QRegularExpression attribute(
        QStringLiteral(R"re(([A-Za-z_:][-A-Za-z0-9_:.]*)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'>]+)))re"));
    QHash<QString, QString> result;
    for (const QRegularExpressionMatch& m : attribute.globalMatch(text)) {
        QString value = m.captured(2);
        if (m.capturedStart(3) >= 0)
            value = m.captured(3);
        else if (m.capturedStart(4) >= 0)
            value = m.captured(4);
        result.insert(m.captured(1).toLower(), value);
    }
    return result;
}

QString DecodeEntities(QString text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    static const QRegularExpression numeric(QStringLiteral("&#(x?)([0-9A-Fa-f]+);"));
    QString out;
    qsizetype last = 0;
    for (const QRegularExpressionMatch& m : numeric.globalMatch(text)) {
        out += QStringView(text).mid(last, m.capturedStart() - last);
        bool ok = false;
        const uint code = m.captured(2).toUInt(&ok, m.captured(1).isEmpty() ? 10 : 16);
        if (ok && code > 0 && code <= 0x10FFFF)
            out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    out.replace(QLatin1String("&lt;"), QLatin1String("<"));
    out.replace(QLatin1String("&gt;"), QLatin1String(">"));
    out.replace(QLatin1String("&quot;"), QLatin1String("\""));
    out.replace(QLatin1String("&#39;"), QLatin1String("'"));
    out.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return out;
}

}  // namespace

std::vector<ContentsEntry> ParseSitemap(const QString& text)
{
    static const QRegularExpression tag(QStringLiteral(R"re(<\s*(/?)\s*([A-Za-z]+)([^>]*)>)re"));

    std::vector<ContentsEntry> root;
    // The lists being filled, outermost first. A nested list belongs to the
    // entry written just before it; while it is filled its parent list does
    // not change, so the pointers stay valid.
    std::vector<std::vector<ContentsEntry>*> levels{&root};
    int listDepth = 0;
    bool inEntry = false;
    ContentsEntry entry;

    for (const QRegularExpressionMatch& m : tag.globalMatch(text)) {
        const bool closing = !m.captured(1).isEmpty();
        const QString name = m.captured(2).toLower();
        if (name == QLatin1String("ul")) {
            if (!closing) {
                ++listDepth;
                // The outermost list is the root itself; a list before any
                // entry has nothing to hang under and fills its parent.
                std::vector<ContentsEntry>* current = levels.back();
                if (listDepth > 1 && !current->empty())
                    levels.push_back(&current->back().children);
                else
                    levels.push_back(current);
            } else if (listDepth > 0) {
                --listDepth;
                levels.pop_back();
            }
        } else if (name == QLatin1String("object")) {
            if (!closing) {
                const QString type = Attributes(m.captured(3)).value(QStringLiteral("type"));
                inEntry = type.compare(QLatin1String("text/sitemap"), Qt::CaseInsensitive) == 0;
                entry = ContentsEntry{};
            } else if (inEntry) {
                inEntry = false;
                if (!entry.name.isEmpty() || !entry.local.isEmpty())
                    levels.back()->push_back(std::move(entry));
                entry = ContentsEntry{};
            }
        } else if (name == QLatin1String("param") && inEntry && !closing) {
            const QHash<QString, QString> attributes = Attributes(m.captured(3));
            const QString param = attributes.value(QStringLiteral("name")).toLower();
            const QString value = DecodeEntities(attributes.value(QStringLiteral("value")));
            // An entry may carry several names (merged files); the first one is shown.
            if (param == QLatin1String("name") && entry.name.isEmpty())
                entry.name = value;
            else if (param == QLatin1String("local") && entry.local.isEmpty())
                entry.local = value;
        }
    }
    return root;
}

}  // namespace tessaro
