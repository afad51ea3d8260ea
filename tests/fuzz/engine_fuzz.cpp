// Fuzz target: one whole engine call (RepairSourceFile through the masked
// parameter block) on arbitrary bytes stored as FUZZ_SOURCE_NAME (a ".dbx" or
// a ".mbx" name) and repaired into a fresh output folder, with a private
// temporary directory for the staging files.
//
// Invariants beyond "no crash" (and "the call ends", which libFuzzer's
// timeout watches):
// - the call reports progress 0 first and 100 last, never above 100, and no
//   error at all: damaged bytes are data to pass over, not failures;
// - the report is the two-column header and one row per message, numbered
//   1, 2, 3 ... without gaps, and the result is 1 exactly when rows came;
// - the output folder holds only regular files ending in ".eml", directly or
//   in "Recovered_Msg<n>" folders directly inside it, one file per row, whose
//   sizes are the logged message sizes and whose subject lines name a row;
// - nothing is written beside the output folder, the source is unchanged,
//   and no staging file is left in the temporary directory.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string_view>
#include <unistd.h>

#include "fuzz_target.h"
#include "platform/strings.h"
#include "pyxol/pyxol.h"
#include "storegen/storegen.h"
#include "subject.h"

#ifndef FUZZ_SOURCE_NAME
#define FUZZ_SOURCE_NAME "store.dbx"
#endif

namespace fs = std::filesystem;

namespace {

struct Host {
    int progressEvents = 0;
    int firstProgress = -1;
    int lastProgress = -1;
    bool progressInRange = true;
    int columns = 0;
    int sourceFileEvents = 0;
    std::vector<std::u16string> cells;
    std::vector<std::u16string> errors;
    std::vector<std::u16string> boxes;
    std::vector<std::u16string> subjectsLogged;
    std::multiset<uint64_t> sizesLogged;

