// The DVO* calls of the search and its records; each forwards to the engine object.
#include <string>
#include <utility>
#include <vector>

#include "engine/DVOSUB.h"
#include "engine/Engine.h"
#include "engine/LastError.h"
#include "platform/Guard.h"
#include "platform/HelperProcess.h"
#include "platform/Text.h"

using dvo::Engine;

namespace {

// Nothing thrown inside the engine crosses into the program: the call returns its failure
// value and the reason is kept for DVOGetLastErrorText.
template <typename Result, typename Call> Result Guarded(Result failure, Call call) noexcept {
    return platform::Guarded(failure, call,
                             [] { dvo::SetLastErrorText(dvo::kOutOfResourcesText); });
}

} // namespace

extern "C" {

DVO_API int DVOCreateObj(void) {
    // A deep tree is read with a descriptor per level; the common soft limit of 1,024 would make
    // the walk reopen folders from far above.
    platform::RaiseDescriptorLimit();
    return Guarded<int>(DVO_E_IO, [&]() -> int { return Engine::Create(); });
}

DVO_API int DVODestroyObj(void) {
    return Guarded<int>(DVO_OK, [&]() -> int { return Engine::Destroy(); });
}

DVO_API int DVOStartFileSearching(void) {
    return Guarded<int>(DVO_E_IO, [&]() -> int {
        Engine* e = Engine::Instance();
        return e == nullptr ? DVO_E_NO_OBJECT : e->StartSearching();
    });
}

DVO_API int DVOAddSearchDirectory(const char16_t* path) {
    return Guarded<int>(DVO_E_IO, [&]() -> int {
        Engine* e = Engine::Instance();
        return e == nullptr ? DVO_E_NO_OBJECT : e->AddSearchDirectory(path);
    });
}

DVO_API int DVOSetRecordsAhead(int ahead) {
    return Guarded<int>(DVO_E_IO, [&]() -> int {
        Engine* e = Engine::Instance();
        if (e == nullptr) {
            return DVO_E_NO_OBJECT;
        }
        e->SetRecordsAhead(ahead != 0);
        return DVO_OK;
    });
}

DVO_API int DVOSetExcludePatterns(const char16_t* const* patterns, int count) {
    return Guarded<int>(DVO_E_IO, [&]() -> int {
        Engine* e = Engine::Instance();
        if (e == nullptr) {
            return DVO_E_NO_OBJECT;
        }
        if (count < 0 || (count > 0 && patterns == nullptr)) {
            return DVO_E_INVALID_ARGUMENT;
        }
        std::vector<std::string> bytes;
        bytes.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            if (patterns[i] == nullptr) {
                return DVO_E_INVALID_ARGUMENT;
            }
            bytes.push_back(platform::Utf16ToUtf8(patterns[i]));
        }
        e->SetExcludes(dvo::ExcludeList(std::move(bytes)));
        return DVO_OK;
    });
}

DVO_API int DVOExecFileSearch(int recurse, int followLinks, int hardLinksOnce,
                              int crossFileSystems) {
    return Guarded<int>(DVO_E_IO, [&]() -> int {
        Engine* e = Engine::Instance();
        if (e == nullptr) {
            return DVO_E_NO_OBJECT;
        }
        dvo::ScanOptions options;
        options.recurse = recurse != 0;
        options.followLinks = followLinks != 0;
        options.hardLinksOnce = hardLinksOnce != 0;
        options.crossFileSystems = crossFileSystems != 0;
        return e->ExecSearch(options);
    });
}

DVO_API int DVORescanFolder(FolderRecord* record) {
    return Guarded<int>(DVO_E_IO, [&]() -> int {
        Engine* e = Engine::Instance();
        return e == nullptr ? DVO_E_NO_OBJECT : e->Rescan(record);
    });
}

DVO_API int DVOIsActive(void) {
    return Guarded<int>(0, [&]() -> int {
        Engine* e = Engine::Instance();
        return e != nullptr && e->IsActive() ? 1 : 0;
    });
}

DVO_API int DVOIsSearching(void) {
    return Guarded<int>(0, [&]() -> int {
        Engine* e = Engine::Instance();
        return e != nullptr && e->IsSearching() ? 1 : 0;
    });
}

DVO_API int DVOAbortFileSearching(void) {
    return Guarded<int>(DVO_E_IO, [&]() -> int {
        Engine* e = Engine::Instance();
        return e == nullptr ? DVO_E_NO_OBJECT : e->Abort();
    });
}

DVO_API int DVOGetCurrentSearchInfo(SearchProgress* progress) {
    return Guarded<int>(DVO_E_IO, [&]() -> int {
        Engine* e = Engine::Instance();
        return e == nullptr ? DVO_E_NO_OBJECT : e->Progress(progress);
    });
}

DVO_API int DVOGetFolderInfoCount(void) {
    return Guarded<int>(0, [&]() -> int {
        Engine* e = Engine::Instance();
        return e == nullptr ? 0 : e->FolderCount();
    });
}

DVO_API int DVOGetFolderInfo(FolderRecord** records, int count) {
    return Guarded<int>(DVO_E_IO, [&]() -> int {
        Engine* e = Engine::Instance();
        return e == nullptr ? DVO_E_NO_OBJECT : e->FolderList(records, count);
    });
}

DVO_API FolderRecord* DVOGetRootFolderInfo(void) {
    return Guarded<FolderRecord*>(static_cast<FolderRecord*>(nullptr), [&]() -> FolderRecord* {
        Engine* e = Engine::Instance();
        return e == nullptr ? nullptr : e->Top();
    });
}

DVO_API FolderRecord* DVOGetFirstFolderInfo(FolderRecord* parent) {
    return Guarded<FolderRecord*>(static_cast<FolderRecord*>(nullptr), [&]() -> FolderRecord* {
        Engine* e = Engine::Instance();
        return e == nullptr ? nullptr : e->First(parent);
    });
}

DVO_API FolderRecord* DVOGetNextFolderInfo(FolderRecord* parent) {
    return Guarded<FolderRecord*>(static_cast<FolderRecord*>(nullptr), [&]() -> FolderRecord* {
        Engine* e = Engine::Instance();
        return e == nullptr ? nullptr : e->Next(parent);
    });
}

DVO_API int DVOGetFolderState(const FolderRecord* record) {
    return Guarded<int>(DVO_E_IO, [&]() -> int {
        Engine* e = Engine::Instance();
        return e == nullptr ? DVO_E_NO_OBJECT : e->FolderState(record);
    });
}

DVO_API int DVOGetErrorCount(void) {
    return Guarded<int>(DVO_E_IO, [&]() -> int {
        Engine* e = Engine::Instance();
        return e == nullptr ? DVO_E_NO_OBJECT : e->ErrorCount();
    });
}

} // extern "C"
