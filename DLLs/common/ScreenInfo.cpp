#include "DLLs/common/ScreenInfo.h"

#include <dlfcn.h>
#include <mutex>

namespace common {
namespace {

// The few Xlib calls needed, declared here so that building needs no X headers. XIDs (windows,
// atoms) are unsigned long in the Xlib ABI; format-32 properties come back as arrays of long.
using XDisplay = void;
using XID = unsigned long;
struct Xlib {
    XDisplay* (*OpenDisplay)(const char*) = nullptr;
    int (*CloseDisplay)(XDisplay*) = nullptr;
    int (*DefaultScreen)(XDisplay*) = nullptr;
    int (*DisplayWidth)(XDisplay*, int) = nullptr;
    int (*DisplayHeight)(XDisplay*, int) = nullptr;
    XID (*RootWindow)(XDisplay*, int) = nullptr;
    XID (*InternAtom)(XDisplay*, const char*, int) = nullptr;
    int (*GetWindowProperty)(XDisplay*, XID, XID, long, long, int, XID, XID*, int*, unsigned long*,
                             unsigned long*, unsigned char**) = nullptr;
    int (*Free)(void*) = nullptr;
};
constexpr XID kXaCardinal = 6; // predefined atom CARDINAL
constexpr int kSuccess = 0;

template <typename F> bool Resolve(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(::dlsym(library, name));
    return function != nullptr;
}

// Loaded once and kept: Xlib does not survive being unloaded while its atexit hooks remain.
const Xlib* LoadXlib() {
    static Xlib xlib;
    static bool loaded = false;
    static std::once_flag once;
    std::call_once(once, [] {
        void* library = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            return;
        loaded = Resolve(library, "XOpenDisplay", xlib.OpenDisplay) &&
                 Resolve(library, "XCloseDisplay", xlib.CloseDisplay) &&
                 Resolve(library, "XDefaultScreen", xlib.DefaultScreen) &&
                 Resolve(library, "XDisplayWidth", xlib.DisplayWidth) &&
                 Resolve(library, "XDisplayHeight", xlib.DisplayHeight) &&
                 Resolve(library, "XRootWindow", xlib.RootWindow) &&
                 Resolve(library, "XInternAtom", xlib.InternAtom) &&
                 Resolve(library, "XGetWindowProperty", xlib.GetWindowProperty) &&
                 Resolve(library, "XFree", xlib.Free);
    });
    return loaded ? &xlib : nullptr;
}

// One connection per query, closed again: the calls are rare and keep no state.
class Connection {
public:
    explicit Connection(const Xlib& x) : m_x(x), m_display(x.OpenDisplay(nullptr)) {}
    ~Connection() {
        if (m_display != nullptr)
            m_x.CloseDisplay(m_display);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    [[nodiscard]] XDisplay* get() const { return m_display; }

private:
    const Xlib& m_x;
    XDisplay* m_display;
};

// _NET_WORKAREA's first rectangle (x, y, width, height); false when it is not set.
bool WorkArea(const Xlib& x, XDisplay* display, int screen, int* width, int* height) {
    const XID atom = x.InternAtom(display, "_NET_WORKAREA", 1);
    if (atom == 0)
        return false;
    XID actualType = 0;
    int actualFormat = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (x.GetWindowProperty(display, x.RootWindow(display, screen), atom, 0, 4, 0, kXaCardinal,
                            &actualType, &actualFormat, &items, &after, &data) != kSuccess)
        return false;
    bool found = false;
    if (data != nullptr && actualType == kXaCardinal && actualFormat == 32 && items >= 4) {
        const long* area = reinterpret_cast<const long*>(data);
        if (area[2] > 0 && area[3] > 0) {
            *width = static_cast<int>(area[2]);
            *height = static_cast<int>(area[3]);
            found = true;
        }
    }
    if (data != nullptr)
        x.Free(data);
    return found;
}

// The whole screen, or with `workArea` the window manager's work area where it sets one. The
// targets stay unchanged without libX11 or a display.
void QueryScreen(int* width, int* height, bool workArea) {
    if (width == nullptr || height == nullptr)
        return;
    const Xlib* x = LoadXlib();
    if (x == nullptr)
        return;
    Connection display(*x);
    if (display.get() == nullptr)
        return;
    const int screen = x->DefaultScreen(display.get());
    if (workArea && WorkArea(*x, display.get(), screen, width, height))
        return;
    *width = x->DisplayWidth(display.get(), screen);
    *height = x->DisplayHeight(display.get(), screen);
}

} // namespace

void GetScreenSize(int* width, int* height) { QueryScreen(width, height, false); }

void GetWorkAreaSize(int* width, int* height) { QueryScreen(width, height, true); }

} // namespace common
