#include "batch/DiskSpaceGuard.h"
#include "batch/FreeSpace.h"

#include <QTimer>

DiskSpaceGuard::DiskSpaceGuard(QObject *parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setInterval(defaultIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &DiskSpaceGuard::check);
}

int DiskSpaceGuard::start(const QString &folder)
{
    stop();
    m_folder = folder;
    m_low = false;
    const int result = check();
    if (result == 0)
        m_timer->start();
    return result;
}

void DiskSpaceGuard::stop()
{
    m_timer->stop();
}

bool DiskSpaceGuard::running() const
{
    return m_timer->isActive();
}

void DiskSpaceGuard::setInterval(int ms)
{
    m_timer->setInterval(ms);
}

int DiskSpaceGuard::check()
{
    qint64 available = 0;
    qint64 total = 0;
    const int result = FreeSpace::measure(m_folder, available, total);
    if (result != 0)
        return result;
    m_available = available;
    m_limit = FreeSpace::limitFor(total);
    if (!m_low && available < m_limit) {
        m_low = true;
        emit spaceLow(available, m_limit);
    } else if (m_low && available >= m_limit + m_limit / 4) {
        m_low = false;
        emit spaceRecovered(available);
    }
    return 0;
}
