#pragma once

#include <QWidget>

#include <memory>
#include <string>

class QTimer;
struct libvlc_instance_t;
struct libvlc_media_t;
struct libvlc_media_player_t;

namespace Ui
{
class vlcplayer;
}

// The preview area: plays one local file through libvlc into the native window of `display`.
// libvlc itself is started by the first file played, not with the window: loading its plugins
// would otherwise hold up the program's start.
class vlcplayer final : public QWidget
{
    Q_OBJECT

public:
    enum PlayState { Stopped = 0, Playing = 1, Paused = 2 };

    explicit vlcplayer(QWidget *parent = nullptr);
    ~vlcplayer() override;

    void openMedia(const QString &path, bool autoPlay);
    void pause();
    void stop();

    int playState() const { return m_playState; }
    // libvlc's instance, null until the first file is played (or when libvlc cannot start).
    libvlc_instance_t *vlcInstance() const { return m_vlcInstance; }
    // libvlc's player of the current file, null while none exists: what libvlc itself reports
    // about playback (time, position, volume, state) is read from it.
    libvlc_media_player_t *mediaPlayer() const { return m_mediaPlayer; }
    static QString formatTime(int ms);

private slots:
    void onBtnStart();
    void onBtnPause();
    void onBtnStop();
    void onProgressChanged(int pos);
    void onTimer();
    void onBtnVolume();
    void onBtnMute();
    void onVolumeChanged(int pos);

private:
    void startPlayback();
    int playFile(const std::string &path);
    void showVideo();
    void resetControls();
    void showSoundButtons();

    std::unique_ptr<Ui::vlcplayer> m_ui;
    std::string m_mediaPath;
    QTimer *m_timer = nullptr;
    libvlc_instance_t *m_vlcInstance = nullptr;
    libvlc_media_player_t *m_mediaPlayer = nullptr;
    libvlc_media_t *m_media = nullptr;
    int m_playState = Stopped;
    int m_lengthMs = 0;
    int m_timeMs = 0;
    int m_lastProgress = 0;
    int m_volumeLevel = 100;
};
