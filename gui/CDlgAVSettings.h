#pragma once

#include "params/AVSettings.h"

#include <QDialog>

#include <memory>

namespace Ui
{
class CDlgAVSettings;
}

// Edits every field of one AVSettings. The caller runs exec() and, when okClicked is true, takes
// `settings` back.
class CDlgAVSettings final : public QDialog
{
    Q_OBJECT

public:
    explicit CDlgAVSettings(QWidget *parent);
    ~CDlgAVSettings() override;

    void setSettings(AVSettings s);

    bool okClicked = false;
    AVSettings settings;

private slots:
    void on_btnTopClose_clicked();
    void on_btnOk_clicked();
    void on_btnCancel_clicked();
    void cboxVC_changed(const QString &text);
    void cboxVQL_changed(const QString &text);
    void cboxCV_changed(const QString &text);
    void cboxR_changed(const QString &text);
    void cboxCRF_changed(const QString &text);
    void cboxBV_changed(const QString &text);
    void cboxFPS_changed(const QString &text);
    void cboxAQL_changed(const QString &text);
    void cboxCA_changed(const QString &text);
    void cboxBA_changed(const QString &text);
    void cboxAR_changed(const QString &text);

private:
    void connectCombos();
    void fillCodecCombos();
    void fillCrfCombo();
    void showVideoSettings();
    void showAudioSettings();

    std::unique_ptr<Ui::CDlgAVSettings> m_ui;
};
