#pragma once
// TShListThumbnails: the large-icon style's thumbnails of the shown folder's
// picture files, between the list's model and a TShThumbnailLoader.
//
// Design
// - On only while a producer is set and the large-icon style is shown; the
//   other styles ask nothing and draw what they always drew.
// - A row is a picture file when its extension is one the picture loader
//   reads (built in or through a plug-in). It shows its type icon, at the
//   cell's size, until its thumbnail is ready; what the memory cache holds for
//   it from an earlier visit shows at once and is checked again. Rows that are
//   no picture, or give none, keep the type icon. Link overlays and the fading
//   of hidden items are drawn on thumbnails too.
// - Whenever the rows are shown anew (another folder, the folder read again
//   after a change, sorted) the earlier jobs are cancelled and every picture row
//   is looked at again: the memory cache answers for files that did not change,
//   a changed file loses its thumbnail and gets a new one. The rows in view go
//   first, then those below, then those above; scrolling and resizing reorder
//   the work (once per event loop turn).
// - A thumbnail that arrives updates its row alone (dataChanged of its index);
//   the pixmap is made from the worker's image only when the row is drawn.
//
// Threads: GUI thread; the loader's workers make the thumbnails.
#include "shell/ui/thumbnail_loader.h"
#include "shell/ui/thumbnail_memory.h"

#include <QIcon>
#include <QObject>
#include <QVariant>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class QListView;

namespace kelvora {

class TVelShFileData;
class TVelShFileList;
class TVelShListModel;

class TShListThumbnails : public QObject {
    Q_OBJECT
public:
    // The side of the square a thumbnail is drawn in, in logical pixels.
    static constexpr int kBox = 96;

    TShListThumbnails(QListView& view, TVelShListModel& model, QObject* parent = nullptr);
    ~TShListThumbnails() override;

    // Null: no thumbnails.
    void SetProducer(TThumbnailProducer producer);
    bool HasProducer() const { return static_cast<bool>(producer_); }
    // Whether the large-icon style is shown.
    void SetLargeIcons(bool on);
    bool Active() const { return largeIcons_ && producer_; }
    // The rows were shown anew (the model was reset to list).
    void Shown(TVelShFileList* list);
    // What a row draws as its icon; an invalid variant where the usual icon applies.
    QVariant Decoration(int row, TVelShFileData* data);

    TShThumbnailMemory& Memory() { return memory_; }
    TShThumbnailLoader* Loader() const { return loader_.get(); }
    // Picture rows not yet looked at since the rows were shown (those showing a
    // thumbnail from an earlier visit included).
    int Waiting() const;
    // The row shows a thumbnail.
    bool HasThumbnail(int row) const;
    // The row is a picture that shows its type icon until its thumbnail is ready.
    bool Waits(int row) const;

private:
    enum class State : std::uint8_t { NoPicture, Waiting, Shown, Failed };
    struct Row {
        std::string path;
        State state = State::NoPicture;
        bool checked = false; // looked at since the rows were shown
        QImage image;
        QIcon icon; // made from image when first drawn
    };
    void restart();
    void clearRows();
    void schedule();
    // Hands the loader the rows to look at, those in view first.
    void request();
    // The first and last row in the view's viewport.
    std::pair<int, int> rowsInView() const;
    void deliver(std::vector<TShThumbnailLoader::TResult>& results);

    QListView& view_;
    TVelShListModel& model_;
    TShThumbnailMemory memory_;
    TThumbnailProducer producer_;
    std::unique_ptr<TShThumbnailLoader> loader_;
    TVelShFileList* list_ = nullptr;
    std::vector<Row> rows_;
    std::unordered_map<std::string, int> rowOfPath_;
    qreal ratio_ = 1.0;
    bool largeIcons_ = false;
    bool scheduled_ = false;
};

} // namespace kelvora
