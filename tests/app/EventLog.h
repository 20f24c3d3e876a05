#pragma once
// One ordered record of what the fakes were asked to do, shared by the fake view, the fake
// engine and the fake result views, so a test can check the order across all of them.
#include <algorithm>
#include <string>
#include <vector>

namespace dvo::test {

struct EventLog {
    std::vector<std::string> events;

    void Add(std::string event) { events.push_back(std::move(event)); }

    [[nodiscard]] std::vector<std::string> WithPrefix(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& e : events)
            if (e.rfind(prefix, 0) == 0)
                out.push_back(e.substr(prefix.size()));
        return out;
    }

    [[nodiscard]] long IndexOf(const std::string& event, std::size_t from = 0) const {
        const auto it = std::find(events.begin() + static_cast<long>(from), events.end(), event);
        return it == events.end() ? -1 : static_cast<long>(it - events.begin());
    }

    [[nodiscard]] long Count(const std::string& event) const {
        return std::count(events.begin(), events.end(), event);
    }
};

} // namespace dvo::test
