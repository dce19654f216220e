#include "InfoArea.h"

#include "images/PDFImageStruct.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace zembrix {

namespace {

const char *const kLabels[] = {
    QT_TRANSLATE_NOOP("InfoArea", "Name"),         QT_TRANSLATE_NOOP("InfoArea", "File"),
    QT_TRANSLATE_NOOP("InfoArea", "Pages"),        QT_TRANSLATE_NOOP("InfoArea", "Object"),
    QT_TRANSLATE_NOOP("InfoArea", "Size"),         QT_TRANSLATE_NOOP("InfoArea", "Bits per component"),
    QT_TRANSLATE_NOOP("InfoArea", "Colour space"), QT_TRANSLATE_NOOP("InfoArea", "Filter"),
    QT_TRANSLATE_NOOP("InfoArea", "Placed at"),    QT_TRANSLATE_NOOP("InfoArea", "Compressed"),
};
constexpr int kFieldCount = int(std::size(kLabels));

// A PDF name without its slash; a dash for none.
QString nameText(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("\u2013");
    return name.startsWith(QLatin1Char('/')) ? name.mid(1) : name;
}

// Pages as runs: "1, 3\u20135, 9".
QString pagesText(QList<int> pages, int first)
{
    if (pages.isEmpty() && first > 0)
        pages = {first};
    if (pages.isEmpty())
        return QStringLiteral("\u2013");
    std::sort(pages.begin(), pages.end());
    QStringList runs;
    for (qsizetype i = 0; i < pages.size();) {
        qsizetype j = i;
        while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1)
            ++j;
        runs << (j == i ? QString::number(pages[i]) : QStringLiteral("%1\u2013%2").arg(pages[i]).arg(pages[j]));
        i = j + 1;
    }
    return runs.join(QStringLiteral(", "));
}

} // namespace

InfoArea::InfoArea(QPlainTextEdit *summary, QWidget *parent)
    : QWidget(parent)
    , m_toggle(new QToolButton)
    , m_body(new QWidget)
    , m_details(new QWidget)
    , m_placeholder(new QLabel(tr("Select one image to see its facts here.")))
    , m_properties(new QPlainTextEdit)
{
    setObjectName(QStringLiteral("infoArea"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    m_toggle->setObjectName(QStringLiteral("infoToggle"));
    m_toggle->setText(tr("INFORMATION"));
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toggle->setArrowType(Qt::DownArrow);
    m_toggle->setAutoRaise(true);
    m_toggle->setToolTip(tr("Show or hide the information area"));
    connect(m_toggle, &QToolButton::clicked, this, [this] { setCollapsed(!m_collapsed); });
    layout->addWidget(m_toggle, 0, Qt::AlignLeft);

    auto *body = new QHBoxLayout(m_body);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(10);
    summary->setMinimumWidth(180);
    summary->setMaximumWidth(420);
    body->addWidget(summary, 2);

    auto *grid = new QGridLayout(m_details);
    grid->setContentsMargins(8, 4, 4, 4);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(3);
    for (int i = 0; i < kFieldCount; ++i) {
        auto *label = new QLabel(tr(kLabels[i]));
        label->setObjectName(QStringLiteral("infoLabel"));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setStyleSheet(QStringLiteral("color: #9a9aa0;"));
        auto *value = new QLabel;
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setMinimumWidth(40);
        value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        // Two columns of five facts each.
        const int row = i % 5;
        const int column = (i / 5) * 2;
        grid->addWidget(label, row, column);
        grid->addWidget(value, row, column + 1);
        m_fields.append(qMakePair(label, value));
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    m_properties->setReadOnly(true);
    m_properties->setObjectName(QStringLiteral("readerProperties"));
    m_properties->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_properties->setMinimumWidth(100);
    grid->addWidget(m_properties, 0, 4, 5, 1);
    grid->setColumnStretch(4, 1);
    body->addWidget(m_details, 5);
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setStyleSheet(QStringLiteral("color: #808086;"));
    body->addWidget(m_placeholder, 5);
    m_details->hide();
    layout->addWidget(m_body, 1);
}

void InfoArea::showImage(const std::shared_ptr<PDFImageStruct> &image, const QString &filePath)
{
    m_showsImage = image != nullptr;
    m_details->setVisible(m_showsImage);
    m_placeholder->setVisible(!m_showsImage);
    if (!image)
        return;
    const ImageSource s = image->source();
    const QLocale locale;
    const auto number = [&](double v) { return locale.toString(qint64(v)); };
    const QString values[kFieldCount] = {
        image->imagename(),
        QFileInfo(filePath).fileName(),
        pagesText(s.pages, s.page),
        s.objectKey.isEmpty() ? QStringLiteral("\u2013") : s.objectKey,
        QStringLiteral("%1 \u00d7 %2 px").arg(number(s.width), number(s.height)),
        s.bitsPerComponent > 0 ? QString::number(s.bitsPerComponent) : QStringLiteral("\u2013"),
        nameText(s.colorSpace),
        nameText(s.filter),
        s.xPpi > 0 ? QStringLiteral("%1 \u00d7 %2 ppi").arg(qRound(s.xPpi)).arg(qRound(s.yPpi)) : tr("not drawn"),
        s.compressedBytes >= 0 ? locale.formattedDataSize(s.compressedBytes) : QStringLiteral("\u2013"),
    };
    for (int i = 0; i < kFieldCount; ++i) {
        QLabel *value = m_fields[i].second;
        value->setText(values[i]);
        value->setToolTip(i == 1 ? filePath
                          : i == kFieldCount - 1 && s.compressedBytes >= 0
                              ? tr("%1 bytes").arg(locale.toString(s.compressedBytes))
                              : values[i]);
    }
    m_properties->setPlainText(image->info());
}

QString InfoArea::value(const QString &label) const
{
    for (const auto &[name, value] : m_fields)
        if (name->text() == label)
            return m_showsImage ? value->text() : QString();
    return {};
}

void InfoArea::setCollapsed(bool collapsed)
{
    if (collapsed == m_collapsed)
        return;
    m_collapsed = collapsed;
    m_body->setVisible(!collapsed);
    m_toggle->setArrowType(collapsed ? Qt::RightArrow : Qt::DownArrow);
    setMaximumHeight(collapsed ? m_toggle->sizeHint().height() + 2 : QWIDGETSIZE_MAX);
    emit collapsedChanged(collapsed);
}

} // namespace zembrix
