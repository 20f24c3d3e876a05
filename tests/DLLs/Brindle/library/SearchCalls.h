#pragma once
// libBrindle's name search as a program finds it with dlsym.
#include <dlfcn.h>

struct SearchCalls {
    void* (*findFirst)(const char* folder, const char* pattern, char* name);
    void (*findNext)(void* search, char* name);
    int (*findEnd)(void* search);
};

inline SearchCalls LoadSearchCalls(void* library) {
    return {reinterpret_cast<void* (*)(const char*, const char*, char*)>(
                ::dlsym(library, "MFindFirst")),
            reinterpret_cast<void (*)(void*, char*)>(::dlsym(library, "MFindNext")),
            reinterpret_cast<int (*)(void*)>(::dlsym(library, "MFindEnd"))};
}
