// Removal for good, copy and move: the platform's tree operations on a checked entry.
#include "engine/CheckedEntry.h"
#include "engine/DVOSUB.h"
#include "engine/ErrorTable.h"
#include "engine/FileOperations.h"
#include "engine/OpFailure.h"
#include "engine/UserTexts.h"
#include "platform/FileCopy.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <string>

namespace dvo {

OpResult DeleteEntryPermanently(const std::string& directory, const std::string& name,
                                const EntryIdentity& seen) {
    const std::string action = texts::kCannotDelete;
    CheckedEntry entry;
    if (OpResult r = OpenRemovable(action, directory, name, seen, entry); r.code != DVO_OK)
        return r;
    platform::FileOpError error;
    const int result =
        platform::RemoveTreeAt(entry.parent.get(), name, Expectation(entry.st), &error);
    if (result == 0)
        return {};
    // It goes on past what it cannot remove, so some of the entry may be gone.
    OpResult failed = FromFileOp(action, directory, error, result);
    failed.partlyDone = true;
    return failed;
}

namespace {

using TreeOperation = int (*)(int, const std::string&, int, const platform::ExpectedEntry&,
                              platform::FileOpError*, const platform::CopyProgress*);

OpResult CopyOrMove(const std::string& action, const std::string& directory,
                    const std::string& name, const EntryIdentity& seen,
                    const std::string& destination, TreeOperation operation,
                    const platform::CopyProgress* progress) {
    CheckedEntry entry;
    if (OpResult r = OpenChecked(action, directory, name, seen, entry); r.code != DVO_OK)
        return r;
    if (destination.empty())
        return Failure(DVO_E_INVALID_ARGUMENT, action, JoinPath(directory, name),
                       texts::kNoDestination);
    platform::UniqueFd target(::open(destination.c_str(), kDirFlags));
    if (!target.valid()) {
        const int e = errno;
        return Failure(e == ENOENT || e == ENOTDIR ? DVO_E_NOT_A_FOLDER : OperationCodeOf(e),
                       action, destination,
                       e == ENOENT ? texts::kDestinationMissing : ReasonText(e));
    }
    platform::FileOpError error;
    const int result =
        operation(entry.parent.get(), name, target.get(), Expectation(entry.st), &error, progress);
    if (result == 0) {
        // The destination by its real path: a text with links, "//" or "./" in it names the
        // same folder as the search's own texts do.
        OpResult placed;
        placed.landedFolder = PathOfFd(target.get());
        placed.landedName = name;
        return placed;
    }
    // A name taken at the destination is about the target, so say where.
    if ((result == EEXIST || result == ENOTEMPTY) && error.path == name)
        return Failure(DVO_E_EXISTS, action, JoinPath(destination, name), ReasonText(EEXIST));
    OpResult failed = FromFileOp(action, directory, error, result);
    // A move across file systems leaves what changed during the copy and removes the rest.
    failed.partlyDone = error.kind == platform::FileOpFailure::ChangedDuringMove;
    return failed;
}

// The platform's copy or move of the entry to the same name in `dst`.
int CopyTree(int src, const std::string& n, int dst, const platform::ExpectedEntry& e,
             platform::FileOpError* error, const platform::CopyProgress* p) {
    return platform::CopyEntryAt(src, n, dst, n, {.progress = p}, e, error);
}

int MoveTree(int src, const std::string& n, int dst, const platform::ExpectedEntry& e,
             platform::FileOpError* error, const platform::CopyProgress* p) {
    return platform::MoveEntryAt(src, n, dst, n, e, error, p);
}

} // namespace

OpResult CopyEntry(const std::string& directory, const std::string& name, const EntryIdentity& seen,
                   const std::string& destination, const platform::CopyProgress* progress) {
    return CopyOrMove(texts::kCannotCopy, directory, name, seen, destination, CopyTree, progress);
}

OpResult MoveEntry(const std::string& directory, const std::string& name, const EntryIdentity& seen,
                   const std::string& destination, const platform::CopyProgress* progress) {
    return CopyOrMove(texts::kCannotMove, directory, name, seen, destination, MoveTree, progress);
}

} // namespace dvo
