#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "glyphpad/glyphpad_export.h"

class QToolButton;

// One page of keys of an on-screen keyboard layout, built from its JSON
// object: rows of key buttons, and what a click on each key does.
class GLYPHPAD_EXPORT VirtualKeyboardLayoutPage : public QWidget
{
    Q_OBJECT

public:
    // The role codes of the keys, kept by each key as its property "role".
    enum Role
    {
        rlInert = 0,
        rlLetter = 1,
        rlBackspace = 2,
        rlReturn = 3,
        rlSpace = 4,
        rlHide = 5,
        rlShift = 6,
        rlGotoPage = 7,
    };

    explicit VirtualKeyboardLayoutPage(const QJsonObject& json);

    QToolButton* createButton(const QJsonObject& key);
    static int roleFromText(const QString& role);
    int buttonRole(QToolButton* button) const;

    void setCapital(bool on);
    void setCapitalEnabled(bool on);
    void setGotoEnabled(bool on);
    void setButtonsSize(int size);

    QList<QToolButton*> keys;
    QString name;
    int maxColumns = 0;
    bool capital = false;
    bool capitalEnabled = true;

signals:
    void gotoPageRequest(QString name);
    void hideRequest();

private:
    void keyPressed();
    void keyClicked(int code, QToolButton* button);
    void postKey(int key, const QString& text);

    // The widget the pressed key types into: the one that had the focus
    // when the finger came down, wherever the focus has gone since. Null
    // once that widget is gone.
    QPointer<QWidget> pressTarget;
    // A held key repeats as release, click and press again; such a press
    // keeps the target of the first one.
    bool repeating = false;
};

// A whole on-screen keyboard layout: its pages in document order and the
// page to show when the keyboard opens.
class GLYPHPAD_EXPORT VirtualKeyboardLayout : public QObject
{
    Q_OBJECT

public:
    explicit VirtualKeyboardLayout(const QJsonObject& json);
    ~VirtualKeyboardLayout() override;

    // What of a layout document is left out or does nothing: entries that
    // make no key, row or page, letters without text, a default page or
    // page key naming a page that does not exist. Empty when all is used.
    static QStringList flawsOf(const QJsonObject& json);

    VirtualKeyboardLayoutPage* getPageByName(const QString& name) const;
    void setDefaultPage();
    void setCurrentPage(VirtualKeyboardLayoutPage* page);

    void applyHints(Qt::InputMethodHints hints);
    void setCapital(bool on);
    void setCapitalEnabled(bool on);
    void setGotoEnabled(bool on);

    QList<VirtualKeyboardLayoutPage*> pages;
    VirtualKeyboardLayoutPage* currentPage = nullptr;
    QString defaultPage;

signals:
    void gotoPageRequest(QString name);
    void hideRequest();
};
