// The exported file and shell operations: UTF-16 in, the exact bytes of the names on disk out
// (through the lossless conversion), the entry looked up in the last search, then acted on.
#include "engine/DVOSUB.h"
#include "engine/EntryLookup.h"
#include "engine/FileOperations.h"
#include "engine/LastError.h"
#include "engine/UserTexts.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>

namespace {

// The caller's progress callback as the copy sees it. Never throws: a name without memory for
// its UTF-16 text is told as empty, so the copy can always go on or stop cleanly.
platform::CopyProgress ProgressFor(DVOTransferProgress progress, void* context) {
    if (progress == nullptr)
        return {};
    return [progress, context](long long done, long long total, const std::string& path) {
        std::u16string name;
        try {
            name = platform::Utf8ToUtf16(path);
        } catch (...) {
            name.clear();
        }
        return progress(done, total, name.c_str(), context) == 0;
    };
}

// The caller's completion callback for a helper; the text is converted losslessly.
platform::HelperDone DoneFor(DVOShellDone done, void* context) {
    if (done == nullptr)
        return {};
    return [done, context](const platform::HelperExit& exit) {
        std::u16string text;
        try {
            text = platform::Utf8ToUtf16(exit.errorText);
        } catch (...) {
            text.clear();
        }
        done(exit.status, text.c_str(), context);
    };
}

int Finish(const dvo::OpResult& result) {
    dvo::SetLastErrorText(result.code == DVO_OK ? std::string_view() : result.message);
    return result.code;
}

struct Names {
    std::u16string_view directory16;
    std::u16string_view name16;
    std::string directory;
    std::string name;
};

// Converts and checks the name and folder the program passed; a failure result when unusable.
dvo::OpResult Convert(const char* action, const char16_t* name, const char16_t* directory,
                      Names& out) {
    if (name == nullptr || directory == nullptr)
        return {DVO_E_INVALID_ARGUMENT, std::string(action) + dvo::texts::kNoNameOrFolder};
    out.name16 = {name, platform::Utf16Length(name)};
    out.directory16 = {directory, platform::Utf16Length(directory)};
    out.name = platform::Utf16ToUtf8(out.name16);
    out.directory = platform::Utf16ToUtf8(out.directory16);
    if (out.directory.empty() || !dvo::IsValidEntryName(out.name))
        return {DVO_E_INVALID_ARGUMENT,
                std::string(action) + dvo::texts::kBadNamePrefix + out.name};
    return {};
}

using Operation = std::function<dvo::OpResult(const Names&, const dvo::EntryIdentity&)>;

// Every operation on an entry of the search: the search must know it (and not be running), and
// the operation itself checks it is still the same entry just before acting.
int RunOnEntry(const char* action, const char16_t* name, const char16_t* directory,
               const Operation& operation, bool removesEntry = false) {
    try {
        Names names;
        if (dvo::OpResult r = Convert(action, name, directory, names); r.code != DVO_OK)
            return Finish(r);
        const std::string shown = names.directory + "/" + names.name;
        dvo::EntryIdentity seen;
        switch (dvo::LookupEntry(names.directory16, names.name16, seen)) {
        case dvo::LookupResult::Found: break;
        case dvo::LookupResult::NotFound:
            return Finish({DVO_E_NOT_FOUND,
                           std::string(action) + ": " + shown + dvo::texts::kNotInLastSearch});
        case dvo::LookupResult::Busy:
            return Finish({DVO_E_BUSY, std::string(action) + dvo::texts::kSearching});
        case dvo::LookupResult::OpenedResult:
            return Finish({DVO_E_OPENED_RESULT, std::string(action) + dvo::texts::kOpenedResult});
        case dvo::LookupResult::NoObject:
            return Finish({DVO_E_NO_OBJECT, std::string(action) + dvo::texts::kNoEngine});
        }
        const dvo::OpResult outcome = operation(names, seen);
        const int result = Finish(outcome);
        if (result == DVO_OK && removesEntry)
            dvo::NoteEntryGone(names.directory16, names.name16,
                               {outcome.landedFolder, outcome.landedName, outcome.madeFile,
                                outcome.madeSize, outcome.madeDiskSize});
        else if (outcome.partlyDone)
            dvo::NoteEntryPartlyGone(names.directory16, names.name16);
        return result;
    } catch (...) {
        return Finish({DVO_E_IO, std::string(action) + dvo::texts::kNoMemory});
    }
}

// A copy or a move of one entry to the destination folder, with progress when asked for.
template <typename Operation>
int Transfer(const char* action, const char* noTarget, const char16_t* name,
             const char16_t* directory, const char16_t* destination, DVOTransferProgress progress,
             void* context, Operation operation, bool removesEntry) {
    if (destination == nullptr)
        return Finish({DVO_E_INVALID_ARGUMENT, std::string(action) + noTarget});
    return RunOnEntry(
        action, name, directory,
        [destination, progress, context, operation](const Names& n,
                                                    const dvo::EntryIdentity& seen) {
            const std::string target =
                platform::Utf16ToUtf8({destination, platform::Utf16Length(destination)});
            const platform::CopyProgress report = ProgressFor(progress, context);
            return operation(n.directory, n.name, seen, target, report ? &report : nullptr);
        },
        removesEntry);
}

} // namespace

