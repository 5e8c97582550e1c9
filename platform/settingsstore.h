#pragma once

#include <QString>
#include <memory>
#include <optional>

class QSettings;

// The program's settings key: an INI file <config>/<base name>/<base name>.conf holding integer
// values by name. "The key exists" means the file exists.
class SettingsStore {
public:
    explicit SettingsStore(QString filePath);
    ~SettingsStore();
    static QString DefaultPath();  // for the running program

    const QString& FilePath() const { return path_; }
    bool KeyExists() const;
    // The value as a 32-bit integer; nothing when it is missing or not an integer.
    std::optional<std::int32_t> ReadInteger(const QString& name) const;
    // Opens the key for writing, creating it when missing. False when that fails.
    bool OpenForWrite();
    void WriteInteger(const QString& name, std::int32_t value);
    // Text values (a folder's path) beside the integers; nothing when missing.
    std::optional<QString> ReadString(const QString& name) const;
    void WriteString(const QString& name, const QString& value);
    // Flushes to disk; false when the file could not be written.
    bool Flush();

private:
    QString path_;
    std::unique_ptr<QSettings> settings_;
};
