#pragma once

// Answers the message boxes that come up while it lives, as the participant
// would: by pressing one of their buttons. What each box showed is kept, in
// order. A box is modal, so it is looked for from a timer, which runs inside
// the box's own event loop.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <initializer_list>
#include <vector>

namespace tavora::test {

class MessageBoxCatcher {
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    // `answers` are pressed in order, one per box. A box beyond them, or
    // without the button given, is answered OK, or No where it has no OK, so
    // that the test goes on and fails on what it sees instead of hanging.
    explicit MessageBoxCatcher(std::initializer_list<QMessageBox::StandardButton> answers = {})
        : answers_(answers) {
        QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] { look(); });
        poll_.start(5);
    }
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    std::vector<Seen> seen;

    QStringList texts() const {
        QStringList all;
        for (const Seen& box : seen)
            all << box.text;
        return all;
    }

private:
    void look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        if (box->defaultButton())
            defaultButton = box->standardButton(box->defaultButton());
        seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(), defaultButton});
        QAbstractButton* answer = nullptr;
        if (!answers_.empty()) {
            answer = box->button(answers_.front());
            answers_.pop_front();
        }
        if (!answer)
            answer = box->button(QMessageBox::Ok);
        if (!answer)
            answer = box->button(QMessageBox::No);
        if (answer)
            answer->click();
        else
            box->reject();
    }

    std::deque<QMessageBox::StandardButton> answers_;
    QTimer poll_;
};

} // namespace tavora::test
