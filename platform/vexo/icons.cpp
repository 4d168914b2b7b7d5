#include "vexo/icons.h"

#include <QHash>

namespace VEXO {
QIcon sharedIcon(const QString& path)
{
    static QHash<QString, QIcon> icons;
    auto it = icons.find(path);
    if (it == icons.end())
        it = icons.insert(path, QIcon(path));
    return it.value();
}
} // namespace VEXO
