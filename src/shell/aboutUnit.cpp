#include "aboutUnit.h"

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QLabel>
#include <QUrl>

const QString TaboutForm::WebSite = QStringLiteral("https://corvane.example.com/");

TaboutForm::TaboutForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("aboutForm"));
    setWindowTitle(QStringLiteral("About"));
    OpenLink = [](const QString &Url) { QDesktopServices::openUrl(QUrl(Url)); };

    auto *Icon = new QLabel(this);
    Icon->setObjectName(QStringLiteral("ProgramIcon"));
    Icon->setAccessibleName(QStringLiteral("Program icon"));
    Icon->setPixmap(QIcon(QStringLiteral(":/icons/tallyscope.png")).pixmap(48, 48));
    Icon->setGeometry(31, 20, 48, 48);

    auto *Name = new QLabel(QStringLiteral("Tallyscope"), this);
    QFont Bold(QStringLiteral("Tahoma"));
    Bold.setPixelSize(16);
    Bold.setBold(true);
    Name->setFont(Bold);
    Name->move(94, 28);
    Name->adjustSize();

    auto *Version = new QLabel(QStringLiteral("Version:  3.2"), this);
    Version->move(95, 53);
    Version->adjustSize();

    auto *Caption = new QLabel(QStringLiteral("Web Site:"), this);
    Caption->move(31, 123);
    Caption->adjustSize();

    FLink = new QLabel(this);
    FLink->setObjectName(QStringLiteral("WebSiteLink"));
    FLink->setText(QStringLiteral("<a href=\"%1\" style=\"color:#0000ff\">%1</a>").arg(WebSite));
    FLink->setTextFormat(Qt::RichText);
    FLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    FLink->setCursor(Qt::PointingHandCursor);
    FLink->setAccessibleName(WebSite);
    FLink->move(Caption->x() + Caption->width() + 6, 123);
    FLink->adjustSize();
    Caption->setBuddy(FLink);
    connect(FLink, &QLabel::linkActivated, this, [this](const QString &Url) { OpenLink(Url); });

    // The design's client area, widened when a larger font needs it.
    setFixedSize(std::max(324, FLink->geometry().right() + 20), 187);
}

void TaboutForm::ShowBeside(const QWidget *Owner)
{
    if (Owner)
        move(Owner->frameGeometry().topLeft() + QPoint(200, 100));
    show();
    raise();
    activateWindow();
}
