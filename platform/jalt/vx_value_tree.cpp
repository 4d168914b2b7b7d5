#include "jalt/vx_value_tree.h"

#include <QFile>

bool VXVariant::toBool(bool* ok) const
{
    const QString t = text.trimmed().toLower();
    const bool isTrue = t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("on")
                        || t == QLatin1String("1");
    const bool isFalse = t == QLatin1String("false") || t == QLatin1String("no") || t == QLatin1String("off")
                         || t == QLatin1String("0");
    if (ok)
        *ok = isTrue || isFalse;
    return isTrue;
}

int VXVariant::toInt(bool* ok) const
{
    return text.trimmed().toInt(ok, 10);
}

double VXVariant::toDouble(bool* ok) const
{
    return text.trimmed().toDouble(ok);
}

VXValueTree VXValueTree::child(const QString& name) const
{
    for (const VXValueTree& node : nodes)
        if (node.nodeName == name)
            return node;
    return VXValueTree();
}

bool VXValueTree::contains(const QString& name) const
{
    for (const VXValueTree& node : nodes)
        if (node.nodeName == name)
            return true;
    return false;
}

VXVariant VXValueTree::childValue(const QString& name, const VXVariant& fallback) const
{
    for (const VXValueTree& node : nodes)
        if (node.nodeName == name)
            return node.value();
    return fallback;
}

VXValueTree& VXValueTree::append(const VXValueTree& node)
{
    nodes.append(node);
    return nodes.last();
}

namespace
{
QString unquote(const QString& value)
{
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        return value.mid(1, value.size() - 2);
    return value;
}
} // namespace

VXValueTree VXValueTreeConversions::fromText(const QString& text, QStringList* errors)
{
    auto report = [errors](int line, const QString& what) {
        if (errors)
            errors->append(QStringLiteral("line %1: %2").arg(line).arg(what));
    };

    VXValueTree root;
    // Path of open nodes as child indexes from the root: the section, then
    // every open "{" block.
    QVector<int> sectionPath;
    QVector<int> blockPath;
    auto nodeAt = [&root](const QVector<int>& path) -> VXValueTree& {
        VXValueTree* node = &root;
        for (int index : path)
            node = &node->childAt(index);
        return *node;
    };

    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        if (line == QLatin1String("}")) {
            if (blockPath.size() > sectionPath.size())
                blockPath.removeLast();
            else
                report(lineNo, QStringLiteral("\"}\" without an open block"));
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 3) {
                report(lineNo, QStringLiteral("section header without a name or closing \"]\""));
                continue;
            }
            if (blockPath.size() > sectionPath.size())
                report(lineNo, QStringLiteral("block not closed before the section"));
            // A section written twice is one section: its later keys are
            // added to those of the first.
            const QString name = line.mid(1, line.size() - 2).trimmed();
            const QVector<VXValueTree> sections = root.children();
            int section = 0;
            while (section < sections.size() && sections.at(section).name() != name)
                ++section;
            if (section == sections.size())
                root.append(VXValueTree(name, QString()));
            sectionPath = {section};
            blockPath = sectionPath;
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        QString key = (equals < 0 ? line : line.left(equals)).trimmed();
        QString value = equals < 0 ? QString() : line.mid(equals + 1).trimmed();
        bool opensBlock = false;
        if (value.endsWith(QLatin1Char('{')) || (equals < 0 && key.endsWith(QLatin1Char('{')))) {
            opensBlock = true;
            if (equals < 0)
                key = key.left(key.size() - 1).trimmed();
            else
                value = value.left(value.size() - 1).trimmed();
        }
        if (key.isEmpty()) {
            report(lineNo, QStringLiteral("a value without a key"));
            continue;
        }
        VXValueTree& parent = nodeAt(blockPath);
        parent.append(VXValueTree(key, unquote(value)));
        if (opensBlock)
            blockPath.append(int(parent.children().size()) - 1);
    }
    if (blockPath.size() > sectionPath.size())
        report(lines.size(), QStringLiteral("block not closed at the end"));
    return root;
}

VXValueTree VXValueTreeConversions::fromTextFile(const QString& path, QStringList* errors)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return VXValueTree();
    QByteArray bytes = file.readAll();
    // Editors on other systems start a UTF-8 file with a byte-order mark; it
    // is no part of the first line (Qt's decoder happens to drop it as well).
    if (bytes.startsWith("\xef\xbb\xbf"))
        bytes.remove(0, 3);
    return fromText(QString::fromUtf8(bytes), errors);
}