extern "C" {

DVO_API int DVOShellExecute(unsigned long long owner, const char16_t* name,
                            const char16_t* directory, int op) {
    return DVOShellExecuteEx(owner, name, directory, op, nullptr, nullptr);
}

DVO_API int DVOShellExecuteEx(unsigned long long /*owner*/, const char16_t* name,
                              const char16_t* directory, int op, DVOShellDone done, void* context) {
    try {
        Names names;
        if (dvo::OpResult r = Convert(dvo::texts::kCannotOperate, name, directory, names);
            r.code != DVO_OK)
            return Finish(r);
        return Finish(
            dvo::ShellExecuteEntry(names.directory, names.name, op, DoneFor(done, context)));
    } catch (...) {
        return Finish({DVO_E_IO, std::string(dvo::texts::kCannotOperate) + dvo::texts::kNoMemory});
    }
}

DVO_API int DVODeleteFile(const char16_t* name, const char16_t* directory) {
    return RunOnEntry(
        dvo::texts::kCannotTrash, name, directory,
        [](const Names& n, const dvo::EntryIdentity& seen) {
            return dvo::TrashEntry(n.directory, n.name, seen);
        },
        true);
}

DVO_API int DVODeleteFilePermanently(const char16_t* name, const char16_t* directory) {
    return RunOnEntry(
        dvo::texts::kCannotDelete, name, directory,
        [](const Names& n, const dvo::EntryIdentity& seen) {
            return dvo::DeleteEntryPermanently(n.directory, n.name, seen);
        },
        true);
}

DVO_API int DVOCopyFile(const char16_t* name, const char16_t* directory,
                        const char16_t* destination) {
    return DVOCopyFileEx(name, directory, destination, nullptr, nullptr);
}

DVO_API int DVOCopyFileEx(const char16_t* name, const char16_t* directory,
                          const char16_t* destination, DVOTransferProgress progress,
                          void* context) {
    return Transfer(dvo::texts::kCannotCopy, dvo::texts::kNoCopyTarget, name, directory,
                    destination, progress, context, &dvo::CopyEntry, false);
}

DVO_API int DVOMoveFile(const char16_t* name, const char16_t* directory,
                        const char16_t* destination) {
    return DVOMoveFileEx(name, directory, destination, nullptr, nullptr);
}

DVO_API int DVOMoveFileEx(const char16_t* name, const char16_t* directory,
                          const char16_t* destination, DVOTransferProgress progress,
                          void* context) {
    return Transfer(dvo::texts::kCannotMove, dvo::texts::kNoMoveTarget, name, directory,
                    destination, progress, context, &dvo::MoveEntry, true);
}

DVO_API int DVOGetLastErrorText(char16_t* buffer, int bufferBytes) {
    return dvo::CopyLastErrorText(buffer, bufferBytes);
}

} // extern "C"
