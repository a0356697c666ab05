#include "ui/StyleSheet.h"

#include <QComboBox>
#include <QFile>
#include <QString>
#include <QStyledItemDelegate>
#include <QWidget>

// Literal sheets: the pictures are strips of three looks, each rule cuts out one band. The bands
// lie twice their height apart so that the same cuts find them in the @2x pictures.
const QString styleConvertStart = QStringLiteral(
    "QPushButton#btnConvertStart{border-image:url(:/images/images/main_convert_start.png) 0 0 236 "
    "0;}QPushButton#btnConvertStart:hover{border-image:url(:/images/images/main_convert_start.png) "
    "118 0 118 0;}QPushButton#btnConvertStart:pressed{border-image:url(:/images/images/"
    "main_convert_start.png) 236 0 0 0;}");
const QString styleConvertStop = QStringLiteral(
    "QPushButton#btnConvertStart{border-image:url(:/images/images/main_convert_stop.png) 0 0 236 "
    "0;}QPushButton#btnConvertStart:hover{border-image:url(:/images/images/main_convert_stop.png) "
    "118 0 118 0;}QPushButton#btnConvertStart:pressed{border-image:url(:/images/images/"
    "main_convert_stop.png) 236 0 0 0;}");
const QString styleConvertDisabled = QStringLiteral(
    "QPushButton#btnConvertStart{border-image: url(:/images/images/main_convert_disable.png);}"
    "QPushButton#btnConvertStart:hover{border-image: "
    "url(:/images/images/main_convert_disable.png);}"
    "QPushButton#btnConvertStart:pressed{border-image: "
    "url(:/images/images/main_convert_disable.png);}");
const QString stylePause = QStringLiteral(
    "QPushButton#btnPause{border-image: url(:/images/images/record_pause.png) 0 0 100 0;}"
    "QPushButton#btnPause:hover{border-image: url(:/images/images/record_pause.png) 50 0 50 0;}"
    "QPushButton#btnPause:pressed{border-image: url(:/images/images/record_pause.png) 100 0 0 0;}");
const QString styleResume = QStringLiteral(
    "QPushButton#btnPause{border-image: url(:/images/images/record_start.png) 0 0 100 0;}"
    "QPushButton#btnPause:hover{border-image: url(:/images/images/record_start.png) 50 0 50 0;}"
    "QPushButton#btnPause:pressed{border-image: url(:/images/images/record_start.png) 100 0 0 0;}");

void loadStyleSheet(QWidget *widget, const QString &resourcePath)
{
    QFile file(resourcePath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    widget->setStyleSheet(QString());
    widget->setStyleSheet(QString::fromLatin1(bytes));
    file.close();
}

void styleComboItems(QWidget *window)
{
    for (QComboBox *box : window->findChildren<QComboBox *>())
        box->setItemDelegate(new QStyledItemDelegate(box));
}
