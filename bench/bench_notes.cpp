// Loading, saving and searching a large document: 200,000 notes (about 50 MB),
// 50,000 of them siblings under one note. Each figure is compared with a plain
// operation on the same data in the same run.

#include "BenchWords.h"
#include "RatioReporter.h"

#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

QString body(quint32 seed)
{
    QString text;
    for (int line = 0; line < 5; ++line)
        text += words(seed + line * 7919u, 7) + u"\r\n"_s;
    return text;
}

struct Document
{
    TNoteTree tree;
    QString path;
    QByteArray bytes;
    TNote *deep = nullptr;
    TNote *last = nullptr;

    Document()
    {
        quint32 seed = 1;
        // Each note takes the next seed for its title and body.
        auto next = [&seed] { return seed++; };
        TNote *big = tree.AddNote(nullptr, u"Archive"_s, imLastChild, body(next()));
        for (int i = 0; i < 50000; ++i) {
            const quint32 s = next();
            tree.AddNote(big, u"Entry %1 "_s.arg(i) + words(s, 2), imLastChild, body(s));
        }
        for (int r = 0; r < 100; ++r) {
            const quint32 rs = next();
            TNote *root = tree.AddNote(nullptr, words(rs, 2), imLastChild, body(rs));
            for (int c = 0; c < 10; ++c) {
                const quint32 cs = next();
                TNote *child = tree.AddNote(root, words(cs, 3), imLastChild, body(cs));
                for (int g = 0; g < 149; ++g) {
                    const quint32 gs = next();
                    deep = tree.AddNote(child, u"%1 "_s.arg(g) + words(gs, 3), imLastChild,
                                        body(gs));
                }
            }
        }
        last = tree.AddNote(nullptr, u"The very last note"_s, imLastChild, body(next()));
        path = QDir::temp().filePath(u"vellumtree-bench.vlt"_s);
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

void BM_WriteFileRaw(benchmark::State &state)
{
    Document &doc = document();
    const QString target = doc.path + u".raw"_s;
    for (auto _ : state) {
        QSaveFile file(target);
        file.open(QIODevice::WriteOnly);
        file.write(doc.bytes);
        file.commit();
    }
    QFile::remove(target);
    state.SetBytesProcessed(state.iterations() * doc.bytes.size());
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
BENCHMARK(BM_LoadDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteFileRaw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveDocument)->Unit(benchmark::kMillisecond);
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
                                               {{"BM_LoadDocument", "BM_ReadFileRaw"},
                                                {"BM_SaveDocument", "BM_WriteFileRaw"},
                                                {"BM_FindByTitle", "BM_MemSearch"},
                                                {"BM_FindByLink", "BM_MemSearch"},
                                                {"BM_AbsoluteIndex", "BM_WalkTree"},
                                                {"BM_SortNotes", "BM_SortTitlesStd"}});
    QFile::remove(document().path);
    return result;
}
