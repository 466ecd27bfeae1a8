// The version box: icon, version line, notice line and "OK".
#pragma once

#include <QDialog>

class QIcon;

class CVersionBox : public QDialog {
    Q_OBJECT
public:
    CVersionBox(const QIcon& icon, QWidget* parent = nullptr);
};

// The texts, shared with the tests.
extern const char* const kVersionBoxCaption;
extern const char* const kVersionLine;
extern const char* const kVersionNotice;
