// orvanta-reg: reads and edits the registry store from the command line.
#include "platform/registry_store.h"

#include <QCoreApplication>
#include <QStringList>
#include <QtEndian>
#include <cstdio>

namespace {

constexpr const char* kUsage
    = "usage: orvanta-reg get KEY NAME\n"
      "       orvanta-reg set [--dword] KEY NAME VALUE\n"
      "       orvanta-reg list KEY\n"
      "       orvanta-reg delete KEY [NAME]\n"
      "KEY is a hive and a path, for example HKLM\\SOFTWARE\\Orvanta3.0 (hives: HKLM, HKCU).\n";

int usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

int help()
{
    std::fputs(kUsage, stdout);
    std::fputs("Reads and edits the registry database ($ORVANTA_REGISTRY, else\n"
               "$XDG_CONFIG_HOME/orvanta/registry.db).\n"
               "  --dword      set stores VALUE as a 32-bit number (decimal, or hexadecimal with 0x)\n"
               "  -h, --help   show this text\n"
               "Exit status: 0 done, 1 the value or key is missing or the database cannot be used,\n"
               "2 bad usage.\n",
        stdout);
    return 0;
}

void err(const QString& text)
{
    std::fprintf(stderr, "orvanta-reg: %s\n", qPrintable(text));
}

QString show(const RegValue& v)
{
    switch (v.type) {
    case REG_SZ:
        return RegistryStore::toText(v);
    case REG_DWORD:
        return v.data.size() == 4 ? QString::number(qFromLittleEndian<quint32>(v.data.constData())) : QString();
    default:
        return QString::fromLatin1(v.data.toHex(' '));
    }
}

const char* typeName(std::uint32_t type)
{
    switch (type) {
    case REG_SZ:
        return "REG_SZ";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_BINARY:
        return "REG_BINARY";
    default:
        return "REG_NONE";
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && (args[0] == "-h" || args[0] == "--help"))
        return help();
    bool dword = false;
    if (args.removeAll("--dword") > 0)
        dword = true;
    if (args.isEmpty())
        return usage();
    const QString cmd = args.takeFirst();
    if (args.isEmpty())
        return usage();
    const auto where = ParseRegistryPath(args.takeFirst());
    if (!where) {
        err("KEY must start with HKLM\\ or HKCU\\");
        return 2;
    }
    const auto [hive, key] = *where;
    RegistryStore& store = RegistryStore::instance();
    if (!store.isUsable()) {
        err(QStringLiteral("cannot open the registry database %1").arg(store.path()));
        return 1;
    }

    if (cmd == "get" && args.size() == 1) {
        const auto v = store.readValue(hive, key, args[0]);
        if (!v) {
            err(QStringLiteral("no value %1 in %2").arg(args[0], key));
            return 1;
        }
        std::printf("%s\n", qPrintable(show(*v)));
        return 0;
    }
    if (cmd == "set" && args.size() == 2) {
        RegValue v;
        if (dword) {
            bool ok = false;
            const qulonglong n = args[1].startsWith("0x", Qt::CaseInsensitive) ? args[1].mid(2).toULongLong(&ok, 16)
                                                                               : args[1].toULongLong(&ok, 10);
            if (!ok || n > 0xFFFFFFFFull) {
                err("a --dword VALUE must be a number from 0 to 4294967295");
                return 2;
            }
            v = RegistryStore::dwordValue(static_cast<std::uint32_t>(n));
        } else {
            v = RegistryStore::stringValue(args[1]);
        }
        if (!store.writeValue(hive, key, args[0], v)) {
            err("the value could not be written");
            return 1;
        }
        return 0;
    }
    if (cmd == "list" && args.isEmpty()) {
        const auto subs = store.subKeyNames(hive, key);
        const auto names = store.valueNames(hive, key);
        if (!subs || !names) {
            err(QStringLiteral("no key %1").arg(key));
            return 1;
        }
        for (const QString& s : *subs)
            std::printf("%s\\\n", qPrintable(s));
        for (const QString& n : *names) {
            const auto v = store.readValue(hive, key, n);
            if (v)
                std::printf("%s\t%s\t%s\n", qPrintable(n), typeName(v->type), qPrintable(show(*v)));
        }
        return 0;
    }
    if (cmd == "delete" && args.size() <= 1) {
        const bool ok = args.isEmpty() ? store.deleteKey(hive, key) : store.deleteValue(hive, key, args[0]);
        if (!ok) {
            err(args.isEmpty() ? QStringLiteral("no key %1").arg(key)
                               : QStringLiteral("no value %1 in %2").arg(args[0], key));
            return 1;
        }
        return 0;
    }
    return usage();
}
