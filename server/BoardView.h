// The board window's view as plain data: line layout, the selected and top
// row, the scroll rules and what one repaint draws. Shells only draw the items
// and feed size and scroll events back in.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "BoardTable.h"

struct PaintItem {
    int x;
    int y;
    std::string text;
    bool grey = false;  // a row silent for longer than the board's SilentMinutes
};

struct ScrollBarState {
    int minimum;
    int maximum;
    int page;
    int position;
};

// What a Windows scroll bar makes of a state (SetScrollInfo's own checks): the
// page is cut to the range, the position stops where the last page begins, and
// a bar whose page covers the whole range is not needed and not shown.
struct ShownScrollBar {
    bool visible;
    int minimum;
    int maximumPosition;
    int page;
    int position;
};
ShownScrollBar AsWindowsShowsIt(const ScrollBarState& bar);

enum ScrollRequest {
    ScrollLineUp = 0,
    ScrollLineDown = 1,
    ScrollPageUp = 2,
    ScrollPageDown = 3,
};

class BoardView {
public:
    // The window is created: font measured, client area known.
    ScrollBarState Create(int lineHeight, int clientWidth, int clientHeight, std::int32_t rowCount);
    // A resize, or a stored record: the view goes back to the first row.
    ScrollBarState Resize(int clientWidth, int clientHeight, std::int32_t rowCount);
    // Puts the marker and the top row where given, without the scroll rules.
    void Place(std::uint16_t selected, std::uint16_t top) {
        selectedRow = selected;
        topRow = top;
    }
    // A scroll request; returns the scroll bar position to set, s.
    int Scroll(int request, std::int32_t rowCount);

    // The counter "%d/%d" at the top right.
    PaintItem Counter(std::int32_t pending, std::int32_t socketCount) const;
    // The visible rows; the caller holds tableLock. A stray status becomes 3.
    // With `silentAfter` above 0, rows whose last record is older are grey.
    std::vector<PaintItem> Rows(BoardTable& table, std::chrono::seconds silentAfter = std::chrono::seconds(0),
                                std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now()) const;

    int LineHeight() const { return lineHeight; }
    int ClientWidth() const { return clientWidth; }
    int ClientHeight() const { return clientHeight; }
    std::uint16_t VisibleRows() const { return visibleRows; }
    std::uint16_t SelectedRow() const { return selectedRow; }
    std::uint16_t TopRow() const { return topRow; }

    static const int NameX = 5;
    static const int StatusX = 130;
    static const int MessageX = 190;
    static const int CounterFromRight = 60;
    static const int CounterY = 5;

private:
    void Measure(int width, int height);
    ScrollBarState Bar(std::int32_t rowCount) const;

    int lineHeight = 1;
    int clientWidth = 0;
    int clientHeight = 0;
    std::uint16_t visibleRows = 0;
    std::uint16_t selectedRow = 0;
    std::uint16_t topRow = 0;
};

// The five-character word for a status.
const char* StatusWord(std::int32_t status);

// Everything one repaint draws: the counter, then, when tableLock comes within
// 1500 ms, the visible rows.
std::vector<PaintItem> PaintBoard(const BoardView& view, BoardTable& table, TableLock& tableLock, std::int32_t pending,
                                  std::int32_t socketCount, std::chrono::seconds silentAfter = std::chrono::seconds(0));
