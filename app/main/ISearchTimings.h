#pragma once
// Receives the moments of a search for the diagnostics window's timing labels.
#include "platform/Clock.h"

namespace dvo::app {

class ISearchTimings {
public:
    virtual ~ISearchTimings() = default;
    virtual void SearchStarted(const platform::LocalTime& start) = 0;
    virtual void SearchEnded(const platform::LocalTime& end) = 0;
    virtual void DisplayStarted(const platform::LocalTime& start) = 0;
    virtual void DisplayEnded(const platform::LocalTime& end) = 0;
};

} // namespace dvo::app
