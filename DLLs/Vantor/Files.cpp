// Paths, files and folders: the exports over the common module's file functions, which the log
// library carries as well.
#include "DLLs/Vantor/Vantor.h"

#include "DLLs/common/FileFunctions.h"
#include "platform/Guard.h"

#include <cerrno>

extern "C" {

int CMNGetApplicationDataPath(char* buffer) {
    return platform::Guarded<int>(0,
                                  [&]() -> int { return common::GetApplicationDataPath(buffer); });
}

int SRGetApplicationDataPath(char* buffer) {
    return platform::Guarded<int>(0,
                                  [&]() -> int { return common::GetApplicationDataPath(buffer); });
}

int CMNGetApplicationFilenameBody(char* buffer) {
    return platform::Guarded<int>(
        0, [&]() -> int { return common::GetApplicationFilenameBody(buffer); });
}

int SRGetApplicationFilenameBody(char* buffer) {
    return platform::Guarded<int>(
        0, [&]() -> int { return common::GetApplicationFilenameBody(buffer); });
}

int CMNGetFilenameBody(char* path) {
    return platform::Guarded<int>(0, [&]() -> int { return common::GetFilenameBody(path); });
}

int CMNGetCurrentPath(char* out, const char* path) {
    return platform::Guarded<int>(0, [&]() -> int { return common::GetCurrentPath(out, path); });
}

int SRGetCurrentPath(char* out, const char* path) {
    return platform::Guarded<int>(0, [&]() -> int { return common::GetCurrentPath(out, path); });
}

int SRPathAppend(char* path, const char* more) {
    return platform::Guarded<int>(0, [&]() -> int { return common::PathAppend(path, more); });
}

int SRPathRenameExtension(char* path, const char* extension) {
    return platform::Guarded<int>(
        0, [&]() -> int { return common::PathRenameExtension(path, extension); });
}

int SRPathGetExtension(const char* path, char* out) {
    return platform::Guarded<int>(-1, [&]() -> int { return common::PathGetExtension(path, out); });
}

int SRFileExists(const char* path) {
    return platform::Guarded<int>(0, [&]() -> int { return common::FileExists(path); });
}

int SRFileExistsWithPath(const char* name, const char* directory) {
    return platform::Guarded<int>(
        0, [&]() -> int { return common::FileExistsWithPath(name, directory); });
}

int SRMkDir(const char* path) {
    return platform::Guarded<int>(ENOMEM, [&]() -> int { return common::MakeDirectory(path); });
}

int SRDeleteFile(const char* name, const char* directory) {
    return platform::Guarded<int>(-2, [&]() -> int { return common::DeleteFile(name, directory); });
}

int SRDeleteFiles(const char* name, const char* directory) {
    return platform::Guarded<int>(-2,
                                  [&]() -> int { return common::DeleteFiles(name, directory); });
}

int SRCopyFile(const char* name, const char* directory, const char* source) {
    return platform::Guarded<int>(
        VANTOR_COPY_FAILED, [&]() -> int { return common::CopyFile(name, directory, source); });
}

int SRCopyFiles(const char* newBase, const char* directory, const char* oldName) {
    return platform::Guarded<int>(VANTOR_COPY_FAILED, [&]() -> int {
        return common::CopyFiles(newBase, directory, oldName);
    });
}

int CMNCopyDirectory(const char* newPath, const char* existingPath) {
    return platform::Guarded<int>(
        0, [&]() -> int { return common::MoveEntry(newPath, existingPath); });
}

int CMNRemoveDirectory(const char* /*path*/) { return 0; }

} // extern "C"
