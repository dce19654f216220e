#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QPlainTextEdit;
class QToolButton;

namespace zembrix {

class PDFImageStruct;

// The information area below the browser: the summary of files and images
// on the left and, for one selected image, its facts laid out as labelled
// values on the right (name, file, page, object, size, bits per component,
// colour space, filter, placed resolution, compressed size, then the image
// reader's own properties). A header button collapses it to one line.
// Main thread.
class InfoArea : public QWidget
{
    Q_OBJECT
public:
    // `summary` is the status text view; the area takes it into its body.
    explicit InfoArea(QPlainTextEdit *summary, QWidget *parent = nullptr);

    // The image whose facts show, from the PDF `filePath`; none clears them.
    void showImage(const std::shared_ptr<PDFImageStruct> &image, const QString &filePath);
    bool showsImage() const { return m_showsImage; }
    // The text of the value labelled `label` ("Object"); empty when none.
    QString value(const QString &label) const;

    void setCollapsed(bool collapsed);

signals:
    void collapsedChanged(bool collapsed);

private:
    QToolButton *m_toggle;
    QWidget *m_body;
    QWidget *m_details;
    QLabel *m_placeholder;
    QList<QPair<QLabel *, QLabel *>> m_fields;
    QPlainTextEdit *m_properties;
    bool m_showsImage = false;
    bool m_collapsed = false;
};

} // namespace zembrix
