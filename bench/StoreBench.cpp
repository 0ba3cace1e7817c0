// The history's store at full size: 30 days among 5,000 people, as
// HistoryDays = 30 keeps them, at one change a second for an hour a day and
// at one change a second all day and night (2.6 million entries). The
// database's size with the board's 5,000 rows, the tick's writes at that size
// (the rows re-sent since the last tick, and a change), a person's 30 days, the
// roll call at a moment and an hour's retention.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "BoardStore.h"
#include "StatusRecord.h"

namespace {

typedef std::chrono::steady_clock Clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(values.size() * p / 100))];
}

HistoryEntry Change(std::int64_t atMs, int person) {
    HistoryEntry e;
    e.atMs = atMs;
    e.name = "person" + std::to_string(person);
    e.status = 1 + person % 3;
    e.message = person % 3 == 1 ? "at my desk" : person % 3 == 2 ? "gone home, back tomorrow" : "meeting room 2";
    e.source = person % 10 == 0 ? "browser" : "desk";
    e.from = "10.1.2." + std::to_string(person % 250);
    return e;
}

void Measure(int days, std::int64_t changesADay) {
    const int people = 5000;
    const std::int64_t seconds = days * changesADay, start = 1796000000000;
    const std::string path = "/tmp/pegora-store-bench-" + std::to_string(::getpid()) + ".db";
    BoardStore::Found found;
    std::string error;
    std::unique_ptr<BoardStore> store = BoardStore::Open(path, found, error);
    if (!store) return (void)std::fprintf(stderr, "%s\n", error.c_str());
    // Filled a day at a time, then measured at its full size.
    std::vector<HistoryEntry> batch;
    for (std::int64_t s = 0; s < seconds; ++s) {
        // An hour a day: the day's changes in its first hour.
        const std::int64_t at = start + ((s / changesADay) * 86400 + s % changesADay) * 1000;
        batch.push_back(Change(at, static_cast<int>((s * 7919) % people)));
        if (batch.size() == static_cast<std::size_t>(changesADay) || s + 1 == seconds) {
            if (!store->AddHistory(batch, error)) return (void)std::fprintf(stderr, "%s\n", error.c_str());
            batch.clear();
        }
    }
    std::int64_t now = start + static_cast<std::int64_t>(days) * 86400 * 1000;
    std::vector<StoredRow> rows(people);
    for (int i = 0; i < people; ++i) {
        const HistoryEntry e = Change(now, i);
        rows[i].record.SetName(e.name);
        rows[i].record.SetStatus(e.status);
        rows[i].record.SetMessage(e.message);
        rows[i].storedMs = rows[i].word.sinceMs = now;
    }
    if (!store->SaveRows(rows, now, error)) return (void)std::fprintf(stderr, "%s\n", error.c_str());
    // A tick every 2 seconds: 5,000 desks re-sending every minute have re-sent 167 rows since the last.
    const int resent = people * 2 / 60;
    std::vector<double> ticks;
    for (int i = 0; i < 2000; ++i, now += 2000) {
        for (int r = 0; r < resent; ++r) rows[(i * resent + r) % people].storedMs = now;
        const auto t = Clock::now();
        store->SaveRows(rows, now, error);
        store->AddHistory({Change(now, i % people)}, error);
        ticks.push_back(Ms(t));
    }
    std::vector<double> person, roll;
    std::vector<HistoryEntry> entries;
    std::size_t listed = 0, standing = 0;
    for (int i = 0; i < 20; ++i) {
        auto t = Clock::now();
        store->History("person" + std::to_string(i * 97), start, now, 10000, entries, error);
        person.push_back(Ms(t));
        listed = entries.size();
        t = Clock::now();
        store->StandingAt(now - (i + 1) * 3600 * 1000, entries, error);
        roll.push_back(Ms(t));
        standing = entries.size();
    }
    store.reset();  // checkpointed as it closes
    struct stat st;
    ::stat(path.c_str(), &st);
    store = BoardStore::Open(path, found, error);
    std::int64_t deleted = 0;
    const auto t = Clock::now();
    store->ForgetHistory(start + 3600 * 1000, deleted, error);
    const double retention = Ms(t);
    store.reset();
    for (const char* part : {"", "-wal", "-shm"}) std::remove((path + part).c_str());
    std::printf(
        "| the database with %d days of %lld changes a day (%lld entries, %d people) | %.1f MB | under 50 MB |\n", days,
        static_cast<long long>(changesADay), static_cast<long long>(seconds), people, st.st_size / 1e6);
    std::printf(
        "| a tick's writes at that size: %d re-sent rows of 5,000 and one change (2,000 ticks) |"
        " p50 %.2f ms, p99 %.2f ms | p99 under 5 ms |\n",
        resent, Percentile(ticks, 50), Percentile(ticks, 99));
    std::printf("| one person's %d days (%zu entries; 20 people) | p50 %.1f ms, worst %.1f ms | under 50 ms |\n", days,
                listed, Percentile(person, 50), Percentile(person, 100));
    std::printf(
        "| the roll call at a moment (%zu people standing; 20 moments) | p50 %.0f ms, worst %.0f ms |"
        " under 500 ms |\n",
        standing, Percentile(roll, 50), Percentile(roll, 100));
    std::printf("| the oldest hour's retention (%lld entries deleted) | %.0f ms | |\n", static_cast<long long>(deleted),
                retention);
}

}  // namespace

int main() {
    std::printf("| measure | result | target |\n|---|---|---|\n");
    Measure(30, 3600);
    Measure(30, 86400);
    return 0;
}
