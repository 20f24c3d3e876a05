#pragma once
// The hourglass for the length of a scope: pushed when made, popped when the scope ends, also
// when it ends by an exception, so the cursor stack never keeps a level nobody pops.
#include "app/main/IWindowServices.h"

namespace dvo::app {

class BusyCursor {
public:
    explicit BusyCursor(IWindowServices& window) : m_window(window) {
        m_window.PushHourGlassCursor();
    }
    ~BusyCursor() { m_window.PopCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    IWindowServices& m_window;
};

} // namespace dvo::app
