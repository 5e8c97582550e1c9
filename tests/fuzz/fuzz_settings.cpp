// The settings reader on any settings file.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/appsettings.h"
#include "platform/settingsstore.h"
#include "tests/fuzz/fuzzsupport.h"

namespace {

bool Same(const AppSettings& a, const AppSettings& b) {
    return a.port == b.port && a.alg == b.alg && a.left == b.left && a.top == b.top &&
           a.width == b.width && a.height == b.height && a.sound == b.sound && a.acc == b.acc &&
           a.dist == b.dist && a.filterInd == b.filterInd && a.live == b.live &&
           a.livePort == b.livePort && a.liveLan == b.liveLan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    return FuzzOne([&] {
        const QString path = dir.filePath(QStringLiteral("vidazorov.conf"));
        {
            QFile f(path);
            FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(reinterpret_cast<const char*>(data), qint64(size));
        }
        // Whatever the file holds: at most every value is applied, the rest keep their
        // defaults, and what was read is written and read back unchanged.
        SettingsStore store(path);
        AppSettings read;
        const int applied = ReadAppSettings(store, read);
        FUZZ_CHECK(applied >= 0 && applied <= 13);
        if (applied == 0) FUZZ_CHECK(Same(read, AppSettings{}));

        const QString copyPath = dir.filePath(QStringLiteral("copy.conf"));
        QFile::remove(copyPath);
        SettingsStore copy(copyPath);
        FUZZ_CHECK(WriteAppSettings(copy, read));
        AppSettings again;
        FUZZ_CHECK(ReadAppSettings(SettingsStore(copyPath), again) == 13);
        FUZZ_CHECK(Same(read, again));
    });
}
