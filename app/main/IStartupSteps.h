#pragma once
// The start-up steps that find the program's folder and open the operation log. They run after
// the single-instance guard and before the window is shown; a second instance never runs them.
namespace dvo::app {

class IStartupSteps {
public:
    virtual ~IStartupSteps() = default;
    virtual void FindProgramDirectory() = 0;
    virtual void OpenOperationLog() = 0;
};

} // namespace dvo::app
