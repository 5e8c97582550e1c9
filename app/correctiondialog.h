#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The dialog of a correction that needs a time: a missed finish (its race time and start
// number), a corrected finish time, or the corrected start. It only takes the entry: OnAccept
// reads it and says why it is refused (shown, and the dialog stays) or builds the correction
// (empty answer, and the dialog closes). While the race clock runs, Enter in it is the
// operator's LAP, never its confirmation: OK is clicked, or Alt+O.
class TCorrectionDialog : public QDialog {
public:
    enum class Kind { Insert, Retime, Start };
    TCorrectionDialog(QWidget* parent, Kind kind, const QString& about);

    Kind DialogKind() const { return kind_; }
    QLabel* LabAbout;
    QLineEdit* edTime;
    QLineEdit* edStartNo = nullptr;  // Insert only
    // Start only: how the time is meant.
    QRadioButton *rbLate = nullptr, *rbEarly = nullptr, *rbAt = nullptr;
    QPushButton *bOK, *bCancel;

    std::function<QString()> OnAccept;

    // OK: the entry checked; accepted, or refused with the reason.
    void OkClick();
    int exec() override;

private:
    Kind kind_;
};
