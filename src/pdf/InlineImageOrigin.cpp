#include "InlineImageOrigin.h"

#include "ContentLexer.h"

#include <qpdf/QPDFObjectHandle.hh>

#include <exception>

namespace zembrix {

namespace {

bool isDeviceSpace(const std::string &name)
{
    return name == "/DeviceGray" || name == "/DeviceRGB" || name == "/DeviceCMYK" || name == "/Indexed"
           || name == "/Pattern";
}

// A colour space given by a name of the resources: the space they hold.
QPDFObjectHandle resolved(QPDFObjectHandle space, QPDFObjectHandle spaces)
{
    if (!space.isName() || isDeviceSpace(space.getName()) || !spaces.isDictionary() || !spaces.hasKey(space.getName()))
        return space;
    return spaces.getKey(space.getName());
}

} // namespace

InlineImageOrigin makeInlineImageOrigin(const ObjectKey &ownerKey, QByteArrayView content, const InlineImageSpan &span,
                                        const PdfObject &resources)
{
    InlineImageOrigin origin;
    origin.ownerKey = ownerKey;
    origin.contentLength = content.size();
    origin.dataBegin = span.dataBegin;
    origin.dataEnd = span.dataEnd;
    try {
        QPDFObjectHandle dict =
            readInlineImageDictionary(content.sliced(span.dictBegin, span.dictEnd - span.dictBegin));
        QPDFObjectHandle all = resources.handle() ? *resources.handle() : QPDFObjectHandle::newNull();
        QPDFObjectHandle spaces = all.isDictionary() ? all.getKey("/ColorSpace") : QPDFObjectHandle::newNull();
        QPDFObjectHandle space = dict.getKey("/ColorSpace");
        if (space.isArray() && space.getArrayNItems() >= 2 && space.getArrayItem(0).isName()
            && space.getArrayItem(0).getName() == "/Indexed") // [/I /CS0 255 <...>]
            space.setArrayItem(1, resolved(space.getArrayItem(1), spaces));
        else if (space.isName())
            dict.replaceKey("/ColorSpace", resolved(space, spaces));
        dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
        dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
        origin.dictionary = QByteArray::fromStdString(dict.unparse());
    } catch (const std::exception &) {
        origin.dictionary = "<< >>";
    }
    return origin;
}

} // namespace zembrix
