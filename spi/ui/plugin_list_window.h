#pragma once
// The plug-in list window: one row per plug-in the manager has loaded (name,
// about text, first extension mask, first format name), rebuilt each time the
// window is shown. Closing it only hides it.
#include <QWidget>

class QTreeWidget;

namespace kelvora {

class TSPIs;

class TForm2 : public QWidget {
    Q_OBJECT
public:
    // spis: the main window's manager (may be null: the list stays empty).
    explicit TForm2(const TSPIs* spis, QWidget* parent = nullptr);

    QTreeWidget* ListView1;

    // Runs each time the window turns from hidden to visible.
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;

private:
    const TSPIs* spis_;
    bool sized_ = false;
};

} // namespace kelvora
