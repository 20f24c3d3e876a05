// Load-time trace of the shared library only; the white-box test build leaves it out so that
// starting a test program writes nothing before its fixture has chosen the debug sink.
#include "platform/DebugOutput.h"

namespace {

__attribute__((constructor)) void OnAttachToProcess() {
    platform::DebugOutput("TAMSIN.DLL ATTACED_TO_PROCESS:Called\n");
}

} // namespace
