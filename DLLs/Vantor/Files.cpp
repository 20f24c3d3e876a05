// Paths, files and folders: the exports over the common module's file functions, which the log
// library carries as well.
#include "DLLs/Vantor/Vantor.h"

#include "DLLs/common/FileFunctions.h"

#include <cerrno>

extern "C" {

int CMNGetApplicationDataPath(char* buffer) {
    try {
        return common::GetApplicationDataPath(buffer);
    } catch (...) {
        return 0;
    }
}

int SRGetApplicationDataPath(char* buffer) {
    try {
        return common::GetApplicationDataPath(buffer);
    } catch (...) {
        return 0;
    }
}

int CMNGetApplicationFilenameBody(char* buffer) {
    try {
        return common::GetApplicationFilenameBody(buffer);
    } catch (...) {
        return 0;
    }
}

int SRGetApplicationFilenameBody(char* buffer) {
    try {
        return common::GetApplicationFilenameBody(buffer);
    } catch (...) {
        return 0;
    }
}

int CMNGetFilenameBody(char* path) {
    try {
        return common::GetFilenameBody(path);
    } catch (...) {
        return 0;
    }
}

int CMNGetCurrentPath(char* out, const char* path) {
    try {
        return common::GetCurrentPath(out, path);
    } catch (...) {
        return 0;
    }
}

int SRGetCurrentPath(char* out, const char* path) {
    try {
        return common::GetCurrentPath(out, path);
    } catch (...) {
        return 0;
    }
}

int SRPathAppend(char* path, const char* more) {
    try {
        return common::PathAppend(path, more);
    } catch (...) {
        return 0;
    }
}

int SRPathRenameExtension(char* path, const char* extension) {
    try {
        return common::PathRenameExtension(path, extension);
    } catch (...) {
        return 0;
    }
}

int SRPathGetExtension(const char* path, char* out) {
    try {
        return common::PathGetExtension(path, out);
    } catch (...) {
        return -1;
    }
}

int SRFileExists(const char* path) {
    try {
        return common::FileExists(path);
    } catch (...) {
        return 0;
    }
}

int SRFileExistsWithPath(const char* name, const char* directory) {
    try {
        return common::FileExistsWithPath(name, directory);
    } catch (...) {
        return 0;
    }
}

int SRMkDir(const char* path) {
    try {
        return common::MakeDirectory(path);
    } catch (...) {
        return ENOMEM;
    }
}

int SRDeleteFile(const char* name, const char* directory) {
    try {
        return common::DeleteFile(name, directory);
    } catch (...) {
        return -2;
    }
}

int SRDeleteFiles(const char* name, const char* directory) {
    try {
        return common::DeleteFiles(name, directory);
    } catch (...) {
        return -2;
    }
}

int SRCopyFile(const char* name, const char* directory, const char* source) {
    try {
        return common::CopyFile(name, directory, source);
    } catch (...) {
        return VANTOR_COPY_FAILED;
    }
}

int SRCopyFiles(const char* newBase, const char* directory, const char* oldName) {
    try {
        return common::CopyFiles(newBase, directory, oldName);
    } catch (...) {
        return VANTOR_COPY_FAILED;
    }
}

int CMNCopyDirectory(const char* newPath, const char* existingPath) {
    try {
        return common::MoveEntry(newPath, existingPath);
    } catch (...) {
        return 0;
    }
}

int CMNRemoveDirectory(const char* /*path*/) { return 0; }

} // extern "C"
