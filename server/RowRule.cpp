#include "RowRule.h"

#include <cstring>

namespace {

bool SameWords(const StatusRecord& a, const StatusRecord& b) {
    return a.Name() == b.Name() && a.Status() == b.Status() && a.Message() == b.Message();
}

bool IsAwayMessage(const std::string& m) {
    static const char prefix[] = "away from desk since ";
    const std::size_t n = sizeof prefix - 1;
    if (m.size() != n + 5 || m.compare(0, n, prefix) != 0) return false;
    auto digit = [&m](std::size_t i) { return m[i] >= '0' && m[i] <= '9'; };
    return digit(n) && digit(n + 1) && m[n + 2] == ':' && digit(n + 3) && digit(n + 4);
}

// The row shows `next` from now on; its since moves only when what it says changes.
void Show(StatusRecord& shown, RowWord& word, const StatusRecord& next, std::int64_t nowMs) {
    if (word.sinceMs == 0 || shown.Status() != next.Status() || shown.Message() != next.Message()) word.sinceMs = nowMs;
    shown = next;
}

}  // namespace

bool IsAutomaticRecord(const StatusRecord& record) {
    if (record.Status() != StatusOther) return false;
    const std::string message = record.Message();
    return message == "started but not signed in." || message == "Client shutdown" || IsAwayMessage(message);
}

bool OnDeskRecord(StatusRecord& shown, RowWord& word, const StatusRecord& record, std::int64_t nowMs) {
    if (word.source == RowSource::Browser || word.source == RowSource::Plan) {
        const bool reSend = word.hasDesk && SameWords(word.desk, record);
        if (reSend || IsAutomaticRecord(record)) {
            // A person's own word beats an automatic one; the row is still heard from.
            word.desk = record;
            word.hasDesk = true;
            return false;
        }
    }
    // The person speaking at their desk, or a row that shows a desk's record anyway.
    OnRecord(shown, word, record, nowMs);
    return true;
}

void OnRecord(StatusRecord& shown, RowWord& word, const StatusRecord& record, std::int64_t nowMs) {
    Show(shown, word, record, nowMs);
    const std::int64_t since = word.sinceMs, planId = word.planId, planStart = word.planStartMs;
    word = RowWord();
    word.hasDesk = true;
    word.desk = record;
    word.sinceMs = since;
    word.planId = planId;  // spoken over: that plan's time is not shown again
    word.planStartMs = planStart;
}

void OnBrowserWord(StatusRecord& shown, RowWord& word, const StatusRecord& record, bool hasUntil, std::int64_t untilMs,
                   std::int64_t nowMs, const std::string& author) {
    Show(shown, word, record, nowMs);
    word.source = RowSource::Browser;
    word.hasBefore = false;
    word.author = author;
    word.hasUntil = hasUntil;
    word.untilMs = hasUntil ? untilMs : 0;
}

bool OnUntilPassed(StatusRecord& shown, RowWord& word, std::int64_t nowMs) {
    if (!UntilPassed(word, nowMs) || !word.hasDesk) return false;
    Show(shown, word, word.desk, nowMs);
    word.source = RowSource::Desk;
    word.author.clear();
    word.hasUntil = false;
    word.untilMs = 0;
    return true;
}

bool OnPlanStart(StatusRecord& shown, RowWord& word, bool existed, const StatusRecord& record, std::int64_t planId,
                 std::int64_t startMs, std::int64_t untilMs, const std::string& author) {
    if (word.planId == planId && word.planStartMs == startMs) {
        // This very time shows already (then an edit of the plan shows its new word and end),
        // or the person spoke over it.
        if (word.source != RowSource::Plan) return false;
        if (shown.Status() == record.Status() && shown.Message() == record.Message() && word.untilMs == untilMs &&
            word.author == author)
            return false;
        shown = record;
        word.author = author;
        word.untilMs = untilMs;
        return true;
    }
    if (word.source != RowSource::Plan) {
        // Another plan's word over this one keeps what stood before both.
        word.hasBefore = existed;
        word.before = shown;
        word.beforeSource = word.source;
        word.beforeAuthor = word.author;
    }
    shown = record;
    word.sinceMs = startMs;
    word.source = RowSource::Plan;
    word.author = author;
    word.hasUntil = true;
    word.untilMs = untilMs;
    word.planId = planId;
    word.planStartMs = startMs;
    return true;
}

PlanEnd OnPlanEnd(StatusRecord& shown, RowWord& word, std::int64_t planId, std::int64_t startMs, bool deskSpeaks,
                  std::int64_t nowMs) {
    if (word.source != RowSource::Plan || word.planId != planId || word.planStartMs != startMs)
        return PlanEnd::NotShown;  // the person spoke over it, or another plan shows
    const bool before = word.hasBefore && !(deskSpeaks && word.hasDesk);
    if (!before && !word.hasDesk) return PlanEnd::Gone;
    Show(shown, word, before ? word.before : word.desk, nowMs);
    word.source = before ? word.beforeSource : RowSource::Desk;
    word.author = before ? word.beforeAuthor : std::string();
    if (word.source == RowSource::Plan) word.source = RowSource::Desk;
    word.hasUntil = false;
    word.untilMs = 0;
    word.hasBefore = false;
    return PlanEnd::Shown;
}
