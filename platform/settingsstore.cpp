#include "platform/settingsstore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "platform/programpaths.h"

SettingsStore::SettingsStore(QString filePath) : path_(std::move(filePath)) {}
SettingsStore::~SettingsStore() = default;

QString SettingsStore::DefaultPath() {
    return ProgramConfigDir() + QLatin1Char('/') + ProgramBaseName() + QStringLiteral(".conf");
}

bool SettingsStore::KeyExists() const {
    return QFileInfo(path_).isFile();
}

std::optional<std::int32_t> SettingsStore::ReadInteger(const QString& name) const {
    if (!KeyExists()) return std::nullopt;
    QSettings s(path_, QSettings::IniFormat);
    const QVariant v = s.value(name);
    if (!v.isValid()) return std::nullopt;
    bool ok = false;
    const qlonglong n = v.toString().trimmed().toLongLong(&ok);
    // A DWORD value: anything that fits 32 bits, read back as the signed value it was written from.
    if (!ok || n < INT32_MIN || n > qlonglong(UINT32_MAX)) return std::nullopt;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
}

std::optional<QString> SettingsStore::ReadString(const QString& name) const {
    if (!KeyExists()) return std::nullopt;
    QSettings s(path_, QSettings::IniFormat);
    const QVariant v = s.value(name);
    if (!v.isValid()) return std::nullopt;
    return v.toString();
}

bool SettingsStore::OpenForWrite() {
    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) return false;
    settings_ = std::make_unique<QSettings>(path_, QSettings::IniFormat);
    return settings_->isWritable();
}

void SettingsStore::WriteInteger(const QString& name, std::int32_t value) {
    if (!settings_) return;
    settings_->setValue(name, value);
}

void SettingsStore::WriteString(const QString& name, const QString& value) {
    if (!settings_) return;
    settings_->setValue(name, value);
}

bool SettingsStore::Flush() {
    if (!settings_) return false;
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}
