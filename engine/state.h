// Per-call state of one repair: the host connection (CCommunicator), the
// engine's copy of the options (COptions) and the state object the scanners
// receive (CDBXFile5). Also the numbered engine texts.
#pragma once

#include <cstdint>
#include <string>

#include "pyxol/pyxol.h"
#include "platform/exceptions.h"
#include "scanners/hashtable.h"

namespace pyxol {

// Engine text number `id`, or an empty string for an unknown id.
const char16_t* EngineText(unsigned id);

class CCommunicator {
public:
    CCommunicator(RepairCallback callback, void* context)
        : pfnCallback(callback), pHostContext(context) {}
    virtual ~CCommunicator() = default;

    int32_t Send(int32_t code, const void* payload) const {
        return pfnCallback ? pfnCallback(code, payload, pHostContext) : 0;
    }
    int32_t SendFormatted(int32_t code, const char16_t* pattern, ...) const;
    int32_t SendResourceFormatted(int32_t code, unsigned stringId, ...) const;
    int32_t SendResourceError(unsigned stringId) const;
    // Error 3 ("Error 3: Unknown error in %s.") naming the function in which
    // an unexpected failure was caught, e.g. SendUnknownError(u"ScanDBXFile").
    int32_t SendUnknownError(const char16_t* where) const;

    RepairCallback pfnCallback;
    void* pHostContext;
};

struct COptions {
    virtual ~COptions() = default;
    int32_t UseNewDir = 0;
    uint16_t MaxMsgCount = 10000;
};

class CFileType {
public:
    virtual ~CFileType() = default;
};

class CDBXFile5 : public CFileType {
public:
    explicit CDBXFile5(CCommunicator* communicator) : m_pCommunicator(communicator) {}

    CCommunicator* m_pCommunicator;
    COptions m_options;
    BlockHashMap m_claimedBlocks;  // positions of blocks claimed by a chain (pass 1)
    BlockHashMap m_chainHeads;     // chain head position -> shift
};

// Engine text `stringId` formatted with the error object's own message
// ("No error message is available." when it has none).
std::u16string FormatExceptionText(const CException& error, unsigned stringId);

}  // namespace pyxol
