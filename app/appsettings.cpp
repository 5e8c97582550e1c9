#include "app/appsettings.h"

#include "platform/settingsstore.h"

int ReadAppSettings(const SettingsStore& store, AppSettings& s) {
    if (!store.KeyExists()) return 0;
    struct Item {
        const char* name;
        void (*apply)(AppSettings&, std::int32_t);
    };
    static const Item order[] = {
        {"Port", [](AppSettings& a, std::int32_t v) { a.port = std::uint8_t(v & 0xFF); }},
        {"Alg", [](AppSettings& a, std::int32_t v) { a.alg = v; }},
        {"Left", [](AppSettings& a, std::int32_t v) { a.left = v; }},
        {"Top", [](AppSettings& a, std::int32_t v) { a.top = v; }},
        {"Width", [](AppSettings& a, std::int32_t v) { a.width = v; }},
        {"Height", [](AppSettings& a, std::int32_t v) { a.height = v; }},
        {"Sound", [](AppSettings& a, std::int32_t v) { a.sound = v != 0; }},
        {"Acc", [](AppSettings& a, std::int32_t v) { a.acc = v; }},
        {"Dist", [](AppSettings& a, std::int32_t v) { a.dist = v; }},
        {"FilterInd", [](AppSettings& a, std::int32_t v) { a.filterInd = v; }},
    };
    int applied = 0;
    for (const Item& item : order) {
        const auto v = store.ReadInteger(QString::fromLatin1(item.name));
        if (!v) break;
        item.apply(s, *v);
        ++applied;
    }
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
    return store.Flush();
}
