// Command line of orvanta-host.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

struct HostOptions {
    QString script; // --script FILE
    QString screenshot; // --screenshot PNG
    QString phoneDir; // --phone DIR (empty: the default phone folder)
    bool noPhone = false;
    QString component; // --component PATH of libcw_load.so
    QString dataDir; // --data DIR of the bundled suite data
    QString language; // --lang CODE: written as "ORVT_LANG"
    QString model; // --model NAME: written as the default and display model
    QStringList files; // handed to AddMovieList after Create
    bool help = false;
};

// Parses the arguments (without the program name). Empty optional with the
// message in error on bad input.
std::optional<HostOptions> ParseHostOptions(const QStringList& args, QString* error);
QString HostUsage();
