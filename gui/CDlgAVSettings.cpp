#include "gui/CDlgAVSettings.h"
#include "params/ParamTables.h"
#include "ui/StyleSheet.h"
#include "ui/WindowDrag.h"
#include "ui_CDlgAVSettings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSignalBlocker>

#include <algorithm>

#include <vector>

namespace
{

QString defaultEntry()
{
    return QString::fromUtf8(defaultEntryText);
}

QString tableText(const ParamTable &table, int key)
{
    return QString::fromStdString(lookupText(table, key).value_or(std::string()));
}

QStringList tableTexts(const ParamTable &table)
{
    QStringList texts;
    for (const auto &entry : table)
        texts << QString::fromStdString(entry.second);
    return texts;
}

// Numeric and frame-size combos end with one more entry that stands for "option left off".
QStringList withDefault(const std::vector<int> &values)
{
    QStringList texts;
    for (const int value : values)
        texts << QString::number(value);
    return texts << defaultEntry();
}

void refill(QComboBox *box, const QStringList &texts)
{
    box->clear();
    box->addItems(texts);
}

void addCodecs(QComboBox *box, const ParamTable &table, const std::vector<int> &keys)
{
    for (const int key : keys)
        box->addItem(tableText(table, key));
}

void selectNumber(QComboBox *box, int32_t value)
{
    box->setCurrentText(value == -1 ? defaultEntry() : QString::number(value));
}

// AV1's and VP9's rate factors and Opus's bit rates run on scales of their own. A value the
// codec's list lacks, kept from another codec, is listed as well rather than changed unseen.
void fillNumbers(QComboBox *box, std::vector<int> values, int32_t current)
{
    if (current != -1 && std::find(values.begin(), values.end(), current) == values.end())
        values.insert(std::upper_bound(values.begin(), values.end(), current), current);
    const QSignalBlocker blocker(box);
    refill(box, withDefault(values));
    selectNumber(box, current);
}

void storeKey(const ParamTable &table, const QString &text, int32_t &field)
{
    if (const std::optional<int> key = findKey(table, text.toStdString()))
        field = *key;
}

void storeNumber(const QString &text, int32_t &field)
{
    if (text == defaultEntry()) {
        field = -1;
        return;
    }
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (ok)
        field = value;
}

} // namespace

CDlgAVSettings::CDlgAVSettings(QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CDlgAVSettings>())
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    WindowDrag::install(this);
    setWindowModality(Qt::WindowModal);
    loadStyleSheet(this, QStringLiteral(":/qss/css/DlgAVSettings.css"));
    styleComboItems(this);
    // Grows past the form's 396 x 450 where the system font needs more room for the rows.
    resize(size().expandedTo(minimumSizeHint()));
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    move((desktop.width() - width()) / 2, (desktop.height() - height()) / 2);
    show();
}

CDlgAVSettings::~CDlgAVSettings() = default;

void CDlgAVSettings::setSettings(AVSettings s)
{
    settings = s;
    // A repeated call must not run the slots while the combos are refilled.
    for (QComboBox *box : findChildren<QComboBox *>())
        box->disconnect(this);

    refill(m_ui->cboxVC, tableTexts(containerTexts));
    refill(m_ui->cboxVQL, tableTexts(qualityTexts));
    refill(m_ui->cboxR, tableTexts(resolutions) << defaultEntry());
    fillCrfCombo();
    refill(m_ui->cboxBV, withDefault(videoBitRates));
    refill(m_ui->cboxFPS, withDefault(frameRates));
    refill(m_ui->cboxAQL, tableTexts(qualityTexts));
    fillNumbers(m_ui->cboxBA, audioBitRateChoices(settings.ca), settings.ba);
    refill(m_ui->cboxAR, withDefault(sampleRates));
    fillCodecCombos();
    connectCombos();
}

void CDlgAVSettings::connectCombos()
{
    // The level combos react only to a user's pick; every other combo also follows changes made
    // by the program, which is how a preset or a container change reaches `settings`.
    connect(m_ui->cboxVC, &QComboBox::currentTextChanged, this, &CDlgAVSettings::cboxVC_changed);
    connect(m_ui->cboxVQL, &QComboBox::textActivated, this, &CDlgAVSettings::cboxVQL_changed);
    connect(m_ui->cboxCV, &QComboBox::currentTextChanged, this, &CDlgAVSettings::cboxCV_changed);
    connect(m_ui->cboxR, &QComboBox::currentTextChanged, this, &CDlgAVSettings::cboxR_changed);
    connect(m_ui->cboxCRF, &QComboBox::currentTextChanged, this, &CDlgAVSettings::cboxCRF_changed);
    connect(m_ui->cboxBV, &QComboBox::currentTextChanged, this, &CDlgAVSettings::cboxBV_changed);
    connect(m_ui->cboxFPS, &QComboBox::currentTextChanged, this, &CDlgAVSettings::cboxFPS_changed);
    connect(m_ui->cboxAQL, &QComboBox::textActivated, this, &CDlgAVSettings::cboxAQL_changed);
    connect(m_ui->cboxCA, &QComboBox::currentTextChanged, this, &CDlgAVSettings::cboxCA_changed);
    connect(m_ui->cboxBA, &QComboBox::currentTextChanged, this, &CDlgAVSettings::cboxBA_changed);
    connect(m_ui->cboxAR, &QComboBox::currentTextChanged, this, &CDlgAVSettings::cboxAR_changed);
}

