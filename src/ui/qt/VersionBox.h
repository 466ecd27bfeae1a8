// The version box: icon, version line, notice line and "OK".
#pragma once

#include <QDialog>

#include "ui/qt/CatalogText.h"

class QIcon;

class CVersionBox : public QDialog {
    Q_OBJECT
public:
    CVersionBox(const QIcon& icon, QWidget* parent = nullptr);
};

// The texts, shared with the tests.
extern const CatalogText kVersionBoxCaption;
extern const char* const kVersionLine;
extern const CatalogText kVersionNotice;
