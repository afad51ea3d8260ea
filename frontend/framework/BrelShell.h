// BrelShell: the one place where the framework's windows ask the desktop to
// open a folder, a document or a link.
//
// Without a handler this is QDesktopServices::openUrl; a test installs a
// handler that records the opened paths (and can make opening fail) so that
// no file manager or browser starts.
#pragma once

#include <QUrl>

#include <functional>

// Asks the desktop to open Url. Returns false when the desktop reports
// failure.
bool BrelShellOpen(const QUrl& Url);

// A handler that replaces the desktop; returns whether "opening" succeeded.
// An empty function restores the desktop. Returns the previous handler.
using TBrelShellOpenHandler = std::function<bool(const QUrl& Url)>;
TBrelShellOpenHandler SetBrelShellOpenHandler(TBrelShellOpenHandler Handler);
