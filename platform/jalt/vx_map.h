#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QVector>

// An ordered map that also remembers the order in which keys first arrived.
// Iteration and keys() run in ascending key order; values() runs in
// first-insertion order (a replaced value keeps its place), which the
// database look-ups rely on. A missing key reads as the default value.
template <typename K, typename V> class VXMap
{
public:
    using const_iterator = typename QMap<K, V>::const_iterator;
    using iterator = typename QMap<K, V>::iterator;

    void insert(const K& key, const V& value)
    {
        if (!map.contains(key))
            order.append(key);
        map.insert(key, value);
    }

    bool remove(const K& key)
    {
        if (map.remove(key) == 0)
            return false;
        order.removeOne(key);
        return true;
    }

    void clear()
    {
        map.clear();
        order.clear();
    }

    bool contains(const K& key) const { return map.contains(key); }
    V value(const K& key, const V& fallback = V()) const { return map.value(key, fallback); }
    int size() const { return map.size(); }
    bool isEmpty() const { return map.isEmpty(); }
    QList<K> keys() const { return map.keys(); }
    const QVector<K>& insertionOrder() const { return order; }

    QVector<V> values() const
    {
        QVector<V> result;
        result.reserve(order.size());
        for (const K& key : order)
            result.append(map.value(key));
        return result;
    }

    // Writable access for in-place edits; inserts a default value (at the end
    // of the insertion order) when the key is new.
    V& operator[](const K& key)
    {
        if (!map.contains(key))
            order.append(key);
        return map[key];
    }
    V operator[](const K& key) const { return map.value(key); }

    iterator begin() { return map.begin(); }
    iterator end() { return map.end(); }
    const_iterator begin() const { return map.constBegin(); }
    const_iterator end() const { return map.constEnd(); }
    iterator find(const K& key) { return map.find(key); }
    const_iterator find(const K& key) const { return map.constFind(key); }

private:
    QMap<K, V> map;
    QVector<K> order;
};
