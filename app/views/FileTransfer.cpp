#include "app/views/FileTransfer.h"

#include "platform/Text.h"

#include <algorithm>

namespace dvo::app {
namespace {

struct TransferContext {
    IEngine& engine;
    ProgressSink& sink;
};

// Called by the engine on the working thread; nothing may escape into the engine.
int ReportProgress(long long done, long long total, const char16_t* currentName,
                   void* context) noexcept {
    auto* transfer = static_cast<TransferContext*>(context);
    try {
        const std::string name =
            currentName != nullptr ? platform::Utf16ToUtf8(currentName) : std::string();
        return transfer->sink.Report(TransferPermille(done, total),
                                     TransferProgressText(transfer->engine, done, total, name))
                   ? 0
                   : 1;
    } catch (...) {
        return 0; // a report that cannot be shown does not stop the copy
    }
}

std::string SizeText(IEngine& engine, long long size) {
    char16_t text[DVO_DISPLAY_TEXT_UNITS] = {};
    const int units = engine.DVOFileSize2String(text, static_cast<int>(sizeof text), size);
    return units > 0 ? platform::Utf16ToUtf8({text, static_cast<std::size_t>(units)})
                     : std::string();
}

} // namespace

int TransferPermille(long long done, long long total) {
    if (total < 0)
        return -1;
    if (total == 0)
        return 1000;
    const double part =
        static_cast<double>(std::clamp(done, 0LL, total)) / static_cast<double>(total);
    return static_cast<int>(part * 1000.0);
}

std::string TransferProgressText(IEngine& engine, long long done, long long total,
                                 const std::string& name) {
    if (total < 0)
        return name + "\n" + "項目を数えています…";
    return name + "\n" + SizeText(engine, done) + " / " + SizeText(engine, total);
}

int RunTransfer(IEngine& engine, IResultView& view, TransferKind kind, const std::u16string& name,
                const std::u16string& directory, const std::u16string& destination) {
    const bool copy = kind == TransferKind::Copy;
    return view.RunWithProgress(copy ? "コピー中" : "移動中", [&](ProgressSink& sink) {
        TransferContext context{engine, sink};
        return copy ? engine.DVOCopyFileEx(name.c_str(), directory.c_str(), destination.c_str(),
                                           &ReportProgress, &context)
                    : engine.DVOMoveFileEx(name.c_str(), directory.c_str(), destination.c_str(),
                                           &ReportProgress, &context);
    });
}

} // namespace dvo::app
