// The engine's numbered texts and the host connection's sending operations.
#include "state.h"

#include <cstdarg>
#include <iterator>

#include "platform/strings.h"

namespace pyxol {

namespace {

struct EngineTextEntry {
    unsigned id;
    const char16_t* text;
};

constexpr EngineTextEntry kEngineTexts[] = {
    {9, u"Start processing message (No.%u) ..."},
    {10, u"Error 1: Cannot open the file to be repaired. %s"},
    {11, u"Error 2: General error. %s"},
    {12, u"Error 3: Unknown error in %s."},
    {13, u"Finish processing message (No.%u)."},
    {14, u"Message size: %lu"},
    {15, u"Message %lu"},
    {16, u"Error 4: Cannot create temporary file."},
    {18, u"Error 6: Cannot create message file."},
    {19, u"Error 8: Invalid destination directory."},
    {20, u"Destination directory '%s' is invalid. Please try to use another directory."},
    {21, u"Recovered_Msg%lu"},
    {22, u"Count of messages in current directory reaches the limit %lu."},
    {23, u"Create a new sub directory %s under %s to accommodate the remaining recovered "
         u"messages."},
    {28, u"Error 7: Share violation when opening the source file '%s'.\r\n"
         u"Please close any other applications accessing the file and try again.\r\n"
         u"If this still cannot work, then please make a copy of the source file, then repair "
         u"the copy instead."},
};

}  // namespace

const char16_t* EngineText(unsigned id) {
    for (const auto& entry : kEngineTexts)
        if (entry.id == id) return entry.text;
    return u"";
}

int32_t CCommunicator::SendFormatted(int32_t code, const char16_t* pattern, ...) const {
    if (!pfnCallback) return 0;  // nobody listens: skip the formatting
    va_list args;
    va_start(args, pattern);
    const std::u16string text = FormatU16V(pattern, args);
    va_end(args);
    return Send(code, text.c_str());
}

int32_t CCommunicator::SendResourceFormatted(int32_t code, unsigned stringId, ...) const {
    if (!pfnCallback) return 0;
    va_list args;
    va_start(args, stringId);
    const std::u16string text = FormatU16V(EngineText(stringId), args);
    va_end(args);
    return Send(code, text.c_str());
}

int32_t CCommunicator::SendResourceError(unsigned stringId) const {
    return Send(EVENT_ERROR, EngineText(stringId));
}

int32_t CCommunicator::SendUnknownError(const char16_t* where) const {
    return SendResourceFormatted(EVENT_ERROR, 12, where);
}

std::u16string FormatExceptionText(const CException& error, unsigned stringId) {
    std::u16string message;
    if (!error.GetErrorMessage(message) || message.empty())
        message = u"No error message is available.";
    // The record's message is read into a buffer of 4096 characters.
    if (message.size() > 4095) message.resize(4095);
    return FormatU16(EngineText(stringId), message.c_str());
}

}  // namespace pyxol
