// Feeds arbitrary bytes to the INI reader and writer as a file.
#include "platform/ini_file.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath("fuzz.ini");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    for (const QString& section : ini::SectionNames(path)) {
        for (const QString& key : ini::KeyNames(path, section)) {
            QString out;
            ini::GetPrivateProfileString(section, key, "d", out, 16, path);
            if (out.size() > 15)
                __builtin_trap();
        }
    }
    QString out;
    ini::GetPrivateProfileString("S", "k", "", out, 2048, path);
    ini::WritePrivateProfileString("S", "k", QString("v"), path);
    if (ini::ReadValue(path, "S", "k").value_or("") != "v")
        __builtin_trap();
    return 0;
}
