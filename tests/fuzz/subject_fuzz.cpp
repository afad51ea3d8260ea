// Fuzz target: the subject search and the file name made from a subject.
//
// Invariants:
// - FindSubject agrees with a plain, line-by-line reading of the rule (the
//   first line holding "subject" in any letter case and a colon after it
//   gives the rest of that line, trimmed; CR LF and LF end lines, 0x1A ends
//   the text, a NUL ends the subject);
// - ReadSubject on the same bytes in a file gives the same subject (the file
//   is read in pieces, so lines that cross pieces are covered), or
//   "Message 7" when there is none;
// - the path BuildMessagePath makes from that subject lies directly in the
//   output folder, ends in ".eml", is no "." or ".." and no existing entry,
//   and the writer's copy puts exactly one regular file there.
#include <filesystem>
#include <fstream>
#include <string_view>
#include <unistd.h>

#include "fuzz_target.h"
#include "platform/fs.h"
#include "platform/strings.h"
#include "storegen/storegen.h"
#include "subject.h"
#include "writer.h"

namespace fs = std::filesystem;

namespace {

bool IsSpace(unsigned char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0; }

std::u16string ReferenceSubject(std::string_view text) {
    const size_t eof = text.find('\x1a');
    if (eof != std::string_view::npos) text = text.substr(0, eof);
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        std::string_view line = text.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start);
        start = lf == std::string_view::npos ? text.size() : lf + 1;
        if (!line.empty() && line.back() == '\r' && lf != std::string_view::npos) line.remove_suffix(1);
        std::string lower(line);
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        const size_t word = lower.find("subject");
        if (word == std::string::npos || word + 7 >= line.size()) continue;
        const size_t colon = line.find(':', word + 7);
        if (colon == std::string_view::npos) continue;
        std::string_view value = line.substr(colon + 1);
        value = value.substr(0, value.find('\0'));
        while (!value.empty() && IsSpace(static_cast<unsigned char>(value.front()))) value.remove_prefix(1);
        while (!value.empty() && IsSpace(static_cast<unsigned char>(value.back()))) value.remove_suffix(1);
        return pyxol::FromLatin1(std::string(value));
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::u16string subject = pyxol::FindSubject(text);
    FUZZ_CHECK(subject == ReferenceSubject(text), "FindSubject differs from the rule");

    const fs::path run = FuzzWorkFolder() / "run";
    std::error_code ec;
    fs::remove_all(run, ec);
    const fs::path out = run / "out";
    fs::create_directories(out);
    const fs::path staged = run / "staged";
    {
        std::ofstream file(staged, std::ios::binary);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    const std::u16string read = pyxol::ReadSubject(pyxol::FromUtf8(staged.string()), 7);
    FUZZ_CHECK(read == (subject.empty() ? u"Message 7" : subject), "ReadSubject differs from FindSubject");

    const std::u16string directory = pyxol::FromUtf8(out.string());
    const std::u16string path = pyxol::BuildMessagePath(directory, read, 7);
    FUZZ_CHECK(path.starts_with(directory + u"/"), "path outside the folder");
    const std::u16string name = path.substr(directory.size() + 1);
    FUZZ_CHECK(name.find(u'/') == std::u16string::npos && name.find(u'\0') == std::u16string::npos, "name holds / or NUL");
    FUZZ_CHECK(name != u"." && name != u".." && name.ends_with(u".eml"), "bad name");
    FUZZ_CHECK(pyxol::CopyFileReplacing(pyxol::FromUtf8(staged.string()), path), "copy failed");
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        FUZZ_CHECK(fs::is_regular_file(entry.symlink_status()), "not a regular file");
        ++entries;
    }
    FUZZ_CHECK(entries == 1, "one file expected in the folder");
    return 0;
}

std::vector<std::string> FuzzSeeds() {
    std::vector<std::string> seeds = {
        "Subject: Hello world\r\n\r\nbody",
        "X-Subject-Code: 12\nSubject: later\n",
        "subject :   Hello \t \r\n",
        "Subject:\r\nSubject: second\r\n",
        "From: a\r\n\x1aSubject: hidden\r\n",
        std::string("Subject: nul\0after\r\n", 20),
        "SUBJECT:../../etc/passwd\n",
        "Subject: .\n",
        "Subject: ..\n",
        "Subject: \xe9t\xe9 \xff\xfe\n",
        "Subject: " + std::string(1000, 'x') + "\n",
        "Subject: " + std::string(300, '\xe9') + "\n",
        "no subject line at all\r\nnor here\r\n",
        std::string(16380, 'a') + "\nSubject: across the piece boundary\n",
    };
    storegen::Options options;
    options.kind = storegen::StoreKind::Mbx;
    options.messageCount = 4;
    options.maxMessageSize = 900;
    for (const storegen::Recovery& r : storegen::Generate(options).manifest.recoveries) seeds.push_back(r.bytes);
    return seeds;
}
