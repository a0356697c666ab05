#include "QuellixTestMain.h"

#include "player/vlcplayer.h"
#include "ui/StyleSheet.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <vlc/vlc.h>

// How long libvlc may take to start, seek or give up on a file when other work loads the
// machine. The checks wait for conditions, so a quick machine never waits this long.
constexpr int slowMs = 15000;

class TestVlcPlayer final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formatTime_data();
    void formatTime();
    void formSizesAndTooltips_data();
    void formSizesAndTooltips();
    void constructedStopped();
    void libvlcStartsWithFirstFile();
    void playsVideoAndAdvances();
    void pauseToggleSwapsSheet();
    void stopRestoresPlaceholder();
    void clipEndsByItself();
    void sliderSeeks();
    void lastProgressFilter();
    void pollDoesNotPullPlaybackBack();
    void unreadableFileReturnsToStopped();
    void volumeButtons();
    void mutedPlayerStartsNextFileMuted();
    void reopenRestarts();
    void nothingToPlay_data();
    void nothingToPlay();
    void storedPathPlaysOnStart();

private:
    QString makeClip(const QString &name, int seconds);
    template <typename T> T *child(const char *name) const
    {
        T *widget = m_player->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    QString curtime() const { return child<QLabel>("curtime")->text(); }
    // A released player (the clip ended) reads as nothing rather than crashing the suite.
    libvlc_state_t vlcState() const
    {
        libvlc_media_player_t *vlc = m_player->mediaPlayer();
        return vlc ? libvlc_media_player_get_state(vlc) : libvlc_NothingSpecial;
    }
    // libvlc's volume of the current player, -1 without one. It can lag behind the request while
    // libvlc (re)opens the sound device, which a headless machine without one makes it do for
    // every block of audio.
    int vlcVolume() const
    {
        libvlc_media_player_t *vlc = m_player->mediaPlayer();
        return vlc ? libvlc_audio_get_volume(vlc) : -1;
    }
    void startAndWaitForTime(const QString &path);
    void verifyStoppedLook();
    void verifyOneSurface();

    QTemporaryDir m_dir;
    QString m_clip2s;
    // Every test that does not wait for the end plays a clip far longer than the test, so that a
    // slow start on a busy machine cannot run it out (and release libvlc's player) midway.
    QString m_clip60s;
    vlcplayer *m_player = nullptr;
};

QString TestVlcPlayer::makeClip(const QString &name, int seconds)
{
    QString path = m_dir.filePath(name);
    // A key frame every five frames keeps seeks close to their target.
    const QString options = QStringLiteral("-nostdin -loglevel error -y "
                                           "-f lavfi -i testsrc=size=320x240:rate=25:duration=%1 "
                                           "-f lavfi -i sine=frequency=440:duration=%1 "
                                           "-pix_fmt yuv420p -c:v libx264 -preset ultrafast -g 5 "
                                           "-c:a aac -shortest");
    const QStringList args = options.arg(seconds).split(QLatin1Char(' ')) << path;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        qFatal("ffmpeg failed: %s", ffmpeg.readAllStandardError().constData());
    return path;
}

void TestVlcPlayer::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clip2s = makeClip(QStringLiteral("two.mp4"), 2);
    m_clip60s = makeClip(QStringLiteral("sixty.mp4"), 60);
}

void TestVlcPlayer::init()
{
    m_player = new vlcplayer(nullptr);
    // Away from the screen's corner, where a stray video window of libvlc's own would open.
    m_player->setGeometry(600, 400, 392, 288);
    m_player->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_player));
}

void TestVlcPlayer::cleanup()
{
    delete m_player;
    m_player = nullptr;
}

void TestVlcPlayer::startAndWaitForTime(const QString &path)
{
    QElapsedTimer clock;
    clock.start();
    m_player->openMedia(path, true);
    QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), int(vlcplayer::Playing), 2000);
    QVERIFY(clock.elapsed() < 2000);
    // libvlc's clock starts a moment after the start; on a loaded machine that takes a while.
    QTRY_VERIFY_WITH_TIMEOUT(curtime() != QLatin1String("00:00:00"), slowMs);
}

void TestVlcPlayer::verifyOneSurface()
{
    const bool video = child<QWidget>("display")->isVisible();
    QCOMPARE(child<QLabel>("labelDisplay")->isVisible(), !video);
    QCOMPARE(video, m_player->playState() != vlcplayer::Stopped);
}

