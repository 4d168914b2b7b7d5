#include "glyphpad/virtual_keyboard.h"

#include <algorithm>
#include <memory>

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleFactory>

#include "glyphpad/virtual_keyboard_layout.h"
#include "jalt/vx_time.h"
#include "ui_virtual_keyboard.h"

namespace {
const QString defaultLayoutPath = QStringLiteral(":/virtual_keyboard/default.json");
const int hideTimer = 0;
// The hide timer looks ten times a second whether the finger has left the
// screen.
const VXSystemTime hideCheckPeriod = VXSystemTime::fromUSec(1000000 / 10);

const QString keyboardStyleSheet =
    QStringLiteral("QWidget{background-color: black;}\n"
                   "QToolButton{background-color: rgb(64,64,64);color: white;}\n"
                   "QToolButton:pressed{background-color: rgb(48,48,48);}\n"
                   "QToolButton:disabled{background-color: rgb(32,32,32);color: rgb(128,128,128);}\n"
                   "QToolButton:checked{background-color: rgb(52,52,52);color: rgb(92,192,92);}");

// Reads a layout document; gives why it cannot be read, or an empty text.
QString readLayout(const QString& path, QJsonObject& json)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot be read: %1").arg(file.errorString());
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("not valid JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset);
    if (!document.isObject())
        return QStringLiteral("not a JSON object");
    json = document.object();
    return QString();
}
} // namespace

VirtualKeyboard::VirtualKeyboard(QWidget* parent)
    : QWidget(parent)
    , form(std::make_unique<Ui::VirtualKeyboard>())
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("VirtualKeyboard"));
    resize(565, 389);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setStyleSheet(keyboardStyleSheet);
    form->setupUi(this);
    QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    if (fusion) {
        // A widget does not own the style it is given.
        fusion->setParent(this);
        form->stackedPages->setStyle(fusion);
    }
    connect(qApp, &QApplication::focusChanged, this, &VirtualKeyboard::focusChanged);
    hide();
}

VirtualKeyboard::~VirtualKeyboard()
{
    // QWidget's destructor may still move the focus; this part of the
    // object is gone by then.
    disconnect(qApp, &QApplication::focusChanged, this, &VirtualKeyboard::focusChanged);
    if (watchedWidget)
        watchedWidget->removeEventFilter(this);
    destroy();
    stopAllIndexedTimers();
}

void VirtualKeyboard::setLayoutPath(const QString& path)
{
    layoutPath = path;
    init(path);
}

void VirtualKeyboard::init(QString path)
{
    destroy();
    QJsonObject json;
    QString fault = readLayout(path, json);
    std::unique_ptr<VirtualKeyboardLayout> layout;
    if (fault.isEmpty()) {
        layout = std::make_unique<VirtualKeyboardLayout>(json);
        if (layout->pages.isEmpty())
            fault = QStringLiteral("has no page with keys");
    }
    if (!fault.isEmpty()) {
        // A kiosk has no other keyboard: a layout of no use must still leave
        // one that types.
        qWarning().noquote() << QStringLiteral(
                                    "VirtualKeyboard: layout \"%1\" %2; the default layout is used")
                                    .arg(path, fault);
        json = QJsonObject();
        if (path == defaultLayoutPath || !readLayout(defaultLayoutPath, json).isEmpty())
            return;
        layout = std::make_unique<VirtualKeyboardLayout>(json);
    } else if (const QStringList flaws = VirtualKeyboardLayout::flawsOf(json); !flaws.isEmpty()) {
        // A flawed entry costs only itself: the rest of the layout is used.
        qWarning().noquote() << QStringLiteral("VirtualKeyboard: layout \"%1\": %2")
                                    .arg(path, flaws.join(QStringLiteral("; ")));
    }
    keyboardLayout = layout.release();
    for (VirtualKeyboardLayoutPage* page : qAsConst(keyboardLayout->pages))
        form->stackedPages->addWidget(page);
    connect(keyboardLayout, &VirtualKeyboardLayout::gotoPageRequest, this, &VirtualKeyboard::showPage);
    connect(keyboardLayout, &VirtualKeyboardLayout::hideRequest, this, [this] { setKeyboardVisible(false); });
    keyboardLayout->setDefaultPage();
    adjust();
}

