#pragma once

#include <qpdf/QPDFObjGen.hh>

#include <QHashFunctions>
#include <QString>

namespace zembrix {

// The identity of an object of an open document, as the walk and the
// placement scan key objects: the number and generation of an indirect
// object; a direct object, which has none, by its storage address (unique
// while the document is open).
struct ObjectKey {
    QPDFObjGen objGen;
    quintptr direct = 0;

    static ObjectKey indirect(int number, int generation = 0) { return {QPDFObjGen(number, generation), 0}; }
    bool isIndirect() const { return objGen.isIndirect(); }
    bool operator==(const ObjectKey &other) const { return objGen == other.objGen && direct == other.direct; }
    bool operator!=(const ObjectKey &other) const { return !(*this == other); }
    // "12 0", or "direct 5581a2c0" for a direct object.
    QString text() const
    {
        if (direct != 0 || !objGen.isIndirect())
            return QStringLiteral("direct %1").arg(direct, 0, 16);
        return QStringLiteral("%1 %2").arg(objGen.getObj()).arg(objGen.getGen());
    }
};

inline size_t qHash(const ObjectKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.objGen.getObj(), key.objGen.getGen(), key.direct);
}

} // namespace zembrix
