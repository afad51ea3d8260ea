// Fuzz target: ParseVersion and IsNewerVersion of the update check.
//
// Invariants: "," and "." separate parts alike; four numbers written out
// (with either separator, leading blanks, text after the fourth part) read
// back as themselves; nothing after four parts counts; a version is never
// newer than itself and "newer" runs one way only.
#include <QString>

#include "WebUpdate.h"
#include "fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::uint64_t version = ParseVersion(text);
    QString dotted = text;
    dotted.replace(u',', u'.');
    FUZZ_CHECK(ParseVersion(dotted) == version, "comma and dot differ");
    FUZZ_CHECK(!IsNewerVersion(version, version), "newer than itself");

    // Four 16-bit numbers from the first eight bytes.
    std::uint16_t parts[4] = {};
    for (size_t i = 0; i < 8 && i < size; ++i) parts[i / 2] = static_cast<std::uint16_t>(parts[i / 2] << 8 | data[i]);
    const std::uint64_t packed = std::uint64_t(parts[0]) << 48 | std::uint64_t(parts[1]) << 32 |
                                 std::uint64_t(parts[2]) << 16 | parts[3];
    const QString written = QStringLiteral("%1.%2,%3. %4").arg(parts[0]).arg(parts[1]).arg(parts[2]).arg(parts[3]);
    FUZZ_CHECK(ParseVersion(written) == packed, written.toStdString());
    FUZZ_CHECK(ParseVersion(written + u'.' + text) == packed, "text after four parts counted");
    const std::uint64_t other = ParseVersion(written + text);
    FUZZ_CHECK(!(IsNewerVersion(version, other) && IsNewerVersion(other, version)), "newer both ways");
    return 0;
}

std::vector<std::string> FuzzSeeds() {
    return {"2.6.0.0", "2,6,1,7", "2.6", " 3 . 1", "1..2", "65536.1.2.3", "-1.2", "+4.x.5", "1.2.3.4.5",
            "99999999999999999999.1", "\xef\xbb\xbf" "2.5", ""};
}
