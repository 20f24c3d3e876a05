// The DVO* calls that write the current result as an ncdu export and open one in its place.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <unistd.h>

#include "engine/DVOSUB.h"
#include "engine/Engine.h"
#include "engine/LastError.h"
#include "engine/NcduFormat.h"
#include "engine/ResultCompare.h"
#include "platform/Guard.h"
#include "platform/Text.h"

using dvo::Engine;

namespace {

int CodeOfErrno(int error) {
    switch (error) {
    case ENOENT: return DVO_E_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return DVO_E_ACCESS;
    case ENOTDIR: return DVO_E_NOT_A_FOLDER;
    default: return DVO_E_IO;
    }
}

std::string ReasonOf(int error) {
    const char* text = ::strerrordesc_np(error);
    return text != nullptr ? text : "error " + std::to_string(error);
}

int Fail(int code, const std::string& text) {
    dvo::SetLastErrorText(text);
    return code;
}

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

int ExportTo(const dvo::ScanResult& result, dvo::MovedEntries& moved, const std::string& path) {
    const int error =
        dvo::WriteNcduFile(result, &moved, path, static_cast<std::int64_t>(std::time(nullptr)));
    if (error != 0) {
        return Fail(CodeOfErrno(error), path + ": 書き出せません: " + ReasonOf(error));
    }
    dvo::SetLastErrorText({});
    return DVO_OK;
}

// Reads the export at path; null with the reason kept for DVOGetLastErrorText and its code in
// `code` when the file cannot be read or is no complete export.
std::unique_ptr<dvo::ScanResult> ReadFile(const std::string& path, int& code) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rbe"));
    if (file == nullptr) {
        const int error = errno;
        code = Fail(CodeOfErrno(error), path + ": 開けません: " + ReasonOf(error));
        return nullptr;
    }
    dvo::NcduReadError error;
    std::unique_ptr<dvo::ScanResult> result = dvo::ReadNcdu(file.get(), error);
    if (result == nullptr) {
        code = Fail(error.io ? DVO_E_IO : DVO_E_BAD_FILE,
                    path + ": " + std::to_string(error.offset) +
                        " バイト目: 検索結果のファイルとして読めません (" + error.reason + ")");
    }
    return result;
}

int Open(Engine& engine, const std::string& path) {
    if (engine.IsActive()) {
        return DVO_E_BUSY;
    }
    int code = DVO_OK;
    std::unique_ptr<dvo::ScanResult> result = ReadFile(path, code);
    if (result == nullptr) {
        return code;
    }
    const int rc = engine.AdoptResult(std::move(result), true);
    if (rc == DVO_OK) {
        dvo::SetLastErrorText({});
    }
    return rc;
}

// Copies text into a caller's buffer of `bytes` bytes, cut on a whole character.
void CopyOut(const std::string& text, char16_t* buffer, int bytes) {
    if (buffer == nullptr || bytes < static_cast<int>(sizeof(char16_t))) {
        return;
    }
    const std::size_t units = static_cast<std::size_t>(bytes) / sizeof(char16_t);
    std::u16string wide = platform::Utf8ToUtf16(text);
    std::size_t keep = std::min(wide.size(), units - 1);
    if (keep > 0 && keep < wide.size() && (wide[keep] & 0xFC00) == 0xDC00) {
        --keep; // never half a surrogate pair
    }
    std::copy_n(wide.data(), keep, buffer);
    buffer[keep] = u'\0';
}

int Compare(Engine& engine, const std::string& path, char16_t* root, int rootBytes,
            DVOChangeSink sink, void* context) {
    if (engine.IsSearching()) {
        return DVO_E_BUSY;
    }
    const dvo::ScanResult* now = engine.CurrentResult();
    if (now == nullptr) {
        return Fail(DVO_E_NOT_FOUND, "比べる検索結果がありません");
    }
    int code = DVO_OK;
    const std::unique_ptr<dvo::ScanResult> before = ReadFile(path, code);
    if (before == nullptr) {
        return code;
    }
    CopyOut(before->path, root, rootBytes);
    std::u16string wide;
    const std::int64_t reported =
        dvo::CompareResults(*before, *now, [&](const dvo::EntryChange& c) {
            wide = platform::Utf8ToUtf16(c.path);
            const DVOChange change{
                wide.c_str(), c.before, c.after,
                static_cast<unsigned char>(c.folder ? DVO_KIND_FOLDER : DVO_KIND_FILE),
                static_cast<unsigned char>(c.kind)};
            return sink(&change, context) == 0;
        });
    dvo::SetLastErrorText({});
    return static_cast<int>(std::min<std::int64_t>(reported, INT32_MAX));
}

// A call that names a file: refused without a path or an engine; out of memory, it fails with
// the reason kept for DVOGetLastErrorText.
template <typename Call> int CallForFile(const char16_t* path, Call call) noexcept {
    return platform::Guarded<int>(
        DVO_E_IO,
        [&]() -> int {
            if (path == nullptr || path[0] == u'\0') {
                return DVO_E_INVALID_ARGUMENT;
            }
            Engine* e = Engine::Instance();
            if (e == nullptr) {
                return DVO_E_NO_OBJECT;
            }
            return call(*e, platform::Utf16ToUtf8(path));
        },
        [] { dvo::SetLastErrorText(dvo::kOutOfResourcesText); });
}

} // namespace

extern "C" {

DVO_API int DVOExportResult(const char16_t* path) {
    return CallForFile(path, [](Engine& e, const std::string& file) {
        if (e.IsSearching()) {
            return DVO_E_BUSY;
        }
        const dvo::ScanResult* result = e.CurrentResult();
        if (result == nullptr) {
            return Fail(DVO_E_NOT_FOUND, "書き出す検索結果がありません");
        }
        return ExportTo(*result, e.Moved(), file);
    });
}

DVO_API int DVOOpenResult(const char16_t* path) {
    return CallForFile(path, [](Engine& e, const std::string& file) { return Open(e, file); });
}

DVO_API int DVOCompareResult(const char16_t* path, char16_t* root, int rootBytes,
                             DVOChangeSink sink, void* context) {
    if (sink == nullptr) {
        return DVO_E_INVALID_ARGUMENT;
    }
    return CallForFile(path, [&](Engine& e, const std::string& file) {
        return Compare(e, file, root, rootBytes, sink, context);
    });
}

DVO_API int DVOIsOpenedResult(void) {
    Engine* e = Engine::Instance();
    return e != nullptr && e->IsOpenedResult() ? 1 : 0;
}

} // extern "C"
