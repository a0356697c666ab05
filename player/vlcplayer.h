#pragma once

#include "ui_vlcplayer.h"

#include <QWidget>

#include <string>

class QTimer;
struct libvlc_instance_t;
struct libvlc_media_t;
struct libvlc_media_player_t;

// The preview area: plays one local file through libvlc into the native window of `display`.
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
    // The test checks libvlc's own view of playback (volume, position, state) beside the widgets.
    friend class TestVlcPlayer;

    void startPlayback();
    int playFile(const std::string &path);
    void showVideo();
    void resetControls();
    void showSoundButtons();

    Ui::vlcplayer ui;
    std::string mediaPath;
    QTimer *timer = nullptr;
    libvlc_instance_t *vlcInstance = nullptr;
    libvlc_media_player_t *mediaPlayer = nullptr;
    libvlc_media_t *media = nullptr;
    int m_playState = Stopped;
    int lengthMs = 0;
    int timeMs = 0;
    int lastProgress = 0;
    int volumeLevel = 100;
};
