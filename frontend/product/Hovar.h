// Hovar: the one place that calls the recovery engine.
//
// InvokeRepairEngine fills the engine's parameter block, masks it and calls
// RepairSourceFile; EngineCallback is the host callback that hands every
// engine event to the main window whose reference the host context points
// to. Both the single-file repair and the batch reach the engine only through
// TMainForm::RepairFile, which uses these two.
#pragma once

#include "pyxol/pyxol.h"

#include <cstdint>

// Stores the six values in a parameter block, masks every byte of it and
// calls the engine's entry; returns the engine's result unchanged. The
// strings, the options record and the host context must stay alive for the
// call.
int32_t InvokeRepairEngine(const char16_t* SourceFile, const RepairOptions* Options,
                           intptr_t Reserved, const char16_t* OutputDir,
                           RepairCallback Callback, void* HostContext);

// The host callback: HostContext points to a cell holding the TBrelMainForm*
// that receives the event. Returns -1 when the window asks to stop, else 0.
extern "C" int32_t EngineCallback(int32_t Code, const void* Payload, void* HostContext);

// The engine entry InvokeRepairEngine calls: RepairSourceFile of libpyxol
// unless a test replaced it. Returns the previous entry; nullptr restores
// the real one.
using TRepairEntry = int32_t (*)(const RepairParams* Params);
TRepairEntry SetRepairEntry(TRepairEntry Entry);
