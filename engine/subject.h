// ReadSubject: the subject of a staged message, for its report row, its log
// block and its file name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pyxol {

// Subject found in raw message text (pure; what tests and fuzzers call).
// Empty when there is none.
std::u16string FindSubject(std::string_view text);
// Reads the staged file and returns its subject, or "Message <n>" when it has
// none or cannot be read. Never empty.
std::u16string ReadSubject(const std::u16string& stagingPath, uint32_t messageNumber);

}  // namespace pyxol
