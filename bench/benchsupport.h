#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/fonts.h"
#include "platform/programpaths.h"
#include "tests/support/isolatedports.h"

// Benchmarks run offscreen with their settings and exit files in a private folder.
struct BenchEnvironment {
    QTemporaryDir dir;
    std::unique_ptr<QApplication> app;
    BenchEnvironment(int& argc, char** argv) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
        qputenv("XDG_STATE_HOME", dir.filePath("state").toLocal8Bit());  // race journals
        app = std::make_unique<QApplication>(argc, argv);
        InstallFontSubstitutes();
        QDir::setCurrent(dir.path());
        SetProgramFilePath(dir.filePath("vidazorov"));
        SetApplicationTitle(QStringLiteral("Vidazorov-ZavEzazi"));
        IsolateSerialPorts();
    }
};

// The sample of rank `fraction` (0 to 1, the nearest rank) of samples sorted ascending; 0 for none.
inline double SortedPercentile(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) return 0;
    const auto last = double(sorted.size() - 1);
    return sorted[std::size_t(std::min(last, fraction * last + 0.5))];
}
inline double Percentile(std::vector<double> v, double fraction) {
    std::sort(v.begin(), v.end());
    return SortedPercentile(v, fraction);
}

struct Stats {
    double median = 0, p99 = 0, max = 0;
};
inline Stats Summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {SortedPercentile(v, 0.5), SortedPercentile(v, 0.99), v.empty() ? 0 : v.back()};
}
