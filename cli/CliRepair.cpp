#include "CliRepair.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include "BrelUtils.h"
#include "pyxol/pyxol.h"

volatile std::sig_atomic_t g_stopRequested = 0;

namespace {

void WriteOut(const QByteArray& bytes) { std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout); }

// Engine texts may hold CR LF line breaks (error 7); on this system a line
// ends with LF alone.
QString ToLocalLines(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QByteArray JsonString(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

QString PayloadText(const void* payload) {
    return payload ? QString::fromUtf16(static_cast<const char16_t*>(payload)) : QString();
}

QString FormatDuration(qint64 msecs) {
    const qint64 s = msecs / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

QString FullPath(const QString& path) {
    QString full = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    if (path.endsWith(QLatin1Char('/')) && !full.endsWith(QLatin1Char('/'))) full += QLatin1Char('/');
    return full;
}

CliRepair::CliRepair(const CliOptions& options)
    : m_options(options),
      m_humanLog(!options.json && !options.quiet),
      m_progressBar(!options.quiet && ::isatty(STDERR_FILENO)),
      m_stdoutIsTerminal(::isatty(STDOUT_FILENO)) {
    // JSON lines go out one by one, so a reader of the pipe sees each event
    // as it happens.
    if (options.json) std::setvbuf(stdout, nullptr, _IOLBF, 0);
}

void CliRepair::LogLine(const QString& line) {
    if (!m_humanLog) return;
    if (m_stdoutIsTerminal) ClearProgress();
    WriteOut(ToLocalLines(line).toUtf8());
    WriteOut("\n");
}

void CliRepair::LogLines(const QStringList& lines) {
    for (const QString& line : lines) LogLine(line);
}

void CliRepair::Json(const QByteArray& line) {
    if (!m_options.json) return;
    if (m_stdoutIsTerminal) ClearProgress();
    WriteOut(line);
    WriteOut("\n");
}

void CliRepair::Notice(const QString& text) {
    ClearProgress();
    std::fflush(stdout);
    const QStringList lines = ToLocalLines(text).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray prefix = i == 0 ? "vantrel-cli: notice: " : "                     ";
        std::fprintf(stderr, "%s%s\n", prefix.constData(), lines[i].toUtf8().constData());
    }
    std::fflush(stderr);
}

void CliRepair::DrawProgress(int percent) {
    if (!m_progressBar) return;
    std::fflush(stdout);
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    const qint64 elapsed = m_fileTimer.elapsed();
    const double done = double(m_sourceSize) * percent / 100.0;
    const double rate = elapsed > 0 ? done / (elapsed / 1000.0) : 0.0;
    const QString bar = QStringLiteral("\r%1% [%2%3] %4  %5 MB/s")
                            .arg(percent, 3)
                            .arg(QString(filled, QLatin1Char('#')))
                            .arg(QString(kWidth - filled, QLatin1Char('.')))
                            .arg(FormatDuration(elapsed))
                            .arg(rate / 1e6, 0, 'f', 1);
    std::fputs(bar.toUtf8().constData(), stderr);
    std::fflush(stderr);
    m_barVisible = true;
}

void CliRepair::ClearProgress() {
    if (!m_barVisible) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_barVisible = false;
}

int32_t CliRepair::Callback(int32_t code, const void* payload, void* hostContext) {
    auto* self = static_cast<CliRepair*>(hostContext);
    // The MBX scanner asks whether to stop and reports its progress once per
    // byte of the store: answer those two here, without the full dispatch.
    if (code == EVENT_QUERY_STOP && !self->m_options.jsonStopQueries)
        return g_stopRequested ? -1 : 0;
    if (code == EVENT_PROGRESS && payload &&
        *static_cast<const uint8_t*>(payload) == self->m_lastProgress)
        return 0;
    return self->OnEvent(code, payload);
}

int32_t CliRepair::OnEvent(int32_t code, const void* payload) {
    switch (code) {
    case EVENT_PROGRESS: {
        // The MBX scanner reports once per byte: act only on a change.
        const int value = payload ? *static_cast<const uint8_t*>(payload) : 0;
        if (value == m_lastProgress) return 0;
        m_lastProgress = value;
        Json(QByteArray("{\"event\":\"progress\",\"value\":") + QByteArray::number(value) + "}");
        DrawProgress(value);
        return 0;
    }
    case EVENT_QUERY_STOP:
        if (m_options.jsonStopQueries) Json("{\"event\":\"query_stop\"}");
        return g_stopRequested ? -1 : 0;
    case EVENT_SOURCE_FILE:
        Json("{\"event\":\"source_file\",\"text\":" + JsonString(PayloadText(payload)) + "}");
        return 0;
    case EVENT_LOG_LINE: {
        const QString text = PayloadText(payload);
        Json("{\"event\":\"log\",\"text\":" + JsonString(text) + "}");
        LogLine(EngineLogLineText(text));
        return 0;
    }
    case EVENT_REPORT_COLUMNS: {
        const int32_t columns = payload ? *static_cast<const int32_t*>(payload) : 0;
        Json("{\"event\":\"report_columns\",\"value\":" + QByteArray::number(columns) + "}");
        if (m_current) m_current->columns = columns;
        return 0;
    }
    case EVENT_REPORT_CELL: {
        const QString text = PayloadText(payload);
        Json("{\"event\":\"report_cell\",\"text\":" + JsonString(text) + "}");
        if (m_current) m_current->cells << text;
        return 0;
    }
    case EVENT_ERROR: {
        const QString text = PayloadText(payload);
        Json("{\"event\":\"error\",\"text\":" + JsonString(text) + "}");
        LogLines(EngineErrorLogLines(text));
        return 0;
    }
    case EVENT_MESSAGE_BOX: {
        // Nobody is there to click OK: the text becomes a notice.
        const QString text = PayloadText(payload);
        Json("{\"event\":\"message_box\",\"text\":" + JsonString(text) + "}");
        Notice(text);
        return 0;
    }
    default:
        return 0;
    }
}

int32_t CliRepair::CallEngine(const QString& fullSource, const QString& fullOutput) {
    RepairOptions options{};
    options.UseNewDir = m_options.newDirLimit ? -1 : 0;
    options.MaxMsgCount = static_cast<uint16_t>(m_options.newDirLimit ? m_options.newDirLimit : 10000);
    const std::u16string source = fullSource.toStdU16String();
    const std::u16string output = fullOutput.toStdU16String();

    RepairParams params{};
    params.pszSourceFile = source.c_str();
    params.pOptions = &options;
    params.nReserved = 0;
    params.pszOutputDir = output.c_str();
    params.pfnCallback = &CliRepair::Callback;
    params.pHostContext = this;
    const RepairParams masked = PyxolMaskParams(params);
    m_lastProgress = -1;
    const int32_t result = RepairSourceFile(&masked);
    ClearProgress();
    return result;
}

bool CliRepair::RepairOne(const QString& source, const QString& outputDir, bool inBatch,
                          SourceResult& result) {
    result.source = source;
    const QString fullSource = FullPath(source);
    const QString fullOutput = FullPath(outputDir);
    const QString fileName = QFileInfo(source).fileName();

    if (!QDir().mkpath(fullOutput)) {
        Notice(CannotCreateDirectoryText(outputDir));
        if (inBatch) LogLines(SkipFileLogLines(fileName));
        else LogLine(AbortRepairingText(fileName));
        Json("{\"skipped\":" + JsonString(fullSource) + ",\"text\":" +
             JsonString(CannotCreateDirectoryText(outputDir)) + "}");
        return false;
    }

    result.attempted = true;
    m_sourceSize = GetSourceFileSize(fullSource);
    LogLines(BeginRepairLogLines(fullSource, m_sourceSize, fullOutput));
    m_fileTimer.start();
    m_current = &result;
    const int32_t engineResult = CallEngine(fullSource, fullOutput);
    m_current = nullptr;
    LogLines(EndRepairLogLines(m_fileTimer.elapsed()));
    Json("{\"result\":" + QByteArray::number(engineResult) + "}");

    result.succeeded = engineResult != 0;
    result.stopped = g_stopRequested != 0;
    bool plain = true;
    LogLines(ResultMessageLogLines(BuildResultMessageText(source, result.stopped, result.succeeded, plain)));
    if (inBatch) LogLines({QString::fromLatin1(kRepairLogSeparator), QString()});
    return result.succeeded;
}

void CliRepair::PrintReport(const SourceResult& result, bool withTitle) {
    if (!m_humanLog || result.columns <= 0) return;
    const int columns = result.columns;
    const int rows = std::max(0, int(result.cells.size()) / columns);  // heading row included
    WriteOut("\n");
    if (withTitle) WriteOut((QStringLiteral("Report of '%1':").arg(result.source) + "\n").toUtf8());
    WriteOut((RecoveredMessagesHeadingText() + "\n").toUtf8());
    std::vector<int> widths(size_t(columns), 0);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            widths[size_t(c)] = std::max(widths[size_t(c)], int(result.cells[r * columns + c].size()));
    for (int r = 0; r < rows; ++r) {
        QString line;
        for (int c = 0; c < columns; ++c) {
            const QString& cell = result.cells[r * columns + c];
            line += c + 1 < columns ? cell.leftJustified(widths[size_t(c)] + 2) : cell;
        }
        WriteOut((ToLocalLines(line) + "\n").toUtf8());
    }
}

int CliRepair::Run() {
    const QStringList& sources = m_options.sources;
    const bool batch = sources.size() > 1;
    std::vector<SourceResult> results(size_t(sources.size()));
    bool anyFailed = false;

    QElapsedTimer batchTimer;
    batchTimer.start();
    if (batch) LogLines(BeginBatchRepairLogLines(int(sources.size())));
    int succeeded = 0;
    for (int i = 0; i < sources.size(); ++i) {
        if (g_stopRequested) break;
        const QString& source = sources[i];
        const QString output = m_options.hasOutput ? m_options.outputDir : GetDefaultOutputPath(source);
        if (RepairOne(source, output, batch, results[size_t(i)]))
            ++succeeded;
        else
            anyFailed = true;
    }
    if (batch) {
        LogLines(EndBatchRepairLogLines(batchTimer.elapsed()));
        LogLine(BatchSuccessCountText(succeeded));
    }
    // A source never reached because of a stop counts as not repaired.
    if (succeeded < sources.size()) anyFailed = true;

    for (const SourceResult& result : results)
        if (result.succeeded && !result.stopped) PrintReport(result, batch);
    std::fflush(stdout);

    if (g_stopRequested) return 130;
    return anyFailed ? 1 : 0;
}
