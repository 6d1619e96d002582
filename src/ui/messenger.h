#pragma once

#include "app/language.h"
#include "ui/messagebox.h"

#include <initializer_list>
#include <string>

namespace marovex {

// A window's messages: texts of the program in the interface language, and the boxes that show them over the
// window (or over one of its dialogs) through its presenter.
class Messenger {
public:
    Messenger(QWidget* window, const MessageTexts& texts, MessagePresenter presenter);

    // The text of `key`, "%1"… filled with `args` when there are any.
    QString text(int key, std::initializer_list<std::string> args = {}) const;
    QString render(const Message& message) const;

    // Whether the user answered Yes (or OK). The texts separate their lines with a carriage return.
    bool present(MessageKind kind, const QString& text, QWidget* parent = nullptr) const;
    // A question with the buttons Yes and No.
    bool ask(QWidget* parent, const QString& text) const { return present(MessageKind::Question, text, parent); }
    void error(const Message& message) const { present(MessageKind::Error, render(message)); }
    void information(const Message& message) const { present(MessageKind::Information, render(message)); }

private:
    QWidget* m_window;
    const MessageTexts& m_texts;
    MessagePresenter m_presenter;
};

} // namespace marovex
