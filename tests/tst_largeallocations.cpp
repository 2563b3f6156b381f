// The window's large blocks from operator new (the editor's text and styles)
// come with huge-page advice: the kernel sees it in the mapping's flags.
#include <QFile>
#include <QTest>

#include <cstdint>
#include <memory>

namespace {

// The VmFlags of the mapping that holds the address, from /proc/self/smaps.
QByteArrayList MappingFlags(const void* address)
{
    QFile smaps("/proc/self/smaps");
    if (!smaps.open(QIODevice::ReadOnly))
        return {};
    const auto where = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    for (const QByteArray& line : smaps.readAll().split('\n')) {
        const qsizetype dash = line.indexOf('-');
        const qsizetype space = line.indexOf(' ');
        // A mapping's first line starts with its range, "from-to perms ...".
        if (dash > 0 && space > dash && !line.left(space).contains(':')) {
            const std::uintptr_t from = line.left(dash).toULongLong(nullptr, 16);
            const std::uintptr_t to = line.mid(dash + 1, space - dash - 1).toULongLong(nullptr, 16);
            inside = where >= from && where < to;
        } else if (inside && line.startsWith("VmFlags:")) {
            return line.mid(8).simplified().split(' ');
        }
    }
    return {};
}

} // namespace

class TestLargeAllocations : public QObject {
    Q_OBJECT
private slots:
    void largeBlocksAreAdvisedHugePages()
    {
        constexpr std::size_t Size = 24 * 1024 * 1024;
        const std::unique_ptr<char[]> block(new char[Size]);
        const char* middle = block.get() + Size / 2;
        QVERIFY(MappingFlags(middle).contains("hg"));
        std::fill(block.get(), block.get() + Size, 'x'); // usable to the end
        QCOMPARE(block[Size - 1], 'x');

        const std::unique_ptr<char[]> small(new char[64 * 1024]);
        QVERIFY(!MappingFlags(small.get()).isEmpty());
        QVERIFY(!MappingFlags(small.get()).contains("hg"));
    }
};

QTEST_GUILESS_MAIN(TestLargeAllocations)
#include "tst_largeallocations.moc"