void CDlgAVSettings::fillCodecCombos()
{
    m_ui->cboxVC->setCurrentIndex(settings.vc);
    // Clearing reports an empty text, which matches no codec; the first entry added becomes
    // current and its slot stores that codec.
    m_ui->cboxCV->clear();
    m_ui->cboxCA->clear();
    if (const ContainerCodecs *offered = offeredCodecs(settings.vc)) {
        addCodecs(m_ui->cboxCV, videoCodecTexts, offered->video);
        addCodecs(m_ui->cboxCA, audioCodecTexts, offered->audio);
    }
    showVideoSettings();
    showAudioSettings();
}

void CDlgAVSettings::showVideoSettings()
{
    m_ui->cboxVQL->setCurrentIndex(settings.vql);
    m_ui->cboxCV->setCurrentText(tableText(videoCodecTexts, settings.cv));
    if (settings.r == -1)
        m_ui->cboxR->setCurrentText(defaultEntry());
    else
        m_ui->cboxR->setCurrentIndex(settings.r);
    selectNumber(m_ui->cboxCRF, settings.crf);
    selectNumber(m_ui->cboxBV, settings.bv);
    selectNumber(m_ui->cboxFPS, settings.fps);
}

void CDlgAVSettings::showAudioSettings()
{
    m_ui->cboxAQL->setCurrentIndex(settings.aql);
    m_ui->cboxCA->setCurrentText(tableText(audioCodecTexts, settings.ca));
    selectNumber(m_ui->cboxBA, settings.ba);
    selectNumber(m_ui->cboxAR, settings.ar);
}

void CDlgAVSettings::on_btnTopClose_clicked()
{
    okClicked = false;
    close();
}

void CDlgAVSettings::on_btnOk_clicked()
{
    okClicked = true;
    close();
}

void CDlgAVSettings::on_btnCancel_clicked()
{
    okClicked = false;
    close();
}

void CDlgAVSettings::cboxVC_changed(const QString &text)
{
    const std::optional<int> key = findKey(containerTexts, text.toStdString());
    if (!key)
        return;
    setContainer(settings, *key);
    fillCodecCombos();
}

void CDlgAVSettings::cboxVQL_changed(const QString &)
{
    setVideoQuality(settings, m_ui->cboxVQL->currentIndex());
    showVideoSettings();
}

void CDlgAVSettings::cboxCV_changed(const QString &text)
{
    const std::optional<int> key = findKey(videoCodecTexts, text.toStdString());
    if (!key)
        return;
    setVideoCodec(settings, *key);
    fillCrfCombo();
}

void CDlgAVSettings::fillCrfCombo()
{
    fillNumbers(m_ui->cboxCRF, crfChoices(settings.cv), settings.crf);
}

void CDlgAVSettings::cboxCA_changed(const QString &text)
{
    const std::optional<int> key = findKey(audioCodecTexts, text.toStdString());
    if (!key)
        return;
    setAudioCodec(settings, *key);
    fillNumbers(m_ui->cboxBA, audioBitRateChoices(settings.ca), settings.ba);
}

void CDlgAVSettings::cboxR_changed(const QString &text)
{
    if (text == defaultEntry())
        settings.r = -1;
    else
        storeKey(resolutions, text, settings.r);
}

void CDlgAVSettings::cboxCRF_changed(const QString &text)
{
    storeNumber(text, settings.crf);
}

void CDlgAVSettings::cboxBV_changed(const QString &text)
{
    storeNumber(text, settings.bv);
}

void CDlgAVSettings::cboxFPS_changed(const QString &text)
{
    storeNumber(text, settings.fps);
}

void CDlgAVSettings::cboxAQL_changed(const QString &)
{
    setAudioQuality(settings, m_ui->cboxAQL->currentIndex());
    showAudioSettings();
}

void CDlgAVSettings::cboxBA_changed(const QString &text)
{
    storeNumber(text, settings.ba);
}

void CDlgAVSettings::cboxAR_changed(const QString &text)
{
    storeNumber(text, settings.ar);
}
