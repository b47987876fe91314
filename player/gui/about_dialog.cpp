#include "about_dialog.h"

#include "credits_window.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace velloran {

AboutDialog::AboutDialog(const QString& appDir, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Velloran"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setModal(true);

    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("Picture1"));
    picture_->setPixmap(QPixmap(appDir + QStringLiteral("/bitmap/about.png")));
    picture_->setFixedSize(64, 64);
    picture_->setFrameShape(QFrame::StyledPanel);
    picture_->installEventFilter(this);

    auto* label1 = new QLabel(QStringLiteral("Velloran ver 3.4"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = label1->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    label1->setFont(bold);
    auto* label2 =
        new QLabel(QStringLiteral("A dictation player for transcription typists."), this);
    label2->setObjectName(QStringLiteral("Label2"));
    auto* label3 =
        new QLabel(QStringLiteral("Foot pedal, hot keys and bookmarks keep your hands on the "
                                  "keyboard."),
                   this);
    label3->setObjectName(QStringLiteral("Label3"));
    label3->setWordWrap(true);

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(label1);
    texts->addWidget(label2);
    texts->addWidget(label3);
    texts->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(picture_, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    // A box of fixed size: nothing in it grows, so neither does the window.
    constexpr int kWidth = 420;
    const int height = std::max(sizeHint().height(), layout->totalHeightForWidth(kWidth));
    setFixedSize(kWidth, height);

    const QString creditsPath = appDir + QStringLiteral("/credits.txt");
    openCredits = [this, creditsPath] {
        CreditsWindow credits(creditsPath, this);
        credits.exec();
    };
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == picture_ && event->type() == QEvent::MouseButtonDblClick && openCredits) {
        openCredits();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace velloran
