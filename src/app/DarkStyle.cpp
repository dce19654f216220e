#include "DarkStyle.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace zembrix {

void applyDarkStyle(QApplication &app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QColor window(43, 43, 46);
    const QColor base(30, 30, 32);
    const QColor text(214, 214, 214);
    const QColor dim(120, 120, 124);
    const QColor highlight(58, 102, 164);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(36, 36, 39));
    p.setColor(QPalette::ToolTipBase, QColor(55, 55, 58));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, dim);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(58, 58, 62));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, QColor(70, 70, 74));
    p.setColor(QPalette::Midlight, QColor(60, 60, 64));
    p.setColor(QPalette::Mid, QColor(40, 40, 43));
    p.setColor(QPalette::Dark, QColor(25, 25, 27));
    p.setColor(QPalette::Shadow, QColor(15, 15, 16));
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(110, 160, 230));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, dim);
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(38, 38, 41));
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(70, 70, 74));
    app.setPalette(p);
    app.setStyleSheet(
        QStringLiteral("QLabel#sectionLabel { color: #9a9aa0; font-weight: bold; letter-spacing: 1px; padding: 2px 0; }"
                       "QTableView, QListView, QPlainTextEdit { border: 1px solid #1c1c1e; border-radius: 4px; }"
                       "QListView#imageBrowser { background: #242427; }"
                       "QPlainTextEdit#infoStatusText { background: #1e1e20; color: #d0d0d0; padding: 4px; }"
                       "QHeaderView::section { background: #333336; color: #b4b4b8; border: none;"
                       " border-bottom: 1px solid #1c1c1e; padding: 4px 6px; }"
                       "QLineEdit, QComboBox { min-height: 22px; }"
                       "QSplitter::handle { background: transparent; }"
                       "QToolTip { border: 1px solid #555; }"));
}

} // namespace zembrix
