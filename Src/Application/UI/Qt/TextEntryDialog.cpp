#include "TextEntryDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TextEntryDialog::TextEntryDialog(const QString& title, const QString& prompt, const QString& initialText,
                                 std::size_t maxBytes, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), maxBytes_(maxBytes)
{
    setWindowTitle(title);
    setModal(true);
    setMinimumWidth(320);

    auto* label = new QLabel(prompt, this);
    edit_ = new QLineEdit(initialText, this);
    edit_->selectAll();
    label->setBuddy(edit_);
    hint_ = new QLabel(this);
    hint_->setVisible(false);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (acceptable(text(), maxBytes_)) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(edit_, &QLineEdit::textChanged, this, [this] { refresh(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(edit_);
    layout->addWidget(hint_);
    layout->addWidget(buttons);
    refresh();
}

bool TextEntryDialog::acceptable(const QString& text, std::size_t maxBytes)
{
    if (text.trimmed().isEmpty()) return false;
    return static_cast<std::size_t>(text.toUtf8().size()) <= maxBytes;
}

QString TextEntryDialog::text() const { return edit_->text(); }

std::optional<std::string> TextEntryDialog::answer() const
{
    if (result() != QDialog::Accepted) return std::nullopt;
    return text().toStdString();
}

void TextEntryDialog::refresh()
{
    const bool ok = acceptable(text(), maxBytes_);
    ok_->setEnabled(ok);
    const bool tooLong = static_cast<std::size_t>(text().toUtf8().size()) > maxBytes_;
    hint_->setText(tooLong ? QStringLiteral("The name is too long.") : QString());
    hint_->setVisible(tooLong);
}
