#include "player/vlcplayer.h"

#include "ui/StyleSheet.h"
#include "ui_vlcplayer.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <vlc/vlc.h>

namespace
{

constexpr int pollIntervalMs = 1000;

// Start failures; the caller ignores them, the preview simply stays on its placeholder.
constexpr int errNoInstance = -201;
constexpr int errNoMedia = -202;
constexpr int errNoPlayer = -203;
constexpr int errPlayRefused = -204;

// A poll that sees the player in one of these states is over: the media ended, or libvlc could
// not open or decode it (a player in error would otherwise sit in Playing forever).
bool playbackOver(libvlc_state_t state)
{
    return state == libvlc_Ended || state == libvlc_Error;
}

} // namespace

vlcplayer::vlcplayer(QWidget *parent) : QWidget(parent), m_ui(std::make_unique<Ui::vlcplayer>())
{
    m_ui->setupUi(this);
    loadStyleSheet(this, QStringLiteral(":/qss/css/vlcplayer.css"));

    m_ui->btnStart->hide();
    m_ui->labelDisplay->setText(QString());
    m_ui->btnPause->setStyleSheet(styleResume);

    m_ui->progress->setMinimum(0);
    m_ui->progress->setMaximum(100);
    m_volumeLevel = 100;
    m_ui->volume->setMinimum(0);
    m_ui->volume->setMaximum(100);

    connect(m_ui->btnStart, &QPushButton::clicked, this, &vlcplayer::onBtnStart);
    connect(m_ui->btnPause, &QPushButton::clicked, this, &vlcplayer::onBtnPause);
    connect(m_ui->btnStop, &QPushButton::clicked, this, &vlcplayer::onBtnStop);
    connect(m_ui->btnVolume, &QPushButton::clicked, this, &vlcplayer::onBtnVolume);
    connect(m_ui->btnMute, &QPushButton::clicked, this, &vlcplayer::onBtnMute);
    connect(m_ui->progress, &QSlider::valueChanged, this, &vlcplayer::onProgressChanged);
    connect(m_ui->volume, &QSlider::valueChanged, this, &vlcplayer::onVolumeChanged);

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &vlcplayer::onTimer);

    resetControls();
}

vlcplayer::~vlcplayer()
{
    if (m_playState != Stopped && m_mediaPlayer)
        onBtnStop();
    // A player left behind by a refused play request is still ours to free.
    if (m_mediaPlayer)
        libvlc_media_player_release(m_mediaPlayer);
    if (m_vlcInstance)
        libvlc_release(m_vlcInstance);
}

void vlcplayer::openMedia(const QString &path, bool autoPlay)
{
    // The platform's own separators: backslashes on Windows, the path unchanged elsewhere.
    m_mediaPath = QDir::toNativeSeparators(path).toStdString();
    if (!autoPlay)
        return;
    if (m_playState != Stopped)
        stop();
    startPlayback();
}

void vlcplayer::pause()
{
    onBtnPause();
}

void vlcplayer::stop()
{
    onBtnStop();
}

