// Subject of a staged message: the first line anywhere in the text that holds
// "subject" (any letter case) followed in the same line by a colon.
#include "subject.h"

#include <cstring>
#include <vector>

#include "platform/file.h"
#include "platform/strings.h"
#include "state.h"

namespace pyxol {

namespace {

bool IsSubjectSpace(unsigned char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0; }

// Looks at one line (its LF and the CR before it already removed). Returns
// true when the line settles the search; `subject` then holds the result,
// which may be empty.
bool SubjectFromLine(std::string_view line, std::u16string& subject) {
    static constexpr char kWord[] = "subject";
    if (line.size() < 8) return false;  // "subject" and at least one byte after it
    size_t found = std::string_view::npos;
    for (size_t i = 0; i + 7 <= line.size() && found == std::string_view::npos; ++i) {
        // Only A-Z fold to lower case; every other byte compares as it is.
        size_t k = 0;
        while (k < 7) {
            unsigned char c = static_cast<unsigned char>(line[i + k]);
            if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
            if (c != static_cast<unsigned char>(kWord[k])) break;
            ++k;
        }
        if (k == 7) found = i;
    }
    if (found == std::string_view::npos) return false;
    const size_t j = found + 7;
    if (j >= line.size()) return false;
    const size_t colon = line.find(':', j);
    if (colon == std::string_view::npos) return false;
    std::string_view value = line.substr(colon + 1);
    // A file name cannot hold NUL: the subject ends at the first one.
    const size_t nul = value.find('\0');
    if (nul != std::string_view::npos) value = value.substr(0, nul);
    while (!value.empty() && IsSubjectSpace(static_cast<unsigned char>(value.front()))) value.remove_prefix(1);
    while (!value.empty() && IsSubjectSpace(static_cast<unsigned char>(value.back()))) value.remove_suffix(1);
    subject = FromLatin1(std::string(value));
    return true;
}

// Feeds text to the line search in pieces; lines of any length are kept
// whole across pieces.
class LineSearch {
public:
    // Returns true when the search is over: a line settled it or 0x1A ended
    // the text.
    bool Feed(const char* data, size_t size) {
        const char* end = data + size;
        if (const void* eof = std::memchr(data, 0x1A, size)) {
            end = static_cast<const char*>(eof);
            m_ended = true;
        }
        while (data < end) {
            const char* lf = static_cast<const char*>(std::memchr(data, '\n', static_cast<size_t>(end - data)));
            if (!lf) {
                m_carry.append(data, end);
                break;
            }
            std::string_view line;
            if (m_carry.empty()) {
                line = std::string_view(data, static_cast<size_t>(lf - data));
            } else {
                m_carry.append(data, lf);
                line = m_carry;
            }
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            const bool done = SubjectFromLine(line, m_subject);
            m_carry.clear();
            if (done) return true;
            data = lf + 1;
        }
        if (!m_ended) return false;
        Finish();  // 0x1A ends the text as the end of the file would
        return true;
    }
    // The last line needs no line feed.
    bool Finish() {
        if (m_carry.empty()) return false;
        std::string last;
        last.swap(m_carry);
        return SubjectFromLine(last, m_subject);
    }
    const std::u16string& Subject() const { return m_subject; }

private:
    std::string m_carry;
    std::u16string m_subject;
    bool m_ended = false;
};

}  // namespace

std::u16string FindSubject(std::string_view text) {
    LineSearch search;
    if (!search.Feed(text.data(), text.size())) search.Finish();
    return search.Subject();
}

std::u16string ReadSubject(const std::u16string& stagingPath, uint32_t messageNumber) {
    std::u16string subject;
    CFile file;
    if (file.Open(stagingPath, CFile::modeRead | CFile::shareDenyWrite, nullptr)) {
        LineSearch search;
        std::vector<char> buffer(16384);
        bool settled = false;
        try {
            while (!settled) {
                const uint32_t n = file.Read(buffer.data(), static_cast<uint32_t>(buffer.size()));
                if (n == 0) break;
                settled = search.Feed(buffer.data(), n);
            }
        } catch (const CException&) {
            // A read error ends the text; what was found so far stands.
        }
        if (!settled) search.Finish();
        subject = search.Subject();
        file.Abort();
    }
    if (subject.empty()) subject = FormatU16(EngineText(15), messageNumber);
    return subject;
}

}  // namespace pyxol
