#include "recording_host.h"

#include <sstream>

#include "platform/strings.h"

namespace vantrel::test {

std::u16string U16(const std::string& utf8) { return pyxol::FromUtf8(utf8); }
std::string U8(const std::u16string& text) { return pyxol::ToUtf8(text); }

const char* EventName(int32_t code) {
    switch (code) {
    case EVENT_PROGRESS: return "EVENT_PROGRESS";
    case EVENT_SOURCE_FILE: return "EVENT_SOURCE_FILE";
    case EVENT_LOG_LINE: return "EVENT_LOG_LINE";
    case EVENT_REPORT_CELL: return "EVENT_REPORT_CELL";
    case EVENT_QUERY_STOP: return "EVENT_QUERY_STOP";
    case EVENT_ERROR: return "EVENT_ERROR";
    case EVENT_REPORT_COLUMNS: return "EVENT_REPORT_COLUMNS";
    case EVENT_MESSAGE_BOX: return "EVENT_MESSAGE_BOX";
    default: return "unknown event";
    }
}

std::string RecordedEvent::Utf8() const { return U8(text); }

int32_t RecordingHost::Callback(int32_t code, const void* payload, void* hostContext) {
    auto* host = static_cast<RecordingHost*>(hostContext);
    RecordedEvent event;
    event.code = code;
    event.nullPayload = payload == nullptr;
    int32_t reply = 0;
    switch (code) {
    case EVENT_PROGRESS:
        if (payload) event.value = *static_cast<const uint8_t*>(payload);
        break;
    case EVENT_REPORT_COLUMNS:
        if (payload) event.value = *static_cast<const int32_t*>(payload);
        break;
    case EVENT_QUERY_STOP:
        reply = host->stopRule ? host->stopRule(host->stopQueries) : 0;
        event.value = reply;
        ++host->stopQueries;
        break;
    default:
        if (payload) event.text = static_cast<const char16_t*>(payload);
        break;
    }
    bool keep = true;
    if (code == EVENT_QUERY_STOP && !host->recordStopQueries) keep = false;
    if (code == EVENT_PROGRESS && !host->recordRepeatedProgress) {
        for (auto it = host->events.rbegin(); it != host->events.rend(); ++it) {
            if (it->code == EVENT_PROGRESS) {
                keep = it->value != event.value;
                break;
            }
        }
    }
    if (keep) host->events.push_back(event);
    if (host->onEvent) host->onEvent(event);
    return reply;
}

std::vector<int32_t> RecordingHost::Codes() const {
    std::vector<int32_t> codes;
    for (const auto& e : events) codes.push_back(e.code);
    return codes;
}

std::vector<std::u16string> RecordingHost::Texts(int32_t code) const {
    std::vector<std::u16string> texts;
    for (const auto& e : events)
        if (e.code == code) texts.push_back(e.text);
    return texts;
}

size_t RecordingHost::Count(int32_t code) const {
    size_t n = 0;
    for (const auto& e : events) n += e.code == code;
    return n;
}

std::vector<int> RecordingHost::Progress() const {
    std::vector<int> values;
    for (const auto& e : events)
        if (e.code == EVENT_PROGRESS) values.push_back(static_cast<int>(e.value));
    return values;
}

std::vector<std::vector<std::u16string>> RecordingHost::ReportRows() const {
    std::vector<std::vector<std::u16string>> rows;
    size_t columns = 0;
    for (const auto& e : events) {
        if (e.code == EVENT_REPORT_COLUMNS) {
            columns = e.value > 0 ? static_cast<size_t>(e.value) : 0;
        } else if (e.code == EVENT_REPORT_CELL && columns) {
            if (rows.empty() || rows.back().size() == columns) rows.emplace_back();
            rows.back().push_back(e.text);
        }
    }
    return rows;
}

std::string RecordingHost::Dump() const {
    std::ostringstream out;
    for (const auto& e : events) {
        out << EventName(e.code);
        if (e.code == EVENT_PROGRESS || e.code == EVENT_REPORT_COLUMNS || e.code == EVENT_QUERY_STOP)
            out << ' ' << e.value;
        else
            out << " \"" << e.Utf8() << '"';
        out << '\n';
    }
    return out.str();
}

int32_t RunRepairCall(const std::u16string& source, const std::u16string& outputDir,
                      const RepairOptions& options, RecordingHost* host) {
    RepairParams params{};
    params.pszSourceFile = source.c_str();
    params.pOptions = &options;
    params.nReserved = 0;
    params.pszOutputDir = outputDir.c_str();
    params.pfnCallback = host ? &RecordingHost::Callback : nullptr;
    params.pHostContext = host;
    const RepairParams masked = PyxolMaskParams(params);
    return RepairSourceFile(&masked);
}

}  // namespace vantrel::test
