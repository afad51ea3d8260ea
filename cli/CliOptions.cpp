#include "CliOptions.h"

#include <cstring>

namespace {

// "--name=value" or "--name value" (and "-o value", "-ovalue" for short ones).
bool TakeValue(int argc, char** argv, int& i, const char* longName, const char* shortName,
               QString& value, bool& matched, QString& error) {
    const char* arg = argv[i];
    matched = false;
    const size_t longLength = std::strlen(longName);
    if (std::strncmp(arg, longName, longLength) == 0 && arg[longLength] == '=') {
        matched = true;
        value = QString::fromLocal8Bit(arg + longLength + 1);
        return true;
    }
    const bool isLong = std::strcmp(arg, longName) == 0;
    const bool isShort = shortName && std::strcmp(arg, shortName) == 0;
    if (shortName && !isShort && std::strncmp(arg, shortName, std::strlen(shortName)) == 0 &&
        arg[1] != '-') {
        matched = true;
        value = QString::fromLocal8Bit(arg + std::strlen(shortName));
        return true;
    }
    if (!isLong && !isShort) return true;
    matched = true;
    if (i + 1 >= argc) {
        error = QStringLiteral("option '%1' needs a value").arg(QString::fromLocal8Bit(arg));
        return false;
    }
    value = QString::fromLocal8Bit(argv[++i]);
    return true;
}

}  // namespace

CliCommand ParseCliArguments(int argc, char** argv, CliOptions& options, QString& error) {
    bool onlySources = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (onlySources || arg[0] != '-' || std::strcmp(arg, "-") == 0) {
            options.sources << QString::fromLocal8Bit(arg);
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            onlySources = true;
            continue;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) return CliCommand::Help;
        if (std::strcmp(arg, "--version") == 0) return CliCommand::Version;
        if (std::strcmp(arg, "--json") == 0) {
            options.json = true;
            continue;
        }
        if (std::strcmp(arg, "--json-stop-queries") == 0) {
            options.json = options.jsonStopQueries = true;
            continue;
        }
        if (std::strcmp(arg, "-q") == 0 || std::strcmp(arg, "--quiet") == 0) {
            options.quiet = true;
            continue;
        }
        QString value;
        bool matched = false;
        if (!TakeValue(argc, argv, i, "--output", "-o", value, matched, error))
            return CliCommand::BadUsage;
        if (matched) {
            if (value.trimmed().isEmpty()) {
                error = QStringLiteral("the output directory is empty");
                return CliCommand::BadUsage;
            }
            options.outputDir = value;
            options.hasOutput = true;
            continue;
        }
        if (!TakeValue(argc, argv, i, "--new-dir", nullptr, value, matched, error))
            return CliCommand::BadUsage;
        if (matched) {
            bool ok = false;
            const int limit = value.toInt(&ok);
            if (!ok || limit < 1 || limit > 32767) {
                error = QStringLiteral("--new-dir takes a whole number from 1 to 32767, not '%1'")
                            .arg(value);
                return CliCommand::BadUsage;
            }
            options.newDirLimit = limit;
            continue;
        }
        error = QStringLiteral("unknown option '%1'").arg(QString::fromLocal8Bit(arg));
        return CliCommand::BadUsage;
    }
    if (options.sources.isEmpty()) {
        error = QStringLiteral("no store file given");
        return CliCommand::BadUsage;
    }
    for (const QString& source : options.sources) {
        if (source.trimmed().isEmpty()) {
            error = QStringLiteral("an empty store file name was given");
            return CliCommand::BadUsage;
        }
    }
    if (options.hasOutput && options.sources.size() > 1) {
        error = QStringLiteral(
            "-o/--output takes one store file; with several, each is repaired into its own "
            "directory next to it (<store>_recovered/)");
        return CliCommand::BadUsage;
    }
    return CliCommand::Run;
}

QString CliUsageText() {
    return QStringLiteral(
        "Usage: vantrel-cli [options] STORE...\n"
        "Recovers the messages of damaged Outlook Express mail stores (.dbx of OE 5/6,\n"
        ".mbx of OE 4) into one .eml file per message.\n"
        "\n"
        "Options:\n"
        "  -o, --output DIR      output directory (one store only); default: the store's\n"
        "                        path without its extension plus \"_recovered/\"\n"
        "      --new-dir N       open a new sub-directory whenever the current one holds\n"
        "                        N messages (1 to 32767)\n"
        "      --json            print every engine event as one JSON object per line\n"
        "      --json-stop-queries  with --json, also print the engine's stop queries\n"
        "  -q, --quiet           print neither the log nor the report nor progress\n"
        "  -h, --help            show this help\n"
        "      --version         show the version\n"
        "\n"
        "Ctrl-C asks the engine to stop (messages already written stay); a second\n"
        "Ctrl-C ends the program at once.\n"
        "Exit status: 0 every store repaired, 1 a store failed, 2 bad usage,\n"
        "130 stopped by Ctrl-C.\n");
}
