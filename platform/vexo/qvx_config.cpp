#include "vexo/qvx_config.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

namespace {
QString expandMacros(const QString& value, const QHash<QString, QString>& macros)
{
    static const QRegularExpression macro(QStringLiteral("\\$\\{([^}]*)\\}"));
    QString result;
    int last = 0;
    QRegularExpressionMatchIterator it = macro.globalMatch(value);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        result += value.midRef(last, match.capturedStart() - last);
        const auto found = macros.constFind(match.captured(1).trimmed());
        result += found != macros.constEnd() ? *found : match.captured(0);
        last = match.capturedEnd();
    }
    result += value.midRef(last);
    return result;
}
} // namespace

QVXConfig::QVXConfig(const QString& path, bool readOnly)
{
    Q_UNUSED(readOnly);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    top = parse(QString::fromUtf8(file.readAll()));
    fileRead = true;
}

QVXConfig::Entry QVXConfig::getValue(const QString& name, const Entry& fallback) const
{
    for (const Entry& entry : top) {
        if (entry.entryName == name)
            return entry;
    }
    return fallback;
}

QVector<QVXConfig::Entry> QVXConfig::parse(const QString& text)
{
    // Joins continued lines first, so that a value may span several lines.
    QStringList lines;
    QString pending;
    bool continuing = false;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        QString line = raw;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (continuing)
            pending = pending.trimmed() + QLatin1Char(' ') + line.trimmed();
        else
            pending = line;
        continuing = pending.endsWith(QLatin1Char('\\'));
        if (continuing) {
            pending.chop(1);
            continue;
        }
        lines.append(pending);
        pending.clear();
    }
    if (continuing)
        lines.append(pending);

    QVector<Entry> result;
    QHash<QString, QString> macros;
    int section = -1;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            Entry entry;
            entry.entryName = line.mid(1, line.size() - 2).trimmed();
            result.append(entry);
            section = result.size() - 1;
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString name = line.left(equals).trimmed();
        const QString value = expandMacros(line.mid(equals + 1).trimmed(), macros);
        if (section < 0) {
            macros.insert(name, value);
            result.append(Entry(name, value));
        } else {
            result[section].entries.append(Entry(name, value));
        }
    }
    return result;
}
