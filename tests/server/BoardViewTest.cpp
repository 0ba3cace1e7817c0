#include <gtest/gtest.h>

#include <cstring>

#include "BoardView.h"
#include "TableRows.h"

namespace {

struct ScrollCase {
    const char* what;
    int rows, visible, s, t;
    std::vector<int> requests;
    int wantS, wantT;
};

BoardView ViewAt(int rows, int visible, int s, int t) {
    BoardView view;
    view.Create(10, 400, visible * 10 + 5, rows);  // a partly visible line is not counted
    EXPECT_EQ(view.VisibleRows(), visible);
    view.Place(static_cast<std::uint16_t>(s), static_cast<std::uint16_t>(t));
    return view;
}

class ScrollRules : public ::testing::TestWithParam<ScrollCase> {};

TEST_P(ScrollRules, MoveSelectionAndTop) {
    const ScrollCase& c = GetParam();
    BoardView view = ViewAt(c.rows, c.visible, c.s, c.t);
    int position = -1;
    for (int r : c.requests) position = view.Scroll(r, c.rows);
    EXPECT_EQ(view.SelectedRow(), c.wantS) << c.what;
    EXPECT_EQ(view.TopRow(), c.wantT) << c.what;
    EXPECT_EQ(position, c.wantS) << "the scroll bar follows the selection";
}

const int D = ScrollLineDown, U = ScrollLineUp, PD = ScrollPageDown, PU = ScrollPageUp;

INSTANTIATE_TEST_SUITE_P(
    Board, ScrollRules,
    ::testing::Values(ScrollCase{"line-down stops at the last row", 3, 10, 0, 0, {D, D, D, D}, 2, 0},
                      ScrollCase{"page-down past the end", 3, 10, 0, 0, {PD}, 3, 2},
                      ScrollCase{"line-up brings the marker back", 3, 10, 0, 0, {PD, U}, 2, 2},
                      ScrollCase{"nine line-downs", 30, 10, 0, 0, {D, D, D, D, D, D, D, D, D}, 9, 0},
                      ScrollCase{
                          "tenth line-down turns the page", 30, 10, 0, 0, {D, D, D, D, D, D, D, D, D, D}, 10, 10},
                      ScrollCase{"line-up above the top", 30, 10, 10, 10, {U}, 9, 0},
                      ScrollCase{"page-up to the top", 30, 5, 5, 5, {PU}, 0, 0},
                      ScrollCase{"page-down at the end", 30, 10, 25, 20, {PD}, 30, 29},
                      ScrollCase{"empty board", 0, 10, 0, 0, {D, PD, U, PU}, 0, 0},
                      ScrollCase{"thumb and end requests change nothing", 30, 10, 3, 0, {4, 5, 6, 7, 8}, 3, 0}));

TEST(BoardView, ResizeToLessThanALine) {
    BoardView view;
    view.Create(16, 300, 200, 30);
    view.Scroll(ScrollPageDown, 30);
    view.Resize(300, 10, 30);
    EXPECT_EQ(view.VisibleRows(), 0);
    EXPECT_EQ(view.SelectedRow(), 0);
    view.Scroll(ScrollLineDown, 30);
    view.Scroll(ScrollPageDown, 30);
    EXPECT_EQ(view.SelectedRow(), 0);
    EXPECT_EQ(view.TopRow(), 0);
    BoardTable table;
    StatusRecord r;
    table.Store(r);
    EXPECT_TRUE(view.Rows(table).empty());
}

TEST(BoardView, RecordArrivalResetsViewAndScrollBar) {
    BoardView view;
    ScrollBarState bar = view.Create(16, 300, 165, 30);
    EXPECT_EQ(bar.maximum, 30);
    EXPECT_EQ(bar.page, 10);
    view.Scroll(ScrollPageDown, 30);
    view.Scroll(ScrollLineDown, 30);
    bar = view.Resize(300, 165, 31);
    EXPECT_EQ(view.SelectedRow(), 0);
    EXPECT_EQ(view.TopRow(), 0);
    EXPECT_EQ(bar.minimum, 0);
    EXPECT_EQ(bar.maximum, 31);
    EXPECT_EQ(bar.position, 0);
}

TEST(BoardView, PaintedItemsAndStrayStatus) {
    BoardTable table;
    TableLock lock;
    const char* names[] = {"Anna", "Bob", "Cleo"};
    const std::int32_t statuses[] = {1, 2, 0};
    for (int i = 0; i < 3; ++i) {
        StatusRecord r;
        r.SetName(names[i]);
        r.SetStatus(statuses[i]);
        r.SetMessage(std::string("msg ") + names[i]);
        table.Store(r);
    }
    BoardView view;
    view.Create(16, 500, 32, 3);  // two visible lines
    view.Scroll(ScrollLineDown, 3);
    view.Scroll(ScrollLineDown, 3);  // s=2 moves past the page: t=2
    view.Resize(500, 64, 3);         // back to the top, four lines
    view.Scroll(ScrollLineDown, 3);  // marker on row 1

    std::vector<PaintItem> items = PaintBoard(view, table, lock, 2, 4);
    ASSERT_EQ(items.size(), 1u + 3 * 3 + 1);
    EXPECT_EQ(items[0].text, "2/3");
    EXPECT_EQ(items[0].x, 440);
    EXPECT_EQ(items[0].y, 5);
    auto find = [&](int x, int y) -> std::string {
        for (const PaintItem& i : items)
            if (i.x == x && i.y == y) return i.text;
        return "(none)";
    };
    EXPECT_EQ(find(5, 0), "Anna");
    EXPECT_EQ(find(130, 0), " in  ");
    EXPECT_EQ(find(190, 0), "msg Anna");
    EXPECT_EQ(find(0, 0), "(none)");
    EXPECT_EQ(find(0, 16), ">");
    EXPECT_EQ(find(130, 16), " out ");
    EXPECT_EQ(find(5, 32), "Cleo");
    EXPECT_EQ(find(130, 32), "other");
    EXPECT_EQ(table.Row(2).Status(), StatusOther);

    // With the lock held elsewhere only the counter is painted.
    ASSERT_TRUE(lock.WaitFor(std::chrono::milliseconds(10)));
    items = PaintBoard(view, table, lock, 0, 1);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, "0/0");
    lock.Release();
}

}  // namespace

