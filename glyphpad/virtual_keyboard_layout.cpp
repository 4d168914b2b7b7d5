#include "glyphpad/virtual_keyboard_layout.h"

#include <algorithm>

#include <QApplication>
#include <QBoxLayout>
#include <QJsonArray>
#include <QKeyEvent>
#include <QSet>
#include <QToolButton>

namespace {
const char* const roleTexts[] = {"l", "backspace", "return", "space", "hide", "shift", "gotopage"};
} // namespace

VirtualKeyboardLayoutPage::VirtualKeyboardLayoutPage(const QJsonObject& json)
{
    name = json.value(QStringLiteral("name")).toString();
    auto* pageLayout = new QVBoxLayout;
    const QJsonArray rows = json.value(QStringLiteral("rows")).toArray();
    for (const QJsonValue& row : rows) {
        QHBoxLayout* rowLayout = nullptr;
        int columns = 0;
        for (const QJsonValue& key : row.toArray()) {
            QToolButton* button = createButton(key.toObject());
            if (!button)
                continue;
            if (!rowLayout)
                rowLayout = new QHBoxLayout;
            keys.append(button);
            rowLayout->addWidget(button, button->property("stretch").toInt());
            ++columns;
        }
        // A row without keys leaves no empty line.
        if (rowLayout)
            pageLayout->addLayout(rowLayout);
        maxColumns = std::max(maxColumns, columns);
    }
    setLayout(pageLayout);
}

int VirtualKeyboardLayoutPage::roleFromText(const QString& role)
{
    const QString lower = role.toLower();
    for (int index = 0; index < int(std::size(roleTexts)); ++index)
        if (lower == QLatin1String(roleTexts[index]))
            return index + 1;
    return rlInert;
}

QToolButton* VirtualKeyboardLayoutPage::createButton(const QJsonObject& key)
{
    const QString roleText = key.value(QStringLiteral("role")).toString();
    if (roleText.isEmpty())
        return nullptr;
    auto* button = new QToolButton;
    const int code = roleFromText(roleText);
    const int stretch = key.value(QStringLiteral("stretch")).toInt();
    QString text = key.value(QStringLiteral("text")).toString();
    button->setProperty("role", code);
    button->setProperty("stretch", stretch != 0 ? stretch : 1);
    // A key never takes the focus from the widget being typed into.
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    button->setMinimumSize(2, 2);
    button->setAutoRepeat(true);
    switch (code) {
    case rlBackspace:
        text = QString(QChar(0x232B));
        break;
    case rlReturn:
        text = QString(QChar(0x23CE));
        break;
    case rlSpace:
        text = QString(4, QChar(0x2500));
        break;
    case rlHide:
        text = QString(QChar(0x2A02));
        break;
    case rlShift:
        text = QString(QChar(0x290A));
        button->setCheckable(true);
        break;
    case rlGotoPage:
        button->setProperty("page", key.value(QStringLiteral("page")).toString());
        break;
    default:
        break;
    }
    button->setText(text);
    connect(button, &QToolButton::pressed, this, &VirtualKeyboardLayoutPage::keyPressed);
    connect(button, &QToolButton::clicked, this, [this, code, button] {
        // A page key may lead its owner to load another layout, which
        // deletes this page and its keys.
        QPointer<QToolButton> guard(button);
        keyClicked(code, button);
        // A click while the key is still down comes from auto-repeat.
        if (guard)
            repeating = button->isDown();
    });
    return button;
}

int VirtualKeyboardLayoutPage::buttonRole(QToolButton* button) const
{
    return button ? button->property("role").toInt() : rlInert;
}

void VirtualKeyboardLayoutPage::keyPressed()
{
    if (!repeating)
        pressTarget = QApplication::focusWidget();
    repeating = false;
}

