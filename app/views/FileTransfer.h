#pragma once
// Copies and moves of grid entries through the engine, run off the GUI thread behind the view's
// progress dialog so that a long one neither freezes the window nor holds it hostage.
#include "app/main/IEngine.h"
#include "app/views/IResultView.h"

#include <string>

namespace dvo::app {

enum class TransferKind { Copy, Move };

// Runs the engine's copy or move of directory/name into destination through
// IResultView::RunWithProgress and returns the engine's result (DVO_E_CANCELLED when the user
// cancelled; the engine has then undone its copy or left the source whole).
[[nodiscard]] int RunTransfer(IEngine& engine, IResultView& view, TransferKind kind,
                              const std::u16string& name, const std::u16string& directory,
                              const std::u16string& destination);

// What the dialog shows of one report: the entry at hand on the first line, then bytes done of
// the total in the engine's size texts, or that the entries are still being counted (total < 0).
[[nodiscard]] std::string TransferProgressText(IEngine& engine, long long done, long long total,
                                               const std::string& name);
// The part done in 0..1000; -1 while the total is not known.
[[nodiscard]] int TransferPermille(long long done, long long total);

} // namespace dvo::app
