#include "port_test_dialog.h"

#include "core/pedal_learning.h"
#include "core/pedal_test.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace velloran {

PortTestDialog::PortTestDialog(PedalTest& test, QWidget* parent) : QDialog(parent), test_(test) {
    setObjectName(QStringLiteral("frmPortSetting"));
    setWindowTitle(QStringLiteral("Port Settings"));
    setModal(true);
    setWindowFlag(Qt::WindowStaysOnTopHint);

    auto* layout = new QVBoxLayout(this);
    auto* message = new QLabel(PedalTest::message(), this);
    message->setObjectName(QStringLiteral("lblTest"));
    layout->addWidget(message);

    auto* row = new QHBoxLayout;
    auto* status = new QGroupBox(QStringLiteral("Button Status"), this);
    status->setObjectName(QStringLiteral("Frame2"));
    auto* pictures = new QHBoxLayout(status);
    for (int i = 0; i < 3; ++i) {
        pictures_[i] = new QLabel(status);
        pictures_[i]->setObjectName(QStringLiteral("Picture%1").arg(i + 1));
        pictures_[i]->setAlignment(Qt::AlignCenter);
        pictures_[i]->setMinimumSize(52, 48);
        pictures->addWidget(pictures_[i]);
    }
    row->addWidget(status, 1);
    auto* exit = new QPushButton(QStringLiteral("E&xit"), this);
    exit->setObjectName(QStringLiteral("cmdExit"));
    exit->setDefault(true);
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);
    row->addWidget(exit, 0, Qt::AlignBottom);
    layout->addLayout(row);

    // Learning, for a USB pedal that no model describes.
    if (PedalLearning* learning = test_.learning(); learning && test_.canLearn()) {
        auto* learnRow = new QHBoxLayout;
        learnText_ = new QLabel(this);
        learnText_->setObjectName(QStringLiteral("lblLearn"));
        learnText_->setWordWrap(true);
        learnText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        learnRow->addWidget(learnText_, 1);
        learn_ = new QPushButton(this);
        learn_->setObjectName(QStringLiteral("cmdLearn"));
        learn_->setAutoDefault(false);
        connect(learn_, &QPushButton::clicked, this, &PortTestDialog::learnClicked);
        learnRow->addWidget(learn_, 0, Qt::AlignTop);
        layout->addLayout(learnRow);
        connect(learning, &PedalLearning::changed, this, &PortTestDialog::showLearning);
        showLearning();
    }

    connect(&test_, &PedalTest::changed, this, &PortTestDialog::refresh);
    refresh();
}

void PortTestDialog::learnClicked() {
    PedalLearning* learning = test_.learning();
    if (learning->active())
        learning->cancel();
    else
        learning->start();
}

void PortTestDialog::showLearning() {
    PedalLearning* learning = test_.learning();
    learn_->setText(learning->active() ? QStringLiteral("&Cancel") : QStringLiteral("&Learn"));
    QString text = learning->text();
    if (learning->step() == PedalLearning::Step::Idle)
        text = QStringLiteral("A pedal that does not show here can be learned.");
    learnText_->setText(text);
    if (learning->step() == PedalLearning::Step::Done)
        test_.applyLearned();
}

void PortTestDialog::refresh() {
    for (int pedal = 1; pedal <= 3; ++pedal) {
        QLabel* picture = pictures_[pedal - 1];
        const QString path = test_.picturePath(pedal);
        picture->setPixmap(QPixmap(path));
        picture->setProperty("picture", path);
    }
}

void PortTestDialog::done(int result) {
    test_.close();
    QDialog::done(result);
}

} // namespace velloran
