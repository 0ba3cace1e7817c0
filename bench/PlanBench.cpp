// Planned presence at an office's size: 5,000 people with 20 plans each
// (holidays, meetings, a day at home every Friday, a fortnightly block), read
// from the store at a start, then a working week of the service's 200 ms
// ticks with the clock moved on as it would be: the CPU the ticks take as a
// share of one core, the slowest tick (a row switches at the first tick after
// its plan's time, so that tick's length plus 200 ms is how late it can be),
// and how many rows switched.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <unistd.h>

#include "BoardStore.h"
#include "Loopback.h"
#include "PlanKeeper.h"

namespace {

typedef std::chrono::steady_clock Clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

std::vector<Plan> OfficePlans(int people, std::mt19937& random) {
    std::vector<Plan> plans;
    const std::int64_t first = DaysFromCivil(2027, 1, 4);  // a Monday
    auto day = [&](int from, int span) { return first + from + static_cast<int>(random() % span); };
    for (int p = 0; p < people; ++p) {
        const std::string name = "person" + std::to_string(p);
        for (int i = 0; i < 20; ++i) {
            Plan plan;
            plan.name = name;
            plan.status = i % 4 == 3 ? StatusOther : StatusOut;
            plan.message = i < 14 ? "holiday" : i < 18 ? "client meeting" : i == 18 ? "at home" : "team block";
            if (i < 14) {  // holidays of 1 to 10 days over the year
                plan.allDay = true;
                plan.start = CivilFromDays(day(-30, 365));
                plan.end = CivilFromDays(plan.start.Days() + static_cast<int>(random() % 10));
            } else if (i < 18) {  // meetings of one or two hours in the next weeks
                const std::int64_t d = day(0, 60);
                const int at = 8 * 60 + static_cast<int>(random() % 16) * 30;
                plan.start = CivilFromDays(d, at);
                plan.end = CivilFromDays(d, at + 60 * (1 + static_cast<int>(random() % 2)));
            } else if (i == 18) {  // every Friday at home
                plan.allDay = true;
                plan.start = plan.end = CivilFromDays(first + 4);
                plan.repeats = true;
                plan.repeat.weekdays = 1u << 4;
            } else {  // a fortnightly two hours
                plan.start = CivilFromDays(first + 1, 14 * 60);
                plan.end = CivilFromDays(first + 1, 16 * 60);
                plan.repeats = true;
                plan.repeat.weekdays = 1u << 1;
                plan.repeat.every = 2;
            }
            plans.push_back(plan);
        }
    }
    return plans;
}

}  // namespace

int main(int argc, char** argv) {
    const int people = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int days = argc > 2 ? std::atoi(argv[2]) : 5;
    setenv("TZ", "Europe/London", 1);
    tzset();
    const std::string path = "/tmp/pegora-plan-bench-" + std::to_string(getpid()) + ".db";
    std::string error;
    std::mt19937 random(7);
    std::vector<Plan> plans = OfficePlans(people, random);
    {
        BoardStore::Found found;
        std::unique_ptr<BoardStore> store = BoardStore::Open(path, found, error);
        if (!store || !store->PutPlans(plans, 0, error)) {
            std::fprintf(stderr, "plan_bench: %s\n", error.c_str());
            return 1;
        }
    }
    BoardServer board(TestManager());
    {
        TableHold hold(board.tableLock, std::chrono::seconds(1));
        for (int p = 0; p < people; ++p) {
            StatusRecord record;
            record.SetName("person" + std::to_string(p));
            record.SetStatus(StatusIn);
            record.SetMessage("at my desk");
            bool shown = false;
            board.table.StoreFromDesk(record, shown);
        }
    }
    std::size_t switched = 0;
    board.rowChanged = [&switched](const RowChange&) { ++switched; };
    PlanKeeper keeper(board, std::chrono::minutes(3));
    Clock::time_point began = Clock::now();
    if (!keeper.Open(path, error)) {
        std::fprintf(stderr, "plan_bench: %s\n", error.c_str());
        return 1;
    }
    const double openMs = Ms(began);
    const std::int64_t start = LocalToUtcMs({2027, 1, 4, 0});
    const std::int64_t tickMs = 200;
    double slowest = 0;
    std::size_t ticks = 0;
    const double cpu = CpuSeconds();
    for (std::int64_t now = start; now < start + days * 86400000LL; now += tickMs, ++ticks) {
        const Clock::time_point t = Clock::now();
        keeper.Tick(now);
        slowest = std::max(slowest, Ms(t));
    }
    const double spent = CpuSeconds() - cpu;
    std::printf(
        "| people | plans | start: plans read and indexed | ticks (200 ms) over %d days | CPU, share of one core |"
        " slowest tick | rows switched |\n|---|---|---|---|---|---|---|\n",
        days);
    std::printf("| %d | %zu | %.0f ms | %zu | %.2f s, %.4f %% | %.1f ms | %zu |\n", people, plans.size(), openMs, ticks,
                spent, 100.0 * spent / (days * 86400.0), slowest, switched);
    for (const char* part : {"", "-wal", "-shm"}) std::remove((path + part).c_str());
    return 0;
}
