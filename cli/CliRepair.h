// One run of vantrel-cli: every source through the engine's exported entry,
// with the repair log (or the JSON event stream) on standard output, the
// progress bar and notices on standard error.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <csignal>
#include <cstdint>

#include "CliOptions.h"

// Set by the SIGINT handler; read by the engine's stop queries.
extern volatile std::sig_atomic_t g_stopRequested;

class CliRepair {
public:
    explicit CliRepair(const CliOptions& options);

    // Repairs every source; returns the exit status (0, 1 or 130).
    int Run();

private:
    struct SourceResult {
        bool attempted = false;
        bool succeeded = false;
        bool stopped = false;
        QString source;
        int columns = 0;
        QStringList cells;
    };

    bool RepairOne(const QString& source, const QString& outputDir, bool inBatch, SourceResult& result);
    int32_t CallEngine(const QString& fullSource, const QString& fullOutput);
    static int32_t Callback(int32_t code, const void* payload, void* hostContext);
    int32_t OnEvent(int32_t code, const void* payload);

    void LogLine(const QString& line);
    void LogLines(const QStringList& lines);
    void Json(const QByteArray& line);
    void Notice(const QString& text);
    void DrawProgress(int percent);
    void ClearProgress();
    void PrintReport(const SourceResult& result, bool withTitle);

    const CliOptions& m_options;
    bool m_humanLog;
    bool m_progressBar;
    bool m_stdoutIsTerminal;  // lines on stdout must first wipe the bar
    bool m_barVisible = false;
    int m_lastProgress = -1;
    qint64 m_sourceSize = 0;
    QElapsedTimer m_fileTimer;
    SourceResult* m_current = nullptr;
};

// Absolute, cleaned form of a path against the working directory; a trailing
// "/" is kept.
QString FullPath(const QString& path);
