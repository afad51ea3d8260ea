// BrelUtils: framework helpers shared by the desktop program and vantrel-cli.
//
// Everything here needs QtCore only (no widgets), so the command-line front
// end prints exactly the same repair-log lines as the window does. The
// functions are pure or touch only the file system; widget-bound helpers
// live in BrelWidgetUtils.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// ---------------------------------------------------------------------------
// File names

// The name without its extension: everything before the last "." when that
// dot comes after the last "/"; otherwise the name unchanged. So
// "/data.old/report" stays unchanged, "report.tar.gz" gives "report.tar",
// and a name ending in "." loses only that dot. ":" is an ordinary character.
[[nodiscard]] QString StripFileExt(const QString& name);

// The file-name part of a path: the text after its last "/", or the whole
// path when it has none.
[[nodiscard]] QString FileNamePart(const QString& path);

// The user's temporary directory (QDir::tempPath()) with a trailing "/".
[[nodiscard]] QString GetTempDirectory();

// The first "<tempdir>File<n><ext>" (n = 0, 1, 2, ...) that does not exist
// yet; ext includes its dot. The file is not created. Empty when every
// candidate is taken.
[[nodiscard]] QString GetUniqueTempFileName(const QString& ext);

// Absolute path of the running program's file (resolved through
// /proc/self/exe, so it works before a QCoreApplication exists).
[[nodiscard]] QString GetProgramFileName();

// ---------------------------------------------------------------------------
// Elapsed time

// Pattern of the live elapsed-time labels.
inline constexpr const char kElapsedTimeLabelPattern[] =
    "\"%d day(s)\" h \"hour(s)\" n \"minute(s) \"";
// Pattern of the log trailer of one repaired file.
inline constexpr const char kConsumedTimePattern[] =
    "\"Consumed time: %d day(s)\" h \"hour(s)\" n \"minute(s)\" s \"second(s)\" z "
    "\"millisecond(s).\"";
// Pattern of the log trailer of a batch.
inline constexpr const char kBatchConsumedTimePattern[] =
    "\"Batch repair consumed time: %d day(s)\" h \"hour(s)\" n \"minute(s)\" s "
    "\"second(s)\" z \"millisecond(s).\"";

// Formats an elapsed time given in days (whole part = days, fraction = time
// of day) with a date-time pattern: text in double (or single) quotes is
// literal, h / n / s / z are the hours, minutes, seconds and milliseconds of
// the time of day without leading zeros (hh, nn, ss, zzz with them), other
// characters are copied. The "%d" the pattern carries in a quoted part then
// receives the whole number of days ("%%" gives "%").
// The value is first rounded to whole milliseconds and the days are taken
// from that same rounded value, so 23:59:59.9996 reads as 1 day 0 hours
// rather than 0 days 0 hours. Negative times (a clock set back) count as 0.
[[nodiscard]] QString FormatElapsedTime(const QString& pattern, double days);
// The same for an elapsed time in milliseconds (QElapsedTimer::elapsed()).
[[nodiscard]] QString FormatElapsedTimeMs(const QString& pattern, qint64 msecs);

// ---------------------------------------------------------------------------
// Text

// Plain text of an HTML-like message: every "<BR>" (any case) becomes CR LF,
// then each "<...>" tag is removed. A "<" without a ">" after it is kept
// with the rest of the text. Character entities are left as they are.
[[nodiscard]] QString HtmlToPlainText(const QString& text);

// Qt name filters from a "Description|mask;mask|Description|mask" filter
// (as "Outlook Express files (*.dbx;*.mbx)|*.dbx;*.mbx|All files (*.*)|*.*"):
// each pair gives "Description (mask mask)", the description's own trailing
// parenthesis replaced; "*.*" becomes "*" so names without a dot match too.
[[nodiscard]] QStringList FilterToNameFilters(const QString& filter);

// A whole number in the "%.0n" form: decimal, grouped by threes with the
// user's thousands separator (QLocale::system()), no decimals. -1 stays "-1".
[[nodiscard]] QString FormatNumberN(qint64 value);

// ---------------------------------------------------------------------------
// Version record

// The fixed part of a file's version record (52 bytes, as the Windows
// VS_FIXEDFILEINFO): of it the program uses the file and product versions,
// each two 32-bit words, most significant first (high 16 bits = first part).
struct TVSFixedFileInfo {
    quint32 dwSignature = 0;
    quint32 dwStrucVersion = 0;
    quint32 dwFileVersionMS = 0;
    quint32 dwFileVersionLS = 0;
    quint32 dwProductVersionMS = 0;
    quint32 dwProductVersionLS = 0;
    quint32 dwFileFlagsMask = 0;
    quint32 dwFileFlags = 0;
    quint32 dwFileOS = 0;
    quint32 dwFileType = 0;
    quint32 dwFileSubtype = 0;
    quint32 dwFileDateMS = 0;
    quint32 dwFileDateLS = 0;
};
static_assert(sizeof(TVSFixedFileInfo) == 52);

