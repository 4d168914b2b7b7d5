#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "jalt/vx_time.h"

// A text value with the conversions the configuration needs.
class VXVariant
{
public:
    VXVariant() = default;
    VXVariant(const QString& text)
        : text(text)
    {
    }
    VXVariant(const char* text)
        : text(QString::fromUtf8(text))
    {
    }

    // true, yes, on, 1 and false, no, off, 0, in any letter case; anything else
    // gives false and sets *ok to false.
    bool toBool(bool* ok = nullptr) const;
    // A decimal integer (blanks around it allowed).
    int toInt(bool* ok = nullptr) const;
    double toDouble(bool* ok = nullptr) const;
    QString toString() const { return text; }
    VXSystemTime toSystemTime(bool* ok = nullptr) const { return VXSystemTime::fromString(text, ok); }
    bool isEmpty() const { return text.isEmpty(); }

private:
    QString text;
};

// A tree of named nodes, each with a text value and ordered children; names
// may repeat. Built from the configuration text (VXValueTreeConversions).
class VXValueTree
{
public:
    VXValueTree() = default;
    VXValueTree(const QString& name, const QString& value)
        : nodeName(name)
        , nodeValue(value)
    {
    }

    QString name() const { return nodeName; }
    VXVariant value() const { return VXVariant(nodeValue); }
    void setValue(const QString& value) { nodeValue = value; }

    // The first child of that name, or an empty tree when there is none.
    VXValueTree child(const QString& name) const;
    // By value (shared, cheap), so a loop over child(name).children() is safe.
    QVector<VXValueTree> children() const { return nodes; }
    bool contains(const QString& name) const;
    // The first child's value, or fallback when there is no such child.
    VXVariant childValue(const QString& name, const VXVariant& fallback = VXVariant()) const;
    bool isEmpty() const { return nodes.isEmpty() && nodeValue.isEmpty(); }

    VXValueTree& append(const VXValueTree& node);
    VXValueTree& childAt(int index) { return nodes[index]; }

private:
    QString nodeName;
    QString nodeValue;
    QVector<VXValueTree> nodes;
};

// The configuration text syntax:
//   # comment                 a line whose first non-blank character is # or ;
//   [section]                 the following keys belong to the node "section"
//   key = value               split at the first "=", both sides trimmed
//   key = value {             the lines up to the matching "}" are children of key
//   }                         (blocks nest)
//   key = "  text  "          double quotes keep blanks and a trailing "{"
// Keys before the first section are top-level nodes. A key may repeat.
namespace VXValueTreeConversions
{
// Lines that cannot be read are skipped; each is described in *errors
// ("line N: ...") when errors is given.
VXValueTree fromText(const QString& text, QStringList* errors = nullptr);
// A missing or unreadable file gives an empty tree.
VXValueTree fromTextFile(const QString& path, QStringList* errors = nullptr);
} // namespace VXValueTreeConversions
