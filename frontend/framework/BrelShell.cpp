#include "BrelShell.h"

#include <QDesktopServices>

#include <utility>

namespace {
TBrelShellOpenHandler& ShellOpenHandler() {
    static TBrelShellOpenHandler handler;
    return handler;
}
}  // namespace

bool BrelShellOpen(const QUrl& Url) {
    if (ShellOpenHandler())
        return ShellOpenHandler()(Url);
    return QDesktopServices::openUrl(Url);
}

TBrelShellOpenHandler SetBrelShellOpenHandler(TBrelShellOpenHandler Handler) {
    return std::exchange(ShellOpenHandler(), std::move(Handler));
}
