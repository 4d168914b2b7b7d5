#pragma once

#include <QString>
#include <QVector>

// A small configuration text reader, used for the built-in schema resource.
//   # comment                a line whose first non-blank character is # or ;
//   name = value             split at the first "=", both sides trimmed
//   [section]                the following entries are children of "section"
//   name = first part \      a line ending in a backslash goes on with the
//          second part       next line (the two are joined with one blank)
//   ${name}                  in a value: the value of the top-level entry
//                            "name", written before the first section
// An unknown macro is left as written.
class QVXConfig
{
public:
    class Entry
    {
    public:
        Entry() = default;
        Entry(const QString& name, const QString& value)
            : entryName(name)
            , entryValue(value)
        {}
        QString name() const { return entryName; }
        QString value() const { return entryValue; }
        // The entries of a section, in file order.
        const QVector<Entry>& children() const { return entries; }
        bool isEmpty() const { return entryName.isEmpty() && entries.isEmpty(); }

    private:
        friend class QVXConfig;
        QString entryName;
        QString entryValue;
        QVector<Entry> entries;
    };

    // Reads the file (a resource path works too). Only reading is supported:
    // readOnly is kept for the callers' sake.
    explicit QVXConfig(const QString& path, bool readOnly = true);

    bool isOpen() const { return fileRead; }
    // The top-level entry or section of that name, or fallback.
    Entry getValue(const QString& name, const Entry& fallback = Entry()) const;

    // Parses configuration text; exposed for tests.
    static QVector<Entry> parse(const QString& text);

private:
    QVector<Entry> top;
    bool fileRead = false;
};
