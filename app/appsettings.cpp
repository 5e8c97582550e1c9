#include "app/appsettings.h"

#include <cstdint>
#include <limits>

#include "platform/settingsstore.h"

int ReadAppSettings(const SettingsStore& store, AppSettings& s) {
    if (!store.KeyExists()) return 0;
    // A value the program cannot show or use counts as not stored, like a non-integer one: it
    // would otherwise be taken, shown wrongly and written back at exit. Port keeps its low eight
    // bits, any non-zero Sound is on, and an unknown algorithm is the dialog's to show as none
    // chosen: those take every integer.
    constexpr std::int32_t kLow = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kHigh = std::numeric_limits<std::int32_t>::max();
    struct Item {
        const char* name;
        std::int32_t min, max;
        void (*apply)(AppSettings&, std::int32_t);
    };
    static const Item order[] = {
        {"Port", kLow, kHigh,
         [](AppSettings& a, std::int32_t v) { a.port = std::uint8_t(v & 0xFF); }},
        {"Alg", kLow, kHigh, [](AppSettings& a, std::int32_t v) { a.alg = v; }},
        {"Left", kLow, kHigh, [](AppSettings& a, std::int32_t v) { a.left = v; }},
        {"Top", kLow, kHigh, [](AppSettings& a, std::int32_t v) { a.top = v; }},
        {"Width", kMinWindowWidth, kMaxWindowExtent,
         [](AppSettings& a, std::int32_t v) { a.width = v; }},
        {"Height", kMinWindowHeight, kMaxWindowExtent,
         [](AppSettings& a, std::int32_t v) { a.height = v; }},
        {"Sound", kLow, kHigh, [](AppSettings& a, std::int32_t v) { a.sound = v != 0; }},
        {"Acc", 0, 2, [](AppSettings& a, std::int32_t v) { a.acc = v; }},
        {"Dist", 0, kMaxDistance, [](AppSettings& a, std::int32_t v) { a.dist = v; }},
        {"FilterInd", 1, 4, [](AppSettings& a, std::int32_t v) { a.filterInd = v; }},
    };
    int applied = 0;
    for (const Item& item : order) {
        const auto v = store.ReadInteger(QString::fromLatin1(item.name));
        if (!v || *v < item.min || *v > item.max) break;
        item.apply(s, *v);
        ++applied;
    }
    static const Item live[] = {
        {"Live", kLow, kHigh, [](AppSettings& a, std::int32_t v) { a.live = v != 0; }},
        {"LivePort", 1, 65535, [](AppSettings& a, std::int32_t v) { a.livePort = v; }},
        {"LiveLAN", kLow, kHigh, [](AppSettings& a, std::int32_t v) { a.liveLan = v != 0; }},
    };
    for (const Item& item : live) {
        const auto v = store.ReadInteger(QString::fromLatin1(item.name));
        if (!v || *v < item.min || *v > item.max) continue;
        item.apply(s, *v);
        ++applied;
    }
    if (const std::optional<QString> folder = store.ReadString(QStringLiteral("Folder")))
        s.folder = *folder;
    return applied;
}

bool WriteAppSettings(SettingsStore& store, const AppSettings& s) {
    if (!store.OpenForWrite()) return false;
    store.WriteInteger("Left", s.left);
    store.WriteInteger("Top", s.top);
    store.WriteInteger("Width", s.width);
    store.WriteInteger("Height", s.height);
    store.WriteInteger("Sound", s.sound ? 1 : 0);
    store.WriteInteger("Port", s.port);
    store.WriteInteger("Alg", s.alg);
    store.WriteInteger("Acc", s.acc);
    store.WriteInteger("Dist", s.dist);
    store.WriteInteger("FilterInd", s.filterInd);
    store.WriteInteger("Live", s.live ? 1 : 0);
    store.WriteInteger("LivePort", s.livePort);
    store.WriteInteger("LiveLAN", s.liveLan ? 1 : 0);
    if (!s.folder.isEmpty()) store.WriteString(QStringLiteral("Folder"), s.folder);
    return store.Flush();
}
