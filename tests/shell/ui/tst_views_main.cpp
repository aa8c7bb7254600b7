// Runs the tree, list and column memory tests in one headless process.
#include "tests/shell/ui/tst_views.h"

#include "tests/shell/hung_mount.h"

#include <QApplication>
#include <QTest>
#include <clocale>

namespace kelvora::test {
bool privateMounts = false;
}

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // Before any thread starts, so that every thread shares the namespace.
    kelvora::test::privateMounts = kelvora::test::EnterPrivateMountNamespace();
    QApplication app(argc, argv);
    // A class name as the first argument runs only that class (with the rest
    // of the arguments), e.g. "tst_shell_views TreeViewTest -v2".
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const bool chosen = only.endsWith(QLatin1String("Test"));
    if (chosen) {
        argv[1] = argv[0];
        ++argv;
        --argc;
    }
    ColumnMemoryTest columnMemory;
    TreeViewTest tree;
    ListViewTest list;
    ViewChangesTest changes;
    ThumbnailTest thumbnails;
    int failed = 0;
    for (QObject* test : {static_cast<QObject*>(&columnMemory), static_cast<QObject*>(&tree),
                          static_cast<QObject*>(&list), static_cast<QObject*>(&changes),
                          static_cast<QObject*>(&thumbnails)}) {
        if (!chosen || only == QLatin1String(test->metaObject()->className()))
            failed += QTest::qExec(test, argc, argv);
    }
    return failed ? 1 : 0;
}
