// The board window on Linux: paints what the board view computes and feeds
// resizes and scroll requests back into it.
#pragma once

#include <functional>

#include <QMainWindow>
#include <QScrollBar>
#include <QWidget>

#include "BoardServer.h"
#include "BoardView.h"

class BoardCanvas : public QWidget {
    Q_OBJECT
public:
    BoardCanvas(BoardServer& server, BoardView& view, QWidget* parent);

signals:
    void resized();
    void scrollRequested(int request);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    BoardServer& server;
    BoardView& view;
};

class BoardWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit BoardWindow(BoardServer& server, QWidget* parent = nullptr);

    BoardCanvas* Canvas() const { return canvas; }
    QScrollBar* ScrollBar() const { return scrollBar; }
    const BoardView& View() const { return view; }
    int LineHeight() const;
    // File > Options...: the shell shows the dialog and takes its effects.
    std::function<void()> showOptions;

public slots:
    // A stored record: back to the first row, as a resize does.
    void ResetView();
    void ShowSetup();
    void ShowOptions();
    void ShowAbout();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenus();
    void OnScrollAction(int action);
    void ApplyScrollRequest(int request);
    void SetScrollBar(const ScrollBarState& bar);

    BoardServer& server;
    BoardView view;
    BoardCanvas* canvas;
    QScrollBar* scrollBar;
};
