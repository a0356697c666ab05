#pragma once

#include <QObject>
#include <QString>

class QCheckBox;

// The main window's "保留原文件日期": whether each published output takes its source's
// modification and access times rather than now. It starts from the configuration file, off when
// that says nothing, and a change goes to the publisher and into the file.
class KeepDateChoice final : public QObject
{
    Q_OBJECT

public:
    KeepDateChoice(QCheckBox *box, QString configFile, QObject *parent = nullptr);

private:
    void toggled(bool keep);

    QString m_configFile;
};
