// Scanner benchmark: generates a large .dbx (mostly non-message bytes plus a
// few thousand messages) and a large .mbx in $TMPDIR, repairs each through
// RepairSourceFile with a host that only counts events, and prints the
// throughput of each pass, messages per second and peak memory.
//
//   scan_bench [--dbx-mib N] [--mbx-mib N] [--messages N] [--seed N]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/strings.h"
#include "pyxol/pyxol.h"
#include "storegen/storegen.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// User plus system CPU time of the process: on a machine shared with other
// work, the wall clock also counts time spent waiting for a core.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct CountingHost {
    uint64_t stopQueries = 0, progress = 0, logLines = 0, cells = 0, errors = 0, other = 0;
    bool inPassTwo = false;
    Clock::time_point passTwoStart{};
    double cpuAtPassTwo = 0;

    static int32_t Callback(int32_t code, const void*, void* context) {
        auto* h = static_cast<CountingHost*>(context);
        switch (code) {
        case EVENT_QUERY_STOP: ++h->stopQueries; break;
        case EVENT_PROGRESS: ++h->progress; break;
        case EVENT_LOG_LINE:
            // The first log block opens the message writing (DBX pass 2).
            if (!h->inPassTwo) {
                h->inPassTwo = true;
                h->passTwoStart = Clock::now();
                h->cpuAtPassTwo = CpuSeconds();
            }
            ++h->logLines;
            break;
        case EVENT_REPORT_CELL: ++h->cells; break;
        case EVENT_ERROR: ++h->errors; break;
        default: ++h->other; break;
        }
        return 0;
    }
};

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Generates the store in a child process, so that the generator's memory
// does not count in this process's peak: the figure is the engine's own.
storegen::Manifest GenerateApart(const storegen::Options& options, const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        try {
            storegen::GenerateToFile(options, path);
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "scan_bench: cannot generate %s\n", path.c_str());
        std::exit(1);
    }
    storegen::Manifest manifest;
    manifest.fileSize = fs::file_size(path);
    return manifest;
}

struct Result {
    double total = 0, passOne = 0, passTwo = 0, cpu = 0, cpuPassOne = 0;
    uint64_t messages = 0;
    CountingHost host;
};

Result RunRepair(const std::string& source, const std::string& outputDir) {
    Result r;
    fs::create_directories(outputDir);
    const std::u16string src = pyxol::FromUtf8(source);
    const std::u16string out = pyxol::FromUtf8(outputDir);
    RepairOptions options{};
    RepairParams params{};
    params.pszSourceFile = src.c_str();
    params.pOptions = &options;
    params.pszOutputDir = out.c_str();
    params.pfnCallback = &CountingHost::Callback;
    params.pHostContext = &r.host;
    const RepairParams masked = PyxolMaskParams(params);
    const double cpuStart = CpuSeconds();
    const auto start = Clock::now();
    RepairSourceFile(&masked);
    const auto end = Clock::now();
    r.cpu = CpuSeconds() - cpuStart;
    r.cpuPassOne = (r.host.inPassTwo ? r.host.cpuAtPassTwo : CpuSeconds()) - cpuStart;
    r.total = Seconds(end - start);
    r.passOne = r.host.inPassTwo ? Seconds(r.host.passTwoStart - start) : r.total;
    r.passTwo = r.host.inPassTwo ? Seconds(end - r.host.passTwoStart) : 0;
    r.messages = r.host.cells / 2 - 1;  // minus the header row
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t dbxMiB = 1024, mbxMiB = 256, messages = 3000, seed = 11;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const uint64_t v = std::strtoull(argv[i + 1], nullptr, 0);
        if (a == "--dbx-mib") dbxMiB = v;
        else if (a == "--mbx-mib") mbxMiB = v;
        else if (a == "--messages") messages = v;
        else if (a == "--seed") seed = v;
    }
    const char* tmp = std::getenv("TMPDIR");
    const fs::path work = fs::path(tmp && *tmp ? tmp : "/tmp") / ("scan_bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    std::printf("scan_bench: work folder %s\n", work.c_str());
    const long rssStart = PeakRssKiB();

    if (dbxMiB) {
        storegen::Options options;
        options.kind = storegen::StoreKind::Dbx;
        options.seed = seed;
        options.messageCount = static_cast<uint32_t>(messages);
        options.targetSize = dbxMiB << 20;
        const std::string store = (work / "bench.dbx").string();
        auto t0 = Clock::now();
        const storegen::Manifest manifest = GenerateApart(options, store);
        std::printf("dbx: generated %.1f MiB in %.1f s\n", manifest.fileSize / 1048576.0, Seconds(Clock::now() - t0));
        const Result r = RunRepair(store, (work / "out-dbx").string());
        std::printf("dbx: pass 1 %.3f s = %.0f MB/s; pass 2 %.3f s = %.0f messages/s (%llu written, %llu errors)\n",
                    r.passOne, manifest.fileSize / 1e6 / r.passOne, r.passTwo,
                    r.passTwo > 0 ? r.messages / r.passTwo : 0.0, static_cast<unsigned long long>(r.messages),
                    static_cast<unsigned long long>(r.host.errors));
        std::printf("dbx: cpu time: pass 1 %.3f s = %.0f MB/s of CPU; pass 2 %.3f s = %.0f messages/s of CPU\n",
                    r.cpuPassOne, manifest.fileSize / 1e6 / r.cpuPassOne, r.cpu - r.cpuPassOne,
                    r.cpu > r.cpuPassOne ? r.messages / (r.cpu - r.cpuPassOne) : 0.0);
        std::printf("dbx: whole repair %.3f s = %.0f MB/s; %llu stop queries, %llu progress events\n", r.total,
                    manifest.fileSize / 1e6 / r.total, static_cast<unsigned long long>(r.host.stopQueries),
                    static_cast<unsigned long long>(r.host.progress));
        std::printf("dbx: peak memory %.1f MiB (%.1f MiB at start)\n", PeakRssKiB() / 1024.0, rssStart / 1024.0);
        fs::remove(store);
        fs::remove_all(work / "out-dbx");
    }
    if (mbxMiB) {
        const long rssBefore = PeakRssKiB();
        storegen::Options options;
        options.kind = storegen::StoreKind::Mbx;
        options.seed = seed;
        options.messageCount = static_cast<uint32_t>(messages);
        options.targetSize = mbxMiB << 20;
        const std::string store = (work / "bench.mbx").string();
        auto t0 = Clock::now();
        const storegen::Manifest manifest = GenerateApart(options, store);
        std::printf("mbx: generated %.1f MiB in %.1f s\n", manifest.fileSize / 1048576.0, Seconds(Clock::now() - t0));
        const Result r = RunRepair(store, (work / "out-mbx").string());
        std::printf("mbx: one pass %.3f s = %.0f MB/s, %.0f messages/s (%llu written, %llu errors); "
                    "%llu stop queries, %llu progress events\n",
                    r.total, manifest.fileSize / 1e6 / r.total, r.messages / r.total,
                    static_cast<unsigned long long>(r.messages), static_cast<unsigned long long>(r.host.errors),
                    static_cast<unsigned long long>(r.host.stopQueries), static_cast<unsigned long long>(r.host.progress));
        std::printf("mbx: cpu time %.3f s = %.0f MB/s of CPU\n", r.cpu, manifest.fileSize / 1e6 / r.cpu);
        std::printf("mbx: peak memory %.1f MiB (%.1f MiB before)\n", PeakRssKiB() / 1024.0, rssBefore / 1024.0);
        fs::remove(store);
        fs::remove_all(work / "out-mbx");
    }
    fs::remove_all(work);
    return 0;
}
