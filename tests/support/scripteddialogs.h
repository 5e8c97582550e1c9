#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "platform/dialogs.h"

// A dialog provider for tests and tools: records every message and answers from a script.
// Install it with ScopedDialogs so that it is removed again.
class ScriptedDialogs : public DialogProvider {
public:
    // Answers for Confirm, in order; when empty, DefaultConfirm is used.
    std::deque<bool> confirmAnswers;
    bool defaultConfirm = false;
    // Results for the file dialogs, in order; when empty, the dialog is cancelled.
    std::deque<QString> openAnswers;
    std::deque<std::pair<QString, int>> saveAnswers;  // file name, chosen filter index
    // Called for Exec; when unset the dialog is rejected.
    std::function<int(QDialog*)> onExec;

    QStringList confirms, errors, infos;
    // Every question asked through Ask, with whether Yes was its default (Enter's answer).
    std::vector<std::pair<QString, bool>> asks;
    // The details of each error, in step with errors (empty for one shown without).
    QStringList errorDetails;
    std::vector<FileDialogRequest> openRequests, saveRequests;
    int beeps = 0;

    bool Confirm(QWidget*, const QString& text) override;
    bool Ask(QWidget* parent, const QString& text, bool defaultYes) override {
        asks.emplace_back(text, defaultYes);
        return Confirm(parent, text);
    }
    void Error(QWidget*, const QString& text) override {
        errors << text;
        errorDetails << QString();
    }
    void ErrorWithDetails(QWidget*, const QString& text, const QString& details) override {
        errors << text;
        errorDetails << details;
    }
    void Information(QWidget*, const QString& text) override { infos << text; }
    QString OpenFile(QWidget*, FileDialogRequest& request) override;
    QString SaveFile(QWidget*, FileDialogRequest& request) override;
    int Exec(QDialog* dialog) override;
    void Beep() override { ++beeps; }
};

class ScopedDialogs : public ScriptedDialogs {
public:
    ScopedDialogs() { SetDialogs(this); }
    ~ScopedDialogs() override { SetDialogs(nullptr); }
    ScopedDialogs(const ScopedDialogs&) = delete;
    ScopedDialogs& operator=(const ScopedDialogs&) = delete;
};
