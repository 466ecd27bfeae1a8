// A text of the catalog by name, read in the language current when it is
// used: as UTF-8 const char* and as the view QString::fromUtf8 takes, so
// that the window and its tests hold names rather than texts.
#pragma once

#include <QByteArrayView>
#include <QString>

#include "app/texts/WindowText.h"

class CatalogText {
public:
    constexpr explicit CatalogText(texts::Msg msg) : msg_(msg) {}
    operator const char*() const { return texts::CText(msg_); }
    operator QByteArrayView() const { return QByteArrayView(texts::CText(msg_)); }
    QString ToQString() const { return QString::fromUtf8(texts::CText(msg_)); }

private:
    texts::Msg msg_;
};
