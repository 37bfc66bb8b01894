#pragma once

#include <QString>
#include <QStringList>

#include <string>

namespace tessaro {

enum class TFindCommand { Page, Cache, Movie };

// What one run of the command line is asked to do.
struct TFindOptions {
    TFindCommand command = TFindCommand::Page;
    QStringList inputs;      // addresses, folders or files, as given
    int jobs = 0;            // movies read at once; set by the parser
    bool described = false;  // the page scan without the thorough part
    QString saveFolder;      // --save: where each movie goes with everything it needs; empty: nowhere
};

struct TFindCommandLine {
    enum class TWhat { Run, Help, Version, UsageError };
    TWhat what = TWhat::UsageError;
    TFindOptions options;
    std::string error;  // what was wrong, for a usage error
};

// Reads the arguments after the program's name. Options may come anywhere
// before "--"; after it every argument is an input.
TFindCommandLine ParseFindCommandLine(const QStringList& arguments);

// The commands and options, as --help prints them.
std::string FindUsageText();

}  // namespace tessaro
