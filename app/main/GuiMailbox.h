#pragma once
// Hands work from other threads (a helper's reaper, the engine's) to the GUI thread for as long
// as the one who posts it there exists. Whoever holds the mailbox may post at any time: after
// Close nothing is posted, and work posted before Close but run after it is dropped, so a late
// callback never reaches a window or a logic object that is gone.
#include <functional>
#include <memory>
#include <mutex>

namespace dvo::app {

class GuiMailbox : public std::enable_shared_from_this<GuiMailbox> {
public:
    // Queues a function to run on the GUI thread (the toolkit's queued call; a test's queue).
    using Poster = std::function<void(std::function<void()>)>;

    [[nodiscard]] static std::shared_ptr<GuiMailbox> Open(Poster poster) {
        return std::shared_ptr<GuiMailbox>(new GuiMailbox(std::move(poster)));
    }

    // Any thread. `work` runs later on the GUI thread, unless the mailbox is closed by then.
    void Post(std::function<void()> work) {
        std::lock_guard lock(m_mutex);
        if (!m_open)
            return;
        m_poster([self = shared_from_this(), work = std::move(work)] {
            if (self->IsOpen())
                work();
        });
    }

    // On the GUI thread, before the poster or what the work uses goes away. When it returns no
    // Post is still inside the poster.
    void Close() {
        std::lock_guard lock(m_mutex);
        m_open = false;
        m_poster = nullptr;
    }

    [[nodiscard]] bool IsOpen() const {
        std::lock_guard lock(m_mutex);
        return m_open;
    }

private:
    explicit GuiMailbox(Poster poster) : m_poster(std::move(poster)) {}

    mutable std::mutex m_mutex;
    Poster m_poster; // guarded by m_mutex
    bool m_open = true;
};

} // namespace dvo::app
