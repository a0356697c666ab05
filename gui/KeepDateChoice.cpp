#include "gui/KeepDateChoice.h"

#include "batch/ConfigFile.h"
#include "convert/OutputPublisher.h"

#include <QCheckBox>

KeepDateChoice::KeepDateChoice(QCheckBox *box, QString configFile, QObject *parent)
    : QObject(parent), m_configFile(std::move(configFile))
{
    bool keep = false;
    ConfigFile(m_configFile).readKeepFileDate(keep);
    box->setChecked(keep);
    OutputPublisher::forThisUser().setKeepSourceDates(keep);
    connect(box, &QCheckBox::toggled, this, &KeepDateChoice::toggled);
}

void KeepDateChoice::toggled(bool keep)
{
    OutputPublisher::forThisUser().setKeepSourceDates(keep);
    ConfigFile(m_configFile).writeKeepFileDate(keep);
}