void VirtualKeyboard::destroy()
{
    delete keyboardLayout;
    keyboardLayout = nullptr;
    while (form->stackedPages->count() > 0)
        delete form->stackedPages->widget(0);
}

void VirtualKeyboard::loadDefaultLayoutIfNone()
{
    if (!keyboardLayout && layoutPath.isEmpty())
        init(defaultLayoutPath);
}

void VirtualKeyboard::showPage(const QString& name)
{
    VirtualKeyboardLayoutPage* page = keyboardLayout->getPageByName(name);
    if (!page)
        return;
    form->stackedPages->setCurrentWidget(page);
    keyboardLayout->setCurrentPage(page);
}

void VirtualKeyboard::adjust()
{
    if (!keyboardLayout)
        return;
    int columns = 0;
    for (const VirtualKeyboardLayoutPage* page : qAsConst(keyboardLayout->pages))
        columns = std::max(columns, page->maxColumns);
    if (columns == 0)
        return;
    const int spacing = style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, this);
    const int margin = form->verticalLayout->contentsMargins().left();
    // A key is as high as a key of the widest row is wide.
    const int size = std::max(2, (width() - spacing * (columns - 1) - 2 * margin) / columns);
    form->stackedPages->setStyleSheet(QStringLiteral("font:%1px").arg(size / 2));
    for (VirtualKeyboardLayoutPage* page : qAsConst(keyboardLayout->pages))
        page->setButtonsSize(size);
}

void VirtualKeyboard::setKeyboardVisible(bool visible)
{
    if (alwaysVisible || !isEnabled())
        return;
    if (visible) {
        stopIndexedTimer(hideTimer);
        show();
        return;
    }
    // A finger still on the screen may be on its way to a key: the keyboard
    // must not vanish under it.
    startIndexedTimer(hideTimer, hideCheckPeriod, [this] {
        if (QGuiApplication::mouseButtons() != Qt::NoButton)
            return;
        stopIndexedTimer(hideTimer);
        hide();
    });
}

void VirtualKeyboard::setAlwaysVisible(bool on)
{
    alwaysVisible = on;
    if (on) {
        stopIndexedTimer(hideTimer);
        show();
    }
}

void VirtualKeyboard::setEnabled(bool on)
{
    if (!on)
        hide();
    QWidget::setEnabled(on);
}

void VirtualKeyboard::setDisabled(bool off)
{
    if (off)
        hide();
    QWidget::setDisabled(off);
}

void VirtualKeyboard::focusChanged(QWidget*, QWidget* now)
{
    if (watchedWidget)
        watchedWidget->removeEventFilter(this);
    watchedWidget = nullptr;
    // Only widgets that edit text know a cursor position.
    const bool editsText = now && now->inputMethodQuery(Qt::ImCursorPosition).isValid();
    if (editsText)
        loadDefaultLayoutIfNone();
    if (!editsText || !keyboardLayout) {
        setKeyboardVisible(false);
        return;
    }
    watchedWidget = now;
    const auto hints = Qt::InputMethodHints(now->inputMethodQuery(Qt::ImHints).toInt());
    keyboardLayout->setDefaultPage();
    setKeyboardVisible(true);
    keyboardLayout->applyHints(hints);
    now->installEventFilter(this);
}

bool VirtualKeyboard::eventFilter(QObject* object, QEvent* event)
{
    // A tap into the field brings back a keyboard hidden by its hide key.
    if (object == watchedWidget && event->type() == QEvent::MouseButtonPress)
        setKeyboardVisible(true);
    return QWidget::eventFilter(object, event);
}

void VirtualKeyboard::showEvent(QShowEvent* event)
{
    if (firstShow) {
        firstShow = false;
        loadDefaultLayoutIfNone();
    }
    QWidget::showEvent(event);
}

void VirtualKeyboard::resizeEvent(QResizeEvent* event)
{
    // Only the width sets the size of the keys.
    if (width() != lastWidth) {
        lastWidth = width();
        adjust();
    }
    QWidget::resizeEvent(event);
}
