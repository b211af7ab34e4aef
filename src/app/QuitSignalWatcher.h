#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the UI thread, so the main
// window closes the way a user closes it. One instance per process.
class CQuitSignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit CQuitSignalWatcher(QObject* parent = nullptr);
    ~CQuitSignalWatcher() override;

    bool IsInstalled() const { return m_pNotifier != nullptr; }

Q_SIGNALS:
    void QuitRequested(int nSignal);

private:
    static void OnSignal(int nSignal);
    void OnReadable();

    QSocketNotifier* m_pNotifier = nullptr;
};