void TestVlcPlayer::verifyStoppedLook()
{
    QCOMPARE(m_player->playState(), int(vlcplayer::Stopped));
    verifyOneSurface();
    QCOMPARE(curtime(), QStringLiteral("00:00:00"));
    QCOMPARE(child<QLabel>("duration")->text(), QStringLiteral("00:00:00"));
    QCOMPARE(child<QSlider>("progress")->value(), 0);
    QCOMPARE(child<QPushButton>("btnPause")->styleSheet(), styleResume);
    QVERIFY(!m_player->mediaPlayer());
}

void TestVlcPlayer::formatTime_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << "00:00:00";
    QTest::newRow("just under a second") << 999 << "00:00:00";
    QTest::newRow("just under a minute") << 59999 << "00:00:59";
    QTest::newRow("h m s") << 3723999 << "01:02:03";
    QTest::newRow("a hundred hours") << 360000000 << "100:00:00";
}

void TestVlcPlayer::formatTime()
{
    QFETCH(int, ms);
    QFETCH(QString, text);
    QCOMPARE(vlcplayer::formatTime(ms), text);
}

void TestVlcPlayer::formSizesAndTooltips_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");
    QTest::addColumn<QString>("toolTip");
    const QSize button(24, 25);
    const int open = QWIDGETSIZE_MAX;
    QTest::newRow("btnStart") << "btnStart" << button << button << "播放";
    QTest::newRow("btnPause") << "btnPause" << button << button << "开始/暂停";
    QTest::newRow("btnStop") << "btnStop" << button << button << "关闭";
    QTest::newRow("btnVolume") << "btnVolume" << button << button << "静音";
    QTest::newRow("btnMute") << "btnMute" << button << button << "静音";
    QTest::newRow("frame_bar") << "frame_bar" << QSize(0, 46) << QSize(open, 46) << "";
    QTest::newRow("frame_bottom") << "frame_bottom" << QSize(0, 34) << QSize(open, 34) << "";
    QTest::newRow("curtime") << "curtime" << QSize(56, 0) << QSize(56, open) << "";
    QTest::newRow("duration") << "duration" << QSize(56, 0) << QSize(56, open) << "";
    QTest::newRow("volume") << "volume" << QSize(80, 0) << QSize(80, open) << "";
}

void TestVlcPlayer::formSizesAndTooltips()
{
    QFETCH(QString, name);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);
    QFETCH(QString, toolTip);
    const QWidget *widget = child<QWidget>(qPrintable(name));
    QCOMPARE(widget->minimumSize(), minimum);
    QCOMPARE(widget->maximumSize(), maximum);
    QCOMPARE(widget->toolTip(), toolTip);
}

