#include "BrelUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <climits>
#include <cmath>

QString StripFileExt(const QString& name) {
    // Only a dot after the last directory separator starts an extension.
    for (qsizetype i = name.size() - 1; i >= 0; --i) {
        const QChar c = name.at(i);
        if (c == u'.')
            return name.left(i);
        if (c == u'/')
            break;
    }
    return name;
}

QString FileNamePart(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

QString GetTempDirectory() {
    QString dir = QDir::tempPath();
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

QString GetUniqueTempFileName(const QString& ext) {
    const QString dir = GetTempDirectory();
    for (qint64 n = 0; n <= INT_MAX; ++n) {
        const QString candidate = dir + QStringLiteral("File%1").arg(n) + ext;
        // Any existing entry, a directory too, would make the later create fail.
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
    return QString();
}

QString GetProgramFileName() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

// ---------------------------------------------------------------------------

namespace {

QString formatTimeOfDay(const QString& pattern, qint64 msOfDay) {
    const qint64 hour = msOfDay / 3600000;
    const qint64 minute = msOfDay / 60000 % 60;
    const qint64 second = msOfDay / 1000 % 60;
    const qint64 msec = msOfDay % 1000;

    QString out;
    const qsizetype n = pattern.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = pattern.at(i);
        if (c == u'"' || c == u'\'') {
            const qsizetype end = pattern.indexOf(c, i + 1);
            if (end < 0) {
                out += pattern.mid(i + 1);
                break;
            }
            out += pattern.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        const QChar lower = c.toLower();
        qint64 value = -1;
        int maxRun = 2;
        if (lower == u'h')
            value = hour;
        else if (lower == u'n')
            value = minute;
        else if (lower == u's')
            value = second;
        else if (lower == u'z') {
            value = msec;
            maxRun = 3;
        }
        if (value < 0) {
            out += c;
            ++i;
            continue;
        }
        qsizetype run = 1;
        while (i + run < n && pattern.at(i + run).toLower() == lower && run < maxRun)
            ++run;
        // One letter: no leading zeros; the doubled (tripled for z) form pads.
        out += run == 1 ? QString::number(value)
                        : QStringLiteral("%1").arg(value, maxRun, 10, QLatin1Char('0'));
        i += run;
    }
    return out;
}

QString replaceDayCount(const QString& format, qint64 days) {
    QString out;
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = format.at(i);
        if (c == u'%' && i + 1 < n) {
            const QChar next = format.at(i + 1);
            if (next == u'%') {
                out += u'%';
                ++i;
                continue;
            }
            if (next == u'd') {
                out += QString::number(days);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

}  // namespace

QString FormatElapsedTimeMs(const QString& pattern, qint64 msecs) {
    if (msecs < 0)
        msecs = 0;
    constexpr qint64 kMsPerDay = 86400000;
    return replaceDayCount(formatTimeOfDay(pattern, msecs % kMsPerDay), msecs / kMsPerDay);
}

QString FormatElapsedTime(const QString& pattern, double days) {
    if (!(days > 0))  // also catches NaN
        return FormatElapsedTimeMs(pattern, 0);
    const double ms = std::round(days * 86400000.0);
    const qint64 clamped = ms >= 9.2e18 ? Q_INT64_C(9200000000000000000) : qint64(ms);
    return FormatElapsedTimeMs(pattern, clamped);
}

// ---------------------------------------------------------------------------

QString HtmlToPlainText(const QString& text) {
    QString s = text;
    s.replace(QStringLiteral("<BR>"), QStringLiteral("\r\n"), Qt::CaseInsensitive);
    qsizetype from = 0;
    for (;;) {
        const qsizetype open = s.indexOf(u'<', from);
        if (open < 0)
            break;
        const qsizetype close = s.indexOf(u'>', open + 1);
        if (close < 0)
            break;  // an unclosed "<" is ordinary text
        s.remove(open, close - open + 1);
        from = open;
    }
    return s;
}

QStringList FilterToNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i).trimmed();
        if (description.endsWith(u')')) {
            const qsizetype open = description.lastIndexOf(u'(');
            if (open >= 0)
                description = description.left(open).trimmed();
        }
        QStringList masks;
        for (const QString& m : parts.at(i + 1).split(u';', Qt::SkipEmptyParts)) {
            const QString mask = m.trimmed();
            masks << (mask == QStringLiteral("*.*") ? QStringLiteral("*") : mask);
        }
        if (masks.isEmpty())
            masks << QStringLiteral("*");
        result << QStringLiteral("%1 (%2)").arg(description, masks.join(u' '));
    }
    return result;
}

QString FormatNumberN(qint64 value) {
    const QString sep = QLocale::system().groupSeparator();
    const bool negative = value < 0;
    // Work on the unsigned magnitude so the smallest qint64 survives.
    quint64 magnitude = negative ? quint64(0) - quint64(value) : quint64(value);
    const QString digits = QString::number(magnitude);
    QString out;
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += sep;
        out += digits.at(i);
    }
    return negative ? QStringLiteral("-") + out : out;
}

// ---------------------------------------------------------------------------

bool GetFileFixedVersionInfo(const QString& fileName, TVSFixedFileInfo& info) {
    if (fileName.isEmpty())
        return false;
    const QString self = GetProgramFileName();
    const QString target = QFileInfo(fileName).canonicalFilePath();
    if (self.isEmpty() || target.isEmpty() || target != self)
        return false;
    TVSFixedFileInfo record;
    record.dwSignature = 0xFEEF04BD;
    record.dwStrucVersion = 0x00010000;
    record.dwFileVersionMS = (quint32(VANTREL_VERSION_MAJOR) << 16) | quint32(VANTREL_VERSION_MINOR);
    record.dwFileVersionLS = (quint32(VANTREL_VERSION_PATCH) << 16) | quint32(VANTREL_VERSION_TWEAK);
    record.dwProductVersionMS = record.dwFileVersionMS;
    record.dwProductVersionLS = record.dwFileVersionLS;
    record.dwFileType = 1;  // an application
    info = record;
    return true;
}

QString GetProgramVersionText() {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(VANTREL_VERSION_MAJOR)
        .arg(VANTREL_VERSION_MINOR)
        .arg(VANTREL_VERSION_PATCH)
        .arg(VANTREL_VERSION_TWEAK);
}

// ---------------------------------------------------------------------------

QString EngineLogLineText(const QString& text) {
    return text == QStringLiteral("-") ? QString::fromLatin1(kRepairLogSeparator) : text;
}

QStringList BeginRepairLogLines(const QString& sourceFile, qint64 sourceFileSize,
                                const QString& outputDir) {
    const QString sep = QString::fromLatin1(kRepairLogSeparator);
    return {
        QStringLiteral("Start repair process ..."),
        sep,
        QStringLiteral("File to be repaired: '%1'; File size: %2 bytes")
            .arg(sourceFile, FormatNumberN(sourceFileSize)),
        QStringLiteral("Output recovered messages to: '%1'").arg(outputDir),
        sep,
    };
}

namespace {

// The trailer of a repair or a batch: the consumed time and the closing line,
// each between separators.
QStringList TrailerLines(const char* pattern, const QString& closing, qint64 elapsedMsecs) {
    const QString sep = QString::fromLatin1(kRepairLogSeparator);
    return {sep, FormatElapsedTimeMs(QString::fromLatin1(pattern), elapsedMsecs), sep, closing, sep};
}

}  // namespace

QStringList EndRepairLogLines(qint64 elapsedMsecs) {
    return TrailerLines(kConsumedTimePattern, QStringLiteral("Repair process completes."), elapsedMsecs);
}

QStringList EndBatchRepairLogLines(qint64 elapsedMsecs) {
    return TrailerLines(kBatchConsumedTimePattern, QStringLiteral("Batch repair process completes."),
                        elapsedMsecs);
}

qint64 GetSourceFileSize(const QString& fileName) {
    const QFileInfo info(fileName);
    return info.exists() && !info.isDir() ? info.size() : 0;
}

QString UserAbortsText() {
    return QStringLiteral("User aborts the repair process.");
}

QString FailToRepairText(const QString& sourceFile) {
    return QStringLiteral("Fail to repair file '%1'!").arg(sourceFile);
}

QString AbortRepairingText(const QString& fileName) {
    return QStringLiteral("Abort repairing file '%1'.").arg(fileName);
}

QString SkipRepairingText(const QString& fileName) {
    return QStringLiteral("Skip repairing file '%1'.").arg(fileName);
}

QString BatchSuccessCountText(int count) {
    return QStringLiteral("%1 file(s) repaired successfully.").arg(count);
}

QString GetSuccessMessage(const QString& sourceFile) {
    return QStringLiteral("File '<B>%1</B>' has been repaired successfully.")
        .arg(QFileInfo(sourceFile).fileName().toHtmlEscaped());
}

QString BuildResultMessageText(const QString& sourceFile, bool stopped, bool succeeded,
                               bool& isPlainMessage) {
    isPlainMessage = true;
    if (stopped)
        return UserAbortsText();
    if (succeeded) {
        isPlainMessage = false;
        return GetSuccessMessage(sourceFile);
    }
    return FailToRepairText(sourceFile);
}

QStringList ResultMessageLogLines(const QString& message, bool isPlainMessage) {
    if (message.trimmed().isEmpty())
        return {};
    if (isPlainMessage)
        return message.split(QStringLiteral("\r\n"));
    QString text = HtmlToPlainText(message);
    // Undo QString::toHtmlEscaped, "&amp;" last so that an escaped "&lt;"
    // stays "&lt;".
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&#39;"), QStringLiteral("'"))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text.split(QStringLiteral("\r\n"));
}

QString GetDefaultOutputPath(const QString& sourceFile) {
    return StripFileExt(sourceFile) + QStringLiteral("_recovered/");
}

QStringList EngineErrorLogLines(const QString& text) {
    const QString sep = QString::fromLatin1(kRepairLogSeparator);
    return {sep, text, sep};
}

QStringList BeginBatchRepairLogLines(int fileCount) {
    const QString sep = QString::fromLatin1(kRepairLogSeparator);
    return {
        QStringLiteral("Start batch repair process ..."),
        sep,
        QStringLiteral("Total file(s) to be repaired: %1.").arg(fileCount),
        sep,
        QString(),
    };
}

QStringList SkipFileLogLines(const QString& fileName) {
    const QString sep = QString::fromLatin1(kRepairLogSeparator);
    return {sep, SkipRepairingText(fileName), sep, QString()};
}

QString CannotCreateDirectoryText(const QString& directory) {
    return QStringLiteral("Cannot create the directory '%1'!").arg(directory);
}

QString RecoveredMessagesHeadingText() {
    return QStringLiteral("Below are all the recovered messages:");
}
