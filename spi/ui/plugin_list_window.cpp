#include "spi/ui/plugin_list_window.h"

#include "base/codepage.h"
#include "spi/spis.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kelvora {

TForm2::TForm2(const TSPIs* spis, QWidget* parent) : QWidget(parent, Qt::Window), spis_(spis) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("読み込まれているSusie PlugIn一覧"));
    resize(696, 480);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setColumnCount(4);
    ListView1->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("About"),
                                QStringLiteral("Ext"), QStringLiteral("Format")});
    ListView1->setRootIsDecorated(false);
    ListView1->header()->setStretchLastSection(false); // widths are set on show only
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setStyleSheet(
        QStringLiteral("QTreeView::item { border-right: 1px solid palette(mid); "
                       "border-bottom: 1px solid palette(mid); }"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ListView1);
}

void TForm2::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    // The stored size is the outer one; the frame is known once the window is shown.
    if (!sized_) {
        sized_ = true;
        const QSize frame = frameGeometry().size() - size();
        if (!frame.isEmpty())
            resize(QSize(696, 480) - frame);
    }
    FormShow();
}

void TForm2::FormShow() {
    const int columnWidth = frameGeometry().width() / ListView1->columnCount();
    for (int i = 0; i < ListView1->columnCount(); ++i)
        ListView1->setColumnWidth(i, columnWidth);
    ListView1->setUpdatesEnabled(false);
    ListView1->clear();
    for (int i = 0; spis_ && i < spis_->Count(); ++i) {
        const TSPI* spi = spis_->Items(i);
        // A plug-in without extension pairs shows empty cells.
        const bool pair = spi->Extensions().count() > 0;
        new QTreeWidgetItem(ListView1, {toQ(spi->FileName()), toQ(spi->About()),
                                        pair ? toQ(spi->Extensions()[0]) : QString(),
                                        pair ? toQ(spi->FormatNames()[0]) : QString()});
    }
    ListView1->setUpdatesEnabled(true);
}

} // namespace kelvora
