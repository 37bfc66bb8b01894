#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <cstdio>

namespace tessaro {

// What a run writes: one JSON object a line on the output (a movie, or an
// input that failed), and its progress on the error stream: a bar with
// counts on a terminal, one line per finished input otherwise.
class TFindOutput {
public:
    // inputs: how many the run has; 0 for the user's own caches.
    TFindOutput(std::FILE* out, std::FILE* progress, bool progressIsTerminal, int inputs);

    // A movie's line; localCopy, the file its bytes are in, is kept for a save.
    void Movie(const QJsonObject& record, const QString& localCopy = {});
    // While held, movies' lines wait (a save adds to them); TakeHeld gives
    // them back, in order, and ends the hold.
    struct THeldMovie {
        QJsonObject record;
        QString localCopy;
    };
    void HoldMovies() { holding_ = true; }
    QList<THeldMovie> TakeHeld();
    // Writes a movie's line that was held.
    void HeldMovie(const QJsonObject& record) { Line(record); }
    // {"input": ..., "error": ...} (no input for the user's own caches); the
    // run then ends with status 1.
    void Error(const QString& input, const QString& why);
    void InputDone(const QString& input);
    // Ends the bar's line.
    void Finish();
    bool Failed() const { return errors_ > 0; }

private:
    void Line(const QJsonObject& object);
    void DrawBar();

    bool holding_ = false;
    QList<THeldMovie> held_;
    std::FILE* out_;
    std::FILE* progress_;
    bool terminal_;
    int inputs_;
    int done_ = 0;
    long long movies_ = 0;
    long long errors_ = 0;
    long long inputMovies_ = 0;  // of the input under way
    long long inputErrors_ = 0;
};

}  // namespace tessaro
