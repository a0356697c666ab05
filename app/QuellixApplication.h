#pragma once

#include <QApplication>
#include <QTranslator>

// The program's application object, set up the same way by the program, its tests and its tools:
// windowing prepared for libvlc, XWayland in a Wayland session, high-DPI scaling and pictures,
// raster-only windows, and Qt's own texts (file dialogs, standard buttons) in Chinese.
class QuellixApplication final : public QApplication
{
    Q_OBJECT

public:
    QuellixApplication(int &argc, char **argv);
    ~QuellixApplication() override;

    bool qtTextsTranslated() const { return m_translated; }

private:
    // Everything that must happen before QApplication exists; hands argc through.
    static int &prepare(int &argc);

    QTranslator m_qtTexts;
    bool m_translated = false;
};
