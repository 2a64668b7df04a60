#pragma once
// Process-wide Simplified-to-Traditional Chinese conversion of recognised words.

#include <QString>

#include <mutex>

class OpenccConverter
{
public:
    static OpenccConverter &instance();

    // Opens configName from the configuration folder; true when a handle exists.
    bool open(const QString &configName);
    // The text converted, or unchanged without a handle or on failure.
    QString convert(const QString &text) const;
    void close();

    // The first caller opens configName; later callers reuse that outcome,
    // failed or not, so a missing configuration is reported once.
    bool openOnce(const QString &configName);

    // Where configurations are looked for, in order.
    static QStringList configFolders();

private:
    OpenccConverter() = default;
    ~OpenccConverter();

    void *handle = nullptr;
    std::once_flag opened;
};
