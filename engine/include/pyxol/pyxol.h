// pyxol.h: the public interface of the recovery engine libpyxol.so.
//
// The engine has exactly one entry point, RepairSourceFile. A host calls it
// once per store file with a masked parameter block and receives everything
// the repair produces (progress, log lines, report cells, errors, message
// boxes) through a callback, on its own thread, while the call runs. Both
// front ends (the desktop program and vantrel-cli) include this header and
// nothing else of the engine.
#ifndef PYXOL_PYXOL_H
#define PYXOL_PYXOL_H

#include <stdint.h>

#if defined(__GNUC__)
#define PYXOL_API __attribute__((visibility("default")))
#else
#define PYXOL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Host events. The payload of every event belongs to the engine and is valid
// only until the callback returns; a host copies what it keeps.
enum {
    EVENT_PROGRESS = 1524,        // const uint8_t*: overall progress 0..100
    EVENT_SOURCE_FILE = 1535,     // const char16_t*: source path as passed
    EVENT_LOG_LINE = 1568,        // const char16_t*: one log line; "-" is a separator
    EVENT_REPORT_CELL = 1569,     // const char16_t*: next report cell, row by row
    EVENT_QUERY_STOP = 1575,      // null; reply nonzero = stop, 0 = continue
    EVENT_ERROR = 1577,           // const char16_t*: numbered error text
    EVENT_REPORT_COLUMNS = 1579,  // const int32_t*: cells per report row (always 2)
    EVENT_MESSAGE_BOX = 1724      // const char16_t*: text to show in an information box
};

// Host callback: event code, payload, host context. Only the reply to
// EVENT_QUERY_STOP is read.
typedef int32_t (*RepairCallback)(int32_t code, const void* payload, void* hostContext);

// Options record. The host reserves 8 bytes; the engine reads the first 6.
typedef struct RepairOptions {
    int32_t UseNewDir;     // 0 = all messages in the output directory; nonzero = roll
                           // over into Recovered_Msg<n> sub-directories at MaxMsgCount
    uint16_t MaxMsgCount;  // messages per directory; 0 means 10000
    uint16_t nPadding;     // not read
} RepairOptions;

// Parameter block: six fields of native pointer width (24 bytes on a 32-bit
// build). The host XORs every byte of it with PYXOL_PARAMS_MASK before the
// call; the engine unmasks a private copy and never writes the host's block.
typedef struct RepairParams {
    const char16_t* pszSourceFile;  // zero-terminated UTF-16 path of the store
    const RepairOptions* pOptions;  // must not be null
    intptr_t nReserved;             // not read; pass 0
    const char16_t* pszOutputDir;   // zero-terminated UTF-16 output directory
    RepairCallback pfnCallback;     // may be null: no events, stop never asked
    void* pHostContext;             // handed back as the callback's third argument
} RepairParams;

// The one-byte mask shared by the engine and every host.
#define PYXOL_PARAMS_MASK 0xA5u

// Repairs one store file. Returns 1 when the store yielded messages, else 0
// (also for every failure before the scan; failures arrive as events).
// Calls must not overlap within one process.
PYXOL_API int32_t RepairSourceFile(const RepairParams* params);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(RepairParams) == 6 * sizeof(void*),
              "the parameter block is six pointer-wide fields");
static_assert(sizeof(RepairOptions) == 8, "the options record is 8 bytes");

// Applies the wire mask to a copy of a parameter block (masking and unmasking
// are the same operation).
inline RepairParams PyxolMaskParams(const RepairParams& in) {
    RepairParams out;
    const unsigned char* src = reinterpret_cast<const unsigned char*>(&in);
    unsigned char* dst = reinterpret_cast<unsigned char*>(&out);
    for (unsigned i = 0; i < sizeof(RepairParams); ++i)
        dst[i] = static_cast<unsigned char>(src[i] ^ PYXOL_PARAMS_MASK);
    return out;
}
#endif

#endif  // PYXOL_PYXOL_H
