#include "keys_dialog.h"

#include "core/timestamps.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace velloran {

KeyRecorder::KeyRecorder(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    setPlaceholderText(QStringLiteral("None"));
}

void KeyRecorder::setKey(std::optional<KeyChord> key) {
    key_ = key;
    setText(key ? key->text() : QString());
}

void KeyRecorder::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & KeyChord::kBindable;
    if (modifiers == Qt::NoModifier &&
        (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab ||
         event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
         event->key() == Qt::Key_Enter)) {
        // The dialog's own keys: move on, cancel, OK.
        event->ignore();
        return;
    }
    event->accept();
    if (event->isAutoRepeat())
        return;
    if (modifiers == Qt::NoModifier && event->key() == Qt::Key_Backspace) {
        setKey(std::nullopt);
        emit recorded(std::nullopt);
        return;
    }
    // A modifier alone is the start of a chord, not a key.
    if (!KeyChord::isBindableKey(event->key()))
        return;
    const KeyChord chord{event->key(), modifiers};
    setKey(chord);
    emit recorded(chord);
}

KeysDialog::KeysDialog(const KeyBindings& bindings,
                       std::function<bool(const KeyChord&)> heldElsewhere, QWidget* parent)
    : QDialog(parent), bindings_(bindings), heldElsewhere_(std::move(heldElsewhere)) {
    setObjectName(QStringLiteral("KeysDialog"));
    setWindowTitle(QStringLiteral("Keys"));
    auto* outer = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Keys that act while another program has the focus. Click a field "
                       "and press the new key; Backspace leaves the action without one."),
        this);
    intro->setWordWrap(true);
    outer->addWidget(intro);
    auto* grid = new QGridLayout;
    outer->addLayout(grid);
    int line = 0;
    for (const ActionInfo& info : actionTable()) {
        auto* caption = new QLabel(info.description, this);
        auto* field = new KeyRecorder(this);
        field->setObjectName(QStringLiteral("key-") + info.name);
        field->setAccessibleName(info.description);
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(
                                   QStringLiteral("Ctrl+Alt+Shift+Media Previous")) +
                               16);
        caption->setBuddy(field);
        auto* clear = new QPushButton(QStringLiteral("Clear"), this);
        clear->setObjectName(QStringLiteral("clear-") + info.name);
        clear->setAutoDefault(false);
        auto* problem = new QLabel(this);
        problem->setObjectName(QStringLiteral("problem-") + info.name);
        problem->setStyleSheet(QStringLiteral("color: #b00000;"));
        problem->setWordWrap(true);
        problem->setFixedWidth(problem->fontMetrics().averageCharWidth() * 36);
        grid->addWidget(caption, line, 0);
        grid->addWidget(field, line, 1);
        grid->addWidget(clear, line, 2);
        grid->addWidget(problem, line, 3);
        ++line;
        rows_[info.action] = Row{field, problem};
        connect(field, &KeyRecorder::recorded, this,
                [this, action = info.action](std::optional<KeyChord> key) { bind(action, key); });
        connect(clear, &QPushButton::clicked, this,
                [this, action = info.action] { bind(action, std::nullopt); });
    }

    auto* formatRow = new QHBoxLayout;
    auto* formatCaption = new QLabel(QStringLiteral("&Timestamp format:"), this);
    format_ = new QComboBox(this);
    format_->setObjectName(QStringLiteral("timestampFormat"));
    format_->setEditable(true);
    format_->addItems({TimestampFormat::kDefaultPattern, QStringLiteral("[h:mm:ss.d]"),
                       QStringLiteral("#h:mm:ss.d#"), QStringLiteral("(mm:ss)")});
    format_->setToolTip(
        QStringLiteral("hh or h: hours, mm: minutes, ss: seconds, d: tenths; the rest as written"));
    formatCaption->setBuddy(format_);
    formatRow->addWidget(formatCaption);
    formatRow->addWidget(format_, 1);
    outer->addLayout(formatRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* restore =
        buttons->addButton(QStringLiteral("Restore defaults"), QDialogButtonBox::ResetRole);
    restore->setObjectName(QStringLiteral("restoreDefaults"));
    connect(restore, &QPushButton::clicked, this, [this] {
        bindings_ = KeyBindings::defaults();
        showBindings();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    outer->addWidget(buttons);
    showBindings();
}

QString KeysDialog::timestampFormat() const {
    return format_->currentText().trimmed();
}

void KeysDialog::setTimestampFormat(const QString& pattern) {
    format_->setCurrentText(pattern.isEmpty() ? TimestampFormat::kDefaultPattern : pattern);
}

void KeysDialog::bind(Action action, std::optional<KeyChord> key) {
    bindings_.bind(action, key);
    showBindings();
}

bool KeysDialog::heldElsewhere(const KeyChord& key) {
    if (!heldElsewhere_)
        return false;
    const QString text = key.text();
    const auto known = held_.constFind(text);
    if (known != held_.cend())
        return *known;
    return held_[text] = heldElsewhere_(key);
}

void KeysDialog::showBindings() {
    for (auto& [action, row] : rows_) {
        const std::optional<KeyChord> key = bindings_.key(action);
        row.field->setKey(key);
        QString problem;
        if (const QList<Action> others = bindings_.sharing(action); !others.isEmpty()) {
            problem = bindings_.ownsKey(action)
                          ? QStringLiteral("Also set for: %1; it acts here only")
                          : QStringLiteral("Already set for: %1; it does not act here");
            problem = problem.arg(actionInfo(others.front()).description);
        } else if (key && heldElsewhere(*key)) {
            problem = QStringLiteral("Another program holds this key");
        }
        row.problem->setText(problem);
        row.problem->setToolTip(problem);
    }
}

} // namespace velloran
