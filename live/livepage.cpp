#include "live/livepage.h"

#include <QFile>
#include <map>

namespace {

struct Assets {
    std::map<QString, LivePageAsset> byPath;
    Assets() {
        const struct {
            const char* path;
            const char* resource;
            const char* type;
        } table[] = {
            {"/", ":/live/index.html", "text/html; charset=utf-8"},
            {"/live.css", ":/live/live.css", "text/css; charset=utf-8"},
            {"/live.js", ":/live/live.js", "text/javascript; charset=utf-8"},
        };
        for (const auto& t : table) {
            QFile f(QString::fromLatin1(t.resource));
            if (f.open(QIODevice::ReadOnly))
                byPath.emplace(QString::fromLatin1(t.path), LivePageAsset{t.type, f.readAll()});
        }
    }
};

}  // namespace

const LivePageAsset* FindLivePageAsset(const QString& path) {
    static const Assets assets;  // read once, then only read: shared by every thread
    const auto it = assets.byPath.find(path);
    return it == assets.byPath.end() ? nullptr : &it->second;
}
