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

// Pops a cursor pushed earlier when its scope ends, also by an exception, unless released: for
// work whose cursor stays up past the scope that pushed it.
class CursorPop {
public:
    explicit CursorPop(IWindowServices& window) : m_window(&window) {}
    ~CursorPop() {
        if (m_window != nullptr)
            m_window->PopCursor();
    }
    CursorPop(const CursorPop&) = delete;
    CursorPop& operator=(const CursorPop&) = delete;
    void Release() { m_window = nullptr; }

private:
    IWindowServices* m_window;
};

} // namespace dvo::app
