#include "PlanImport.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "AsciiText.h"
#include "BoardClock.h"
#include "BoardStore.h"
#include "StaffCsv.h"
#include "Windows1252.h"

namespace {

std::string Field(const CsvLine& line, const char* name) {
    auto it = line.fields.find(name);
    return it == line.fields.end() ? std::string() : TrimSpace(it->second);
}

// A plan from one line; empty when it is good, else what is wrong.
std::string PlanOf(const CsvLine& line, Plan& plan) {
    if (!line.problem.empty()) return line.problem;
    plan.name = Utf8ToWindows1252(Field(line, "name"));
    if (plan.name.empty()) return "no name";
    if (Windows1252ToUtf8(plan.name) != Field(line, "name") || plan.name.size() > StatusRecord::NameSize - 1)
        return "the name is longer than 19 characters or has one the board cannot show";
    bool startDate = false, endDate = false;
    if (!ParseLocalStamp(Field(line, "start"), plan.start, startDate))
        return "the start \"" + Field(line, "start") +
               "\" is not a date (2027-01-05) or date and time (2027-01-05 14:00)";
    if (!ParseLocalStamp(Field(line, "end"), plan.end, endDate))
        return "the end \"" + Field(line, "end") + "\" is not a date (2027-01-05) or date and time (2027-01-05 14:00)";
    if (startDate != endDate) return "the start and the end are both dates, or both dates and times";
    plan.allDay = startDate;
    const std::string status = AsciiLower(Field(line, "status"));
    plan.status = status == "out" || status == "2" || status.empty() ? StatusOut
                  : status == "other" || status == "3"               ? StatusOther
                                                                     : 0;
    if (!plan.status) return "the status \"" + Field(line, "status") + "\" is not out or other";
    plan.message = Utf8ToWindows1252(Field(line, "message"));
    plan.source = "import";
    const std::string wrong = PlanProblem(plan);
    if (wrong.empty()) return wrong;
    std::string said = wrong.substr(0, wrong.size() - 1);  // a sentence, here after a line number
    said[0] = static_cast<char>(said[0] - 'A' + 'a');
    return said;
}

}  // namespace

void ReadPlansCsv(const std::string& text, const std::string& file, std::vector<Plan>& plans,
                  std::vector<std::string>& problems) {
    std::vector<CsvLine> lines;
    std::string error;
    if (!ReadCsvColumns(text, file, lines, error)) {
        problems.push_back(error);
        return;
    }
    for (const CsvLine& line : lines) {
        Plan plan;
        const std::string wrong = PlanOf(line, plan);
        if (wrong.empty())
            plans.push_back(plan);
        else
            problems.push_back(file + ":" + std::to_string(line.line) + ": " + wrong);
    }
}

int ImportPlansCommand(const std::string& database, const std::string& file, bool skipBad) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "pegmastd: %s cannot be read\n", file.c_str());
        return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Plan> plans;
    std::vector<std::string> problems;
    ReadPlansCsv(text, file, plans, problems);
    for (const std::string& problem : problems) std::fprintf(stderr, "pegmastd: %s\n", problem.c_str());
    if (!problems.empty() && !skipBad) {
        std::fprintf(stderr,
                     "pegmastd: nothing is taken from a file with problems (--skip-bad takes the good lines)\n");
        return 2;
    }
    std::string error;
    std::unique_ptr<BoardStore> store = BoardStore::Connect(database, error);
    const std::int64_t now = WallMs();
    for (Plan& plan : plans) plan.createdMs = now;
    if (!store || !store->PutPlans(plans, now, error)) {
        std::fprintf(stderr, "pegmastd: %s: %s\n", database.c_str(), error.c_str());
        return 1;
    }
    std::printf("# %s plans taken%s\n", std::to_string(plans.size()).c_str(),
                problems.empty() ? "" : (", " + std::to_string(problems.size()) + " lines skipped").c_str());
    return 0;
}
