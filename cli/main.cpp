// vantrel-cli: repairs Outlook Express mail stores from the command line
// through the engine's exported entry point, as the desktop program does.
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "CliOptions.h"
#include "CliRepair.h"

namespace {

// The first Ctrl-C asks the engine to stop at its next stop query; the
// second ends the program at once.
void OnInterrupt(int) {
    if (g_stopRequested) ::_exit(130);
    g_stopRequested = 1;
}

}  // namespace

int main(int argc, char** argv) {
    CliOptions options;
    QString error;
    switch (ParseCliArguments(argc, argv, options, error)) {
    case CliCommand::Help:
        std::fputs(CliUsageText().toUtf8().constData(), stdout);
        return 0;
    case CliCommand::Version:
        std::printf("vantrel-cli %s\n", VANTREL_VERSION);
        return 0;
    case CliCommand::BadUsage:
        std::fprintf(stderr, "vantrel-cli: %s\nTry 'vantrel-cli --help' for more information.\n",
                     error.toUtf8().constData());
        return 2;
    case CliCommand::Run:
        break;
    }

    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);

    CliRepair repair(options);
    return repair.Run();
}