void VirtualKeyboardLayoutPage::keyClicked(int code, QToolButton* button)
{
    switch (code) {
    case rlLetter: {
        QString text = button->text();
        // "&&" shows a literal ampersand on the key and types one.
        if (text.startsWith(QLatin1Char('&')))
            text.remove(0, 1);
        if (text.isEmpty())
            return;
        postKey(0, text);
        if (capital && capitalEnabled)
            setCapital(false);
        break;
    }
    case rlBackspace:
        postKey(Qt::Key_Backspace, QString());
        break;
    case rlReturn:
        postKey(Qt::Key_Return, QString());
        break;
    case rlSpace:
        postKey(Qt::Key_Space, QStringLiteral(" "));
        break;
    case rlHide:
        emit hideRequest();
        break;
    case rlShift:
        setCapital(!capital);
        break;
    case rlGotoPage:
        emit gotoPageRequest(button->property("page").toString());
        break;
    default:
        break;
    }
}

void VirtualKeyboardLayoutPage::postKey(int key, const QString& text)
{
    // Posted, not sent: the events reach the widget after the click returns.
    // A target deleted meanwhile takes its posted events with it.
    if (!pressTarget)
        return;
    QCoreApplication::postEvent(pressTarget, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
    QCoreApplication::postEvent(pressTarget, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
}

void VirtualKeyboardLayoutPage::setCapital(bool on)
{
    capital = on;
    for (QToolButton* button : qAsConst(keys)) {
        const int code = buttonRole(button);
        if (code == rlLetter)
            button->setText(on ? button->text().toUpper() : button->text().toLower());
        else if (code == rlShift)
            button->setChecked(on);
    }
}

void VirtualKeyboardLayoutPage::setCapitalEnabled(bool on)
{
    capitalEnabled = on;
    for (QToolButton* button : qAsConst(keys))
        if (buttonRole(button) == rlShift)
            button->setEnabled(on);
}

void VirtualKeyboardLayoutPage::setGotoEnabled(bool on)
{
    for (QToolButton* button : qAsConst(keys))
        if (buttonRole(button) == rlGotoPage)
            button->setEnabled(on);
}

void VirtualKeyboardLayoutPage::setButtonsSize(int size)
{
    for (QToolButton* button : qAsConst(keys))
        button->setFixedHeight(size);
    // A hidden page is not laid out by the stack until shown; size it now so
    // that the keyboard's height is right whichever page comes up.
    if (!isVisible()) {
        adjustSize();
        layout()->invalidate();
    }
}

VirtualKeyboardLayout::VirtualKeyboardLayout(const QJsonObject& json)
{
    defaultPage = json.value(QStringLiteral("default_page")).toString();
    const QJsonArray pageArray = json.value(QStringLiteral("pages")).toArray();
    for (const QJsonValue& value : pageArray) {
        auto* page = new VirtualKeyboardLayoutPage(value.toObject());
        if (page->keys.isEmpty()) {
            delete page;
            continue;
        }
        connect(page, &VirtualKeyboardLayoutPage::gotoPageRequest, this,
                &VirtualKeyboardLayout::gotoPageRequest);
        connect(page, &VirtualKeyboardLayoutPage::hideRequest, this, &VirtualKeyboardLayout::hideRequest);
        pages.append(page);
    }
}

VirtualKeyboardLayout::~VirtualKeyboardLayout()
{
    // The keyboard's page stack owns the pages it took; the others would be
    // lost.
    for (VirtualKeyboardLayoutPage* page : qAsConst(pages))
        if (!page->parent())
            delete page;
}

QStringList VirtualKeyboardLayout::flawsOf(const QJsonObject& json)
{
    QStringList flaws;
    QSet<QString> names;
    QStringList targets;
    const QJsonArray pageArray = json.value(QStringLiteral("pages")).toArray();
    for (int index = 0; index < pageArray.size(); ++index) {
        const QJsonObject page = pageArray.at(index).toObject();
        const QString name = page.value(QStringLiteral("name")).toString();
        const QString where = QStringLiteral("page %1 \"%2\"").arg(index + 1).arg(name);
        int keyCount = 0;
        int noRole = 0;
        int noText = 0;
        int notRows = 0;
        for (const QJsonValue& row : page.value(QStringLiteral("rows")).toArray()) {
            if (!row.isArray())
                ++notRows;
            for (const QJsonValue& keyValue : row.toArray()) {
                const QJsonObject key = keyValue.toObject();
                const QString role = key.value(QStringLiteral("role")).toString();
                if (role.isEmpty()) {
                    ++noRole;
                    continue;
                }
                const int code = VirtualKeyboardLayoutPage::roleFromText(role);
                if (code == VirtualKeyboardLayoutPage::rlLetter
                    && key.value(QStringLiteral("text")).toString().isEmpty())
                    ++noText;
                if (code == VirtualKeyboardLayoutPage::rlGotoPage)
                    targets.append(key.value(QStringLiteral("page")).toString());
                ++keyCount;
            }
        }
        if (keyCount == 0) {
            flaws.append(QStringLiteral("%1 has no keys and is left out").arg(where));
            continue;
        }
        names.insert(name);
        if (notRows > 0)
            flaws.append(QStringLiteral("%1: %2 row(s) not a list of keys left out").arg(where).arg(notRows));
        if (noRole > 0)
            flaws.append(QStringLiteral("%1: %2 key(s) without a role left out").arg(where).arg(noRole));
        if (noText > 0)
            flaws.append(
                QStringLiteral("%1: %2 letter key(s) without text type nothing").arg(where).arg(noText));
    }
    if (names.isEmpty())
        return flaws;
    const QString defaultName = json.value(QStringLiteral("default_page")).toString();
    if (!names.contains(defaultName))
        flaws.append(
            QStringLiteral("the default page \"%1\" is missing, the first page opens").arg(defaultName));
    targets.removeDuplicates();
    for (const QString& target : qAsConst(targets))
        if (!names.contains(target))
            flaws.append(QStringLiteral("keys to the missing page \"%1\" do nothing").arg(target));
    return flaws;
}

VirtualKeyboardLayoutPage* VirtualKeyboardLayout::getPageByName(const QString& name) const
{
    for (VirtualKeyboardLayoutPage* page : pages)
        if (page->name == name)
            return page;
    return nullptr;
}

void VirtualKeyboardLayout::setDefaultPage()
{
    // A layout naming no page of its own still opens on one.
    if (!getPageByName(defaultPage) && !pages.isEmpty())
        emit gotoPageRequest(pages.first()->name);
    else
        emit gotoPageRequest(defaultPage);
}

void VirtualKeyboardLayout::setCurrentPage(VirtualKeyboardLayoutPage* page)
{
    currentPage = page;
}

void VirtualKeyboardLayout::applyHints(Qt::InputMethodHints hints)
{
    if (hints & (Qt::ImhPreferNumbers | Qt::ImhDigitsOnly))
        emit gotoPageRequest(QStringLiteral("numeric"));
    // Latin after numbers: a field that asks for both gets the letters.
    if (hints & (Qt::ImhPreferLatin | Qt::ImhLatinOnly))
        emit gotoPageRequest(QStringLiteral("latin"));
    setCapital(!(hints & (Qt::ImhNoAutoUppercase | Qt::ImhPreferLowercase | Qt::ImhLowercaseOnly)));
    setGotoEnabled(!(hints & (Qt::ImhDigitsOnly | Qt::ImhLatinOnly)));
    setCapitalEnabled(!(hints & (Qt::ImhUppercaseOnly | Qt::ImhLowercaseOnly)));
}

void VirtualKeyboardLayout::setCapital(bool on)
{
    for (VirtualKeyboardLayoutPage* page : qAsConst(pages))
        page->setCapital(on);
}

void VirtualKeyboardLayout::setCapitalEnabled(bool on)
{
    for (VirtualKeyboardLayoutPage* page : qAsConst(pages))
        page->setCapitalEnabled(on);
}

void VirtualKeyboardLayout::setGotoEnabled(bool on)
{
    for (VirtualKeyboardLayoutPage* page : qAsConst(pages))
        page->setGotoEnabled(on);
}
