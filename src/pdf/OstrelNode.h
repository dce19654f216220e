#pragma once

#include "PdfObject.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace zembrix {

// One PDF object of the document tree, with the name under which its parent
// holds it ("/Pages" for a dictionary entry, "0", "1", ... for an array
// element; the root has no name). Children are built on first request and
// then stay as they are for the node's lifetime. A tree belongs to the parse
// thread of one file and is never shared.
class OstrelNode
{
public:
    using ChildList = std::vector<std::unique_ptr<OstrelNode>>;

    // The root node over the document catalog: type dictionary, no name.
    static std::unique_ptr<OstrelNode> initWithCatalog(const PdfObject &catalog);
    static std::unique_ptr<OstrelNode> initWithObject(const PdfObject &object, const QString &name);
    ~OstrelNode();
    OstrelNode(const OstrelNode &) = delete;
    OstrelNode &operator=(const OstrelNode &) = delete;

    std::int32_t type() const { return m_type; }
    const QString &name() const { return m_name; }

    // None (nullptr) for objects that cannot have children; an empty list for
    // an empty dictionary or array.
    const ChildList *children();
    // Drops the children made so far (the walk does, once it is done with a
    // container: a walked tree is not kept). children() makes them again.
    void releaseChildren() { m_children.reset(); }

    // Value text of a scalar: "null", "true"/"false", "%d", "%g", "/Name",
    // the decoded text string; "" for everything else.
    QString value() const;

    // The stream's data with its filters undone (JPEG and JPEG 2000 data
    // stay coded), limited to what the stream can sensibly need.
    std::optional<QByteArray> streamData() const;
    std::optional<PdfStreamData> streamDataWithFormat(DecodeCause *cause = nullptr) const;
    const PdfObject &stream() const { return m_object; }
    const PdfObject &object() const { return m_object; }

    QByteArray stringData() const;

    // Identity of the underlying object: equal for the same resolved object,
    // different for different objects of one open document.
    // Its text ("12 0"); objectKey() is the identity itself.
    QString object2Name() const;
    ObjectKey objectKey() const;
    // Gives a node over an object that is not the document's (an inline
    // image's stream) an identity of its own.
    void setIdentity(const ObjectKey &key) { m_identity = std::make_unique<ObjectKey>(key); }

private:
    OstrelNode() = default;

    std::int32_t m_type = PdfTypeInvalid;
    PdfObject m_object;
    bool m_isRoot = false;
    QString m_name;
    std::unique_ptr<ObjectKey> m_identity; // rare: a pointer keeps every other node small
    std::optional<ChildList> m_children;
};

// The value text of a scalar object, as OstrelNode::value() gives it.
QString valueText(const PdfObject &object);

// The objects a node over `object` has as children, in the same order: a
// dictionary's (or stream's) values in key order, an array's elements; the
// invalid ones left out. None for an object that cannot have children.
std::optional<std::vector<PdfObject>> childObjectsOf(const PdfObject &object);

} // namespace zembrix
