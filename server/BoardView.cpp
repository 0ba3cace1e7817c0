#include "BoardView.h"

#include <algorithm>
#include <cstdio>

namespace {

std::int32_t NotBelowZero(std::int32_t x) { return x < 0 ? 0 : x; }

}  // namespace

const char* StatusWord(std::int32_t status) {
    if (status == StatusIn) return " in  ";
    if (status == StatusOut) return " out ";
    return "other";
}

void BoardView::Measure(int width, int height) {
    clientWidth = width;
    clientHeight = height;
    int lines = lineHeight > 0 ? height / lineHeight : 0;
    visibleRows = static_cast<std::uint16_t>(lines < 0 ? 0 : lines);
}

ScrollBarState BoardView::Bar(std::int32_t rowCount) const {
    return ScrollBarState{0, rowCount, visibleRows, selectedRow};
}

ShownScrollBar AsWindowsShowsIt(const ScrollBarState& bar) {
    const int range = bar.maximum - bar.minimum;
    const int page = std::max(0, std::min(bar.page, range + 1));
    const int last = bar.maximum - std::max(page - 1, 0);
    const int position = std::max(bar.minimum, std::min(bar.position, last));
    return ShownScrollBar{range > 0 && page <= range, bar.minimum, last, page, position};
}

ScrollBarState BoardView::Create(int lineHeight_, int width, int height, std::int32_t rowCount) {
    lineHeight = lineHeight_ > 0 ? lineHeight_ : 1;
    Measure(width, height);
    return Bar(rowCount);
}

ScrollBarState BoardView::Resize(int width, int height, std::int32_t rowCount) {
    Measure(width, height);
    selectedRow = 0;
    topRow = 0;
    return Bar(rowCount);
}

int BoardView::Scroll(int request, std::int32_t n) {
    std::int32_t s = selectedRow, t = topRow, v = visibleRows;
    switch (request) {
    case ScrollLineUp:
        s = NotBelowZero(s - 1);
        if (s < t) {
            s = NotBelowZero(t - 1);
            t = NotBelowZero(t - v);
        }
        break;
    case ScrollLineDown:
        s = s + 1;
        if (n >= 1) s = std::min(s, n - 1);
        if (s >= t + v) {
            s = std::min(t + v, n);
            t = t + v;
            if (n >= 1) t = std::min(t, n - 1);
        }
        break;
    case ScrollPageUp:
        t = NotBelowZero(t - v);
        s = NotBelowZero(s - v);
        break;
    case ScrollPageDown:
        t = t + v;
        if (n >= 1) t = std::min(t, n - 1);
        s = std::min(s + v, n);
        break;
    default: break;
    }
    selectedRow = static_cast<std::uint16_t>(s);
    topRow = static_cast<std::uint16_t>(t);
    return selectedRow;
}

PaintItem BoardView::Counter(std::int32_t pending, std::int32_t socketCount) const {
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d", static_cast<int>(pending), static_cast<int>(socketCount - 1));
    return PaintItem{clientWidth - CounterFromRight, CounterY, text};
}

std::vector<PaintItem> BoardView::Rows(BoardTable& table, std::chrono::seconds silentAfter,
                                       std::chrono::steady_clock::time_point now) const {
    std::vector<PaintItem> items;
    const std::int32_t n = table.RowCount();
    int y = 0;
    for (std::int32_t i = topRow; i < topRow + visibleRows && i < n; ++i, y += lineHeight) {
        const std::size_t index = static_cast<std::size_t>(i);
        StatusRecord& row = table.Row(index);
        const bool grey = silentAfter.count() > 0 && now - table.LastStored(index) > silentAfter;
        if (i == selectedRow) items.push_back(PaintItem{0, y, ">"});
        items.push_back(PaintItem{NameX, y, row.Name(), grey});
        std::int32_t status = row.Status();
        if (status != StatusIn && status != StatusOut) row.SetStatus(StatusOther);
        items.push_back(PaintItem{StatusX, y, StatusWord(status), grey});
        items.push_back(PaintItem{MessageX, y, row.Message(), grey});
    }
    return items;
}

std::vector<PaintItem> PaintBoard(const BoardView& view, BoardTable& table, TableLock& tableLock, std::int32_t pending,
                                  std::int32_t socketCount, std::chrono::seconds silentAfter) {
    std::vector<PaintItem> items;
    items.push_back(view.Counter(pending, socketCount));
    std::vector<PaintItem> rows;
    {
        TableHold hold(tableLock, std::chrono::milliseconds(1500));
        if (!hold) return items;
        rows = view.Rows(table, silentAfter);
    }
    items.insert(items.end(), rows.begin(), rows.end());
    return items;
}
