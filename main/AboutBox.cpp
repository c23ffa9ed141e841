#include "main/AboutBox.h"

#include "gui/Application.h"

#include "KivVersion.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TfrmAbout::TfrmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Kiv"));

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("imgProduct"));
    picture->setPixmap(KivAppIcon().pixmap(64, 64));
    picture->setAlignment(Qt::AlignTop);

    FProduct = new QLabel(QStringLiteral("Kiv"), this);
    FProduct->setObjectName(QStringLiteral("lblProduct"));
    QFont large = FProduct->font();
    large.setPointSize(large.pointSize() * 2);
    large.setBold(true);
    FProduct->setFont(large);

    FVersion = new QLabel(QStringLiteral("Version " KIV_VERSION_TEXT), this);
    FVersion->setObjectName(QStringLiteral("lblVersion"));
    auto *purpose = new QLabel(QStringLiteral("The staff presence board of the office"), this);
    purpose->setObjectName(QStringLiteral("lblPurpose"));

    auto *texts = new QVBoxLayout;
    texts->addWidget(FProduct);
    texts->addWidget(FVersion);
    texts->addWidget(purpose);
    texts->addStretch();

    auto *top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(12);
    top->addLayout(texts);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmAbout::ShowAbout(QWidget *parent)
{
    TfrmAbout about(parent);
    about.exec();
}
