// Runs both exports with a sample protocol against a visible LibreOffice and saves a screenshot
// of the screen after each, for a person to look at. Needs a display:
//   xvfb-run -s "-screen 0 1280x900x24" build/bench/office_shots <folder for the PNGs>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "bench/officesample.h"
#include "output/excel.h"
#include "output/wordexport.h"
#include "platform/libreofficeautomation.h"

namespace {
void Shot(const QString& path) {
    QThread::sleep(4);  // let the office paint
    QGuiApplication::processEvents();
    QGuiApplication::primaryScreen()->grabWindow(0).save(path);
    std::printf("%s\n", qPrintable(path));
}
}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(out);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vz-office-XXXXXX"));
    LibreOfficeOptions options;
    options.pipeName = QStringLiteral("vz_shots_%1").arg(QCoreApplication::applicationPid());
    options.profileDir = dir.filePath(QStringLiteral("profile"));
    options.helperScript = BENCH_OFFICE_HELPER;
    options.headless = false;
    LibreOfficeAutomation office(options);
    const auto rows = SampleProtocol(12);

    QDir::setCurrent(dir.path());
    ConvertToWord(rows, BENCH_WORD_TEMPLATE, QStringLiteral("2026-12-08-01-40.doc"),
                  TWordMode::wmShow, office);
    Shot(out + QStringLiteral("/word.png"));
    ConvertToExcel(rows, office);
    Shot(out + QStringLiteral("/excel.png"));
    office.TerminateOffice();
    return 0;
}