void TestVlcPlayer::constructedStopped()
{
    QCOMPARE(m_player->windowTitle(), QStringLiteral("MainWindow"));
    QVERIFY(child<QLabel>("labelDisplay")->text().isEmpty());
    QVERIFY(!child<QPushButton>("btnStart")->isVisible());
    QVERIFY(child<QPushButton>("btnVolume")->isVisible());
    QVERIFY(!child<QPushButton>("btnMute")->isVisible());
    QCOMPARE(child<QSlider>("volume")->value(), 100);
    verifyStoppedLook();
    // Neither stop nor the pause toggle can leave Stopped.
    QTest::mouseClick(child<QPushButton>("btnPause"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("btnStop"), Qt::LeftButton);
    verifyStoppedLook();
}

void TestVlcPlayer::libvlcStartsWithFirstFile()
{
    // Nothing short of a file to play needs libvlc: not the window, nor its controls.
    QCoreApplication::processEvents();
    QTest::mouseClick(child<QPushButton>("btnPause"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("btnVolume"), Qt::LeftButton);
    child<QSlider>("progress")->setValue(30);
    m_player->openMedia(m_clip2s, false);
    m_player->openMedia(QString(), true);
    QVERIFY(!m_player->vlcInstance());

    startAndWaitForTime(m_clip60s);
    QVERIFY(m_player->vlcInstance());
    verifyOneSurface();
}

void TestVlcPlayer::playsVideoAndAdvances()
{
    startAndWaitForTime(m_clip60s);
    verifyOneSurface();
    QCOMPARE(child<QPushButton>("btnPause")->styleSheet(), stylePause);
    QCOMPARE(child<QLabel>("duration")->text(), QStringLiteral("00:01:00"));
    QTRY_VERIFY_WITH_TIMEOUT(child<QSlider>("progress")->value() > 0, slowMs);

    // libvlc draws into `display` itself: testsrc's colour bars are anything but uniform.
    const QWidget *display = child<QWidget>("display");
    const auto colours = [display] {
        const QImage frame =
            QGuiApplication::primaryScreen()->grabWindow(display->winId()).toImage();
        QSet<QRgb> seen;
        for (int x = 0; x < frame.width(); x += 4)
            seen.insert(frame.pixel(x, frame.height() / 3));
        return seen.size();
    };
    QTRY_VERIFY2_WITH_TIMEOUT(colours() > 4, qPrintable(QString::number(colours())), slowMs);
}

void TestVlcPlayer::pauseToggleSwapsSheet()
{
    startAndWaitForTime(m_clip60s);
    QPushButton *btnPause = child<QPushButton>("btnPause");
    QTest::mouseClick(btnPause, Qt::LeftButton);
    QCOMPARE(m_player->playState(), int(vlcplayer::Paused));
    QCOMPARE(btnPause->styleSheet(), styleResume);
    verifyOneSurface();
    QTRY_COMPARE_WITH_TIMEOUT(vlcState(), libvlc_Paused, slowMs);
    const QString frozen = curtime();
    QTest::qWait(1500);
    QCOMPARE(curtime(), frozen);

    m_player->pause();
    QCOMPARE(m_player->playState(), int(vlcplayer::Playing));
    QCOMPARE(btnPause->styleSheet(), stylePause);
    QTRY_VERIFY_WITH_TIMEOUT(curtime() != frozen, slowMs);
}

void TestVlcPlayer::stopRestoresPlaceholder()
{
    startAndWaitForTime(m_clip60s);
    QTest::mouseClick(child<QPushButton>("btnStop"), Qt::LeftButton);
    verifyStoppedLook();
    QTest::qWait(1200);
    verifyStoppedLook();
}

void TestVlcPlayer::clipEndsByItself()
{
    // The end is noticed by the next poll after libvlc reached it, however late a busy machine
    // runs that poll: counted in polls, not in milliseconds.
    QTimer *poll = m_player->findChild<QTimer *>();
    QVERIFY(poll);
    QSignalSpy polls(poll, &QTimer::timeout);
    m_player->openMedia(m_clip2s, true);
    QCOMPARE(poll->interval(), 1000);
    QElapsedTimer clock;
    clock.start();
    int pollsAtEnd = -1;
    while (m_player->playState() != vlcplayer::Stopped && clock.elapsed() < qint64(3) * slowMs) {
        if (pollsAtEnd < 0 && vlcState() == libvlc_Ended)
            pollsAtEnd = polls.count();
        QTest::qWait(20);
    }
    verifyStoppedLook();
    QVERIFY2(clock.elapsed() >= 1500, "the clip stopped before it could have played");
    if (pollsAtEnd >= 0)
        QVERIFY2(polls.count() - pollsAtEnd <= 1, qPrintable(QString::number(polls.count())));
}

void TestVlcPlayer::sliderSeeks()
{
    startAndWaitForTime(m_clip60s);
    child<QSlider>("progress")->setValue(70);
    QTRY_VERIFY_WITH_TIMEOUT(libvlc_media_player_get_position(m_player->mediaPlayer()) >= 0.65f,
                             slowMs);
    QTRY_VERIFY_WITH_TIMEOUT(curtime() >= QLatin1String("00:00:40"), slowMs);
}

void TestVlcPlayer::lastProgressFilter()
{
    startAndWaitForTime(m_clip60s);
    QSlider *progress = child<QSlider>("progress");
    QTRY_VERIFY_WITH_TIMEOUT(progress->value() > 0, slowMs);
    m_player->pause();
    QTRY_COMPARE_WITH_TIMEOUT(vlcState(), libvlc_Paused, slowMs);
    const int last = progress->value();
    const auto position = [this] {
        return libvlc_media_player_get_position(m_player->mediaPlayer());
    };

    // Any value but the one the poll wrote last seeks, paused or not...
    progress->setValue(last + 40);
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(position() - (last + 40) / 100.0f) < 0.05f, slowMs);
    // ...and going back to that value does not.
    progress->setValue(last);
    QTest::qWait(500);
    QVERIFY2(position() > (last + 30) / 100.0f, qPrintable(QString::number(position())));
}

void TestVlcPlayer::pollDoesNotPullPlaybackBack()
{
    // On a minute-long clip one percent is 600 ms: a poll that seeked to the percentage it just
    // showed would throw playback back by up to that much every second.
    startAndWaitForTime(m_clip60s);
    QElapsedTimer clock;
    clock.start();
    libvlc_time_t previous = 0;
    while (clock.elapsed() < 3500) {
        const libvlc_time_t now = libvlc_media_player_get_time(m_player->mediaPlayer());
        QVERIFY2(now >= previous, qPrintable(QStringLiteral("%1 after %2").arg(now).arg(previous)));
        previous = now;
        QTest::qWait(25);
    }
    QVERIFY(child<QSlider>("progress")->value() > 0);
}

void TestVlcPlayer::unreadableFileReturnsToStopped()
{
    const QString path = m_dir.filePath(QStringLiteral("noise.mp4"));
    QFile noise(path);
    QVERIFY(noise.open(QIODevice::WriteOnly));
    noise.write(QByteArray(64 * 1024, 'Z'));
    noise.close();

    m_player->openMedia(path, true);
    QCOMPARE(m_player->playState(), int(vlcplayer::Playing));
    QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), int(vlcplayer::Stopped), slowMs);
    verifyStoppedLook();
}

