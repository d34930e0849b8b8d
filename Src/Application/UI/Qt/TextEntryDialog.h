// TextEntryDialog: a modal one-line text question with OK and Cancel, used to name
// layers and pins.
//
// OK is offered only for an answer the caller can store: at least one character
// that is not a space, and no more UTF-8 bytes than the caller's limit (a layer name
// holds 255). The initial text starts selected, so typing replaces it.
#pragma once

#include <QDialog>
#include <QString>

#include <cstddef>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class TextEntryDialog : public QDialog {
public:
    TextEntryDialog(const QString& title, const QString& prompt, const QString& initialText, std::size_t maxBytes,
                    QWidget* parent = nullptr);

    // Whether `text` may be the answer.
    static bool acceptable(const QString& text, std::size_t maxBytes);

    QString text() const;
    // The answer in UTF-8 once the dialog was accepted; nothing after Cancel.
    std::optional<std::string> answer() const;

    QLineEdit* lineEdit() const { return edit_; }
    QPushButton* okButton() const { return ok_; }

private:
    void refresh();

    QLineEdit* edit_ = nullptr;
    QPushButton* ok_ = nullptr;
    QLabel* hint_ = nullptr;
    std::size_t maxBytes_;
};
