#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

struct chmFile;

namespace tessaro {

// The start-up facts a compiled help file records about itself.
struct ChmSystemInfo {
    QString contentsFile;  // the table of contents (.hhc), a path inside the file
    QString defaultTopic;  // the page shown first
    QString title;
};

// A compiled HTML help file (CHM), read with chmlib.
class ChmArchive {
public:
    explicit ChmArchive(const QString& path);
    ~ChmArchive();
    ChmArchive(const ChmArchive&) = delete;
    ChmArchive& operator=(const ChmArchive&) = delete;

    bool IsOpen() const { return file_ != nullptr; }

    // The bytes of one stored file, by its path inside the archive ("/a.html"
    // or "a.html"); nothing when it is missing, too large or cannot be read whole.
    std::optional<QByteArray> Read(const QString& path) const;

    ChmSystemInfo SystemInfo() const;

    // The first stored file whose name ends in `suffix` (any case), for
    // archives whose #SYSTEM record does not name their contents file.
    QString FindBySuffix(const QString& suffix) const;

private:
    chmFile* file_ = nullptr;
};

// Decodes a #SYSTEM record; exposed for the archive and its tests.
ChmSystemInfo ParseChmSystem(const QByteArray& bytes);

}  // namespace tessaro
