// SPDX-License-Identifier: GPL-3.0-or-later
// Recovery data: GF(2^16) and the packets against published values, sets
// written here and checked by Debian's par2, sets written by par2 and
// repaired here, damage, hostile files and bounded memory.
#include "common/TestUtil.h"
#include "core/OperationError.h"
#include "recovery/Gf16.h"
#include "recovery/Packets.h"
#include "recovery/RecoveryRepair.h"
#include "recovery/RecoverySet.h"
#include "recovery/RecoveryWriter.h"
#include "recovery/Tasks.h"
#include "split/SplitCheckFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QtEndian>
#include <QtTest>
#include <atomic>
#include <thread>

using namespace tfs;
using namespace testutil;

namespace {

QString hex(const Digest& d) { return QString::fromLatin1(hexOf(d)); }

// Runs par2 in `folder`; its exit status (-1 when it can't run).
int runPar2(const QString& folder, const QStringList& args) {
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(QStringLiteral("par2"), args);
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit) return -1;
    return p.exitCode();
}

// movie.avi in `parts` parts of `partSize` bytes (the last `lastSize`),
// written into `folder`; returns the names.
QStringList makeParts(const QString& folder, int parts, qint64 partSize, qint64 lastSize) {
    QStringList names;
    for (int i = 1; i <= parts; ++i) {
        const QString name = QStringLiteral("movie.avi.%1").arg(i, 3, 10, QLatin1Char('0'));
        makeFile(folder + name, i == parts ? lastSize : partSize, quint32(i * 7919));
        names.append(name);
    }
    return names;
}

bool writeOurs(const QString& folder, const QStringList& names, int percent,
               qint64 memory = RecoveryMemory, const QList<PartCrc>& crcs = {}) {
    QList<qint64> sizes;
    for (const QString& n : names)
        sizes.append(QFileInfo(folder + n).size());
    const RecoveryPlan plan = planRecovery(QStringLiteral("movie.avi"), sizes, percent);
    quint8 flag = 0;
    return writeRecoveryFiles(folder, names, plan, EngineHooks{}, CancelRequest(flag), memory,
                              crcs);
}

// Reads, checks and (when asked) repairs the set beside `folder`'s movie.avi.
SetCheck checkOurs(const QString& folder, bool repair, qint64 memory = RecoveryMemory) {
    const RecoverySet set =
        readRecoverySet(recoveryFilesFor(folder + QStringLiteral("movie.avi.001")));
    SetCheck check;
    quint8 flag = 0;
    checkSet(set, check, EngineHooks{}, CancelRequest(flag), memory);
    if (repair) repairSet(set, check, EngineHooks{}, CancelRequest(flag), memory);
    return check;
}

void damage(const QString& path, qint64 at, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek(at));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Damages the body of the first copy of every critical packet (main,
// description, slice checksums) in a recovery file: only later copies of
// them are whole.
void damageFirstCriticalCopies(const QString& path) {
    const QByteArray bytes = readFile(path);
    QSet<QByteArray> seen;
    for (qint64 at = 0; at + 64 <= bytes.size();) {
        const qint64 length = qFromLittleEndian<qint64>(bytes.constData() + at + 8);
        const QByteArray type = bytes.mid(at + 48, 16);
        if (length < 64) return;
        if (!type.contains("RecvSlic") && !type.contains("Creator") &&
            !seen.contains(bytes.mid(at + 16, 16))) {
            seen.insert(bytes.mid(at + 16, 16));
            damage(path, at + 64, "X");
        }
        at += length;
    }
}

} // namespace