// Linux executables carry no version resource: the running program's own
// file has the version compiled into it (the project version); every other
// file has none. Fills info and returns true for the program's file;
// returns false and leaves info untouched otherwise.
[[nodiscard]] bool GetFileFixedVersionInfo(const QString& fileName, TVSFixedFileInfo& info);

// The version compiled into the program, as "2.5.0.0".
[[nodiscard]] QString GetProgramVersionText();

// ---------------------------------------------------------------------------
// Repair log texts, shared word for word by the window and the command line

// The separator line: 56 hyphens.
inline constexpr const char kRepairLogSeparator[] =
    "--------------------------------------------------------";
static_assert(sizeof(kRepairLogSeparator) == 57);

// The text of an engine log-line event as it goes into the log: "-" alone
// stands for the separator line, anything else is kept as it is.
[[nodiscard]] QString EngineLogLineText(const QString& text);

// The header a repair of one file starts with: "Start repair process ...",
// separator, "File to be repaired: '<src>'; File size: <n> bytes",
// "Output recovered messages to: '<out>'", separator.
[[nodiscard]] QStringList BeginRepairLogLines(const QString& sourceFile, qint64 sourceFileSize,
                                              const QString& outputDir);

// The trailer after every engine call (success, failure or stop):
// separator, "Consumed time: ...", separator, "Repair process completes.",
// separator.
[[nodiscard]] QStringList EndRepairLogLines(qint64 elapsedMsecs);

// The trailer of a batch: separator, "Batch repair consumed time: ...",
// separator, "Batch repair process completes.", separator.
[[nodiscard]] QStringList EndBatchRepairLogLines(qint64 elapsedMsecs);

// Size of a file as the log header reports it: 0 when it does not exist.
[[nodiscard]] qint64 GetSourceFileSize(const QString& fileName);

// "User aborts the repair process."
[[nodiscard]] QString UserAbortsText();
// "Fail to repair file '<source>'!" (the source as typed).
[[nodiscard]] QString FailToRepairText(const QString& sourceFile);
// "Abort repairing file '<name>'." (pass the file-name part).
[[nodiscard]] QString AbortRepairingText(const QString& fileName);
// "Skip repairing file '<name>'." (pass the file-name part).
[[nodiscard]] QString SkipRepairingText(const QString& fileName);
// "<n> file(s) repaired successfully."
[[nodiscard]] QString BatchSuccessCountText(int count);
// The HTML text announcing a successful repair; it names the source by its
// file-name part (HTML-escaped).
[[nodiscard]] QString GetSuccessMessage(const QString& sourceFile);

// The result message of one engine call: the abort text when stopped, the
// success HTML when it succeeded, else the failure text. isPlainMessage is
// false only for the success HTML.
[[nodiscard]] QString BuildResultMessageText(const QString& sourceFile, bool stopped,
                                             bool succeeded, bool& isPlainMessage);

// The result message as log lines, split at line breaks. A rich message
// (the success HTML) loses its tags and its escaped characters come back
// (&lt; &gt; &quot; &#39; &amp;); a plain message is taken as written, so a
// file name holding "<...>" keeps it. Empty when the message is blank.
[[nodiscard]] QStringList ResultMessageLogLines(const QString& message, bool isPlainMessage = false);

// Default output directory of a source file: the source without its
// extension followed by "_recovered/".
[[nodiscard]] QString GetDefaultOutputPath(const QString& sourceFile);

// The three log lines of an engine error event: separator, text, separator.
[[nodiscard]] QStringList EngineErrorLogLines(const QString& text);

// The header of a batch: "Start batch repair process ...", separator,
// "Total file(s) to be repaired: <n>.", separator, an empty line.
[[nodiscard]] QStringList BeginBatchRepairLogLines(int fileCount);

// The lines of a batch file whose output directory cannot be created:
// separator, "Skip repairing file '<name>'.", separator, an empty line
// (pass the file-name part).
[[nodiscard]] QStringList SkipFileLogLines(const QString& fileName);

// "Cannot create the directory '<dir>'!" (the output as typed).
[[nodiscard]] QString CannotCreateDirectoryText(const QString& directory);

// The heading the report of recovered messages carries below the result
// message: "Below are all the recovered messages:".
[[nodiscard]] QString RecoveredMessagesHeadingText();
