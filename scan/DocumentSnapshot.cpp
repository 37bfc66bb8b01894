#include "scan/DocumentSnapshot.h"

#include "scan/MovieReferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <stdexcept>

namespace tessaro {

namespace {

const QString kFlashClassId = QStringLiteral("clsid:d27cdb6e-ae6d-11cf-96b8-444553540000");
bool IsFlashClassId(const QString& classid)
{
    return classid.trimmed().compare(kFlashClassId, Qt::CaseInsensitive) == 0;
}

QString ParamValue(const TObjectAttributes& attributes, QLatin1String name)
{
    for (qsizetype i = 0; i < attributes.paramNames.size() && i < attributes.paramValues.size(); ++i) {
        if (attributes.paramNames[i].trimmed().compare(name, Qt::CaseInsensitive) == 0 &&
            !attributes.paramValues[i].isEmpty())
            return attributes.paramValues[i];
    }
    return {};
}

[[noreturn]] void Malformed(const char* what)
{
    throw std::runtime_error(std::string("The page's document snapshot is malformed: ") + what);
}

QString Text(const QJsonValue& value)
{
    if (value.isNull() || value.isUndefined())
        return {};
    if (!value.isString())
        Malformed("a text is not a string");
    return value.toString();
}

// An attribute value, or an address, past the collector's bound is left out
// whole here too: cut short, it would name another address.
QString Attribute(const QJsonValue& value)
{
    QString text = Text(value);
    return text.size() > kMaxSnapshotAttributeText ? QString() : text;
}

// A collection as the snapshot holds it, of which only the first
// kMaxSnapshotElements count.
QJsonArray List(const QJsonObject& object, const char* name)
{
    const QJsonValue value = object.value(QLatin1String(name));
    if (value.isUndefined() || value.isNull())
        return {};
    if (!value.isArray())
        Malformed("a collection is not a list");
    QJsonArray list = value.toArray();
    if (list.size() <= kMaxSnapshotElements)
        return list;
    QJsonArray kept;
    for (qsizetype i = 0; i < kMaxSnapshotElements; ++i)
        kept.append(list.at(i));
    return kept;
}

THtmlObjectElement ObjectFromJson(const QJsonValue& item)
{
    const QJsonObject o = item.toObject();
    TObjectAttributes attributes;
    attributes.classid = Attribute(o.value(QLatin1String("classid")));
    attributes.type = Attribute(o.value(QLatin1String("type")));
    attributes.codebase = Attribute(o.value(QLatin1String("codebase")));
    attributes.data = Attribute(o.value(QLatin1String("data")));
    attributes.flashvars = Attribute(o.value(QLatin1String("flashvars")));
    attributes.base = Attribute(o.value(QLatin1String("base")));
    for (const QJsonValue& param : List(o, "params")) {
        const QJsonArray pair = param.toArray();
        attributes.paramNames.append(Attribute(pair.at(0)));
        attributes.paramValues.append(Attribute(pair.at(1)));
    }
    return ObjectElementFromAttributes(attributes);
}

// Embeds are listed by src; their other attributes, when given, in a list
// of the same order.
std::vector<THtmlEmbedElement> EmbedsFromJson(const QJsonObject& object)
{
    std::vector<THtmlEmbedElement> embeds;
    const QJsonArray attributes = List(object, "embedAttributes");
    for (const QJsonValue& src : List(object, "embeds")) {
        const QJsonObject more = attributes.at(static_cast<qsizetype>(embeds.size())).toObject();
        embeds.push_back({Attribute(src), Attribute(more.value(QLatin1String("type"))),
                          Attribute(more.value(QLatin1String("flashvars"))),
                          Attribute(more.value(QLatin1String("base")))});
    }
    return embeds;
}

// Builds one document and, below the depth bound, its frames; scriptText is
// what is left of the snapshot's script text.
THtmlDocument DocumentFromJson(const QJsonObject& object, int depth, qsizetype& scriptText)
{
    THtmlDocument document;
    document.URL = Text(object.value(QLatin1String("url")));
    document.baseURL = Text(object.value(QLatin1String("base")));
    // A document whose address is past the bound names nothing a row can
    // hold; its frames are documents of their own.
    const bool readable =
        document.URL.size() <= kMaxSnapshotAttributeText && document.baseURL.size() <= kMaxSnapshotAttributeText;
    if (!readable) {
        document.URL.clear();
        document.baseURL.clear();
    }
    for (const QJsonValue& item : readable ? List(object, "objects") : QJsonArray())
        document.applets.push_back(ObjectFromJson(item));
    if (readable)
        document.embeds = EmbedsFromJson(object);
    // Scripts are listed by text; the texts of their files, when given, in a
    // list of the same order.
    const QJsonArray loaded = List(object, "loadedScripts");
    for (const QJsonValue& item : readable ? List(object, "scripts") : QJsonArray()) {
        if (scriptText <= 0)
            break;
        // Inline text and the text of a loaded file share the bound.
        THtmlScriptElement script{Text(item), Text(loaded.at(static_cast<qsizetype>(document.scripts.size())))};
        for (QString* text : {&script.text, &script.loadedText}) {
            if (text->size() > scriptText)
                text->truncate(scriptText);
            scriptText -= text->size();
        }
        document.scripts.push_back(std::move(script));
    }
    const QJsonValue noscript = object.value(QLatin1String("noscript"));
    if (readable && noscript.isObject()) {
        for (const QJsonValue& item : List(noscript.toObject(), "objects"))
            document.noscriptObjects.push_back(ObjectFromJson(item));
        document.noscriptEmbeds = EmbedsFromJson(noscript.toObject());
    }
    for (const QJsonValue& item : readable ? List(object, "frameSources") : QJsonArray())
        document.frameSources.push_back(Attribute(item));
    for (const QJsonValue& item : readable ? List(object, "links") : QJsonArray())
        document.links.push_back(Attribute(item));
    if (depth >= kMaxSnapshotFrameDepth)
        return document;
    for (const QJsonValue& frame : List(object, "frames")) {
        // A frame that did not answer (no document to read) is null.
        if (frame.isObject())
            document.frames.push_back(DocumentFromJson(frame.toObject(), depth + 1, scriptText));
    }
    return document;
}

}  // namespace

THtmlObjectElement ObjectElementFromAttributes(const TObjectAttributes& attributes)
{
    THtmlObjectElement element;
    element.codeBase = attributes.codebase;
    element.hostsFlash = IsFlashClassId(attributes.classid) || IsFlashType(attributes.type);
    element.flashVars = ParamValue(attributes, QLatin1String("flashvars"));
    if (element.flashVars.isEmpty())
        element.flashVars = attributes.flashvars;
    element.playerBase = ParamValue(attributes, QLatin1String("base"));
    if (element.playerBase.isEmpty())
        element.playerBase = attributes.base;
    element.untyped = attributes.classid.trimmed().isEmpty() && attributes.type.trimmed().isEmpty();
    if (!element.hostsFlash && !element.untyped)
        return element;
    element.Movie = ParamValue(attributes, QLatin1String("movie"));
    if (element.Movie.isEmpty())
        element.Movie = ParamValue(attributes, QLatin1String("src"));
    if (element.Movie.isEmpty())
        element.Movie = attributes.data;
    return element;
}

THtmlDocument DocumentFromSnapshot(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        throw std::runtime_error("The page's document snapshot cannot be read: " + error.errorString().toStdString());
    if (!parsed.isObject())
        Malformed("it is not an object");
    qsizetype scriptText = kMaxSnapshotScriptText;
    return DocumentFromJson(parsed.object(), 0, scriptText);
}

}  // namespace tessaro
