// Loading, saving and searching a large document: 200,000 notes (about 50 MB),
// 50,000 of them siblings under one note. Each figure is compared with a plain
// operation on the same data in the same run.

#include "BenchWords.h"
#include "ProcessMemory.h"
#include "RatioReporter.h"

#include "crypto/StrongCipher.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "notes/TextEncoding.h"
#include "settings/UtilsFile.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct Document
{
    TNoteTree tree;
    QString path;
    QByteArray bytes;
    TNote *deep = nullptr;
    TNote *last = nullptr;

    // 200,000 notes at scale 100 (the roots); other scales give 2,000 notes per root.
    explicit Document(int roots = 100)
    {
        quint32 seed = 1;
        // Each note takes the next seed for its title and body.
        auto next = [&seed] { return seed++; };
        TNote *big = tree.AddNote(nullptr, u"Archive"_s, imLastChild, noteBody(next()));
        for (int i = 0; i < 500 * roots; ++i) {
            const quint32 s = next();
            tree.AddNote(big, u"Entry %1 "_s.arg(i) + words(s, 2), imLastChild, noteBody(s));
        }
        for (int r = 0; r < roots; ++r) {
            const quint32 rs = next();
            TNote *root = tree.AddNote(nullptr, words(rs, 2), imLastChild, noteBody(rs));
            for (int c = 0; c < 10; ++c) {
                const quint32 cs = next();
                TNote *child = tree.AddNote(root, words(cs, 3), imLastChild, noteBody(cs));
                for (int g = 0; g < 149; ++g) {
                    const quint32 gs = next();
                    deep = tree.AddNote(child, u"%1 "_s.arg(g) + words(gs, 3), imLastChild,
                                        noteBody(gs));
                }
            }
        }
        last = tree.AddNote(nullptr, u"The very last note"_s, imLastChild, noteBody(next()));
        path = QDir::temp().filePath(u"vellumtree-bench-%1.vlt"_s.arg(roots));
        TArchive archive(&tree);
        archive.WriteNotes(nullptr, path);
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        bytes = file.readAll();
    }
};

Document &document()
{
    static Document doc;
    return doc;
}

// The reference of a load: the file read, decoded and split into lines.
std::vector<QStringView> readAndSplit(const QString &path, QString &text)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    text = QString::fromUtf8(file.readAll());
    std::vector<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n') {
            lines.push_back(QStringView(text).sliced(start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

void BM_ReadSplit(benchmark::State &state)
{
    Document &doc = document();
    for (auto _ : state) {
        QString text;
        benchmark::DoNotOptimize(readAndSplit(doc.path, text).size());
    }
    state.SetBytesProcessed(state.iterations() * doc.bytes.size());
}

void BM_ReadFileRaw(benchmark::State &state)
{
    Document &doc = document();
    for (auto _ : state) {
        QFile file(doc.path);
        file.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(file.readAll());
    }
    state.SetBytesProcessed(state.iterations() * doc.bytes.size());
}

void BM_LoadDocument(benchmark::State &state)
{
    Document &doc = document();
    for (auto _ : state) {
        TNoteTree tree;
        TArchive archive(&tree);
        if (!archive.ReadNotes(nullptr, doc.path) || tree.Count() != doc.tree.Count())
            state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(state.iterations() * doc.bytes.size());
}

// The reference of a save: the same bytes written the way a save writes them
// (synced, renamed into place).
void BM_WriteFileRaw(benchmark::State &state)
{
    Document &doc = document();
    const QString target = doc.path + u".raw"_s;
    for (auto _ : state)
        WriteFileAtomically(target, doc.bytes);
    QFile::remove(target);
    state.SetBytesProcessed(state.iterations() * doc.bytes.size());
}

// The reference of a convert: read and split, then an atomic write of the bytes.
void BM_ReadSplitWrite(benchmark::State &state)
{
    Document &doc = document();
    const QString target = doc.path + u".raw"_s;
    for (auto _ : state) {
        QString text;
        benchmark::DoNotOptimize(readAndSplit(doc.path, text).size());
        WriteFileAtomically(target, doc.bytes);
    }
    QFile::remove(target);
    state.SetBytesProcessed(state.iterations() * doc.bytes.size());
}

void BM_ConvertDocument(benchmark::State &state)
{
    Document &doc = document();
    const QString target = doc.path + u".convert.vlt"_s;
    for (auto _ : state) {
        TNoteTree tree;
        TArchive reader(&tree);
        if (!reader.ReadNotes(nullptr, doc.path))
            state.SkipWithError("load failed");
        TArchive writer(&tree);
        writer.Encoding = reader.Encoding;
        writer.WriteNotes(nullptr, target);
    }
    QFile::remove(target);
    state.SetBytesProcessed(state.iterations() * doc.bytes.size());
}

// Memory of a loaded document as multiples of its file size: what the load leaves
// resident, its peak, and what remains after one and after three saves. Measured in
// a child process, so that what earlier benchmarks left in the heap counts for nothing.
void BM_LoadMemory(benchmark::State &state)
{
    Document &doc = document();
    const QString target = doc.path + u".memory.vlt"_s;
    const double size = static_cast<double>(doc.bytes.size());
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("no pipe");
            break;
        }
        const pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            const qint64 before = startMeasuringPeak();
            double figures[5];
            TNoteTree tree;
            TArchive reader(&tree);
            reader.ReadNotes(nullptr, doc.path);
            figures[0] = static_cast<double>(statusBytes("VmRSS") - before) / size;
            figures[1] = static_cast<double>(statusBytes("VmHWM") - before) / size;
            resetPeak();
            TArchive(&tree).WriteNotes(nullptr, target);
            figures[2] = static_cast<double>(statusBytes("VmRSS") - before) / size;
            figures[3] = static_cast<double>(statusBytes("VmHWM") - before) / size;
            TArchive(&tree).WriteNotes(nullptr, target);
            TArchive(&tree).WriteNotes(nullptr, target);
            figures[4] = static_cast<double>(statusBytes("VmRSS") - before) / size;
            const bool sent = write(fds[1], figures, sizeof figures) == sizeof figures;
            _exit(sent ? 0 : 1);
        }
        close(fds[1]);
        double figures[5] = {};
        const bool got = child > 0 && read(fds[0], figures, sizeof figures) == sizeof figures;
        close(fds[0]);
        if (child > 0)
            waitpid(child, nullptr, 0);
        if (!got) {
            state.SkipWithError("the measuring process failed");
            break;
        }
        state.counters["rss_load"] = figures[0];
        state.counters["peak_load"] = figures[1];
        state.counters["rss_save1"] = figures[2];
        state.counters["peak_save"] = figures[3];
        state.counters["rss_save3"] = figures[4];
    }
    QFile::remove(target);
}

