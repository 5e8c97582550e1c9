#pragma once

#include <QByteArray>
#include <QString>

// The page and its assets, built into the program: a finish line has no internet, so nothing is
// fetched from anywhere else.
struct LivePageAsset {
    QByteArray contentType;
    QByteArray body;
};

// The asset served at a path ("/", "/live.css", "/live.js"), or nullptr.
const LivePageAsset* FindLivePageAsset(const QString& path);
