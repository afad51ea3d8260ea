// Runs a program as a child process and captures what it prints, for tests
// of the command-line tools.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vantrel::test {

struct ProcessResult {
    int exitCode = -1;  // -1 when it ended by a signal
    int signal = 0;     // the signal that ended it, or 0
    std::string out;
    std::string err;
};

// Runs args[0] (a path) with args, in `workingDirectory` when not empty.
// `onOutput` is called with the child's pid and everything it has written
// to standard output so far, whenever more arrives.
ProcessResult RunProcess(const std::vector<std::string>& args, const std::string& workingDirectory = {},
                         const std::function<void(pid_t, const std::string&)>& onOutput = {});

// The lines of a text, without their line ends.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace vantrel::test
