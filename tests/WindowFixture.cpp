#include "tests/WindowFixture.h"

#include "gui/InputItem.h"
#include "tests/DialogAnswerer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

WindowFixture::WindowFixture() = default;

WindowFixture::~WindowFixture()
{
    close();
}

bool WindowFixture::open(const QString &outputDir, StateMode stateMode)
{
    close();
    m_previousDir = QDir::currentPath();
    if (!m_dir.isValid() || !QDir::setCurrent(m_dir.path()))
        return false;
    QFile config(QStringLiteral("conf_main.json"));
    config.remove();
    // Every window starts with an empty list of its own, not one an earlier window saved.
    if (stateMode == FreshState) {
        const QString state = m_dir.filePath(QStringLiteral("state"));
        QDir(state).removeRecursively();
        qputenv("XDG_STATE_HOME", QFile::encodeName(state));
    }
    if (!outputDir.isEmpty()) {
        const QJsonObject object{{QStringLiteral("VideosDir"), outputDir}};
        if (!config.open(QIODevice::WriteOnly) ||
            config.write(QJsonDocument(object).toJson(QJsonDocument::Compact)) <= 0)
            return false;
        config.close();
    }
    m_window = new MainWindow(nullptr);
    // A fresh window has nothing to restore, but says so only once its reading of the saved
    // list has ended; a batch started before that would be refused.
    return QTest::qWaitForWindowExposed(m_window) &&
           (stateMode == KeptState ||
            QTest::qWaitFor([this] { return !m_window->isAddingFiles(); }, 10000)) &&
           (outputDir.isEmpty() || m_window->outputDirectory() == outputDir);
}

void WindowFixture::close()
{
    delete m_window;
    m_window = nullptr;
    if (!m_previousDir.isEmpty())
        QDir::setCurrent(m_previousDir);
    m_previousDir.clear();
}

QListWidget *WindowFixture::list() const
{
    return child<QListWidget>("listInput");
}

ConversionJob *WindowFixture::job(int row) const
{
    return m_window ? m_window->jobAt(row) : nullptr;
}

InputItem *WindowFixture::row(int row) const
{
    return qobject_cast<InputItem *>(list()->itemWidget(list()->item(row)));
}

QPushButton *WindowFixture::startButton() const
{
    return child<QPushButton>("btnConvertStart");
}

bool WindowFixture::add(const QString &path) const
{
    return m_window->addInputFile(path.toStdString()) == 0;
}

void WindowFixture::clickStart() const
{
    QTest::mouseClick(startButton(), Qt::LeftButton);
}

bool WindowFixture::waitForDialogs(const DialogAnswerer &answerer, int count, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (answerer.texts.size() < count && timer.elapsed() < timeoutMs)
        QTest::qWait(20);
    return answerer.texts.size() >= count;
}

QString WindowFixture::summary(int ok, int cancelled, const QStringList &failures)
{
    QString text = QStringLiteral("转码任务完成！\n成功： %1 个\n").arg(ok);
    if (cancelled > 0)
        text += QStringLiteral("取消： %1 个\n").arg(cancelled);
    if (!failures.isEmpty())
        text += QStringLiteral("失败： %1 个\n").arg(failures.size() / 2);
    for (int i = 0; i + 1 < failures.size(); i += 2)
        text += failures[i] + QStringLiteral(" : ") + failures[i + 1];
    return text;
}
