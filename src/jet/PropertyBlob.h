#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace fiscora::jet {

// The property list of a catalog object ("MR2" blob of MSysObjects.LvProp): the object's own
// properties and those of its columns, each a name, a Jet type and a value.
class PropertyBlob final {
public:
    // column empty: a property of the object itself.
    void addText(const QString& column, const QString& name, const QString& value, bool ddl = false);
    void addLong(const QString& column, const QString& name, qint32 value, bool ddl = false);
    void addBoolean(const QString& column, const QString& name, bool value, bool ddl = false);
    bool isEmpty() const { return m_items.empty(); }
    QByteArray toBytes() const;

private:
    struct Item {
        QString column;
        int name;
        quint8 type;
        bool ddl;
        QByteArray value;
    };
    void add(const QString& column, const QString& name, quint8 type, bool ddl, const QByteArray& value);

    std::vector<QString> m_names;
    std::vector<Item> m_items;
};

} // namespace fiscora::jet
