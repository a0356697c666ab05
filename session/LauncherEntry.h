#pragma once

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>

class QString;
class QTimer;

// Shows a batch's progress and the number of files left on the program's taskbar or dock entry,
// through the launcher-entry signal the docks listen for on the session bus
// (com.canonical.Unity.LauncherEntry.Update, for "application://quellix.desktop"). The docks match
// the signal by its interface and name, from any object path.
//
// Only a change a dock can show is sent (a percent of progress, another count, shown or hidden),
// and at most one signal each minimum interval: later changes wait and go out together.
// Result codes: 0, noBus (no session bus; nothing is shown).
class LauncherEntry final : public QObject
{
    Q_OBJECT

public:
    static constexpr int noBus = -201;
    // A dock's small bar followed once a second is close enough, and the bus stays quiet while
    // short files go by several a second.
    static constexpr int defaultIntervalMs = 1000;

    // On the session bus.
    explicit LauncherEntry(QObject *parent = nullptr);
    explicit LauncherEntry(const QDBusConnection &bus, QObject *parent = nullptr);
    // Takes the progress off the entry.
    ~LauncherEntry() override;

    static QString appUri();
    static QString objectPath();

    // Shows `progress` (0 to 1) and, unless it is 0, `filesLeft`.
    int show(double progress, qint64 filesLeft);
    // Hides both, at once.
    int clear();
    void setMinimumInterval(int ms);

private:
    // What a dock shows: whole percents, and the count only when files are left.
    struct Look {
        int percent = 0;
        qint64 count = 0;
        bool progressVisible = false;
        bool countVisible = false;
    };
    static bool alike(const Look &a, const Look &b);

    int send();

    QDBusConnection m_bus;
    QTimer *m_delay;
    QElapsedTimer m_sinceSent;
    int m_intervalMs = defaultIntervalMs;
    double m_progress = 0;
    Look m_wanted;
    Look m_sent;
};
