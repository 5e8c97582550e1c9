#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// A protocol of `finishers` rows as the race clock writes it (header first), for the office
// benchmark and the screenshot tool.
inline std::vector<QStringList> SampleProtocol(int finishers) {
    std::vector<QStringList> rows = {{"Rang", "Nr.", "Time", "Split", "Km/h"}};
    const int start = 2 * 3600 * 1000 + 10 * 60 * 1000 + 5270;  // 2:10.05,27
    const int first = start + 7919 % 1000;
    for (int i = 1; i <= finishers; ++i) {
        const int ms = start + (i - 1) * 62500 + (i * 7919) % 1000;
        const int split = ms - first;
        auto text = [](int t) {
            const int h = t / 3600000, m = t / 60000 % 60, s = t / 1000 % 60, cs = t / 10 % 100;
            QString out;
            if (h)
                out = QStringLiteral("%1:%2.").arg(h).arg(m, 2, 10, QLatin1Char('0'));
            else if (m)
                out = QStringLiteral("%1.").arg(m);
            out += (h || m) ? QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0'))
                            : QString::number(s);
            return out + QStringLiteral(",%1").arg(cs, 2, 10, QLatin1Char('0'));
        };
        const double kmh = 42195.0 / ms * 3600.0;
        rows.push_back({QStringLiteral("%1.").arg(i), QString::number(100 + i * 3), text(ms),
                        text(split), QString::number(kmh, 'f', 1).replace('.', ',')});
    }
    return rows;
}