// Load and save time, and the heap a loaded tree holds, per note at 2,000 to 400,000
// notes: the per-note figures of one run stay about equal when they scale linearly.
void BM_ScaleLoadSave(benchmark::State &state)
{
    Document doc(static_cast<int>(state.range(0)));
    const QString target = doc.path + u".scale.vlt"_s;
    const double notes = static_cast<double>(doc.tree.Count());
    for (auto _ : state) {
        const size_t heapBefore = mallinfo2().uordblks;
        const auto start = std::chrono::steady_clock::now();
        TNoteTree tree;
        TArchive reader(&tree);
        reader.ReadNotes(nullptr, doc.path);
        const auto loaded = std::chrono::steady_clock::now();
        // The heap the loaded tree holds: unlike resident memory, not blurred by what
        // earlier runs freed.
        state.counters["heap_bytes_per_note"] =
            static_cast<double>(mallinfo2().uordblks - heapBefore) / notes;
        TArchive(&tree).WriteNotes(nullptr, target);
        const auto saved = std::chrono::steady_clock::now();
        state.counters["load_us_per_note"] =
            std::chrono::duration<double, std::micro>(loaded - start).count() / notes;
        state.counters["save_us_per_note"] =
            std::chrono::duration<double, std::micro>(saved - loaded).count() / notes;
    }
    state.counters["notes"] = notes;
    QFile::remove(target);
    QFile::remove(doc.path);
}

void BM_SaveDocument(benchmark::State &state)
{
    Document &doc = document();
    const QString target = doc.path + u".save.vlt"_s;
    for (auto _ : state) {
        TArchive archive(&doc.tree);
        archive.WriteNotes(nullptr, target);
    }
    QFile::remove(target);
    state.SetBytesProcessed(state.iterations() * doc.bytes.size());
}

// The document saved and loaded strongly enciphered, with the key kept from an earlier
// save as the window keeps it: the cipher's cost against the plain save and load.
struct StrongCopy
{
    QString path;
    TArchive::TFileKey key;
};

StrongCopy &strongCopy()
{
    static StrongCopy copy = [] {
        Document &doc = document();
        TArchive archive(&doc.tree);
        archive.Password = u"a benchmark password"_s;
        const QString path = doc.path + u".strong.vlx"_s;
        archive.WriteNotes(nullptr, path);
        return StrongCopy{path, archive.FileKey};
    }();
    return copy;
}

void BM_SaveStrong(benchmark::State &state)
{
    Document &doc = document();
    StrongCopy &copy = strongCopy();
    for (auto _ : state) {
        TArchive archive(&doc.tree);
        archive.Password = copy.key.Password;
        archive.FileKey = copy.key;
        archive.WriteNotes(nullptr, copy.path);
    }
    state.SetBytesProcessed(state.iterations() * doc.bytes.size());
}

