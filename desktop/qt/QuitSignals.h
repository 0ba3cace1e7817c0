// Requests to end the program that arrive as signals (a session manager,
// systemctl, kill, a closed terminal) become an ordinary Qt signal on the
// thread that made this object; the handler itself only writes a byte.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <initializer_list>
#include <vector>

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // One object per process.
    explicit QuitSignals(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void quitRequested(int signalNumber);

private:
    void OnReadable();

    QSocketNotifier* notifier = nullptr;
    std::vector<int> numbers;
};
