#include "AboutBox.h"

#include "Artwork.h"
#include "Twips.h"
#include "WindowFonts.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

AboutBox::AboutBox(const QString& deskName, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(tr("  Info"));
    setFixedSize(Twips::toPx(4995, 2625));
    setFont(WindowFonts::dialogFont());
    setModal(true);

    // The picture is larger than the box: drawn from the top left, cut at the edges.
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture"));
    picture->setPixmap(Artwork::aboutPicture());
    picture->setGeometry(0, 0, 352, 218);
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* title = new QLabel(QStringLiteral("QZ7x0 Video Console"), this);
    title->setObjectName(QStringLiteral("titleLabel"));
    title->setAlignment(Qt::AlignCenter);
    title->setAttribute(Qt::WA_TranslucentBackground);
    QFont titleFont(QStringLiteral("Palatino Linotype"));
    titleFont.setStyleHint(QFont::Serif);
    titleFont.setPointSizeF(20.25);
    titleFont.setBold(true);
    titleFont.setItalic(true);
    title->setGeometry(Twips::toPx(225, 225, 4515, 690));
    // The substitute for Palatino Linotype may run wider: shrink it to fit.
    while (titleFont.pointSizeF() > 8 && QFontMetrics(titleFont).horizontalAdvance(title->text()) > title->width())
        titleFont.setPointSizeF(titleFont.pointSizeF() - 0.5);
    title->setFont(titleFont);

    auto* version = new QLabel(QStringLiteral("v. " QZ_VERSION), this);
    version->setObjectName(QStringLiteral("versionLabel"));
    QFont versionFont(QStringLiteral("Arial"));
    versionFont.setStyleHint(QFont::SansSerif);
    versionFont.setPointSizeF(12);
    version->setFont(versionFont);
    version->setGeometry(Twips::toPx(2175, 825, 840, 240));
    version->adjustSize();

    // Which desk this is, where several consoles serve one site.
    auto* desk = new QLabel(tr("Desk: %1").arg(deskName), this);
    desk->setObjectName(QStringLiteral("deskLabel"));
    desk->setFont(versionFont);
    desk->setGeometry(Twips::toPx(225, 1275, 4515, 240));
    desk->setAlignment(Qt::AlignCenter);
    desk->setVisible(!deskName.isEmpty());

    auto* ok = new QPushButton(tr("Ok"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setGeometry(Twips::toPx(1950, 2025, 1290, 465));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