void TestVlcPlayer::volumeButtons()
{
    startAndWaitForTime(m_clip60s);
    QSlider *volume = child<QSlider>("volume");
    QPushButton *btnVolume = child<QPushButton>("btnVolume");
    QPushButton *btnMute = child<QPushButton>("btnMute");
    volume->setValue(40);
    QTRY_COMPARE_WITH_TIMEOUT(vlcVolume(), 40, slowMs);

    QTest::mouseClick(btnVolume, Qt::LeftButton);
    QCOMPARE(volume->value(), 0);
    QVERIFY(btnMute->isVisible() && !btnVolume->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(vlcVolume(), 0, slowMs);

    // Sound comes back at full volume, not at the level before muting.
    QTest::mouseClick(btnMute, Qt::LeftButton);
    QCOMPARE(volume->value(), 100);
    QVERIFY(btnVolume->isVisible() && !btnMute->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(vlcVolume(), 100, slowMs);
}

void TestVlcPlayer::mutedPlayerStartsNextFileMuted()
{
    child<QSlider>("volume")->setValue(0);
    m_player->openMedia(m_clip60s, true);
    QTRY_COMPARE_WITH_TIMEOUT(vlcVolume(), 0, slowMs);
    m_player->stop();
    QVERIFY(child<QPushButton>("btnMute")->isVisible());
    m_player->openMedia(m_clip2s, true);
    QCOMPARE(m_player->playState(), int(vlcplayer::Playing));
    QTRY_COMPARE_WITH_TIMEOUT(vlcVolume(), 0, slowMs);
}

void TestVlcPlayer::reopenRestarts()
{
    startAndWaitForTime(m_clip60s);
    QTRY_VERIFY_WITH_TIMEOUT(libvlc_media_player_get_time(m_player->mediaPlayer()) >= 2000, slowMs);
    m_player->pause();
    m_player->openMedia(m_clip60s, true);
    QCOMPARE(m_player->playState(), int(vlcplayer::Playing));
    QCOMPARE(curtime(), QStringLiteral("00:00:00"));
    QCOMPARE(child<QPushButton>("btnPause")->styleSheet(), stylePause);
    verifyOneSurface();
    QTRY_COMPARE_WITH_TIMEOUT(vlcState(), libvlc_Playing, slowMs);
    QVERIFY(libvlc_media_player_get_time(m_player->mediaPlayer()) < 1500);
}

void TestVlcPlayer::nothingToPlay_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("playingBefore");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("empty while playing") << QString() << true;
    QTest::newRow("missing") << m_dir.filePath(QStringLiteral("missing.mp4")) << false;
    QTest::newRow("folder") << m_dir.path() << false;
}

void TestVlcPlayer::nothingToPlay()
{
    QFETCH(QString, path);
    QFETCH(bool, playingBefore);
    if (playingBefore)
        m_player->openMedia(m_clip60s, true);
    m_player->openMedia(path, true);
    verifyStoppedLook();
    QTest::qWait(1200);
    verifyStoppedLook();
}

void TestVlcPlayer::storedPathPlaysOnStart()
{
    m_player->openMedia(m_clip60s, false);
    verifyStoppedLook();
    QMetaObject::invokeMethod(m_player, "onBtnStart");
    QCOMPARE(m_player->playState(), int(vlcplayer::Playing));
    verifyOneSurface();
}

QUELLIX_TEST_MAIN(TestVlcPlayer)
#include "test_vlcplayer.moc"
