// Searching and replacing in a large document: 200,000 notes (about 50 MB as a file).
// Find runs from the first note to the only match, in the last note; Replace All
// changes a word that occurs 100,000 times. Each is compared with a plain search of
// the file's bytes (memmem, and std::boyer_moore_horspool_searcher) in the same run.

#include "RatioReporter.h"

#include "find/FindEngine.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>

using namespace Qt::StringLiterals;

namespace {

const char *const kVocabulary[] = {"amber", "basket", "Copper", "drift", "Ember", "flannel",
                                   "granite", "hollow", "Island", "jasper", "Kernel", "lantern",
                                   "meadow", "nickel", "Oyster", "pepper"};

struct Corpus
{
    TNoteTree tree;
    QByteArray bytes;
    TNote *last = nullptr;

    Corpus()
    {
        quint32 state = 7;
        auto line = [&state](int words) {
            QString text;
            for (int w = 0; w < words; ++w) {
                state = state * 1664525u + 1013904223u;
                text += QLatin1String(kVocabulary[state >> 28]) + u' ';
            }
            return text;
        };
        TNoteTree built;
        int n = 0;
        // Every other note holds the word Replace All changes.
        auto body = [&] {
            QString text;
            for (int l = 0; l < 4; ++l)
                text += line(7) + (l == 2 && n % 2 == 0 ? u"marker"_s : QString()) + u"\r\n"_s;
            ++n;
            return text;
        };
        TNote *lastNote = nullptr;
        for (int r = 0; r < 80; ++r) {
            TNote *root = built.AddNote(nullptr, line(2), imLastChild, body());
            for (int c = 0; c < 21; ++c) {
                TNote *child = built.AddNote(root, line(3), imLastChild, body());
                for (int g = 0; g < 118; ++g)
                    lastNote = built.AddNote(child, line(3), imLastChild, body());
            }
        }
        lastNote->SetBodyText(lastNote->BodyText() + u"the end of zanzibar\r\n"_s);
        // Searched as a user has it: read from its file, every line its own string.
        const QString path = QDir::temp().filePath(u"vellumtree-bench-find.vlt"_s);
        TArchive(&built).WriteNotes(nullptr, path);
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        bytes = file.readAll();
        file.close();
        TArchive(&tree).ReadNotes(nullptr, path);
        QFile::remove(path);
        for (TNote *note = tree.FirstNote(); note; note = tree.NextInTreeOrder(note))
            last = note;
    }
};

Corpus &corpus()
{
    static Corpus c;
    return c;
}

void BM_Memmem(benchmark::State &state)
{
    const QByteArray &bytes = corpus().bytes;
    const std::string_view needle = "zanzibar";
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            memmem(bytes.constData(), size_t(bytes.size()), needle.data(), needle.size()));
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_BoyerMooreHorspool(benchmark::State &state)
{
    const QByteArray &bytes = corpus().bytes;
    const std::string_view needle = "zanzibar";
    const std::boyer_moore_horspool_searcher searcher(needle.begin(), needle.end());
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::search(bytes.begin(), bytes.end(), searcher));
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void findToTheLastNote(benchmark::State &state, const QString &text, bool caseSensitive)
{
    Corpus &c = corpus();
    TNoteSearch search(&c.tree);
    search.Matcher = TTextMatcher(text, caseSensitive, false);
    search.ComputeScope(nullptr);
    for (auto _ : state) {
        if (!search.Find() || search.CurrentNote != c.last)
            state.SkipWithError("not found in the last note");
    }
    state.SetBytesProcessed(state.iterations() * c.bytes.size());
}

void BM_FindCaseSensitive(benchmark::State &state)
{
    findToTheLastNote(state, u"zanzibar"_s, true);
}

void BM_FindCaseInsensitive(benchmark::State &state)
{
    findToTheLastNote(state, u"ZanZibar"_s, false);
}


// Two passes that count all 100,000 occurrences: the work of finding what two
// Replace All runs change.
void BM_MemmemCountTwice(benchmark::State &state)
{
    const QByteArray &bytes = corpus().bytes;
    const std::string_view needle = "marker";
    for (auto _ : state) {
        int count = 0;
        for (int pass = 0; pass < 2; ++pass) {
            const char *p = bytes.constData();
            const char *end = p + bytes.size();
            while (const void *hit = memmem(p, size_t(end - p), needle.data(), needle.size())) {
                ++count;
                p = static_cast<const char *>(hit) + needle.size();
            }
        }
        if (count != 200000)
            state.SkipWithError("wrong count");
    }
    state.SetBytesProcessed(state.iterations() * bytes.size() * 2);
}

// Replace All there and back, so that every round starts from the same document.
void BM_ReplaceAllTwice(benchmark::State &state)
{
    Corpus &c = corpus();
    TNoteSearch search(&c.tree);
    search.Where = swBodies;
    search.ComputeScope(nullptr);
    for (auto _ : state) {
        search.Matcher = TTextMatcher(u"marker"_s, false, true);
        const int there = search.ReplaceInScope(u"signal"_s);
        search.Matcher = TTextMatcher(u"signal"_s, false, true);
        const int back = search.ReplaceInScope(u"marker"_s);
        if (there != 100000 || back != 100000)
            state.SkipWithError("wrong count");
    }
    state.SetBytesProcessed(state.iterations() * c.bytes.size() * 2);
}

BENCHMARK(BM_Memmem)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoyerMooreHorspool)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindCaseSensitive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindCaseInsensitive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemmemCountTwice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAllTwice)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarksWithRatios(argc, argv,
                                   {{"BM_FindCaseSensitive", "BM_Memmem"},
                                    {"BM_FindCaseSensitive", "BM_BoyerMooreHorspool"},
                                    {"BM_FindCaseInsensitive", "BM_Memmem"},
                                    {"BM_FindCaseInsensitive", "BM_BoyerMooreHorspool"},
                                    {"BM_ReplaceAllTwice", "BM_MemmemCountTwice"}});
}
