#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

class QLabel;

// An icon and a text for each integer level of some state (a link's quality,
// a device opened or not). The table comes from setStates or, from a form,
// from the dynamic property "rawStates": the Base64 text of a data stream
// with a 32-bit row count and per row the 32-bit level, the text and the
// icon path. A level without a row shows its number and no icon.
class StateIcon : public QWidget
{
    Q_OBJECT
public:
    struct Entry
    {
        int level = 0;
        QString text;
        QString iconPath;
    };

    explicit StateIcon(QWidget* parent = nullptr);

    void setStates(const QVector<Entry>& entries);
    QVector<Entry> states() const { return entries; }
    void setState(int level);
    int state() const { return level; }
    QString text() const;
    QString iconPath() const;

    // The "rawStates" text of a table, for forms and tests.
    static QString encodeStates(const QVector<Entry>& entries);
    static QVector<Entry> decodeStates(const QString& raw);

protected:
    bool event(QEvent* event) override;

private:
    void refresh();
    const Entry* entryOf(int value) const;

    QVector<Entry> entries;
    int level = 0;
    QLabel* iconLabel;
    QLabel* textLabel;
};
