#pragma once

#include <QDBusConnection>
#include <QObject>

// Tells the desktop how a batch ended, through its notification service
// (org.freedesktop.Notifications). Nothing waits for the service: without a session bus or without
// the service the notice is simply not shown.
class DesktopNotifier final : public QObject
{
    Q_OBJECT

public:
    // On the user's session bus.
    explicit DesktopNotifier(QObject *parent = nullptr);
    // On the given bus.
    explicit DesktopNotifier(const QDBusConnection &connection, QObject *parent = nullptr);

    // Says how many files of the batch succeeded, failed and (when any) were cancelled. A notice
    // still on screen from the batch before is replaced.
    void batchFinished(int succeeded, int failed, int cancelled);

    static QString summaryText();
    static QString bodyText(int succeeded, int failed, int cancelled);

private:
    QDBusConnection m_bus;
    uint m_shownId = 0;
};
