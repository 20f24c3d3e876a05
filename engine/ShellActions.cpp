#include "engine/DVOSUB.h"
#include "engine/ErrorTable.h"
#include "engine/FileOperations.h"
#include "engine/OpFailure.h"
#include "engine/UserTexts.h"
#include "platform/HelperProcess.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <gio/gio.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <vector>

namespace dvo {

namespace {

constexpr const char* kFileManager = "org.freedesktop.FileManager1";

std::string SessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        address != nullptr && *address)
        return address;
    // The usual per-user bus; never launch one (that could start daemons or block).
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0')
        return {};
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st {};
    if (::stat(socket.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return {};
    gchar* escaped = g_dbus_address_escape_value(socket.c_str());
    std::string address = std::string("unix:path=") + escaped;
    g_free(escaped);
    return address;
}

// How long asking the file manager may take in all, connecting included: a bus that accepts
// the connection and then never answers must not hold up the window.
constexpr std::chrono::milliseconds kBusDeadline{3000};

// Cancels a GCancellable when the deadline passes, unless disarmed (destroyed) before.
class BusDeadline {
public:
    BusDeadline(GCancellable* cancellable, std::chrono::milliseconds after)
        : m_thread([this, cancellable, after] {
              std::unique_lock lock(m_mutex);
              if (!m_wake.wait_for(lock, after, [this] { return m_done; }))
                  g_cancellable_cancel(cancellable);
          }) {}
    BusDeadline(const BusDeadline&) = delete;
    BusDeadline& operator=(const BusDeadline&) = delete;
    ~BusDeadline() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread; // last: started once the members it uses exist
};

bool FileManagerAvailable(GDBusConnection* bus, GCancellable* cancellable) {
    GError* error = nullptr;
    GVariant* owner = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", kFileManager), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, 2000, cancellable, &error);
    if (owner == nullptr) {
        g_error_free(error);
        return false;
    }
    gboolean owned = FALSE;
    g_variant_get(owner, "(b)", &owned);
    g_variant_unref(owner);
    if (owned)
        return true;
    GVariant* names = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "ListActivatableNames", nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, 2000,
        cancellable, &error);
    if (names == nullptr) {
        g_error_free(error);
        return false;
    }
    bool found = false;
    GVariantIter* iter = nullptr;
    const gchar* name = nullptr;
    g_variant_get(names, "(as)", &iter);
    while (g_variant_iter_next(iter, "&s", &name))
        found = found || std::strcmp(name, kFileManager) == 0;
    g_variant_iter_free(iter);
    g_variant_unref(names);
    return found;
}

// Asks the desktop's file manager to show the entry (ShowItems) or its properties
// (ShowItemProperties). The request is sent without waiting for the answer, and the whole
// exchange, connecting included, is given up after kBusDeadline; false when no file manager
// took the request.
bool AskFileManager(const char* method, const std::string& path) {
    const std::string address = SessionBusAddress();
    if (address.empty())
        return false;
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, &error);
    if (uri == nullptr) {
        g_error_free(error);
        return false;
    }
    GCancellable* cancellable = g_cancellable_new();
    bool sent = false;
    try {
        BusDeadline deadline(cancellable, kBusDeadline);
        GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, cancellable, &error);
        if (bus == nullptr) {
            g_clear_error(&error);
        } else {
            if (FileManagerAvailable(bus, cancellable)) {
                const gchar* uris[] = {uri, nullptr};
                GDBusMessage* message = g_dbus_message_new_method_call(
                    kFileManager, "/org/freedesktop/FileManager1", kFileManager, method);
                g_dbus_message_set_body(message, g_variant_new("(^ass)", uris, ""));
                g_dbus_message_set_flags(message, G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED);
                sent = g_dbus_connection_send_message(bus, message, G_DBUS_SEND_MESSAGE_FLAGS_NONE,
                                                      nullptr, &error) &&
                       g_dbus_connection_flush_sync(bus, cancellable, &error);
                g_clear_error(&error);
                g_object_unref(message);
            }
            // Closing waits for nothing once the deadline has cancelled the exchange.
            g_dbus_connection_close_sync(bus, cancellable, nullptr);
            g_object_unref(bus);
        }
    } catch (const std::system_error&) {
        // No thread for the deadline: better not to ask than to risk waiting for ever.
        sent = false;
    }
    g_object_unref(cancellable);
    g_free(uri);
    return sent;
}

OpResult Launch(const std::string& action, const std::string& shown,
                const std::vector<std::string>& args, const platform::HelperDone& done) {
    const int e = platform::StartHelper(args, done);
    if (e == 0)
        return {};
    if (e == ENOENT)
        return Failure(DVO_E_UNSUPPORTED, action, shown,
                       texts::kCommandPrefix + args.front() + texts::kNotInstalled);
    return Failure(OperationCodeOf(e), action, shown, ReasonText(e));
}

} // namespace

OpResult ShellExecuteEntry(const std::string& directory, const std::string& name, int op,
                           platform::HelperDone done) {
    static const char* const kActions[] = {texts::kCannotShow, "", texts::kCannotOpen,
                                           texts::kCannotPrint, texts::kCannotShowProperties};
    const std::string path = JoinPath(directory, name);
    if (op < 0 || op > 4 || op == 1)
        return Failure(DVO_E_INVALID_ARGUMENT, texts::kCannotOperate, path,
                       texts::kOpNumberPrefix + Decimal(op) + texts::kOpNumberUnusable);
    const std::string action = kActions[op];
    if (directory.empty() || !IsValidEntryName(name))
        return Failure(DVO_E_INVALID_ARGUMENT, action, path, texts::kBadName);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        const int e = errno;
        return Failure(e == ENOENT || e == ENOTDIR ? DVO_E_NOT_FOUND : OperationCodeOf(e), action,
                       path, ReasonText(e));
    }
    switch (op) {
    case 2: return Launch(action, path, {"xdg-open", path}, done);
    case 3:
        if (!S_ISREG(st.st_mode))
            return Failure(DVO_E_UNSUPPORTED, action, path, texts::kPrintFilesOnly);
        return Launch(action, path, {"lp", "--", path}, done);
    default:
        if (AskFileManager(op == 0 ? "ShowItems" : "ShowItemProperties", path)) {
            if (done)
                done({});
            return {};
        }
        // No file manager on the bus: at least open the folder that holds the entry.
        return Launch(action, path, {"xdg-open", directory}, done);
    }
}

} // namespace dvo
