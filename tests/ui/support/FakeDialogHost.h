#pragma once

// Answers the main window's dialogs in tests and records what was asked.
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

#include "ui/DialogHost.h"

class FakeDialogHost : public DialogHost {
public:
    // Answers, taken in order; an empty queue cancels (open, save) or says No (confirm).
    std::deque<std::optional<QStringList>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;
    std::deque<bool> confirmAnswers;

    // What was shown.
    QStringList questions;
    QStringList messages;
    QStringList errors;
    int openCount = 0;
    int saveCount = 0;
    int aboutCount = 0;

    std::optional<QStringList> openPictures(QWidget*) override {
        ++openCount;
        return take(openAnswers);
    }
    std::optional<QString> chooseResultFile(QWidget*) override {
        ++saveCount;
        return take(saveAnswers);
    }
    bool confirm(QWidget*, const QString& question) override {
        questions << question;
        if (confirmAnswers.empty()) return false;
        const bool yes = confirmAnswers.front();
        confirmAnswers.pop_front();
        return yes;
    }
    void message(QWidget*, const QString& text) override { messages << text; }
    void error(QWidget*, const QString& text) override { errors << text; }
    void about(QWidget*) override { ++aboutCount; }

private:
    template <class T>
    static T take(std::deque<T>& answers) {
        T answer{};
        if (!answers.empty()) {
            answer.swap(answers.front());
            answers.pop_front();
        }
        return answer;
    }
};
