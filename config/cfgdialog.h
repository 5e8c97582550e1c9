#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;
class QSpinBox;
class QPushButton;
class TSpinFloatEdit;

// The configuration dialog: time format, serial port, trigger algorithm and course distance.
// It holds no settings of its own; the main window copies its values in and out.
class TCfgDialog : public QDialog {
public:
    TCfgDialog(QWidget* owner, std::uint32_t portMask);

    void FormCreate(std::uint32_t portMask);
    void FormShow();
    void cbDigitsChange();
    void cbPortChange();

    // The main window previews a time format while the dialog is open.
    std::function<void(int resolution)> OnPreviewResolution;
    // The algorithm value FormShow consults (the serial port component's Tag).
    std::function<std::intptr_t()> AlgorithmValue;

    QPushButton *OKBtn, *CancelBtn;
    QComboBox *cbDigits, *cbPort, *cbAlg;
    TSpinFloatEdit* feDist;
    QLabel *Label1, *Label2, *Label6, *Label10, *LabelKm;
    // The live results page: on or off, its port, and who may open it.
    QCheckBox* cbLive;
    QSpinBox* seLivePort;
    QLabel* LabelLivePort;
    QRadioButton *rbLiveLocal, *rbLiveLan;

    // OK (the button, or Enter anywhere in the dialog) closes it only when the distance text
    // passes the same check as leaving the field; otherwise the field keeps the focus.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
};

// Metres from the distance in kilometres: the nearest integer, an exact half to the even one.
std::int32_t KilometresToMetres(long double km);
