// The column memory file: the comma-text rules and lines that do not parse.
#include "tests/shell/ui/tst_views.h"

#include "shell/items/column_memory.h"

#include <QTest>

using namespace kelvora;

void ColumnMemoryTest::commaText_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("plain") << "a,1,2" << QStringList{"a", "1", "2"};
    QTest::newRow("quoted keeps commas and blanks") << "\"/a b,c\",0" << QStringList{"/a b,c", "0"};
    QTest::newRow("doubled quote") << "\"say \"\"hi\"\"\",1" << QStringList{"say \"hi\"", "1"};
    QTest::newRow("blanks separate") << "a b  c" << QStringList{"a", "b", "c"};
    QTest::newRow("blanks around commas") << "  a , b ,c" << QStringList{"a", "b", "c"};
    QTest::newRow("trailing comma") << "a," << QStringList{"a", ""};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("unclosed quote") << "\"a,b" << QStringList{"a,b"};
    QTest::newRow("multibyte key") << "\"/写真 2024\",0" << QStringList{"/写真 2024", "0"};
}

void ColumnMemoryTest::commaText() {
    QFETCH(QString, line);
    QFETCH(QStringList, fields);
    QStringList got;
    for (const std::string& f : TVelShColumnList::SplitCommaText(line.toStdString()))
        got << QString::fromStdString(f);
    QCOMPARE(got, fields);
}

void ColumnMemoryTest::linesThatDoNotParseAreSkipped() {
    TVelShColumnList memory;
    memory.SetText("\"/good\",1,0,180,1,1,120,-1\r\n"
                   "\"/letters\",x,0,1,1\r\n"
                   "\"/cut\",0,0,180\r\n"
                   "\"/range\",300,0,1,1\r\n"
                   "\"/also good\",0,1,90,1,0,60,-1\r\n"
                   "\"/good\",3\r\n"); // a key's first line counts
    QCOMPARE(memory.Count(), 2);
    const TVelShColumnInfos* good = memory.Find("/good");
    QVERIFY(good);
    QCOMPARE(good->sortColumn, 1);
    QCOMPARE(int(good->columns.size()), 2);
    QCOMPARE(good->columns[1].width, 120);
    QCOMPARE(good->columns[1].direction, -1);
    QCOMPARE(memory.Text(), std::string("\"/good\",1,0,180,1,1,120,-1\r\n"
                                        "\"/also good\",0,1,90,1,0,60,-1\r\n"));
}