void BM_LoadStrong(benchmark::State &state)
{
    Document &doc = document();
    StrongCopy &copy = strongCopy();
    for (auto _ : state) {
        TNoteTree tree;
        TArchive archive(&tree);
        archive.Password = copy.key.Password;
        archive.FileKey = copy.key;
        if (!archive.ReadNotes(nullptr, copy.path) || tree.Count() != doc.tree.Count())
            state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(state.iterations() * doc.bytes.size());
}

// What a .vlx costs once per password and file: the key derivation at the cost new
// files are written with.
void BM_DeriveStrongKey(benchmark::State &state)
{
    const StrongCipher::TKdfParams params = StrongCipher::DefaultParams();
    const StrongCipher::TStrongKey::TSalt salt{};
    for (auto _ : state) {
        if (!StrongCipher::TStrongKey::Derive("a benchmark password", params, salt))
            state.SkipWithError("no memory for the key derivation");
    }
    state.counters["ops_limit"] = static_cast<double>(params.OpsLimit);
    state.counters["mem_limit_mib"] = static_cast<double>(params.MemLimit >> 20);
}

// The reference for the searches: a plain C search of the title in the file bytes.
void BM_MemSearch(benchmark::State &state)
{
    Document &doc = document();
    const QByteArray needle = doc.last->Title().toUtf8();
    for (auto _ : state) {
        benchmark::DoNotOptimize(memmem(doc.bytes.constData(), static_cast<size_t>(doc.bytes.size()),
                                        needle.constData(), static_cast<size_t>(needle.size())));
    }
}

void BM_FindByTitle(benchmark::State &state)
{
    Document &doc = document();
    const QString wanted = doc.last->Title().toUpper();
    for (auto _ : state) {
        if (doc.tree.FindByTitle(wanted) != doc.last)
            state.SkipWithError("not found");
    }
}

void BM_FindByLink(benchmark::State &state)
{
    Document &doc = document();
    const QString link = TNoteTree::GetNoteLink(doc.deep).toLower();
    for (auto _ : state) {
        if (doc.tree.FindByLink(link) != doc.deep)
            state.SkipWithError("not found");
    }
}

void BM_WalkTree(benchmark::State &state)
{
    Document &doc = document();
    for (auto _ : state) {
        int n = 0;
        for (TNote *note = doc.tree.FirstNote(); note; note = doc.tree.NextInTreeOrder(note))
            ++n;
        benchmark::DoNotOptimize(n);
    }
}

// A move invalidates the tree order, so every round rebuilds it once and then
// looks up both ways.
void BM_AbsoluteIndex(benchmark::State &state)
{
    Document &doc = document();
    TNote *moving = doc.deep->Parent()->FirstChild();
    for (auto _ : state) {
        doc.tree.MoveNote(moving, mdDown);
        doc.tree.MoveNote(moving, mdUp);
        const int index = doc.tree.AbsoluteIndex(doc.last);
        if (doc.tree.NoteAt(index) != doc.last || doc.tree.AbsoluteIndex(doc.deep) < 0)
            state.SkipWithError("wrong index");
    }
}

void BM_SortTitlesStd(benchmark::State &state)
{
    Document &doc = document();
    QStringList titles;
    for (TNote *note = doc.tree.FirstNote(); note; note = doc.tree.NextInTreeOrder(note))
        titles.append(note->Title());
    for (auto _ : state) {
        QStringList copy = titles;
        std::stable_sort(copy.begin(), copy.end());
        benchmark::DoNotOptimize(copy.data());
    }
}

void BM_SortNotes(benchmark::State &state)
{
    Document &doc = document();
    for (auto _ : state)
        doc.tree.SortNotes();
}

BENCHMARK(BM_ReadFileRaw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSplit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteFileRaw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveStrong)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadStrong)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeriveStrongKey)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSplitWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleLoadSave)->Arg(1)->Arg(10)->Arg(200)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemSearch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindByTitle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindByLink)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WalkTree)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AbsoluteIndex)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SortTitlesStd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortNotes)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    const int result = runBenchmarksWithRatios(argc, argv,
                                               {{"BM_LoadDocument", "BM_ReadSplit"},
                                                {"BM_ConvertDocument", "BM_ReadSplitWrite"},
                                                {"BM_SaveDocument", "BM_WriteFileRaw"},
                                                {"BM_SaveStrong", "BM_SaveDocument"},
                                                {"BM_LoadStrong", "BM_LoadDocument"},
                                                {"BM_FindByTitle", "BM_MemSearch"},
                                                {"BM_FindByLink", "BM_MemSearch"},
                                                {"BM_AbsoluteIndex", "BM_WalkTree"},
                                                {"BM_SortNotes", "BM_SortTitlesStd"}});
    QFile::remove(document().path);
    QFile::remove(document().path + u".strong.vlx"_s);
    return result;
}
