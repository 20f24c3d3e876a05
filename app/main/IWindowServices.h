#pragma once
// What the result views, their file commands and the treemap ask of the main window: status
// text, labels, the busy cursor, message boxes and the search's figures. TMainForm answers it;
// the views never see the rest of the window.
#include "app/main/IMainView.h"
#include "app/main/MessageBoxLayout.h"
#include "engine/DVOSUB.h"

#include <string>

namespace dvo::app {

class IWindowServices {
public:
    virtual ~IWindowServices() = default;

    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetLabelText(MainLabel label, const std::string& text) = 0;
    virtual void SetStatusField(StatusField field, const std::string& text) = 0;
    virtual void RepaintWindow() = 0;

    // The busy-cursor stack; pair them through BusyCursor.
    virtual void PushHourGlassCursor() = 0;
    virtual void PopCursor() = 0;

    // A box that is not logged, and one whose text and answer go to the operation log; the
    // result number of the button pressed. safeResult, when one of the buttons, is the default
    // and the Escape answer.
    virtual int ShowMessageBox(const std::string& text, MessageKind kind, unsigned buttons) = 0;
    virtual int ShowMessageDlg(const std::string& text, MessageKind kind, unsigned buttons) = 0;
    virtual int ShowMessageDlg(const std::string& text, MessageKind kind, unsigned buttons,
                               int safeResult) = 0;
    virtual void LogUserAction(const std::string& text) = 0;

    // True while the window is being created (nothing is drawn yet).
    [[nodiscard]] virtual bool FormCreating() const = 0;
    // The last search's figures; RefreshSearchTotals reads them again after a delete or a move.
    [[nodiscard]] virtual const ::SearchProgress& CurrentSearchProgress() const = 0;
    virtual void RefreshSearchTotals() = 0;
    // The mark a total of a cancelled search carries ("" otherwise).
    [[nodiscard]] virtual std::string PartialMark() const = 0;
};

} // namespace dvo::app
