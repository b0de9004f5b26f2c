#include "host_options.h"

QString HostUsage()
{
    return QStringLiteral("usage: orvanta-host [options] [FILE...]\n"
                          "Starts the movie editor in the reference host; each FILE goes to the editor's media list.\n"
                          "  --script FILE      run the commands of FILE (dialogs are answered or driven from the\n"
                          "                     script; the commands are listed in orvanta-host(1))\n"
                          "  --screenshot PNG   save the window to PNG after start-up (and quit, when offscreen\n"
                          "                     without a script)\n"
                          "  --phone DIR        folder of the simulated phone (default: <suite folder>/phone)\n"
                          "  --no-phone         run without a connected phone\n"
                          "  --component PATH   the editor component library (default: ../lib/libcw_load.so)\n"
                          "  --data DIR         the bundled suite data (default: ../suite or ../share/orvanta/suite)\n"
                          "  --lang CODE        set the suite language (EN or KR)\n"
                          "  --model NAME       set the connected phone model (for example TX-07)\n"
                          "  -h, --help         show this text\n"
                          "Exit status: 0 done, 1 bad command line or script, 2 the component or the suite data\n"
                          "is missing, 3 the component could not create its window.\n");
}

std::optional<HostOptions> ParseHostOptions(const QStringList& args, QString* error)
{
    HostOptions o;
    auto fail = [&](const QString& text) -> std::optional<HostOptions> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString a = args[i];
        QString inlineValue;
        bool hasInline = false;
        if (a.startsWith("--") && a.contains('=')) {
            inlineValue = a.mid(a.indexOf('=') + 1);
            a = a.left(a.indexOf('='));
            hasInline = true;
        }
        auto value = [&](QString* out) -> bool {
            if (hasInline) {
                *out = inlineValue;
            } else {
                if (i + 1 >= args.size())
                    return false;
                *out = args[++i];
            }
            return !out->isEmpty();
        };
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--no-phone") {
            o.noPhone = true;
        } else if (a == "--script" || a == "--screenshot" || a == "--phone" || a == "--component" || a == "--data"
            || a == "--lang" || a == "--model") {
            QString v;
            if (!value(&v))
                return fail(QStringLiteral("option %1 needs a value").arg(a));
            if (a == "--script")
                o.script = v;
            else if (a == "--screenshot")
                o.screenshot = v;
            else if (a == "--phone")
                o.phoneDir = v;
            else if (a == "--component")
                o.component = v;
            else if (a == "--data")
                o.dataDir = v;
            else if (a == "--lang")
                o.language = v.toUpper();
            else
                o.model = v;
        } else if (a == "--") {
            o.files += args.mid(i + 1);
            break;
        } else if (a.startsWith('-') && a.size() > 1) {
            return fail(QStringLiteral("unknown option %1").arg(args[i]));
        } else {
            o.files << a;
        }
    }
    if (o.noPhone && !o.phoneDir.isEmpty())
        return fail(QStringLiteral("--phone and --no-phone exclude each other"));
    return o;
}
