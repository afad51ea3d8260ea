// Test hosts for the engine: RecordingHost records every event the engine
// sends (code plus a copy of its payload) and answers stop queries by a rule;
// RunRepairCall drives the exported entry point the way a front end does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pyxol/pyxol.h"

namespace vantrel::test {

struct RecordedEvent {
    int32_t code = 0;
    std::u16string text;  // string payloads (log, cell, error, box, source file)
    int64_t value = 0;    // numeric payloads (progress, report columns)
    bool nullPayload = false;

    std::string Utf8() const;
};

class RecordingHost {
public:
    // Reply to the n-th stop query (0-based); the default continues.
    std::function<int32_t(uint64_t queryIndex)> stopRule;
    // Called for every event after it is recorded (for hosts that must react,
    // for instance to throw from inside the engine in a test).
    std::function<void(const RecordedEvent&)> onEvent;
    // Large stores send a stop query and a progress event per byte: a test
    // may count queries only and keep progress events only when they change.
    bool recordStopQueries = true;
    bool recordRepeatedProgress = true;

    std::vector<RecordedEvent> events;
    uint64_t stopQueries = 0;

    static int32_t Callback(int32_t code, const void* payload, void* hostContext);

    // Codes of all events in order.
    std::vector<int32_t> Codes() const;
    // Payload texts of the events with this code, in order.
    std::vector<std::u16string> Texts(int32_t code) const;
    size_t Count(int32_t code) const;
    // Progress values in order.
    std::vector<int> Progress() const;
    // Report cells grouped into rows by the last announced column count
    // (the header row included).
    std::vector<std::vector<std::u16string>> ReportRows() const;
    // Every event on its own line, for failure messages.
    std::string Dump() const;
};

// Calls RepairSourceFile with a masked block as a front end does. A null host
// passes a null callback.
int32_t RunRepairCall(const std::u16string& source, const std::u16string& outputDir,
                      const RepairOptions& options, RecordingHost* host);

std::u16string U16(const std::string& utf8);
std::string U8(const std::u16string& text);

// Name of an event code ("EVENT_ERROR"), for messages.
const char* EventName(int32_t code);

}  // namespace vantrel::test
