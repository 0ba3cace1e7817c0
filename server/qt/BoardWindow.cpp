#include "BoardWindow.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>

#include "ServerDialogs.h"
#include "Windows1252.h"

BoardCanvas::BoardCanvas(BoardServer& server_, BoardView& view_, QWidget* parent)
    : QWidget(parent), server(server_), view(view_) {
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void BoardCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // As TextOut draws by default: each text on an opaque background of the
    // window's colour, so a long name ends under the status word.
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(palette().brush(QPalette::Base));
    const int ascent = fontMetrics().ascent();
    const QPen normal = painter.pen();
    for (const PaintItem& item : PaintBoard(view, server.table, server.tableLock, server.pendingCount.load(),
                                            server.manager.SocketCount(), SilentAfter(server))) {
        painter.setPen(item.grey ? QPen(palette().color(QPalette::Disabled, QPalette::Text)) : normal);
        // Like TextOut, an item's y is the top of its line, not the baseline.
        painter.drawText(item.x, item.y + ascent, QString::fromStdString(Windows1252ToUtf8(item.text)));
    }
}

void BoardCanvas::resizeEvent(QResizeEvent*) { emit resized(); }

void BoardCanvas::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up: emit scrollRequested(ScrollLineUp); break;
    case Qt::Key_Down: emit scrollRequested(ScrollLineDown); break;
    case Qt::Key_PageUp: emit scrollRequested(ScrollPageUp); break;
    case Qt::Key_PageDown: emit scrollRequested(ScrollPageDown); break;
    default: QWidget::keyPressEvent(event);
    }
}

BoardWindow::BoardWindow(BoardServer& server_, QWidget* parent) : QMainWindow(parent), server(server_) {
    setWindowTitle("quenlow");
    QWidget* central = new QWidget(this);
    QHBoxLayout* layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    canvas = new BoardCanvas(server, view, central);
    scrollBar = new QScrollBar(Qt::Vertical, central);
    layout->addWidget(canvas, 1);
    layout->addWidget(scrollBar);
    setCentralWidget(central);
    CreateMenus();
    resize(760, 520);

    SetScrollBar(view.Create(LineHeight(), canvas->width(), canvas->height(), server.table.RowCount()));
    connect(canvas, &BoardCanvas::resized, this, &BoardWindow::ResetView);
    connect(canvas, &BoardCanvas::scrollRequested, this, &BoardWindow::ApplyScrollRequest);
    connect(scrollBar, &QScrollBar::actionTriggered, this, &BoardWindow::OnScrollAction);
    qApp->installEventFilter(this);
}

int BoardWindow::LineHeight() const {
    QFontMetrics metrics = canvas->fontMetrics();
    return metrics.height() + metrics.leading();
}

void BoardWindow::CreateMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction("&Setup", this, &BoardWindow::ShowSetup);
    file->addAction("&Options...", this, &BoardWindow::ShowOptions);
    file->addSeparator();
    file->addAction("E&xit", this, &QWidget::close);
    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction("&About ...", this, &BoardWindow::ShowAbout);
}

bool BoardWindow::eventFilter(QObject* watched, QEvent* event) {
    // Alt+? and Alt+/ open About, whichever keyboard produced the character.
    QWidget* target = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::KeyPress && target && target->window() == this) {
        QKeyEvent* key = static_cast<QKeyEvent*>(event);
        bool character =
            key->key() == Qt::Key_Question || key->key() == Qt::Key_Slash || key->text() == "?" || key->text() == "/";
        if ((key->modifiers() & Qt::AltModifier) && character) {
            ShowAbout();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void BoardWindow::ResetView() { SetScrollBar(view.Resize(canvas->width(), canvas->height(), server.table.RowCount())); }

void BoardWindow::SetScrollBar(const ScrollBarState& state) {
    // Qt's maximum is the last position, where Windows gives the range's end.
    const ShownScrollBar bar = AsWindowsShowsIt(state);
    QSignalBlocker quiet(scrollBar);
    scrollBar->setRange(bar.minimum, bar.maximumPosition);
    scrollBar->setPageStep(std::max(bar.page, 1));
    scrollBar->setValue(bar.position);
    scrollBar->setVisible(bar.visible);
}

void BoardWindow::OnScrollAction(int action) {
    int request = -1;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub: request = ScrollLineUp; break;
    case QAbstractSlider::SliderSingleStepAdd: request = ScrollLineDown; break;
    case QAbstractSlider::SliderPageStepSub: request = ScrollPageUp; break;
    case QAbstractSlider::SliderPageStepAdd: request = ScrollPageDown; break;
    default: break;  // thumb and end requests change nothing
    }
    int position = view.Scroll(request, server.table.RowCount());
    // Overrides whatever the slider would have done with the action.
    scrollBar->setSliderPosition(position);
    canvas->update();
}

void BoardWindow::ApplyScrollRequest(int request) {
    int position = view.Scroll(request, server.table.RowCount());
    QSignalBlocker quiet(scrollBar);
    scrollBar->setValue(position);
    canvas->update();
}

void BoardWindow::ShowOptions() {
    if (showOptions) showOptions();
}

void BoardWindow::ShowSetup() { RunServerSetupDialog(this, server.serverPort, server.localAddressText); }

void BoardWindow::ShowAbout() { RunServerAboutDialog(this); }
