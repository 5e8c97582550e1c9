#include "journal/journalnames.h"

#include <QRegularExpression>
#include <algorithm>

namespace {
const QString kDamagedSuffix = QStringLiteral("-damaged");

QString JournalNameOf(const QString& name) {
    return IsDamagedJournalName(name) ? name.chopped(kDamagedSuffix.size()) : name;
}
}  // namespace

QString JournalFileName(const QDateTime& start, int sequence) {
    QString name = start.toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss"));
    if (sequence > 1) name += QLatin1Char('_') + QString::number(sequence);
    return name + QStringLiteral(".journal");
}

bool ParseJournalFileName(const QString& name, QDateTime& start, int& sequence) {
    static const QRegularExpression re(
        QStringLiteral(R"(^(\d{4}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2})(?:_(\d+))?\.journal$)"));
    const QRegularExpressionMatch m = re.match(name);
    if (!m.hasMatch()) return false;
    start = QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd-HH-mm-ss"));
    if (!start.isValid()) return false;
    sequence = m.captured(2).isEmpty() ? 1 : m.captured(2).toInt();
    return true;
}

bool JournalNameLater(const QString& a, const QString& b) {
    QDateTime ta, tb;
    int sa = 0, sb = 0;
    const bool pa = ParseJournalFileName(a, ta, sa), pb = ParseJournalFileName(b, tb, sb);
    if (pa != pb) return pa;  // a journal's name is later than any other name
    if (!pa) return a > b;
    if (ta != tb) return ta > tb;
    return sa > sb;
}

QString DamagedJournalName(const QString& journalName) {
    return journalName + kDamagedSuffix;
}

bool IsDamagedJournalName(const QString& name) {
    return name.endsWith(QStringLiteral(".journal") + kDamagedSuffix);
}

QStringList JournalsToDelete(const QStringList& names, const QDateTime& now, int keepDays,
                             int keepOlder) {
    struct Old {
        QString name, journal;
    };
    std::vector<Old> old;
    for (const QString& n : names) {
        QDateTime t;
        int s = 0;
        const QString journal = JournalNameOf(n);
        if (ParseJournalFileName(journal, t, s) && t.addDays(keepDays) < now)
            old.push_back({n, journal});
    }
    std::sort(old.begin(), old.end(),
              [](const Old& a, const Old& b) { return JournalNameLater(a.journal, b.journal); });
    QStringList doomed;
    for (std::size_t i = std::size_t(std::max(keepOlder, 0)); i < old.size(); ++i)
        doomed << old[i].name;
    return doomed;
}
