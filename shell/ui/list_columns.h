#pragma once
// TVelShListColumns: the file list's columns and their memory. The columns of a
// folder shown for the first time share the control's width in four; a folder's
// remembered layout (widths, order, sort column and directions, see
// column_memory.h) is put back whenever it is shown, and kept when another is
// shown or the control goes. The memory file is read when it is named and
// written at the end.
//
// GUI thread only.
#include "shell/items/column_memory.h"

#include <string>

class QHeaderView;
class QWidget;

namespace kelvora {

class TVelShFileList;

class TVelShListColumns {
public:
    TVelShListColumns(QWidget& control, QHeaderView& header) : control_(control), header_(header) {}

    TVelShColumnList& Memory() { return memory_; }
    const std::string& File() const { return file_; }
    // Reads the file (replacing what was remembered).
    void SetFile(const std::string& fileName);
    bool Write() const;
    // The program's file name with the extension ".dat".
    static std::string DefaultFile();

    // A new list takes its folder's remembered sort column and directions.
    void Restore(TVelShFileList& list) const;
    // Columns a quarter of the control wide; once it is shown, if it is not yet.
    void Rebuild();
    // Puts the remembered widths and order of list's folder back.
    void Apply(TVelShFileList* list);
    // Remembers the layout of list's folder.
    void Save(TVelShFileList* list);
    void ShowSortIndicator(TVelShFileList* list);
    // The control was shown: columns waiting for its width get it.
    void Shown(TVelShFileList* list);

private:
    QWidget& control_;
    QHeaderView& header_;
    TVelShColumnList memory_;
    std::string file_;
    bool pending_ = false; // columns to size once the control is shown
};

} // namespace kelvora
