#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <string>

#include "platform/core/WorkerThread.h"

namespace tessaro {

// Reads what the player asked for off the UI thread: a file from disk or a
// web address through the program's HTTP client. Created running; the result
// is read in OnTerminate, on the receiver's thread.
class TPlayerSourceThread : public TThread {
public:
    enum class Origin { Disk, Web };

    // The most the player is given of one file or answer.
    static constexpr std::size_t kMaxBytes = 256u * 1024u * 1024u;

    TPlayerSourceThread(QObject* receiver, Origin origin, QString location);

    // Valid once the body has ended.
    bool Ok() const { return ok_; }
    bool FromWeb() const { return origin_ == Origin::Web; }
    bool Missing() const { return missing_; }
    const QByteArray& Bytes() const { return bytes_; }
    // The web server's Content-Type; empty for files.
    const QByteArray& ContentType() const { return contentType_; }
    const std::string& Error() const { return error_; }

protected:
    ~TPlayerSourceThread() override = default;
    void Execute() override;

private:
    void ReadFile();
    void FetchAddress();

    const Origin origin_;
    const QString location_;
    bool ok_ = false;
    bool missing_ = false;
    QByteArray bytes_;
    QByteArray contentType_;
    std::string error_;
};

}  // namespace tessaro
