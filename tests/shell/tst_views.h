#pragma once
// The test classes of the folder tree and file list; tst_views_main.cpp runs them.
#include "tests/support/qtest_strings.h"

#include <QObject>

class TreeViewTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstViewShowsDesktopAndComputerOpen();
    void branchesFillWhenOpenedAndMergeKeepsState();
    void heldArrowKeyUpdatesTheListOnceAfterTheDelay();
    void pendingChangeOfADeletedNodeIsDropped();
    void pressSelectsOnlyOnRelease_data();
    void pressSelectsOnlyOnRelease();
    void newFolderAppearsAfterNotification();
    void selectPathFollowsTheList();
    void filtersDecideWhatBecomesANode();
    void driveWithoutMediumOpensEmpty();
    void anAddedDriveIsWatchedAndShown();

private:
    long liveIDs_ = 0;
};

class ListViewTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void viewStylesKeepRowsSelectionAndFocus();
    void headerClicksSortEachColumnItsOwnWay_data();
    void headerClicksSortEachColumnItsOwnWay();
    void detailTexts_data();
    void detailTexts();
    void columnsOfFileSystemAndVirtualFolders();
    void contentsAndFiltersDecideTheRows();
    void hiddenAndLinkedRowsLookDifferent();
    void cacheKeepsSelectionAndDropsTheOldest();
    void deletedShownFolderShowsItsParent();
    void changesKeepTheSelection();
    void openingRows_data();
    void openingRows();
    void typingFindsTheNextRow();
    void selectionEventsAndTotals();
    void dragCarriesTheSelectedRows();
    void columnLayoutSurvivesARestart();
    void clipboardReportsShellItems();
    void suspendedNotificationKeepsTheFolders();

private:
    long liveIDs_ = 0;
};

class ColumnMemoryTest : public QObject {
    Q_OBJECT
private slots:
    void commaText_data();
    void commaText();
    void linesThatDoNotParseAreSkipped();
};
