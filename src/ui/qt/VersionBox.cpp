#include "ui/qt/VersionBox.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "PontaroVersion.h"
#include "app/texts/Catalog.h"
#include "ui/qt/DialogUnits.h"

const CatalogText kVersionBoxCaption{texts::Msg::kVersionBoxCaption};
const char* const kVersionLine = PONTARO_VERSION_LINE;
const CatalogText kVersionNotice{texts::Msg::kVersionBoxNotice};

CVersionBox::CVersionBox(const QIcon& icon, QWidget* parent) : QDialog(parent) {
    setWindowTitle(kVersionBoxCaption.ToQString());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont(QStringLiteral("MS UI Gothic"), 9));
    const DialogMetrics m = MetricsOf(font());

    // Like an icon static control, the icon keeps its own size (32 pixels)
    // at the template's position.
    auto* iconLabel = new QLabel(this);
    const QRect iconRect = DialogRect(m, 11, 17, 20, 20);
    iconLabel->setPixmap(icon.pixmap(32, 32));
    iconLabel->setGeometry(iconRect.x(), iconRect.y(), 32, 32);

    auto* version = new QLabel(QString::fromUtf8(kVersionLine), this);
    version->setTextFormat(Qt::PlainText);
    version->setGeometry(DialogRect(m, 40, 10, 119, 8));

    auto* ok = new QPushButton(CatalogText(texts::Msg::kVersionBoxOk).ToQString(), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setGeometry(DialogRect(m, 178, 7, 50, 16));

    // A longer notice may reach up to the button.
    auto* notice = new QLabel(kVersionNotice.ToQString(), this);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setTextFormat(Qt::PlainText);
    FitRow(m, {notice}, {DialogRect(m, 40, 25, 119, 8)}, ok->geometry().left());
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(DialogSize(m, 235, 55));
}
