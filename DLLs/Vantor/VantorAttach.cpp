// Load and unload of the shared library: the attach traces and the process's search list. The
// white-box test build leaves this out and makes its own list.
#include "DLLs/Vantor/FindList.h"
#include "platform/DebugOutput.h"

namespace {

__attribute__((constructor)) void OnAttachToProcess() {
    platform::DebugOutput("VANTOR.DLL ATTACED_TO_PROCESS:Start\n");
    vantor::CreateFindList();
    platform::DebugOutput("VANTOR.DLL ATTACED_TO_PROCESS:Finished\n");
}

__attribute__((destructor)) void OnDetachFromProcess() { vantor::DestroyFindList(); }

} // namespace
