#pragma once
// Engine-internal: what an errno value means to the engine's callers, in one table: the DVO_E_*
// result a file operation gives for it, the one a search gives when it cannot open its folder
// (DVOSearch documents only NOT_FOUND, NOT_A_FOLDER and ACCESS there, all else is DVO_E_IO),
// and the reason told to the user. A call that means something else by an errno (a folder on
// the way that became a link is DVO_E_CHANGED) says so where it makes the call.
#include "engine/DVOSUB.h"
#include "engine/UserTexts.h"

#include <cerrno>
#include <string>

namespace dvo {

struct ErrnoMeaning {
    int error;
    int operationCode; // result of a file operation (trash, delete, copy, move, shell action)
    int searchCode;    // result of starting a search on a folder that cannot be opened
    const char* text;  // reason for the user; null: the C library's description
};

// clang-format off
inline constexpr ErrnoMeaning kErrnoMeanings[] = {
    {EACCES,       DVO_E_ACCESS,           DVO_E_ACCESS,       texts::kAccessDenied},
    {EPERM,        DVO_E_ACCESS,           DVO_E_ACCESS,       texts::kAccessDenied},
    {EROFS,        DVO_E_ACCESS,           DVO_E_IO,           texts::kReadOnlyFileSystem},
    {ENOENT,       DVO_E_NOT_FOUND,        DVO_E_NOT_FOUND,    texts::kNotFound},
    {ENOTDIR,      DVO_E_NOT_A_FOLDER,     DVO_E_NOT_A_FOLDER, texts::kNotAFolder},
    {EEXIST,       DVO_E_EXISTS,           DVO_E_IO,           texts::kNameTaken},
    {ENOTEMPTY,    DVO_E_EXISTS,           DVO_E_IO,           texts::kNameTaken},
    {ESTALE,       DVO_E_CHANGED,          DVO_E_IO,           texts::kReplaced},
    {ECANCELED,    DVO_E_CANCELLED,        DVO_E_IO,           texts::kCancelled},
    {EXDEV,        DVO_E_MOUNT_POINT,      DVO_E_IO,           nullptr},
    {EINVAL,       DVO_E_INVALID_ARGUMENT, DVO_E_IO,           nullptr},
    {ENOSPC,       DVO_E_IO,               DVO_E_IO,           texts::kNoSpace},
    {EDQUOT,       DVO_E_IO,               DVO_E_IO,           texts::kQuotaExceeded},
    {EBUSY,        DVO_E_IO,               DVO_E_IO,           texts::kInUse},
    {ENAMETOOLONG, DVO_E_IO,               DVO_E_IO,           texts::kNameTooLong},
    {ELOOP,        DVO_E_IO,               DVO_E_IO,           texts::kIsLink},
    {EIO,          DVO_E_IO,               DVO_E_IO,           texts::kIoError},
    {EMFILE,       DVO_E_IO,               DVO_E_IO,           texts::kTooManyOpenFiles},
    {ENFILE,       DVO_E_IO,               DVO_E_IO,           texts::kTooManyOpenFiles},
};
// clang-format on

// Any errno not in the table.
inline constexpr ErrnoMeaning kOtherErrno{0, DVO_E_IO, DVO_E_IO, nullptr};

constexpr const ErrnoMeaning& MeaningOf(int error) {
    for (const ErrnoMeaning& m : kErrnoMeanings)
        if (m.error == error)
            return m;
    return kOtherErrno;
}

constexpr bool ErrnoValuesUnique() {
    for (const ErrnoMeaning& a : kErrnoMeanings)
        for (const ErrnoMeaning& b : kErrnoMeanings)
            if (&a != &b && a.error == b.error)
                return false;
    return true;
}
static_assert(ErrnoValuesUnique(), "one row per errno value");

// The result of a file operation that failed with `error`; DVO_OK for 0.
constexpr int OperationCodeOf(int error) {
    return error == 0 ? DVO_OK : MeaningOf(error).operationCode;
}

// The result of a search whose folder could not be opened with `error`.
constexpr int SearchCodeOf(int error) { return MeaningOf(error).searchCode; }

// The reason for the user: the table's text, else the C library's description.
std::string ReasonText(int error);

} // namespace dvo