class TestRecovery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("par2")).isEmpty())
            QSKIP("Debian's par2 is not installed (tools/install-deps)");
    }

    // Published values of PAR2's field, and every region kernel against the
    // log tables over lengths around the vector width.
    void field() {
        QCOMPARE(gf16::multiply(0x8000, 2), quint16(0x100B));
        QCOMPARE(gf16::multiply(0x1234, 0x5678), quint16(0x6324));
        QCOMPARE(gf16::inverse(2), quint16(0x8805));
        QCOMPARE(gf16::power(2, 16), quint16(0x100B));
        const quint16 constants[] = {2, 4, 16, 128, 256, 2048, 8192, 16384, 4107, 32856, 17132};
        for (quint32 i = 0; i < 11; ++i)
            QCOMPARE(gf16::inputConstant(i), constants[i]);

        const QByteArray src = patternBytes(4098, 3);
        for (gf16::Kernel kernel : gf16::kernels())
            for (qint64 length : {2, 62, 64, 66, 128, 4098})
                for (quint16 factor : {quint16(0), quint16(1), quint16(0x8805), quint16(0xFFFF)}) {
                    QByteArray dst = patternBytes(length, 5), expected = dst;
                    for (qint64 i = 0; i < length; i += 2) {
                        const quint16 w = quint16(uchar(src[i]) | uchar(src[i + 1]) << 8);
                        const quint16 p = gf16::multiply(factor, w);
                        expected[i] = char(expected[i] ^ char(p));
                        expected[i + 1] = char(expected[i + 1] ^ char(p >> 8));
                    }
                    gf16::multiplyAddWith(kernel, factor,
                                          reinterpret_cast<const uchar*>(src.constData()),
                                          reinterpret_cast<uchar*>(dst.data()), length);
                    QVERIFY2(dst == expected, gf16::kernelName(kernel));
                }

        // The prepared layout: two sources summed into an accumulator, then
        // back to words, against the log tables word by word, with every
        // kernel and with the portable steps mixed into the fastest ones.
        const QByteArray other = patternBytes(4096, 9);
        const gf16::Kernel portable = gf16::kernels().front(), fastest = gf16::kernels().back();
        const std::array<gf16::Kernel, 3> mixes[] = {{portable, portable, portable},
                                                     {fastest, fastest, fastest},
                                                     {portable, fastest, portable},
                                                     {fastest, portable, fastest}};
        for (const auto& [prepareWith, multiplyWith, wordsWith] : mixes)
            for (qint64 length : {64, 128, 4096})
                for (quint16 factor : {quint16(0), quint16(1), quint16(0x8805), quint16(0xFFFF)}) {
                    const quint16 second = quint16(factor ^ 0x1234);
                    QByteArray expected(length, '\0');
                    for (qint64 i = 0; i < length; i += 2) {
                        const quint16 p =
                            gf16::multiply(factor,
                                           quint16(uchar(src[i]) | uchar(src[i + 1]) << 8)) ^
                            gf16::multiply(second,
                                           quint16(uchar(other[i]) | uchar(other[i + 1]) << 8));
                        expected[i] = char(p);
                        expected[i + 1] = char(p >> 8);
                    }
                    QByteArray acc(length, '\0'), nibbles(2 * length, '\0');
                    uchar* into = reinterpret_cast<uchar*>(acc.data());
                    uchar* prepared = reinterpret_cast<uchar*>(nibbles.data());
                    gf16::prepareSourceWith(prepareWith,
                                            reinterpret_cast<const uchar*>(src.constData()),
                                            prepared, length);
                    gf16::multiplyAddPreparedWith(multiplyWith, gf16::prepareFactor(factor),
                                                  prepared, into, length);
                    gf16::prepareSourceWith(prepareWith,
                                            reinterpret_cast<const uchar*>(other.constData()),
                                            prepared, length);
                    gf16::multiplyAddPreparedWith(multiplyWith, gf16::prepareFactor(second),
                                                  prepared, into, length);
                    gf16::toWordsWith(wordsWith, into, length);
                    QVERIFY2(acc == expected, qPrintable(QString::number(factor, 16)));
                    // The product by 1 of the words as they are.
                    QByteArray sum = other.left(length);
                    gf16::add(reinterpret_cast<const uchar*>(src.constData()),
                              reinterpret_cast<uchar*>(sum.data()), length);
                    for (qint64 i = 0; i < length; ++i)
                        QCOMPARE(sum[i], char(src[i] ^ other[i]));
                }
    }

    // RFC 1321's vectors, and the MD5s taken several at once (streams of
    // unequal lengths, some with bytes already buffered, added in two calls)
    // against Qt's own MD5 of the same bytes.
    void md5() {
        const char* vectors[][2] = {
            {"", "d41d8cd98f00b204e9800998ecf8427e"},
            {"abc", "900150983cd24fb0d6963f7d28e17f72"},
            {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
            {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
             "57edf4a22be3c955ac49da2e2107b67a"}};
        for (const auto& v : vectors)
            QCOMPARE(hex(Md5::of(v[0], qint64(qstrlen(v[0])))), QString::fromLatin1(v[1]));

        const qint64 lengths[] = {0, 1, 55, 56, 64, 65, 127, 128, 1000, 4096, 70001};
        for (int streams : {1, 2, 7, 8, 9, 17}) {
            std::vector<Md5> md5s(static_cast<size_t>(streams));
            std::vector<QByteArray> heads, data;
            for (int k = 0; k < streams; ++k) {
                heads.push_back(patternBytes(k % 3 == 0 ? 0 : k % 3 == 1 ? 3 : 63, k));
                md5s[size_t(k)].add(heads.back());
                data.push_back(patternBytes(lengths[k % 11] + (streams > 8 ? 4096 : 0), 40 + k));
            }
            for (int call = 0; call < 2; ++call) {
                std::vector<Md5*> all;
                std::vector<const uchar*> from;
                std::vector<qint64> counts;
                for (int k = 0; k < streams; ++k) {
                    const QByteArray& d = data[size_t(k)];
                    const qint64 at = call == 0 ? 0 : d.size() / 2;
                    all.push_back(&md5s[size_t(k)]);
                    from.push_back(reinterpret_cast<const uchar*>(d.constData()) + at);
                    counts.push_back(call == 0 ? d.size() / 2 : d.size() - at);
                }
                Md5::addEach(all.data(), from.data(), counts.data(), streams);
            }
            for (int k = 0; k < streams; ++k)
                QVERIFY2(hexOf(md5s[size_t(k)].result()) ==
                             QCryptographicHash::hash(heads[size_t(k)] + data[size_t(k)],
                                                      QCryptographicHash::Md5)
                                 .toHex(),
                         qPrintable(QStringLiteral("%1 streams, stream %2").arg(streams).arg(k)));
        }
    }

    // The packets of the reference's test vector (two files, 1024-byte
    // slices), with the recovery data of exponents 0 and 1.
    void testVector() {
        QByteArray one(3000, 0), two(1000, 0);
        for (int k = 0; k < 3000; ++k)
            one[k] = char(k % 256);
        for (int k = 0; k < 1000; ++k)
            two[k] = char((7 * k + 1) % 256);
        const Digest id1 = par2::fileIdOf(Md5::of(one), 3000, "part.001");
        const Digest id2 = par2::fileIdOf(Md5::of(two), 1000, "part.002");
        QCOMPARE(hex(id1), QStringLiteral("4fe2f4dfd562fe9b2a2bce26b9dc7a4a"));
        QCOMPARE(hex(id2), QStringLiteral("1945fa905cd331a1bf4b2f39419b3e70"));
        QVERIFY(par2::idLess(id1, id2));
        const QByteArray body = par2::mainBody(1024, {id1, id2});
        const Digest setId = Md5::of(body);
        QCOMPARE(hex(setId), QStringLiteral("951e2f5eb675d86d09d066df9365ca72"));
        const QByteArray main = par2::packet(setId, par2::Type::Main, body);
        QCOMPARE(main.size(), 108);
        QCOMPARE(main.mid(16, 16).toHex(), QByteArray("6db5e3620a6d83a58116287c30af64a7"));

        QByteArray slices[4] = {one.mid(0, 1024), one.mid(1024, 1024), one.mid(2048), two};
        for (QByteArray& s : slices)
            s.append(QByteArray(1024 - s.size(), '\0'));
        QCOMPARE(hex(Md5::of(slices[2])), QStringLiteral("2ee3e81172f2845e277f3d9730699c04"));
        const char* expected[2] = {"46fcc49beff7a9091dbcd128246f6284",
                                   "72bea6fe31f735e72ec7bb0b93676eef"};
        for (quint32 e = 0; e < 2; ++e) {
            QByteArray data(1024, '\0');
            for (quint32 i = 0; i < 4; ++i)
                gf16::multiplyAdd(gf16::power(gf16::inputConstant(i), e),
                                  reinterpret_cast<const uchar*>(slices[i].constData()),
                                  reinterpret_cast<uchar*>(data.data()), 1024);
            QCOMPARE(hex(Md5::of(data)), QString::fromLatin1(expected[e]));
        }
    }

    // How many slices and volumes, named as par2 names them.
    void plan_data() {
        QTest::addColumn<int>("parts");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("one slice") << 4 << 10 << QStringList{"m.par2", "m.vol0+1.par2"};
        QTest::newRow("six") << 60 << 10
                             << QStringList{"m.par2", "m.vol0+1.par2", "m.vol1+2.par2",
                                            "m.vol3+3.par2"};
        QTest::newRow("hundred") << 1000 << 10
                                 << QStringList{"m.par2",           "m.vol000+01.par2",
                                                "m.vol001+02.par2", "m.vol003+04.par2",
                                                "m.vol007+08.par2", "m.vol015+16.par2",
                                                "m.vol031+32.par2", "m.vol063+37.par2"};
        QTest::newRow("too many parts") << 32769 << 1 << QStringList{};
    }
    void plan() {
        QFETCH(int, parts);
        QFETCH(int, percent);
        QFETCH(QStringList, files);
        QList<qint64> sizes(parts, 1001);
        const RecoveryPlan p = planRecovery(QStringLiteral("m"), sizes, percent);
        QCOMPARE(p.refusal.isEmpty(), !files.isEmpty());
        if (files.isEmpty()) return;
        QCOMPARE(p.fileNames(), files);
        QCOMPARE(p.sliceSize, quint64(1004));
        // A source whose name looks like a placeholder keeps it.
        QCOMPARE(planRecovery(QStringLiteral("m%2%1"), sizes, percent).fileNames(),
                 files.replaceInStrings(QRegularExpression("^m"), QStringLiteral("m%2%1")));
    }

    // Our files over a set, damaged in each way, verified and repaired by
    // par2 and by us; both give the original bytes back, or both refuse. A
    // part missing lets our check take the repair's sums for one recovery
    // slice more as it reads: the rows with a damaged part beside a missing
    // one are repaired from those sums, or in a second read when they don't
    // cover the damage.
    void damageBothWays_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("percent");
        QTest::addColumn<bool>("repairable");
        QTest::newRow("one part missing") << "missing 2" << 34 << true;
        QTest::newRow("one part damaged") << "damaged 3" << 34 << true;
        QTest::newRow("last short part missing") << "missing 6" << 34 << true;
        QTest::newRow("a part made longer") << "longer 1" << 34 << true;
        QTest::newRow("damage beyond the data") << "missing 1 2 3" << 34 << false;
        QTest::newRow("a damaged volume, a part missing") << "volume 4" << 34 << true;
        QTest::newRow("a part damaged, one missing") << "missing 2, damaged 3" << 34 << true;
        QTest::newRow("a part made longer, one missing") << "missing 5, longer 1" << 34 << true;
        QTest::newRow("damage beyond the sums") << "missing 2, damaged 3 4" << 50 << true;
        QTest::newRow("a damaged part beyond the data") << "missing 2 4, damaged 3" << 34 << false;
        // Six slices, the last volume's three packets one after another.
        QTest::newRow("the first of a volume's slices damaged, five parts missing")
            << "missing 1 2 3 4 5, slice" << 100 << true;
        // Without the index, each volume carries the critical packets (main,
        // descriptions, slice checksums): as many copies as par2 gives them,
        // two in the volume of three slices.
        QTest::newRow("the index gone, a part missing") << "index, missing 2" << 34 << true;
        QTest::newRow("only the last volume, first copies damaged, a part missing")
            << "only vol3+3, first copies, missing 4" << 100 << true;
    }
    void damageBothWays() {
        QFETCH(QString, how);
        QFETCH(int, percent);
        QFETCH(bool, repairable);
        for (const bool byPar2 : {true, false}) {
            std::unique_ptr<QTemporaryDir> tmp;
            const QString dir = freshPartsFolder(tmp);
            const QStringList names = makeParts(dir, 6, 40000, 12345);
            QVERIFY(writeOurs(dir, names, percent)); // two, three or six recovery slices
            QCOMPARE(runPar2(dir, {"verify", "-q", "movie.avi.par2"}), 0);
            QMap<QString, QByteArray> original;
            for (const QString& n : names)
                original.insert(n, readFile(dir + n));
            for (const QString& group : how.split(QStringLiteral(", "))) {
                const QStringList words = group.split(' ');
                for (const QString& w : words.mid(1)) {
                    if (w.toInt() < 1) continue; // not a part's ordinal
                    const QString part = names.at(w.toInt() - 1);
                    if (words[0] == "missing" || words[0] == "volume")
                        QVERIFY(QFile::remove(dir + part));
                    if (words[0] == "damaged") damage(dir + part, 100, "XYZ");
                    if (words[0] == "longer") damage(dir + part, 40000, "tail");
                }
                if (words[0] == "volume") damage(dir + "movie.avi.vol1+1.par2", 300, "broken");
                if (words[0] == "slice") damage(dir + "movie.avi.vol3+3.par2", 300, "broken");
                if (words[0] == "index") QVERIFY(QFile::remove(dir + "movie.avi.par2"));
                for (const QString& file : filesIn(dir).filter(".par2"))
                    if (words[0] == "only" && file != "movie.avi." + words[1] + ".par2")
                        QVERIFY(QFile::remove(dir + file));
                if (group == "first copies")
                    for (const QString& file : filesIn(dir).filter(".par2"))
                        damageFirstCriticalCopies(dir + file);
            }
            const QString named = filesIn(dir).filter(".par2").value(0);
            if (byPar2) {
                QCOMPARE(runPar2(dir, {"repair", "-q", "-p", named}), repairable ? 0 : 2);
            } else {
                SetCheck check;
                try {
                    check = checkOurs(dir, true);
                    QVERIFY(repairable);
                    QVERIFY(check.whole());
                } catch (const OperationError& e) {
                    QVERIFY2(!repairable, qPrintable(e.text()));
                    QVERIFY(e.text().contains(QStringLiteral("1 more recovery block is needed")));
                }
            }
            if (repairable)
                for (const QString& n : names)
                    QCOMPARE(readFile(dir + n), original[n]);
            QCOMPARE(filesIn(dir).filter(QStringLiteral(".rebuilt")), QStringList{});
            QCOMPARE(filesIn(dir).filter(QRegularExpression("\\.1$")), QStringList{});
        }
    }

    // par2's own files (several slices per part, its default layout) used
    // by our repair, in one pass and in passes of a small memory; a part
    // made longer keeps its slices, which the sums taken while checking
    // left out.
    void par2FilesRepairedHere() {
        for (const qint64 memory : {RecoveryMemory, qint64(4096)}) {
            std::unique_ptr<QTemporaryDir> tmp;
            const QString dir = freshPartsFolder(tmp);
            const QStringList names = makeParts(dir, 4, 30000, 777);
            QCOMPARE(runPar2(dir, QStringList{"create", "-q", "-s4096", "-r40", "movie.avi.par2"} +
                                      names),
                     0);
            const QByteArray first = readFile(dir + names[0]);
            const QByteArray second = readFile(dir + names[1]);
            const QByteArray last = readFile(dir + names[3]);
            QVERIFY(QFile::remove(dir + names[1]));
            damage(dir + names[3], 5, "zz");
            damage(dir + names[0], 30000, "tail");
            const SetCheck check = checkOurs(dir, true, memory);
            QVERIFY(check.whole());
            QCOMPARE(check.parts.size(), size_t(4));
            QCOMPARE(readFile(dir + names[0]), first);
            QCOMPARE(readFile(dir + names[1]), second);
            QCOMPARE(readFile(dir + names[3]), last);
        }
    }

    // par2's sets of slice sizes on and off the 64-byte blocks the field
    // works in (its default among them), a few bytes overwritten in place in
    // two parts (a middle slice, the last short one): repaired here in one
    // pass and in passes of a small memory, the parts then the same bytes as
    // before (cmp) and whole to par2.
    void par2InPlaceDamage_data() {
        QTest::addColumn<QString>("sliceSize");
        QTest::newRow("4 bytes") << "-s4";
        QTest::newRow("60 bytes") << "-s60";
        QTest::newRow("64 bytes") << "-s64";
        QTest::newRow("1000 bytes") << "-s1000";
        QTest::newRow("4096 + 4 bytes") << "-s4100";
        QTest::newRow("par2's default") << "";
    }
    void par2InPlaceDamage() {
        QFETCH(QString, sliceSize);
        std::unique_ptr<QTemporaryDir> tmp;
        const QString dir = freshPartsFolder(tmp);
        const QStringList names = makeParts(dir, 3, 20000, 7777);
        QStringList args{"create", "-q", "-c4"};
        if (!sliceSize.isEmpty()) args << sliceSize;
        QCOMPARE(runPar2(dir, args + QStringList{"movie.avi.par2"} + names), 0);
        for (const QString& n : names)
            QVERIFY(QFile::copy(dir + n, dir + "../" + n));
        for (const qint64 memory : {RecoveryMemory, qint64(4096)}) {
            damage(dir + names[0], 10001, "XYZ");
            damage(dir + names[2], 7777 - 3, "XYZ");
            try {
                const RecoverySet set = readRecoverySet(recoveryFilesFor(dir + names[0]));
                SetCheck check;
                quint8 flag = 0;
                QVERIFY(checkSet(set, check, EngineHooks{}, CancelRequest(flag), memory));
                // Only the slices overwritten count as damaged: the others,
                // the short last one of the first part too, match.
                const qint64 S = qint64(set.sliceSize);
                QCOMPARE(check.missingSlices, 10003 / S - 10001 / S + 1 + 7776 / S - 7774 / S + 1);
                QVERIFY(repairSet(set, check, EngineHooks{}, CancelRequest(flag), memory));
                QVERIFY(check.whole());
            } catch (const OperationError& e) {
                QFAIL(qPrintable(e.text()));
            }
            for (const QString& n : names)
                QCOMPARE(QProcess::execute("cmp", {"-s", dir + n, dir + "../" + n}), 0);
            QCOMPARE(runPar2(dir, {"verify", "-q", "movie.avi.par2"}), 0);
        }
    }

    // Our recovery data made in passes (a small memory), or given the parts'
    // CRC-32s as a split's copy takes them, is the same data; CRC-32s that
    // don't fit the parts (another size, not one per part) are not taken.
    void passesGiveTheSameFiles() {
        std::unique_ptr<QTemporaryDir> tmp;
        const QString dir = freshPartsFolder(tmp);
        const QStringList names = makeParts(dir, 5, 9000, 4001);
        QVERIFY(writeOurs(dir, names, 60));
        QMap<QString, QByteArray> once;
        for (const QString& f : filesIn(dir).filter(".par2"))
            once.insert(f, readFile(dir + f));
        QList<PartCrc> copied, wrongSize;
        for (const QString& n : names) {
            const QByteArray bytes = readFile(dir + n);
            copied.append({zlibCrc32(bytes), bytes.size()});
            wrongSize.append({0x12345678, bytes.size() + 1});
        }
        const QList<PartCrc> tooFew = copied.mid(1);
        const QList<PartCrc> givens[] = {{}, copied, wrongSize, tooFew};
        for (const QList<PartCrc>& given : givens) {
            QVERIFY(writeOurs(dir, names, 60, 2048, given));
            for (const QString& f : once.keys())
                QCOMPARE(readFile(dir + f), once[f]);
        }
        QCOMPARE(runPar2(dir, {"verify", "-q", "movie.avi.par2"}), 0);
    }

    // Cancelled midway, writing or repairing leaves nothing of its own
    // (no recovery file, no hidden file, the missing part still missing);
    // par2's own files of our names are neither counted as ours, nor
    // removed with the set, nor replaced by a split's recovery data.
    void cancelledAndForeignFiles() {
        std::unique_ptr<QTemporaryDir> tmp;
        const QString dir = freshPartsFolder(tmp);
        const QStringList names = makeParts(dir, 6, 40000, 12345);
        const QStringList before = entries(dir);
        quint8 flag = 0;
        EngineHooks hooks;
        hooks.yield = [&flag] { flag = 1; };
        QList<qint64> sizes(6, 40000);
        const RecoveryPlan plan = planRecovery(QStringLiteral("movie.avi"), sizes, 50);
        QVERIFY(!writeRecoveryFiles(dir, names, plan, hooks, CancelRequest(flag)));
        QCOMPARE(entries(dir), before);

        QVERIFY(writeOurs(dir, names, 50));
        const QString base = dir + QStringLiteral("movie.avi");
        QCOMPARE(ourRecoveryFilesOf(base).size(), 3);
        QVERIFY(QFile::remove(dir + names[2]));
        const RecoverySet set = readRecoverySet(recoveryFilesFor(base + ".par2"));
        SetCheck check;
        flag = 0;
        QVERIFY(checkSet(set, check, EngineHooks{}, CancelRequest(flag)));
        QVERIFY(!repairSet(set, check, hooks, CancelRequest(flag)));
        QCOMPARE(entries(dir).size(), before.size() - 1 + 3);

        deleteCheckFilesOf(base + ".txt");
        QCOMPARE(filesIn(dir).filter(".par2"), QStringList{});
        makeParts(dir, 6, 40000, 12345);
        QCOMPARE(runPar2(dir, QStringList{"create", "-q", "-r10", "movie.avi.par2"} + names), 0);
        const QStringList theirs = filesIn(dir).filter(".par2");
        QCOMPARE(ourRecoveryFilesOf(base), QStringList{});
        deleteCheckFilesOf(base + ".txt");
        QString refusal;
        flag = 0;
        QCOMPARE(
            writeRecoveryFilesOf(base, names, {}, 10, EngineHooks{}, CancelRequest(flag), refusal),
            RecoveryWritten::Refused);
        QVERIFY2(refusal.contains("movie.avi.par2 is not recovery data"), qPrintable(refusal));
        QCOMPARE(filesIn(dir).filter(".par2"), theirs);
        QCOMPARE(runPar2(dir, {"verify", "-q", "movie.avi.par2"}), 0);
    }

    // A task that fails is reported, unless the user cancelled before it
    // failed (a read cut short by the stop that the cancel brings): then the
    // tasks end as cancelled.
    void failingTasks_data() {
        QTest::addColumn<bool>("cancelledFirst");
        QTest::newRow("a failure, no cancel") << false;
        QTest::newRow("a failure after the cancel") << true;
    }
    void failingTasks() {
        QFETCH(bool, cancelledFirst);
        quint8 flag = 0;
        std::atomic<bool> pressCancel{false};
        EngineHooks hooks;
        // The Cancel button, pressed in the event-loop turn once the task asks.
        hooks.yield = [&] {
            if (pressCancel) flag = 1;
        };
        const auto task = [&](int, const std::atomic<bool>& stop) {
            if (cancelledFirst) {
                pressCancel = true;
                while (!stop) // until the cancel stops the tasks
                    std::this_thread::yield();
            }
            throw OperationError(QStringLiteral("Cannot read movie.avi.001"));
        };
        try {
            QVERIFY(!runTasks(1, task, {}, hooks, CancelRequest(flag)));
            QVERIFY(cancelledFirst);
        } catch (const OperationError& e) {
            QVERIFY2(!cancelledFirst, qPrintable(e.text()));
        }
    }

    // Hostile recovery files are reported and skipped; none crashes or
    // writes outside the folder.
    void hostile_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("told");
        QTest::newRow("truncated volume") << "truncate" << true << "cut short";
        QTest::newRow("packet MD5 wrong") << "md5" << true << "no valid packet";
        QTest::newRow("name with a separator") << "name ../evil" << false << "outside its folder";
        QTest::newRow("name dot-dot") << "name .." << false << "outside its folder";
        QTest::newRow("name in a subfolder") << "name sub/x" << false << "in a subfolder (sub/x)";
        QTest::newRow("an empty file without slice checksums") << "empty" << true << "";
        QTest::newRow("slice size not a multiple of 4") << "slice 1001" << false << "slice size";
        QTest::newRow("slice size zero") << "slice 0" << false << "slice size";
        QTest::newRow("slice size at the top of the range")
            << "top 18446744073709551552" << false << "slice size";
        QTest::newRow("too many files") << "files 40000" << false << "naming 40000";
        QTest::newRow("huge packet length") << "length" << true << "no valid packet";
    }
    void hostile() {
        QFETCH(QString, how);
        QFETCH(bool, usable);
        QFETCH(QString, told);
        std::unique_ptr<QTemporaryDir> tmp;
        const QString dir = freshPartsFolder(tmp);
        const QStringList names = makeParts(dir, 3, 5000, 100);
        QVERIFY(writeOurs(dir, names, 40));
        const QString index = dir + "movie.avi.par2";
        const QString volume = dir + "movie.avi.vol0+1.par2";
        QByteArray bytes = readFile(index);
        const Digest setId = [&] {
            Digest d;
            std::memcpy(d.data(), bytes.constData() + 32, 16);
            return d;
        }();
        // A forged main or description packet replacing the first one, with
        // a correct packet MD5, so that only its content is wrong.
        const auto forgeMain = [&](quint64 slice, quint32 count) {
            QByteArray body;
            par2::appendU64(body, slice);
            par2::appendU32(body, count);
            body += QByteArray(16 * 3, 'i');
            bytes = par2::packet(setId, par2::Type::Main, body) + bytes;
            QFile::remove(volume); // its main packet would be taken first otherwise
            QFile::remove(dir + "movie.avi.vol1+1.par2");
        };
        const QStringList words = how.split(' ');
        if (how == "truncate") {
            writeFile(volume, readFile(volume).left(3000));
        } else if (how == "md5") {
            bytes[20] = char(bytes[20] ^ 1);
        } else if (how == "length") {
            // A header at the end claiming far more bytes than the file has.
            bytes += QByteArray("PAR2\0PKT", 8) + QByteArray(8, '\x7f') + QByteArray(48, 'x');
        } else if (words[0] == "slice") {
            forgeMain(words[1].toULongLong(), 3);
        } else if (words[0] == "top") {
            // The set's own files under a main packet of that slice size.
            std::vector<Digest> ids;
            for (const par2::FileEntry& f : readRecoverySet(recoveryFilesFor(index)).files)
                ids.push_back(f.id);
            bytes =
                par2::packet(setId, par2::Type::Main, par2::mainBody(words[1].toULongLong(), ids)) +
                bytes;
        } else if (words[0] == "files") {
            forgeMain(5000, words[1].toUInt());
        } else if (words[0] == "name" || words[0] == "empty") {
            // A description of that name (or of an empty file beside the
            // set's three) under a main packet naming it.
            par2::FileEntry e;
            e.name = words[0] == "empty" ? QByteArray("movie.avi.empty") : words[1].toUtf8();
            e.length = words[0] == "empty" ? 0 : 10;
            e.md5 = e.md5Head = Md5::of("0123456789", qint64(e.length));
            e.id = par2::fileIdOf(e.md5Head, e.length, e.name);
            std::vector<Digest> ids{e.id};
            if (words[0] == "empty") {
                writeFile(dir + "movie.avi.empty", {});
                for (const par2::FileEntry& f : readRecoverySet(recoveryFilesFor(index)).files)
                    ids.push_back(f.id);
            }
            QByteArray body = par2::mainBody(5000, ids);
            bytes = par2::packet(setId, par2::Type::Main, body) +
                    par2::packet(setId, par2::Type::FileDesc, par2::fileDescBody(e)) + bytes;
            QFile::remove(volume);
            QFile::remove(dir + "movie.avi.vol1+1.par2");
        }
        writeFile(index, bytes);
        try {
            const RecoverySet set = readRecoverySet(recoveryFilesFor(index));
            QVERIFY2(usable, qPrintable(set.notes.join('\n')));
            QVERIFY2(set.notes.join('\n').contains(told), qPrintable(set.notes.join('\n')));
            QCOMPARE(set.files.size(), size_t(how == "empty" ? 4 : 3));
            // Checked with a part of another length, as a repair checks it.
            damage(dir + names[1], 5000, "tail");
            SetCheck check;
            quint8 flag = 0;
            QVERIFY(checkSet(set, check, EngineHooks{}, CancelRequest(flag)));
            QVERIFY(!check.whole());
        } catch (const OperationError& e) {
            QVERIFY2(!usable && e.text().contains(told), qPrintable(e.text()));
        }
        QCOMPARE(entries(dir + ".."), QStringList{"parts"});
    }
};

QTEST_GUILESS_MAIN(TestRecovery)
#include "tst_recovery.moc"
