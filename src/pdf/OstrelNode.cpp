#include "OstrelNode.h"

namespace zembrix {

std::unique_ptr<OstrelNode> OstrelNode::initWithCatalog(const PdfObject &catalog)
{
    std::unique_ptr<OstrelNode> node(new OstrelNode);
    node->m_type = PdfTypeDictionary;
    node->m_object = catalog;
    node->m_isRoot = true;
    return node;
}

std::unique_ptr<OstrelNode> OstrelNode::initWithObject(const PdfObject &object, const QString &name)
{
    std::unique_ptr<OstrelNode> node(new OstrelNode);
    node->m_object = object;
    node->m_type = object.type();
    node->m_name = name;
    return node;
}

// A tree as deep as a hostile page tree is taken down from a list rather
// than by each node destroying its children in turn.
OstrelNode::~OstrelNode()
{
    if (!m_children)
        return;
    ChildList pending = std::move(*m_children);
    while (!pending.empty()) {
        std::unique_ptr<OstrelNode> node = std::move(pending.back());
        pending.pop_back();
        if (node->m_children) {
            for (std::unique_ptr<OstrelNode> &child : *node->m_children)
                pending.push_back(std::move(child));
            node->m_children.reset();
        }
    }
}

const OstrelNode::ChildList *OstrelNode::children()
{
    if (m_children)
        return &*m_children;
    if (m_type == PdfTypeDictionary || m_type == PdfTypeStream) {
        ChildList list;
        list.reserve(size_t(std::max(0, m_object.dictionaryCount())));
        m_object.forEachEntry([&](const QByteArray &key, const PdfObject &value) {
            if (value.isValid())
                list.push_back(initWithObject(value, QLatin1Char('/') + QString::fromLatin1(key)));
        });
        m_children = std::move(list);
        return &*m_children;
    }
    if (m_type == PdfTypeArray) {
        ChildList list;
        const int count = m_object.arrayCount();
        list.reserve(size_t(std::max(0, count)));
        for (int i = 0; i < count; ++i) {
            PdfObject element = m_object.at(i);
            if (element.isValid())
                list.push_back(initWithObject(element, QString::number(i)));
        }
        m_children = std::move(list);
        return &*m_children;
    }
    return nullptr;
}

QString OstrelNode::value() const
{
    return valueText(m_object);
}

QString valueText(const PdfObject &object)
{
    switch (object.type()) {
    case PdfTypeNull: return QStringLiteral("null");
    case PdfTypeBoolean: {
        bool b = false;
        object.getBoolean(&b);
        return b ? QStringLiteral("true") : QStringLiteral("false");
    }
    case PdfTypeInteger: {
        std::int32_t v = 0;
        object.getInteger(&v);
        return QString::number(v);
    }
    case PdfTypeReal: {
        double v = 0;
        object.getNumber(&v);
        return QString::asprintf("%g", v);
    }
    case PdfTypeName: return QLatin1Char('/') + QString::fromLatin1(object.name().value_or(QByteArray()));
    case PdfTypeString: return object.textString().value_or(QString());
    default: return QString();
    }
}

std::optional<std::vector<PdfObject>> childObjectsOf(const PdfObject &object)
{
    std::vector<PdfObject> children;
    const std::int32_t type = object.type();
    if (type == PdfTypeDictionary || type == PdfTypeStream) {
        object.forEachEntry([&children](const QByteArray &, const PdfObject &value) {
            if (value.isValid())
                children.push_back(value);
        });
        return children;
    }
    if (type != PdfTypeArray)
        return std::nullopt;
    const int count = object.arrayCount();
    for (int i = 0; i < count; ++i)
        if (PdfObject element = object.at(i); element.isValid())
            children.push_back(std::move(element));
    return children;
}

std::optional<QByteArray> OstrelNode::streamData() const
{
    std::optional<PdfStreamData> data = streamDataWithFormat();
    if (!data)
        return std::nullopt;
    return std::move(data->bytes);
}

std::optional<PdfStreamData> OstrelNode::streamDataWithFormat(DecodeCause *cause) const
{
    if (m_type != PdfTypeStream)
        return std::nullopt;
    return m_object.copyStreamData(m_object.decodedSizeLimit(), cause);
}

QByteArray OstrelNode::stringData() const
{
    return m_object.stringBytes().value_or(QByteArray());
}

QString OstrelNode::object2Name() const
{
    return m_identity ? m_identity->text() : m_object.identityKey();
}

ObjectKey OstrelNode::objectKey() const
{
    return m_identity ? *m_identity : m_object.objectKey();
}

} // namespace zembrix
