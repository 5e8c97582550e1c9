#include "tests/support/scripteddialogs.h"

bool ScriptedDialogs::Confirm(QWidget*, const QString& text) {
    confirms << text;
    if (confirmAnswers.empty()) return defaultConfirm;
    const bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::OpenFile(QWidget*, FileDialogRequest& request) {
    openRequests.push_back(request);
    if (openAnswers.empty()) return {};
    request.fileName = openAnswers.front();
    openAnswers.pop_front();
    return request.fileName;
}

QString ScriptedDialogs::SaveFile(QWidget*, FileDialogRequest& request) {
    saveRequests.push_back(request);
    if (saveAnswers.empty()) return {};
    request.fileName = saveAnswers.front().first;
    request.filterIndex = saveAnswers.front().second;
    saveAnswers.pop_front();
    return request.fileName;
}

int ScriptedDialogs::Exec(QDialog* dialog) {
    return onExec ? onExec(dialog) : 0;
}