    static int32_t Callback(int32_t code, const void* payload, void* context) {
        Host& host = *static_cast<Host*>(context);
        const auto text = [&] { return std::u16string(static_cast<const char16_t*>(payload)); };
        switch (code) {
        case EVENT_PROGRESS: {
            const int value = *static_cast<const uint8_t*>(payload);
            if (host.progressEvents++ == 0) host.firstProgress = value;
            host.lastProgress = value;
            if (value > 100) host.progressInRange = false;
            break;
        }
        case EVENT_SOURCE_FILE: ++host.sourceFileEvents; break;
        case EVENT_REPORT_COLUMNS: host.columns = *static_cast<const int32_t*>(payload); break;
        case EVENT_REPORT_CELL: host.cells.push_back(text()); break;
        case EVENT_ERROR: host.errors.push_back(text()); break;
        case EVENT_MESSAGE_BOX: host.boxes.push_back(text()); break;
        case EVENT_LOG_LINE: {
            const std::u16string line = text();
            static constexpr std::u16string_view kSubject = u"Message subject: ";
            static constexpr std::u16string_view kSize = u"Message size: ";
            if (line.starts_with(kSubject)) host.subjectsLogged.push_back(line.substr(kSubject.size()));
            if (line.starts_with(kSize)) host.sizesLogged.insert(std::stoull(pyxol::ToUtf8(line.substr(kSize.size()))));
            break;
        }
        default: break;
        }
        return 0;  // never stop: the call must end by itself
    }
};

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

bool EndsWith(const std::string& s, std::string_view end) { return s.size() >= end.size() && s.ends_with(end); }

bool IsSubDirectoryName(const std::string& name) {
    static constexpr std::string_view kPrefix = "Recovered_Msg";
    if (!name.starts_with(kPrefix) || name.size() == kPrefix.size()) return false;
    return std::all_of(name.begin() + kPrefix.size(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The regular files written below `out`: every entry is checked on the way.
std::vector<fs::path> CheckOutputFolder(const fs::path& out, bool subDirectoriesAllowed) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        const fs::file_status status = entry.symlink_status();
        if (fs::is_directory(status)) {
            FUZZ_CHECK(subDirectoriesAllowed && IsSubDirectoryName(name), "unexpected folder " + name);
            for (const auto& inner : fs::directory_iterator(entry.path())) {
                const std::string innerName = inner.path().filename().string();
                FUZZ_CHECK(fs::is_regular_file(inner.symlink_status()) && EndsWith(innerName, ".eml"),
                           "unexpected entry " + name + "/" + innerName);
                files.push_back(inner.path());
            }
            continue;
        }
        FUZZ_CHECK(fs::is_regular_file(status) && EndsWith(name, ".eml"), "unexpected entry " + name);
        files.push_back(entry.path());
    }
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path run = FuzzWorkFolder() / "run";
    std::error_code ec;
    fs::remove_all(run, ec);
    const fs::path out = run / "out";
    const fs::path tmp = run / "tmp";
    fs::create_directories(out);
    fs::create_directories(tmp);
    const fs::path source = run / FUZZ_SOURCE_NAME;
    const std::string input(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream file(source, std::ios::binary);
        file.write(input.data(), static_cast<std::streamsize>(input.size()));
    }

    // Half of the inputs run with the per-folder limit on, at 1 to 3.
    RepairOptions options{};
    options.UseNewDir = size & 1;
    options.MaxMsgCount = static_cast<uint16_t>(1 + (size >> 1) % 3);

    const std::u16string sourcePath = pyxol::FromUtf8(source.string());
    const std::u16string outputDir = pyxol::FromUtf8(out.string());
    Host host;
    RepairParams params{};
    params.pszSourceFile = sourcePath.c_str();
    params.pOptions = &options;
    params.pszOutputDir = outputDir.c_str();
    params.pfnCallback = &Host::Callback;
    params.pHostContext = &host;
    const RepairParams masked = PyxolMaskParams(params);

    const char* savedTmp = std::getenv("TMPDIR");
    const std::string restoreTmp = savedTmp ? savedTmp : "";
    ::setenv("TMPDIR", tmp.c_str(), 1);
    const int32_t result = RepairSourceFile(&masked);
    if (savedTmp) ::setenv("TMPDIR", restoreTmp.c_str(), 1);
    else ::unsetenv("TMPDIR");

    std::string firstError = host.errors.empty() ? "" : pyxol::ToUtf8(host.errors.front());
    FUZZ_CHECK(host.errors.empty() && host.boxes.empty(), "error reported: " + firstError);
    FUZZ_CHECK(result == 0 || result == 1, "result " + std::to_string(result));
    FUZZ_CHECK(host.firstProgress == 0 && host.lastProgress == 100 && host.progressInRange, "progress");
    FUZZ_CHECK(host.sourceFileEvents == 1, "source-file event");
    FUZZ_CHECK(host.columns == 2 && host.cells.size() >= 2 && host.cells.size() % 2 == 0, "report layout");
    FUZZ_CHECK(host.cells[0] == u"Message No." && host.cells[1] == u"Subject", "report header");
    const size_t rows = host.cells.size() / 2 - 1;
    for (size_t r = 1; r <= rows; ++r) {
        FUZZ_CHECK(host.cells[2 * r] == pyxol::FromUtf8(std::to_string(r)), "row numbers");
        FUZZ_CHECK(host.cells[2 * r + 1] == host.subjectsLogged.at(r - 1), "row subject and logged subject");
        FUZZ_CHECK(!host.cells[2 * r + 1].empty(), "empty subject");
    }
    FUZZ_CHECK(host.subjectsLogged.size() == rows && host.sizesLogged.size() == rows, "one log block per row");
    FUZZ_CHECK(result == (rows > 0 ? 1 : 0), "result and rows disagree");

    const std::vector<fs::path> files = CheckOutputFolder(out, options.UseNewDir != 0);
    FUZZ_CHECK(files.size() == rows, std::to_string(files.size()) + " files for " + std::to_string(rows) + " rows");
    std::multiset<uint64_t> sizes;
    const std::set<std::u16string> subjects(host.cells.begin() + 2, host.cells.end());
    for (const fs::path& file : files) {
        const std::string bytes = ReadWhole(file);
        sizes.insert(bytes.size());
        const std::u16string subject = pyxol::FindSubject(bytes);
        FUZZ_CHECK(subject.empty() || subjects.count(subject), "file subject not in the report: " + file.string());
    }
    FUZZ_CHECK(sizes == host.sizesLogged, "file sizes differ from the logged sizes");

    FUZZ_CHECK(fs::is_empty(tmp), "staging file left behind");
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(run)) {
        (void)entry;
        ++entries;
    }
    FUZZ_CHECK(entries == 3, "something written beside the output folder");
    FUZZ_CHECK(ReadWhole(source) == input, "source changed");
    return 0;
}

// Small generated stores: intact, each damage recipe of the store kind, and
// hand-made records whose subjects make hostile file names.
std::vector<std::string> FuzzSeeds() {
    using R = storegen::Recipe;
    const bool mbx = std::string_view(FUZZ_SOURCE_NAME).ends_with(".mbx");
    std::vector<std::vector<storegen::Damage>> damages = {{}};
    if (mbx) {
        for (R r : {R::MbxTruncate, R::MbxBadLength, R::MbxNested, R::MbxGarbage}) damages.push_back({{r, 300}});
    } else {
        for (R r : {R::BackToFront, R::Interleaved, R::SelfLoop, R::Loop, R::Merged, R::SmashedHeader,
                    R::Freed, R::Truncate})
            damages.push_back({{r}});
        for (R r : {R::CutStart, R::CutMiddle, R::InsertMiddle, R::Garbage}) damages.push_back({{r, 7}});
    }
    std::vector<std::string> seeds;
    uint64_t seed = 1;
    for (const auto& d : damages) {
        storegen::Options options;
        options.kind = mbx ? storegen::StoreKind::Mbx : storegen::StoreKind::Dbx;
        options.seed = seed++;
        options.messageCount = 3;
        options.maxMessageSize = 700;
        options.damages = d;
        const storegen::Store store = storegen::Generate(options);
        seeds.emplace_back(store.bytes.begin(), store.bytes.end());
    }
    // Hostile subjects, as one record (.mbx) or one single-block chain (.dbx).
    const std::string hostile[] = {
        "../../escape", "/etc/passwd", "a\\b\\..\\c", std::string("nul\0byte", 8), "tab\there",
        ".", "..", std::string(1000, 'L'), "\xff\xfe\x80 latin", "\x1b[31mred", "x/../../../y"};
    for (const std::string& subject : hostile) {
        const std::string text = "From: a@b\r\nSubject: " + subject + "\r\n\r\nbody\r\n";
        const auto put32 = [](std::string& s, uint32_t v) {
            for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
        };
        std::string bytes;
        const uint32_t length = static_cast<uint32_t>(text.size());
        if (mbx) {
            bytes.assign(16, '\0');
            bytes += std::string("\x00\x7f\x00\x7f", 4);
            put32(bytes, 1);
            put32(bytes, length + 16);
            put32(bytes, length);
        } else {
            bytes.assign(16, '\0');
            put32(bytes, 16);  // self offset: where the block lies
            put32(bytes, std::max<uint32_t>(length, 0x200));
            put32(bytes, length);
            put32(bytes, 0);
        }
        bytes += text;
        seeds.push_back(bytes);
    }
    return seeds;
}
