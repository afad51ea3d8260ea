#include "Hovar.h"

#include "BrelMain.h"

static_assert(BREL_EVENT_PROGRESS == EVENT_PROGRESS);
static_assert(BREL_EVENT_QUERY_STOP == EVENT_QUERY_STOP);

namespace {
TRepairEntry g_RepairEntry = &RepairSourceFile;
}

TRepairEntry SetRepairEntry(TRepairEntry Entry) {
    TRepairEntry previous = g_RepairEntry;
    g_RepairEntry = Entry ? Entry : &RepairSourceFile;
    return previous;
}

int32_t InvokeRepairEngine(const char16_t* SourceFile, const RepairOptions* Options,
                           intptr_t Reserved, const char16_t* OutputDir,
                           RepairCallback Callback, void* HostContext) {
    RepairParams params{};
    params.pszSourceFile = SourceFile;
    params.pOptions = Options;
    params.nReserved = Reserved;
    params.pszOutputDir = OutputDir;
    params.pfnCallback = Callback;
    params.pHostContext = HostContext;
    const RepairParams masked = PyxolMaskParams(params);
    return g_RepairEntry(&masked);
}

extern "C" int32_t EngineCallback(int32_t Code, const void* Payload, void* HostContext) {
    TBrelMainForm* form = *static_cast<TBrelMainForm* const*>(HostContext);
    return form->DispatchEngineEvent(Code, Payload) ? -1 : 0;
}