QString vlcplayer::formatTime(int ms)
{
    const int total = ms / 1000;
    const int hours = total / 3600;
    const int minutes = (total - hours * 3600) / 60;
    const int seconds = total - (total / 60) * 60;
    const QChar zero(QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3")
        .arg(hours, 2, 10, zero)
        .arg(minutes, 2, 10, zero)
        .arg(seconds, 2, 10, zero);
}

void vlcplayer::onBtnStart()
{
    startPlayback();
}

void vlcplayer::startPlayback()
{
    if (m_playState != Stopped || m_mediaPath.empty())
        return;
    if (playFile(m_mediaPath) != 0)
        return;
    m_playState = Playing;
    m_ui->btnPause->setStyleSheet(stylePause);
    showVideo();
}

int vlcplayer::playFile(const std::string &path)
{
    if (!m_vlcInstance)
        m_vlcInstance = libvlc_new(0, nullptr);
    if (!m_vlcInstance)
        return errNoInstance;
    // libvlc accepts any path and only fails later on its own threads; a file that is not there
    // is refused here so that the preview never claims to play it.
    if (!QFileInfo(QString::fromStdString(path)).isFile())
        return errNoMedia;
    const WId window = m_ui->display->winId();

    m_media = libvlc_media_new_path(m_vlcInstance, path.c_str());
    if (!m_media)
        return errNoMedia;
    if (m_mediaPlayer) {
        // Left over from a refused play request; this start replaces it.
        libvlc_media_player_release(m_mediaPlayer);
    }
    m_mediaPlayer = libvlc_media_player_new_from_media(m_media);
    libvlc_media_release(m_media);
    m_media = nullptr;
    if (!m_mediaPlayer)
        return errNoPlayer;

#if defined(Q_OS_WIN)
    libvlc_media_player_set_hwnd(m_mediaPlayer, reinterpret_cast<void *>(window));
#else
    libvlc_media_player_set_xwindow(m_mediaPlayer, static_cast<uint32_t>(window));
#endif
    if (libvlc_media_player_play(m_mediaPlayer) != 0)
        return errPlayRefused;
    return 0;
}

void vlcplayer::showVideo()
{
    if (!m_mediaPlayer)
        return;
    libvlc_audio_set_volume(m_mediaPlayer, m_volumeLevel);
    m_ui->display->show();
    m_ui->labelDisplay->hide();
    m_timer->start(pollIntervalMs);
}

void vlcplayer::onBtnPause()
{
    if (!m_mediaPlayer)
        return;
    if (m_playState == Playing) {
        libvlc_media_player_set_pause(m_mediaPlayer, 1);
        m_playState = Paused;
        m_ui->btnPause->setStyleSheet(styleResume);
    } else if (m_playState == Paused) {
        libvlc_media_player_set_pause(m_mediaPlayer, 0);
        m_playState = Playing;
        m_ui->btnPause->setStyleSheet(stylePause);
    }
}

void vlcplayer::onBtnStop()
{
    if (m_playState == Stopped || !m_mediaPlayer)
        return;
    libvlc_media_player_stop(m_mediaPlayer);
    libvlc_media_player_release(m_mediaPlayer);
    m_mediaPlayer = nullptr;
    m_timer->stop();
    resetControls();
}

void vlcplayer::onProgressChanged(int pos)
{
    // The poll writes its percentage before it moves the slider, so only other changes seek.
    if (!m_mediaPlayer || pos == m_lastProgress)
        return;
    libvlc_media_player_set_position(m_mediaPlayer, static_cast<float>(pos) / 100.0f);
}

void vlcplayer::onTimer()
{
    if (m_playState != Playing)
        return;
    m_timeMs = static_cast<int>(libvlc_media_player_get_time(m_mediaPlayer));
    if (m_timeMs > 0)
        m_ui->curtime->setText(formatTime(m_timeMs));
    m_lengthMs = static_cast<int>(libvlc_media_player_get_length(m_mediaPlayer));
    if (m_lengthMs > 0) {
        m_ui->duration->setText(formatTime(m_lengthMs));
        m_lastProgress = static_cast<int>(static_cast<qint64>(m_timeMs) * 100 / m_lengthMs);
        m_ui->progress->setValue(m_lastProgress);
    }
    if (playbackOver(libvlc_media_player_get_state(m_mediaPlayer)))
        onBtnStop();
}

void vlcplayer::onBtnVolume()
{
    m_ui->volume->setValue(0);
}

void vlcplayer::onBtnMute()
{
    m_ui->volume->setValue(100);
}

void vlcplayer::onVolumeChanged(int pos)
{
    m_volumeLevel = pos;
    showSoundButtons();
    if (m_mediaPlayer)
        libvlc_audio_set_volume(m_mediaPlayer, m_volumeLevel);
}

void vlcplayer::resetControls()
{
    m_playState = Stopped;
    m_ui->btnPause->setStyleSheet(styleResume);
    m_lengthMs = 0;
    m_timeMs = 0;
    m_lastProgress = 0;
    m_ui->progress->setValue(0);
    m_ui->curtime->setText(formatTime(0));
    m_ui->duration->setText(formatTime(0));
    m_ui->display->hide();
    m_ui->labelDisplay->show();
    showSoundButtons();
}

void vlcplayer::showSoundButtons()
{
    const bool muted = m_volumeLevel <= 0;
    m_ui->btnMute->setVisible(muted);
    m_ui->btnVolume->setVisible(!muted);
    if (!muted)
        m_ui->volume->setValue(m_volumeLevel);
}
