#include <gtest/gtest.h>

#include "ServiceControl.h"
#include "TableRows.h"

namespace {

using S = ServiceState;
using C = ServiceControlCode;

struct ControlCase {
    S state;
    C control;
    bool handled, beginStop;
    S reported;
    unsigned hint;
    bool acceptsStop;
};
const ControlCase controlCases[] = {
    {S::Running, C::Stop, true, true, S::StopPending, StopWaitHintMs, false},
    {S::Running, C::Shutdown, true, true, S::StopPending, StopWaitHintMs, false},
    {S::Running, C::Interrogate, true, false, S::Running, 0, true},
    {S::Running, C::Other, false, false, S::Running, 0, true},
    {S::StartPending, C::Stop, true, true, S::StopPending, StopWaitHintMs, false},
    {S::StartPending, C::Interrogate, true, false, S::StartPending, StartWaitHintMs, false},
    {S::StopPending, C::Stop, true, false, S::StopPending, StopWaitHintMs, false},
    {S::StopPending, C::Shutdown, true, false, S::StopPending, StopWaitHintMs, false},
    {S::Stopped, C::Stop, false, false, S::Stopped, 0, false},
    {S::Stopped, C::Interrogate, true, false, S::Stopped, 0, false},
    {S::Running, C::ParamChange, true, false, S::Running, 0, true},
    {S::StartPending, C::ParamChange, false, false, S::StartPending, StartWaitHintMs, false},
};

}  // namespace

class WhichControlInWhichStateGivesWhichStatus : public ::testing::TestWithParam<ControlCase> {};

TEST_P(WhichControlInWhichStateGivesWhichStatus, EachRow) {
    const ControlCase& row = GetParam();
    ControlDecision d = DecideControl(row.state, row.control);
    EXPECT_EQ(d.handled, row.handled);
    EXPECT_EQ(d.beginStop, row.beginStop);
    EXPECT_EQ(d.report.state, row.reported);
    EXPECT_EQ(d.report.waitHintMs, row.hint);
    EXPECT_EQ(d.report.acceptsStop, row.acceptsStop);
    EXPECT_EQ(d.reload, row.control == C::ParamChange && row.handled);
}
INSTANTIATE_TEST_SUITE_P(Rows, WhichControlInWhichStateGivesWhichStatus, ::testing::ValuesIn(controlCases));

TEST(ServiceControl, StopsAndConsoleEventsAreToldAsTheManagerNeeds) {
    struct Exit {
        int code;
        unsigned long win32, service;
    } exits[] = {{0, 0, 0}, {1, 1066, 1}, {2, 0, 2}, {3, 1066, 3}};
    for (const Exit& e : exits) {
        EXPECT_EQ(StoppedExitFor(e.code).win32ExitCode, e.win32) << e.code;
        EXPECT_EQ(StoppedExitFor(e.code).serviceExitCode, e.service) << e.code;
    }
    struct Event {
        ConsoleEvent event;
        bool waits;
    } events[] = {{ConsoleEvent::CtrlC, false},
                  {ConsoleEvent::CtrlBreak, false},
                  {ConsoleEvent::Close, true},
                  {ConsoleEvent::Logoff, true},
                  {ConsoleEvent::Shutdown, true}};
    for (const Event& e : events) {
        const unsigned wait = ConsoleStopWaitMs(e.event);
        EXPECT_EQ(wait > 0, e.waits) << static_cast<int>(e.event);
        EXPECT_LT(wait, 5000u) << "within what Windows allows";
    }
}