namespace {

struct ScrollBarCase {
    ScrollBarState state;
    bool visible;
    int last, page, position;
};
const ScrollBarCase scrollBarCases[] = {
    {{0, 30, 10, 0}, true, 21, 10, 0},    // the last page begins at n - v + 1
    {{0, 30, 10, 25}, true, 21, 10, 21},  // a position past it stops there
    {{0, 30, 30, 30}, true, 1, 30, 1},    // exactly n visible rows: the range is n + 1 long
    {{0, 30, 31, 0}, false, 0, 31, 0},    // every row fits
    {{0, 5, 40, 3}, false, 0, 6, 0},      // a page larger than the range is cut to it
    {{0, 0, 10, 0}, false, 0, 1, 0},      // an empty board
    {{0, 30, 0, 30}, true, 30, 0, 30},    // no whole line visible: every position
};

}  // namespace

class ScrollBarAsWindowsShowsIt : public ::testing::TestWithParam<ScrollBarCase> {};

TEST_P(ScrollBarAsWindowsShowsIt, EachRow) {
    const ScrollBarCase& row = GetParam();
    ShownScrollBar shown = AsWindowsShowsIt(row.state);
    EXPECT_EQ(shown.visible, row.visible) << row.state.maximum << "/" << row.state.page;
    EXPECT_EQ(shown.maximumPosition, row.last) << row.state.maximum << "/" << row.state.page;
    EXPECT_EQ(shown.page, row.page) << row.state.maximum << "/" << row.state.page;
    EXPECT_EQ(shown.position, row.position) << row.state.position;
}
INSTANTIATE_TEST_SUITE_P(Rows, ScrollBarAsWindowsShowsIt, ::testing::ValuesIn(scrollBarCases));
