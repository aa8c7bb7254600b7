#pragma once
// The test classes of the folder tree and file list; tst_views_main.cpp runs them.
#include "tests/support/qtest_strings.h"

#include <QObject>

namespace kelvora::test {
// The test process has a mount namespace of its own (it runs as root).
extern bool privateMounts;
} // namespace kelvora::test

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

// Drops, label editing, drives coming and going, what is watched first, and
// drives that do not answer.
class ViewChangesTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void dropsGoWhereThePointerIs_data();
    void dropsGoWhereThePointerIs();
    void aTakenNameIsAskedAndNothingIsLost_data();
    void aTakenNameIsAskedAndNothingIsLost();
    void dragEventsCanRefuseAndTakeOver();
    void labelsAreEditedInPlace();
    void refusedNamesShowTheirReason_data();
    void refusedNamesShowTheirReason();
    void drivesComeGoAndChangeTheirLabel();
    void anOpenFolderDeepUnderHomeIsWatchedFirst();
    void aHungDriveNeverHoldsTheWindow();
    void aSlowDrivesBranchesAreReadOffTheGuiThread();

private:
    long liveIDs_ = 0;
};

// The large-icon style's thumbnails, with real pictures and real worker threads.
class ThumbnailTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void picturesShowTypeIconsThenThumbnails();
    void otherStylesAskNothing_data();
    void otherStylesAskNothing();
    void anotherFolderCancelsAndLateResultsNeverShow();
    void rowsInViewAreAskedFirst();
    void aChangedFileIsMadeAgain();
    void memoryKeepsTheRecentWithinItsBound_data();
    void memoryKeepsTheRecentWithinItsBound();

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
