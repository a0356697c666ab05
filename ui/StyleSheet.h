#pragma once

class QString;
class QWidget;

// Applies a compiled-in style sheet to a widget. The bytes up to the first NUL are read one
// character per byte; a resource that cannot be opened leaves the widget as it is.
void loadStyleSheet(QWidget *widget, const QString &resourcePath);

// Lets the sheet's drop-down item rules (such as their height) reach every combo box of a window;
// the combo's default item delegate ignores them.
void styleComboItems(QWidget *window);

// Whole-button sheets swapped at run time.
extern const QString styleConvertStart;
extern const QString styleConvertStop;
extern const QString styleConvertDisabled;
extern const QString stylePause;
extern const QString styleResume;
