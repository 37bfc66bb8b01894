#include "scan/MovieReferences.h"

#include "scan/AddressRules.h"

#include <QUrl>

#include <algorithm>
#include <optional>

namespace tessaro {

namespace {

const QString kFlashType = QStringLiteral("application/x-shockwave-flash");
// Hex digits of the longest code point, \u{10FFFF}.
constexpr qsizetype kMaxCodePointDigits = 6;

int HexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// The value of count hex digits at from, or -1.
long HexNumber(QStringView text, qsizetype from, qsizetype count)
{
    if (from + count > text.size())
        return -1;
    long value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const int digit = HexValue(text[i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

void AppendCodePoint(QString& out, char32_t codePoint)
{
    out += QString::fromUcs4(&codePoint, 1);
}

bool IsLineEnd(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar(0x2028) || c == QChar(0x2029);
}

}  // namespace

namespace {

std::u16string_view Utf16(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

}  // namespace

QString EncodedSpaces(const QString& text)
{
    return QString::fromStdU16String(EncodeSpaces(Utf16(text)));
}

QString ResolvedAddress(const QString& pageAddress, const QString& reference)
{
    return QString::fromStdU16String(ResolveAddress(Utf16(pageAddress), Utf16(reference)));
}

bool IsFlashType(const QString& type)
{
    return type.section(QLatin1Char(';'), 0, 0).trimmed().compare(kFlashType, Qt::CaseInsensitive) == 0;
}

namespace {

// The character a one-letter escape stands for; nothing for the other letters.
std::optional<QChar> NamedEscape(char16_t letter)
{
    switch (letter) {
        case u'n':
            return QLatin1Char('\n');
        case u'r':
            return QLatin1Char('\r');
        case u't':
            return QLatin1Char('\t');
        case u'b':
            return QLatin1Char('\b');
        case u'f':
            return QLatin1Char('\f');
        case u'v':
            return QLatin1Char('\v');
        case u'0':
            return QChar(0);
        default:
            return std::nullopt;
    }
}

// Undoes the "\uXXXX" or "\u{X...}" whose "u" stands at i into out; the index
// of its last character, or i when it is neither (the "u" then stands for itself).
qsizetype UndoUnicodeEscape(QStringView text, qsizetype i, QString& out, qsizetype* examined)
{
    if (const long value = HexNumber(text, i + 1, 4); value >= 0) {
        out += QChar(static_cast<char16_t>(value));
        return i + 4;
    }
    // \u{...}: at most six digits, at most the last code point. The closing
    // brace is looked for only where those digits can end, so "\u{\u{..."
    // costs no more than its length.
    if (i + 1 >= text.size() || text[i + 1] != QLatin1Char('{'))
        return i;
    const QStringView digits =
        text.sliced(i + 2).first(std::min<qsizetype>(text.size() - i - 2, kMaxCodePointDigits + 1));
    if (examined != nullptr)
        *examined += digits.size();
    const qsizetype close = digits.indexOf(QLatin1Char('}'));
    if (close <= 0)
        return i;
    const long value = HexNumber(digits, 0, close);
    if (value < 0 || value > 0x10FFFF)
        return i;
    AppendCodePoint(out, static_cast<char32_t>(value));
    return i + 2 + close;
}

}  // namespace

QString UndoScriptEscapes(QStringView text, qsizetype* examined)
{
    // Nothing to undo in most strings.
    if (examined != nullptr)
        *examined += text.size();
    if (!text.contains(QLatin1Char('\\')))
        return text.toString();
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (examined != nullptr)
            ++*examined;
        const QChar c = text[i];
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text[++i];
        if (const std::optional<QChar> named = NamedEscape(next.unicode())) {
            out += *named;
            continue;
        }
        switch (next.unicode()) {
            case u'\r':
                // A line continuation adds nothing.
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                    ++i;
                break;
            case u'\n':
            case 0x2028:
            case 0x2029:
                break;
            case u'x':
                if (const long value = HexNumber(text, i + 1, 2); value >= 0) {
                    out += QChar(static_cast<char16_t>(value));
                    i += 2;
                } else {
                    out += next;
                }
                break;
            case u'u':
                if (const qsizetype last = UndoUnicodeEscape(text, i, out, examined); last != i)
                    i = last;
                else
                    out += next;
                break;
            default:
                out += next;
                break;
        }
    }
    return out;
}

QStringList QuotedScriptStrings(QStringView script, qsizetype* examined)
{
    QStringList strings;
    // Per quote kind, where the last string of that kind that never closed
    // stopped. A later quote of the kind before that point never closes
    // either: the scan from the character after it runs in step with the
    // failed one (that quote was escaped in it), so it is not scanned again
    // and a line of lone quotes costs its length, not its length squared.
    qsizetype unclosedDouble = 0;
    qsizetype unclosedSingle = 0;
    qsizetype i = 0;
    while (i < script.size()) {
        const QChar quote = script[i];
        if (examined != nullptr)
            ++*examined;
        if (quote != QLatin1Char('"') && quote != QLatin1Char('\'')) {
            ++i;
            continue;
        }
        qsizetype& unclosed = quote == QLatin1Char('"') ? unclosedDouble : unclosedSingle;
        if (i < unclosed) {
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        bool closed = false;
        while (j < script.size()) {
            if (examined != nullptr)
                ++*examined;
            const QChar c = script[j];
            if (c == QLatin1Char('\\')) {
                j += 2;
                continue;
            }
            if (c == quote) {
                closed = true;
                break;
            }
            if (IsLineEnd(c))
                break;
            ++j;
        }
        if (!closed) {
            // Go on after the lone quote: what follows may hold strings.
            unclosed = j;
            ++i;
            continue;
        }
        strings.append(UndoScriptEscapes(script.mid(i + 1, j - i - 1), examined));
        i = j + 1;
    }
    return strings;
}

bool IsMovieAddress(const QString& candidate)
{
    for (const QChar c : candidate) {
        if (c.unicode() < 0x20 || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('"') ||
            c == QLatin1Char('\\') || c == QLatin1Char(' '))
            return false;
    }
    qsizetype end = candidate.size();
    for (const QChar stop : {QLatin1Char('?'), QLatin1Char('#')}) {
        const qsizetype at = candidate.indexOf(stop);
        if (at >= 0 && at < end)
            end = at;
    }
    const QStringView path = QStringView(candidate).left(end);
    const qsizetype name = path.lastIndexOf(QLatin1Char('/')) + 1;
    return path.size() - name > 4 && path.endsWith(QLatin1String(".swf"), Qt::CaseInsensitive);
}

QStringList MoviesInFlashVars(const QString& flashVars)
{
    QStringList movies;
    for (const QString& pair : flashVars.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        QString value = pair.mid(equals + 1);
        value.replace(QLatin1Char('+'), QLatin1Char(' '));
        value = EncodedSpaces(QUrl::fromPercentEncoding(value.toUtf8()));
        if (IsMovieAddress(value))
            movies.append(value);
    }
    return movies;
}

}  // namespace tessaro
