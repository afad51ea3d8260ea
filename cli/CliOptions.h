// Command-line arguments of vantrel-cli.
#pragma once

#include <QString>
#include <QStringList>

struct CliOptions {
    QStringList sources;
    QString outputDir;      // -o/--output; empty = each source's default directory
    bool hasOutput = false;
    int newDirLimit = 0;    // --new-dir N (1..32767); 0 = off
    bool json = false;
    bool jsonStopQueries = false;
    bool quiet = false;
};

enum class CliCommand { Run, Help, Version, BadUsage };

// Parses argv. On BadUsage `error` holds the reason.
CliCommand ParseCliArguments(int argc, char** argv, CliOptions& options, QString& error);

// The text of --help.
QString CliUsageText();
